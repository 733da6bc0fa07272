#include "OvFilePathReminderForm.h"

#include "ui_OvFilePathReminderForm.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QTimer>
#include <QUrl>

namespace {

struct ToastLook {
    const char* itemStyle;  // nullptr: the form's own (success) look
    const char* icon;
    const char* titleColour;
};

ToastLook lookOf(OvMessageType type)
{
    switch (type) {
    case MessageWarning:
        return {"#widget_item { background-color: #FEFBF4; border: 1px solid #F9BF37; border-radius: 3px; }\n"
                "QLabel { color: #555555; }",
                ":/img/assets/icon_toasts_warning.svg", "#F9BF37"};
    case MessageError:
        return {"#widget_item { background-color: #FFF6F6; border: 1px solid #FF6058; border-radius: 3px; }\n"
                "QLabel { color: #555555; }",
                ":/img/assets/icon_toasts_error.svg", "#FF6058"};
    case MessageSuccess:
    default:
        return {nullptr, ":/img/assets/icon_toasts_success.svg", "#58DB6D"};
    }
}

OvFilePathReminderForm::FolderOpener& folderOpener()
{
    static OvFilePathReminderForm::FolderOpener opener;
    return opener;
}

}  // namespace

void OvFilePathReminderForm::setFolderOpener(FolderOpener opener)
{
    folderOpener() = std::move(opener);
}

OvFilePathReminderForm::OvFilePathReminderForm(const QString& tips, OvMessageType type,
                                               const QString& filePath, QWidget* parent)
    : QWidget(parent), ui(new Ui::OvFilePathReminderForm), filePath_(filePath), timer_(new QTimer(this))
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->lb_show_tips->setText(tips);
    if (filePath_.isEmpty())
        ui->pb_open_dir->hide();

    const ToastLook look = lookOf(type);
    if (look.itemStyle)
        ui->widget_item->setStyleSheet(QString::fromLatin1(look.itemStyle));
    ui->pb_logo->setIcon(QIcon(QString::fromLatin1(look.icon)));
    static const char* const titles[] = {QT_TR_NOOP("Success"), QT_TR_NOOP("Warning"), QT_TR_NOOP("Error")};
    const int index = (type == MessageWarning) ? 1 : (type == MessageError) ? 2 : 0;
    ui->lb_title->setText(tr(titles[index]));
    ui->lb_title->setStyleSheet(QStringLiteral("color: %1;").arg(QString::fromLatin1(look.titleColour)));

    timer_->setObjectName(QStringLiteral("destroyTimer"));
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &OvFilePathReminderForm::onTimeupDestroy);
    timer_->start(kLifetimeMs);
}

OvFilePathReminderForm::~OvFilePathReminderForm()
{
    delete ui;
}

void OvFilePathReminderForm::onTimeupDestroy()
{
    deleteLater();
}

void OvFilePathReminderForm::on_pb_open_dir_clicked()
{
    const FolderOpener& opener = folderOpener();
    const bool opened = opener ? opener(filePath_) : QDesktopServices::openUrl(QUrl::fromLocalFile(filePath_));
    if (opened)
        return;
    qWarning() << "Failed to open directory" << filePath_;
    // The path instead, to copy, for as long as the user wants it.
    timer_->stop();
    ui->pb_open_dir->hide();
    ui->lb_show_tips->setText(tr("The folder could not be opened (no file manager?): %1")
                                  .arg(QDir::toNativeSeparators(filePath_)));
    ui->lb_show_tips->setWordWrap(true);
    ui->lb_show_tips->setTextInteractionFlags(Qt::TextSelectableByMouse);
    adjustSize();
}

void OvFilePathReminderForm::on_pb_close_clicked()
{
    close();
}
