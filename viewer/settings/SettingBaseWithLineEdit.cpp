#include "SettingBaseWithLineEdit.h"

#include "OvLineEditBase.h"
#include "OvSlider.h"
#include "ItemLook.h"
#include "OvToolTip.h"
#include "ui_SettingBaseWithLineEdit.h"

#include <QLabel>

namespace {
const QString kBlue = QStringLiteral("#004B6A");
const QString kGrey = QStringLiteral("#ACACAC");
const QString kRed = QStringLiteral("#FF6058");
}  // namespace

SettingBaseWithLineEdit::SettingBaseWithLineEdit(const std::string& name, QWidget* parent)
    : QWidget(parent), ui(new Ui::SettingBaseWithLineEdit), name_(name)
{
    ui->setupUi(this);
    range_ = new QLabel(this);
    range_->setObjectName(QStringLiteral("lb_range"));
    range_->setWordWrap(true);
    range_->hide();
    ui->verticalLayout->insertWidget(1, range_);
    if (!name_.empty())
        ui->lb_set_item_name->setText(itemlook::breakableName(name_));
    else
        name_ = ui->lb_set_item_name->text().toStdString();
    ui->widget_with_slider->hide();
    ui->horizontalSlider->setFocusProxy(ui->le_ov_line_edit);
    connect(ui->le_ov_line_edit, &QLineEdit::editingFinished, this, &SettingBaseWithLineEdit::onEditingFinished);
}

SettingBaseWithLineEdit::~SettingBaseWithLineEdit()
{
    delete ui;
}

int SettingBaseWithLineEdit::value() const
{
    return ui->horizontalSlider->value();
}

QString SettingBaseWithLineEdit::text() const
{
    return ui->le_ov_line_edit->text();
}

void SettingBaseWithLineEdit::setRange(int min, int max)
{
    // The slider clamps its old value into the new range; that is not a value the user chose,
    // so nothing may be shown or sent for it.
    const QSignalBlocker blocker(ui->horizontalSlider);
    ui->horizontalSlider->setRange(min, max);
    min_ = ui->horizontalSlider->minimum();
    max_ = ui->horizontalSlider->maximum();
    showRange();
}

void SettingBaseWithLineEdit::showRange(const QString& note)
{
    range_->setText(note.isEmpty() ? tr("Range: %1 to %2").arg(min_).arg(max_) : note);
    range_->setStyleSheet(note.isEmpty() ? QStringLiteral("color: %1; font-size: 11px;").arg(kGrey)
                                         : QStringLiteral("color: %1; font-size: 11px;").arg(kRed));
    range_->show();
}

void SettingBaseWithLineEdit::setValue(int value)
{
    if (value < min_ || value > max_)
        return;
    ui->le_ov_line_edit->setText(QString::number(value));
    ui->horizontalSlider->setValue(value);
}

void SettingBaseWithLineEdit::setUnit(const std::string& unit)
{
    if (unit.empty() || unit == " ")
        return;
    ui->lb_unit->setText(QLatin1Char('(') + QString::fromStdString(unit) + QLatin1Char(')'));
}

void SettingBaseWithLineEdit::setToolTipText(const QString& text)
{
    if (!toolTip_) {
        toolTip_ = new OvToolTip(text, OvToolTip::CenterAbove, this);
        toolTip_->attach(ui->lb_set_item_name);
    } else {
        toolTip_->setText(text);
    }
}

void SettingBaseWithLineEdit::setCheckFunction(CheckFunction check)
{
    check_ = std::move(check);
}

void SettingBaseWithLineEdit::setValid(bool valid)
{
    valid_ = valid;
    setBorder(valid ? kGrey : kRed);
}

void SettingBaseWithLineEdit::setBorder(const QString& colour)
{
    ui->le_ov_line_edit->setBorderColour(colour);
}

void SettingBaseWithLineEdit::on_horizontalSlider_valueChanged(int value)
{
    ui->le_ov_line_edit->setText(QString::number(value));
    Q_EMIT signalItemValueChanged(name_, value);
    if (check_)
        check_(name_, value);
}

void SettingBaseWithLineEdit::on_le_ov_line_edit_textChanged(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok) {
        setBorder(kRed);
        return;
    }
    // Blue first: a check function run by the new value paints its own verdict over it.
    if (ui->le_ov_line_edit->hasFocus())
        setBorder(valid_ ? kBlue : kRed);
    // The slider writes a clamped value back into the editor (which lands here again, in range):
    // the note comes after that.
    ui->horizontalSlider->setValue(value);
    if (value < min_ || value > max_)
        showClamped(value);
    else
        showRange();
}

void SettingBaseWithLineEdit::showClamped(int typed)
{
    showRange(tr("%1 is outside %2 to %3: set to %4").arg(typed).arg(min_).arg(max_).arg(ui->horizontalSlider->value()));
}

void SettingBaseWithLineEdit::onEditingFinished()
{
    bool ok = false;
    const int value = ui->le_ov_line_edit->text().toInt(&ok, 10);
    if (!ok) {
        setBorder(kRed);
        return;
    }
    ui->horizontalSlider->setValue(value);
    // The slider may have clamped the typed number: show what is held, and say so.
    const int held = ui->horizontalSlider->value();
    ui->le_ov_line_edit->setText(QString::number(held));
    if (held != value)
        showClamped(value);
    // Leaving the editor greys its border; a value the check refused stays marked.
    if (!valid_)
        setBorder(kRed);
}

void SettingBaseWithLineEdit::step(int delta)
{
    bool ok = false;
    const int value = ui->le_ov_line_edit->text().toInt(&ok, 10);
    if (!ok)
        return;
    const long long next = static_cast<long long>(value) + delta;
    if (next > max_ || next < min_)
        return;
    if (ui->le_ov_line_edit->hasFocus())
        setBorder(valid_ ? kBlue : kRed);
    ui->horizontalSlider->setValue(static_cast<int>(next));
}

void SettingBaseWithLineEdit::on_pb_add_item_value_clicked()
{
    step(+1);
}

void SettingBaseWithLineEdit::on_pb_sub_item_value_clicked()
{
    step(-1);
}
