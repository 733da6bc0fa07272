#include "SettingItemBox.h"

#include "ItemLook.h"
#include "ui_SettingItemBox.h"

#include <QIcon>
#include <QMouseEvent>
#include <QRegularExpression>

SettingItemBox::SettingItemBox(QWidget* parent) : QWidget(parent), ui(new Ui::SettingItemBox)
{
    ui->setupUi(this);
    setFolded(false);
    // The whole title bar folds, not only its small arrow.
    ui->widget_setting_box_title->installEventFilter(this);
    ui->widget_setting_box_title->setCursor(Qt::PointingHandCursor);
}

bool SettingItemBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->widget_setting_box_title && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ui->pb_fold->click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

SettingItemBox::~SettingItemBox()
{
    delete ui;
}

QString SettingItemBox::title() const
{
    return ui->lb_setting_box_title_text->text();
}

void SettingItemBox::setTitle(const QString& title)
{
    ui->lb_setting_box_title_text->setText(title);
}

QWidget* SettingItemBox::titleBar() const
{
    return ui->widget_setting_box_title;
}

QWidget* SettingItemBox::itemParent() const
{
    return ui->widget_container;
}

void SettingItemBox::addItem(QWidget* item)
{
    ui->widget_container->layout()->addWidget(item);
    refresh(item);
}

void SettingItemBox::insertItem(QWidget* item, int index)
{
    static_cast<QVBoxLayout*>(ui->widget_container->layout())->insertWidget(index, item);
    refresh(item);
}

int SettingItemBox::itemCount() const
{
    return ui->widget_container->layout()->count();
}

QWidget* SettingItemBox::itemAt(int index) const
{
    QLayoutItem* item = ui->widget_container->layout()->itemAt(index);
    return item ? item->widget() : nullptr;
}

void SettingItemBox::refresh(QWidget* item)
{
    // A box filled off screen is laid out once when shown; a layout pass per added item made
    // building a camera's sections hold the GUI thread for over 100 ms.
    if (!isVisible())
        return;
    ui->widget_container->adjustSize();
    adjustSize();
    item->update();
    ui->widget_container->update();
    update();
}

void SettingItemBox::setFolded(bool folded)
{
    static const QRegularExpression border(QStringLiteral("(\\bborder[^;]*;)"));
    static const QRegularExpression background(QStringLiteral("(\\bbackground[^;]*;)"));
    QWidget* bar = ui->widget_setting_box_title;
    QString sheet = bar->styleSheet();
    sheet = itemlook::replaceFirstRule(sheet, border,
                        folded ? QStringLiteral("border-left: 0px solid #004B6A;") : QStringLiteral("border-left: 2px solid #004B6A;"));
    sheet = itemlook::replaceFirstRule(sheet, background,
                        folded ? QStringLiteral("background: #F4F5F7;") : QStringLiteral("background: #E1E9ED;"));
    bar->setStyleSheet(sheet);
    ui->widget_container->setVisible(!folded);
    ui->pb_fold->setChecked(folded);
    ui->pb_fold->setIcon(QIcon(folded ? QStringLiteral(":/img/assets/bnt_arrow_up_Pressed.svg")
                                      : QStringLiteral(":/img/assets/bnt_arrow_down.svg")));
}

bool SettingItemBox::isFolded() const
{
    return ui->pb_fold->isChecked();
}

void SettingItemBox::on_pb_fold_clicked(bool checked)
{
    setFolded(checked);
}
