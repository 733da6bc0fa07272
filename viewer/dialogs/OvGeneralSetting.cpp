#include "OvGeneralSetting.h"

#include "AppConfig.h"
#include "FramelessWindowAgent.h"
#include "ui_OvGeneralSetting.h"

#include <QFileDialog>
#include <QTabBar>

OvGeneralSetting::OvGeneralSetting(QWidget* parent) : OvGeneralSetting(&AppConfig::instance(), parent) {}

OvGeneralSetting::OvGeneralSetting(AppConfig* config, QWidget* parent)
    : QDialog(parent), ui(new Ui::OvGeneralSetting), config_(config)
{
    ui->setupUi(this);
    auto* agent = new FramelessWindowAgent(this);
    agent->setResizable(false);
    agent->setTitleBar(ui->widget_title_bar);
    // The list on the left chooses the page; the tab bar would say the same twice.
    ui->tw_settings->tabBar()->hide();
    connect(ui->lw_general_setting_items, &QListWidget::currentRowChanged, ui->tw_settings,
            &QTabWidget::setCurrentIndex);
    ui->lw_general_setting_items->setCurrentRow(0);
    ui->pb_save->setDefault(true);

    ui->le_default_file_path->setText(config_->outputRawFilePath());
    ui->le_default_video_file_path->setText(config_->videoSavePath());
}

OvGeneralSetting::~OvGeneralSetting()
{
    delete ui;
}

void OvGeneralSetting::on_pb_select_dir_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Select Directory"), config_->outputRawFilePath(),
                                                          QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!dir.isEmpty())
        ui->le_default_file_path->setText(dir);
}

void OvGeneralSetting::on_pb_select_video_save_path_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Select Directory"), config_->videoSavePath(),
                                                          QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!dir.isEmpty())
        ui->le_default_video_file_path->setText(dir);
}

void OvGeneralSetting::on_pb_save_clicked()
{
    // Not checked here: a folder that is missing at the next start is replaced by the default one.
    config_->setVideoSavePath(ui->le_default_video_file_path->text());
    config_->setOutputRawFilePath(ui->le_default_file_path->text());
    accept();
}

void OvGeneralSetting::on_pb_cancel_clicked()
{
    reject();
}

void OvGeneralSetting::on_pb_win_close_clicked()
{
    reject();
}
