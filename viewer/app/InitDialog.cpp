#include "InitDialog.h"

#include "Version.h"
#include "ui_InitDialog.h"

#include <QDebug>
#include <QGraphicsDropShadowEffect>
#include <QTimer>

InitDialog::InitDialog(QWidget* parent) : QDialog(parent), ui(new Ui::InitDialog), timer_(new QTimer(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setContentsMargins(10, 10, 10, 10);
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setOffset(0, 0);
    shadow->setColor(QColor(QStringLiteral("#444444")));
    shadow->setBlurRadius(30);
    ui->widget_panel->setGraphicsEffect(shadow);

    qDebug().noquote() << "OrvaneScope Version: " + QString::fromLatin1(kOrvaneScopeVersion);
    ui->lb_version->setText(tr("Version: ") + QString::fromLatin1(kOrvaneScopeVersion));

    timer_->setObjectName(QStringLiteral("closeTimer"));
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &QDialog::close);
    timer_->start(kShowTimeMs);
}

InitDialog::~InitDialog()
{
    delete ui;
}

QString InitDialog::versionText() const
{
    return ui->lb_version->text();
}

void InitDialog::on_btn_close_clicked()
{
    close();
}
