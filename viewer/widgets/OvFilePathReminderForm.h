// A toast: a small frameless note that reports a success, a warning or an error and, given a
// folder, offers to open it. It deletes itself after three seconds or when closed. The main window
// places and shows it; several may be up at once. When the folder cannot be opened (no file
// manager), the toast says so, shows the path for copying and stays until closed. GUI thread only.
#pragma once

#include "OvMessageType.h"

#include <QWidget>

#include <functional>

class QTimer;

namespace Ui {
class OvFilePathReminderForm;
}

class OvFilePathReminderForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLifetimeMs = 3000;

    OvFilePathReminderForm(const QString& tips, OvMessageType type = MessageSuccess,
                           const QString& filePath = QString(), QWidget* parent = nullptr);
    ~OvFilePathReminderForm() override;

    QString filePath() const { return filePath_; }

    // What opens a folder; the desktop's file manager unless replaced (tests). True when it opened.
    using FolderOpener = std::function<bool(const QString& folder)>;
    static void setFolderOpener(FolderOpener opener);

private Q_SLOTS:
    void onTimeupDestroy();
    void on_pb_open_dir_clicked();
    void on_pb_close_clicked();

private:
    Ui::OvFilePathReminderForm* ui;
    QString filePath_;
    QTimer* timer_;
};
