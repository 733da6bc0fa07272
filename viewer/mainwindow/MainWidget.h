// The viewer's main window: a frameless window with its own title bar and menus around the
// image view. This is its shell; the sources, playback and panels plug in here. GUI thread.
#pragma once

#include <QWidget>

class AppConfig;
class FramelessWindowAgent;
class QAction;
class QMenu;
class ShowImageForm;

namespace Ui {
class MainWidget;
}

class MainWidget : public QWidget {
    Q_OBJECT
public:
    explicit MainWidget(AppConfig* config, QWidget* parent = nullptr);
    ~MainWidget() override;

    // A recording named on the command line, kept for opening once the window runs.
    void setStartupFile(const QString& path) { startupFile_ = path; }
    QString startupFile() const { return startupFile_; }

    ShowImageForm* imageView() const;
    FramelessWindowAgent* windowAgent() const { return agent_; }
    QMenu* menuOf(const QString& buttonName) const;

public Q_SLOTS:
    void openActionSlot(QAction* action);
    void maximizedChanged(bool max);

private Q_SLOTS:
    void on_pb_win_min_clicked();
    void on_pb_win_max_clicked();
    void on_pb_win_close_clicked();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct MenuTexts {
        QString openCamera, openRecording, saveAs, cutRecording, quit, generalSetting, language, aboutUs,
            toggleStartEnd;
    };
    static MenuTexts translatedMenuTexts();
    void buildMenus();
    void retranslate();
    void applyTitleBarStyle(bool maximized);
    void updateWindowMask();

    Ui::MainWidget* ui;
    AppConfig* config_;
    FramelessWindowAgent* agent_;
    MenuTexts texts_;
    QMenu* menuDevice_ = nullptr;
    QMenu* menuFile_ = nullptr;
    QMenu* menuSetting_ = nullptr;
    QMenu* menuHelp_ = nullptr;
    QString titleBarBaseStyle_;
    QString startupFile_;
    bool centred_ = false;
};
