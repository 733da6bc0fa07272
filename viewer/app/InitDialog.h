// The start-up splash: logo and version on a small frameless panel, shown modally before the
// main window; it closes itself after two seconds, or earlier from its close button.
#pragma once

#include <QDialog>

class QTimer;

namespace Ui {
class InitDialog;
}

class InitDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kShowTimeMs = 2000;

    explicit InitDialog(QWidget* parent = nullptr);
    ~InitDialog() override;

    QString versionText() const;

private Q_SLOTS:
    void on_btn_close_clicked();

private:
    Ui::InitDialog* ui;
    QTimer* timer_;
};
