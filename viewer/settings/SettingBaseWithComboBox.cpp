#include "SettingBaseWithComboBox.h"

#include "OVComboBoxBase.h"
#include "ItemLook.h"
#include "OvToolTip.h"
#include "ui_SettingBaseWithComboBox.h"

SettingBaseWithComboBox::SettingBaseWithComboBox(const std::string& name, QWidget* parent)
    : QWidget(parent), ui(new Ui::SettingBaseWithComboBox), name_(name)
{
    ui->setupUi(this);
    if (!name_.empty())
        ui->lb_set_item_name->setText(itemlook::breakableName(name_));
    else
        name_ = ui->lb_set_item_name->text().toStdString();
    // The options are the tool's: nothing to type, and a click anywhere opens the list.
    ui->cb_item->comboBox()->setEditable(false);
    itemlook::keepTextReadable(ui->cb_item);
    connect(ui->cb_item->comboBox(), &QComboBox::currentTextChanged, this,
            &SettingBaseWithComboBox::cbCurrentTextChanged);
}

SettingBaseWithComboBox::~SettingBaseWithComboBox()
{
    disconnect(ui->cb_item->comboBox(), nullptr, this, nullptr);
    delete ui;
}

QComboBox* SettingBaseWithComboBox::comboBox() const
{
    return ui->cb_item->comboBox();
}

void SettingBaseWithComboBox::addItem(const QString& item)
{
    ui->cb_item->comboBox()->addItem(item);
}

void SettingBaseWithComboBox::setCurrentText(const QString& item)
{
    const QSignalBlocker blocker(this);
    const int index = ui->cb_item->comboBox()->findText(item);
    if (index >= 0)
        ui->cb_item->comboBox()->setCurrentIndex(index);
}

QString SettingBaseWithComboBox::currentText() const
{
    return ui->cb_item->comboBox()->currentText();
}

void SettingBaseWithComboBox::setToolTipText(const QString& text)
{
    if (!toolTip_) {
        toolTip_ = new OvToolTip(text, OvToolTip::CenterAbove, this);
        toolTip_->attach(ui->lb_set_item_name);
    } else {
        toolTip_->setText(text);
    }
}

void SettingBaseWithComboBox::cbCurrentTextChanged(const QString& text)
{
    Q_EMIT signalItemValueChanged(name_, text.toStdString());
}
