// Edits the two folders of the settings: where new raw recordings go and where exported videos
// go. "Save" writes them into the settings object (which reaches config.ini when the program
// ends); "Cancel" and the title bar's close button change nothing. Modal, GUI thread.
#pragma once

#include <QDialog>

class AppConfig;

namespace Ui {
class OvGeneralSetting;
}

class OvGeneralSetting : public QDialog {
    Q_OBJECT
public:
    // Edits the process-wide settings.
    explicit OvGeneralSetting(QWidget* parent = nullptr);
    // Edits `config`, which must outlive the dialog.
    explicit OvGeneralSetting(AppConfig* config, QWidget* parent = nullptr);
    ~OvGeneralSetting() override;

private Q_SLOTS:
    void on_pb_select_dir_clicked();
    void on_pb_select_video_save_path_clicked();
    void on_pb_save_clicked();
    void on_pb_cancel_clicked();
    void on_pb_win_close_clicked();

private:
    Ui::OvGeneralSetting* ui;
    AppConfig* config_;
};
