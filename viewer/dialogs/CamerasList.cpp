#include "CamerasList.h"

#include "FramelessWindowAgent.h"
#include "ui_CamerasList.h"

CamerasList::CamerasList(const std::vector<orvane::CameraDescription>& descs, QWidget* parent)
    : QDialog(parent), ui(new Ui::CamerasList)
{
    ui->setupUi(this);
    auto* agent = new FramelessWindowAgent(this);
    agent->setResizable(false);
    agent->setTitleBar(ui->widget_title_bar);
    ui->pb_open->setDefault(true);

    const QIcon icon(QStringLiteral(":/img/assets/btn_camera.svg"));
    for (const orvane::CameraDescription& desc : descs) {
        auto* item = new QListWidgetItem(icon, QString::fromStdString(desc.serial), ui->listWidget_cameras);
        item->setToolTip(QString::fromStdString(desc.product));
    }
    if (!descs.empty())
        ui->listWidget_cameras->setCurrentRow(0);
    ui->lb_no_camera->setVisible(descs.empty());
}

CamerasList::~CamerasList()
{
    delete ui;
}

bool CamerasList::selectedIndex(int& index) const
{
    const int row = ui->listWidget_cameras->currentRow();
    if (row < 0)
        return false;
    index = row;
    return true;
}

void CamerasList::showEvent(QShowEvent* event)
{
    if (QWidget* anchor = parentWidget()) {
        const QPoint topLeft = anchor->mapToGlobal(QPoint(0, 0));
        move(topLeft.x() + (anchor->width() - width()) / 2, topLeft.y() + (anchor->height() - height()) / 2);
    }
    QDialog::showEvent(event);
}

void CamerasList::on_pb_open_clicked()
{
    accept();
}

void CamerasList::on_pb_close_clicked()
{
    reject();
}

void CamerasList::on_pb_win_close_clicked()
{
    reject();
}

void CamerasList::on_listWidget_cameras_itemDoubleClicked(QListWidgetItem*)
{
    accept();
}
