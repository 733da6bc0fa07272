#include "OVMessageBox.h"

#include "FramelessWindowAgent.h"
#include "ui_OVMessageBox.h"

OVMessageBox::OVMessageBox(const QString& text, const QString& title, const QString& acceptText,
                           const QString& rejectText, QWidget* parent)
    : QDialog(parent), ui(new Ui::OVMessageBox)
{
    ui->setupUi(this);
    auto* agent = new FramelessWindowAgent(this);
    agent->setResizable(false);
    agent->setTitleBar(ui->widget_title_bar);
    ui->lb_title->setText(title);
    ui->lb_show_message->setText(text);
    ui->pb_open->setText(acceptText);
    ui->pb_close->setText(rejectText);
    ui->pb_open->setDefault(true);
}

OVMessageBox::~OVMessageBox()
{
    delete ui;
}

void OVMessageBox::on_pb_open_clicked()
{
    accept();
}

void OVMessageBox::on_pb_close_clicked()
{
    reject();
}

void OVMessageBox::on_pb_win_close_clicked()
{
    reject();
}
