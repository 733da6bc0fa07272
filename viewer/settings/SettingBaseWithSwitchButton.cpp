#include "SettingBaseWithSwitchButton.h"

#include "ItemLook.h"
#include "OvToolTip.h"
#include "ui_SettingBaseWithSwitchButton.h"

SettingBaseWithSwitchButton::SettingBaseWithSwitchButton(const std::string& name, QWidget* parent)
    : QWidget(parent), ui(new Ui::SettingBaseWithSwitchButton), name_(name)
{
    ui->setupUi(this);
    if (!name_.empty())
        ui->lb_item_name->setText(itemlook::breakableName(name_));
    else
        name_ = ui->lb_item_name->text().toStdString();
}

SettingBaseWithSwitchButton::~SettingBaseWithSwitchButton()
{
    delete ui;
}

bool SettingBaseWithSwitchButton::isChecked() const
{
    return ui->switchButton->isChecked();
}

void SettingBaseWithSwitchButton::setChecked(bool checked)
{
    ui->switchButton->setChecked(checked);
}

QPushButton* SettingBaseWithSwitchButton::switchButton() const
{
    return ui->switchButton;
}

void SettingBaseWithSwitchButton::setToolTipText(const QString& text)
{
    if (!toolTip_) {
        toolTip_ = new OvToolTip(text, OvToolTip::CenterAbove, this);
        toolTip_->attach(ui->lb_item_name);
    } else {
        toolTip_->setText(text);
    }
}

void SettingBaseWithSwitchButton::on_switchButton_clicked()
{
    Q_EMIT signalItemValueChanged(name_, ui->switchButton->isChecked());
}
