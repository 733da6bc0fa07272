#include "SettingDisplayItem.h"

#include "ItemLook.h"
#include "OVComboBoxBase.h"
#include "OvComboBox.h"
#include "StyleSheetEdit.h"
#include "ui_SettingDisplayItem.h"

#include <QDebug>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

#include <cmath>

namespace {

// Decimal texts like "1.005" land a hair below their value in binary; truncating that would
// lose a whole unit.
constexpr double kRoundingSlack = 1e-6;

QString replaceBackground(const QString& sheet, const QString& colour)
{
    static const QRegularExpression re(QStringLiteral("(?<![-\\w])(background-color\\s*:[^;]*;)"));
    return itemlook::replaceFirstRule(sheet, re, QStringLiteral("background-color: ") + colour + QLatin1Char(';'));
}

}  // namespace

SettingDisplayItem::SettingDisplayItem(QWidget* parent) : QWidget(parent), ui(new Ui::SettingDisplayItem)
{
    ui->setupUi(this);
    struct Setup {
        OvComboBox* box;
        QStringList items;
    };
    const Setup setups[] = {
        {ui->cb_cumulative_time, {QStringLiteral("33.33ms"), QStringLiteral("100ms"), QStringLiteral("10ms"), QStringLiteral("1ms")}},
        {ui->cb_slow_rate, {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("100"),
                            QStringLiteral("1000")}},
    };
    for (const Setup& s : setups) {
        OVComboBoxBase* combo = s.box->comboBox();
        combo->addItems(s.items);
        // Enter must commit the typed value, not add it to the list.
        combo->setInsertPolicy(QComboBox::NoInsert);
        s.box->setLineEditEnabled(true);
        itemlook::keepTextReadable(s.box);
    }
    connect(ui->cb_cumulative_time, &OvComboBox::signalLineEditTextChanged, this, &SettingDisplayItem::onAccumulationTyped);
    connect(ui->cb_cumulative_time, &OvComboBox::signalLineEditEditingFinished, this, &SettingDisplayItem::commitAccumulation);
    connect(ui->cb_slow_rate, &OvComboBox::signalLineEditTextChanged, this, &SettingDisplayItem::onSlowRateTyped);
    connect(ui->cb_slow_rate, &OvComboBox::signalLineEditEditingFinished, this, &SettingDisplayItem::commitSlowRate);
    // Picking an entry of the list is a choice as final as typing and leaving.
    connect(ui->cb_cumulative_time->comboBox(), &QComboBox::activated, this, &SettingDisplayItem::commitAccumulation);
    connect(ui->cb_slow_rate->comboBox(), &QComboBox::activated, this, &SettingDisplayItem::commitSlowRate);
    buildRenderRows();
}

void SettingDisplayItem::buildRenderRows()
{
    const auto addRow = [this](const QString& label, const QStringList& items, bool editable) {
        auto* text = new QLabel(label, this);
        text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        auto* box = new OvComboBox(this);
        box->setFixedSize(150, 32);
        OVComboBoxBase* combo = box->comboBox();
        combo->addItems(items);
        combo->setInsertPolicy(QComboBox::NoInsert);
        box->setLineEditEnabled(editable);
        itemlook::keepTextReadable(box);
        const int row = ui->gridLayout->rowCount();
        ui->gridLayout->addWidget(text, row, 0);
        ui->gridLayout->addWidget(box, row, 1);
        return box;
    };
    displayMode_ = addRow(tr("Display mode"), {tr("Accumulation"), tr("Time surface")}, false);
    timeConstant_ = addRow(tr("Time constant"),
                           {QStringLiteral("5ms"), QStringLiteral("20ms"), QStringLiteral("50ms"), QStringLiteral("200ms")}, true);
    polarity_ = addRow(tr("Events"), {tr("ON and OFF"), tr("ON only"), tr("OFF only")}, false);
    theme_ = addRow(tr("Colour theme"), {tr("Grey"), tr("Dark"), tr("Light")}, false);
    setRenderSettings(render_);
    for (OvComboBox* box : {displayMode_, polarity_, theme_})
        connect(box->comboBox(), &QComboBox::activated, this, &SettingDisplayItem::commitChoices);
    connect(timeConstant_, &OvComboBox::signalLineEditTextChanged, this, &SettingDisplayItem::onTimeConstantTyped);
    connect(timeConstant_, &OvComboBox::signalLineEditEditingFinished, this, &SettingDisplayItem::commitTimeConstant);
    connect(timeConstant_->comboBox(), &QComboBox::activated, this, &SettingDisplayItem::commitTimeConstant);
}

void SettingDisplayItem::showAccumulationTime(uint64_t us)
{
    // A text that reads within 0.1 % of it is the same value ("33.33ms" is the engine's 33333 us):
    // whole milliseconds as "100ms", others with two decimals, else in us.
    const auto near = [us](const QString& text) {
        const std::optional<uint64_t> v = parseAccumulationTime(text);
        return v && (*v > us ? *v - us : us - *v) * 1000 <= us;
    };
    OVComboBoxBase* combo = ui->cb_cumulative_time->comboBox();
    if (near(combo->currentText()))
        return;
    QString text = us % 1000 == 0 ? QStringLiteral("%1ms").arg(us / 1000)
                                  : QStringLiteral("%1ms").arg(double(us) / 1000.0, 0, 'f', 2);
    if (!near(text))
        text = QStringLiteral("%1us").arg(us);
    combo->setCurrentText(text);
    setLook(ui->cb_cumulative_time, Look::Rest);
    accumulationSent_ = true;
}

void SettingDisplayItem::setRenderSettings(const orvane::RenderSettings& settings)
{
    showing_ = true;
    render_ = settings;
    displayMode_->comboBox()->setCurrentIndex(int(settings.mode));
    polarity_->comboBox()->setCurrentIndex(int(settings.polarity));
    theme_->comboBox()->setCurrentIndex(int(settings.theme));
    const uint64_t us = settings.timeConstantUs;
    timeConstant_->comboBox()->setCurrentText(us % 1000 == 0 ? QStringLiteral("%1ms").arg(us / 1000)
                                                               : QStringLiteral("%1us").arg(us));
    showing_ = false;
}

std::optional<uint64_t> SettingDisplayItem::parseTimeConstant(const QString& text)
{
    QString t = text.trimmed().toLower();
    if (!t.endsWith(QLatin1String("ms")) && !t.endsWith(QLatin1String("us")))
        t += QLatin1String("ms");
    const bool millis = t.endsWith(QLatin1String("ms"));
    bool ok = false;
    const double number = t.chopped(2).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number) || number < 0)
        return std::nullopt;
    const double us = std::floor((millis ? number * 1000.0 : number) + kRoundingSlack);
    if (us < double(orvane::FrameRenderer::kMinTimeConstantUs) || us > double(orvane::FrameRenderer::kMaxTimeConstantUs))
        return std::nullopt;
    return uint64_t(us);
}

void SettingDisplayItem::onTimeConstantTyped(const QString& text)
{
    if (!showing_)
        setLook(timeConstant_, parseTimeConstant(text) ? Look::Valid : Look::Invalid);
}

void SettingDisplayItem::commitTimeConstant()
{
    const std::optional<uint64_t> us = parseTimeConstant(timeConstant_->comboBox()->currentText());
    if (!us) {
        setLook(timeConstant_, Look::Invalid);
        return;
    }
    setLook(timeConstant_, Look::Rest);
    if (*us == render_.timeConstantUs)
        return;
    render_.timeConstantUs = *us;
    Q_EMIT signalRenderSettingsChanged(render_);
}

void SettingDisplayItem::commitChoices()
{
    orvane::RenderSettings next = render_;
    next.mode = orvane::DisplayMode(displayMode_->comboBox()->currentIndex());
    next.polarity = orvane::PolarityFilter(polarity_->comboBox()->currentIndex());
    next.theme = orvane::ColourTheme(theme_->comboBox()->currentIndex());
    if (next == render_)
        return;
    render_ = next;
    Q_EMIT signalRenderSettingsChanged(render_);
}

SettingDisplayItem::~SettingDisplayItem()
{
    disconnect(ui->cb_cumulative_time->comboBox(), nullptr, this, nullptr);
    disconnect(ui->cb_slow_rate->comboBox(), nullptr, this, nullptr);
    for (OvComboBox* box : {displayMode_, timeConstant_, polarity_, theme_})
        disconnect(box->comboBox(), nullptr, this, nullptr);
    delete ui;
}

OvComboBox* SettingDisplayItem::accumulationTimeBox() const
{
    return ui->cb_cumulative_time;
}

OvComboBox* SettingDisplayItem::slowRateBox() const
{
    return ui->cb_slow_rate;
}

std::optional<uint64_t> SettingDisplayItem::parseAccumulationTime(const QString& input)
{
    QString text = input.trimmed().toLower();
    if (!text.endsWith(QLatin1String("ms")) && !text.endsWith(QLatin1String("us")))
        text += QLatin1String("ms");
    const bool millis = text.endsWith(QLatin1String("ms"));
    bool ok = false;
    const double number = text.chopped(2).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number) || number < 0)
        return std::nullopt;
    const double us = std::floor((millis ? number * 1000.0 : number) + kRoundingSlack);
    if (us < static_cast<double>(kMinAccumulationUs) || us > static_cast<double>(kMaxAccumulationUs))
        return std::nullopt;
    return static_cast<uint64_t>(us);
}

std::optional<uint32_t> SettingDisplayItem::parseSlowRate(const QString& text)
{
    bool ok = false;
    const double speed = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(speed) || speed < kMinSpeed || speed > kMaxSpeed)
        return std::nullopt;
    const auto fps = static_cast<uint16_t>(static_cast<uint32_t>(std::floor(speed * kBaseFps + kRoundingSlack)));
    // Speeds below 1/30 would give 0 fps, which no play loop can pace; the slowest is one picture
    // a second.
    return std::max<uint32_t>(fps, 1);
}

void SettingDisplayItem::setLook(OvComboBox* box, Look look)
{
    QString border;
    QString background;
    switch (look) {
    case Look::Rest:
        border = QStringLiteral("1px solid #A7A7A7");
        background = QStringLiteral("#FFFFFF");
        break;
    case Look::Valid:
        border = QStringLiteral("1px solid #004B6A");
        background = QStringLiteral("#D7E7EE");
        break;
    case Look::Invalid:
        border = QStringLiteral("1px solid #FF6058");
        background = QStringLiteral("#FFDAD8");
        break;
    }
    OVComboBoxBase* combo = box->comboBox();
    combo->setStyleSheet(replaceBackground(stylesheet::replaceBorder(combo->styleSheet(), border), background));
}

void SettingDisplayItem::onAccumulationTyped(const QString& text)
{
    accumulationSent_ = false;
    setLook(ui->cb_cumulative_time, parseAccumulationTime(text) ? Look::Valid : Look::Invalid);
}

void SettingDisplayItem::commitAccumulation()
{
    OVComboBoxBase* combo = ui->cb_cumulative_time->comboBox();
    const QString text = combo->currentText().trimmed();
    const std::optional<uint64_t> us = parseAccumulationTime(text);
    if (!us) {
        setLook(ui->cb_cumulative_time, Look::Invalid);
        return;
    }
    // A bare number was read as milliseconds: say so in the box.
    if (QLineEdit* edit = combo->lineEdit();
        edit && !text.endsWith(QLatin1String("ms"), Qt::CaseInsensitive) && !text.endsWith(QLatin1String("us"), Qt::CaseInsensitive)) {
        const bool sent = accumulationSent_;
        edit->setText(text + QLatin1String("ms"));
        accumulationSent_ = sent;
    }
    setLook(ui->cb_cumulative_time, Look::Rest);
    if (accumulationSent_)
        return;
    accumulationSent_ = true;
    Q_EMIT signalCumulativeTimeChanged(*us);
}

void SettingDisplayItem::onSlowRateTyped(const QString& text)
{
    slowRateSent_ = false;
    setLook(ui->cb_slow_rate, parseSlowRate(text) ? Look::Valid : Look::Invalid);
}

void SettingDisplayItem::commitSlowRate()
{
    const QString text = ui->cb_slow_rate->comboBox()->currentText();
    const std::optional<uint32_t> fps = parseSlowRate(text);
    if (!fps) {
        setLook(ui->cb_slow_rate, Look::Invalid);
        return;
    }
    setLook(ui->cb_slow_rate, Look::Rest);
    if (slowRateSent_)
        return;
    slowRateSent_ = true;
    qDebug() << "play speed: " << text.trimmed().toDouble();
    qDebug() << "frame rate change: " << *fps;
    Q_EMIT signalFpsChanged(*fps);
}
