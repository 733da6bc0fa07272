#include "OvExportVideoUI.h"

#include "orvane/driver/Exporter.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace {

constexpr int kMaxAccumulationUs = 100000000;

struct KindInfo {
    QString name;
    QString extension;
    std::vector<orvane::ExportOption> options;
};

std::vector<KindInfo> buildKinds()
{
    std::vector<KindInfo> out;
    for (const auto& e : orvane::makeExporters())
        out.push_back(
            {QString::fromStdString(e->name()), QString::fromStdString(e->extension()), e->options()});
    return out;
}

const std::vector<KindInfo>& exporterKinds()
{
    static const std::vector<KindInfo> kinds = buildKinds();
    return kinds;
}

const orvane::ExportOption* videoOption(const char* name)
{
    for (const KindInfo& k : exporterKinds()) {
        if (k.name != QLatin1String("video")) continue;
        for (const orvane::ExportOption& o : k.options)
            if (o.name == name) return &o;
    }
    return nullptr;
}

QString defaultOf(const char* name, const char* fallback)
{
    const orvane::ExportOption* o = videoOption(name);
    return o && !o->defaultValue.empty() ? QString::fromStdString(o->defaultValue)
                                         : QString::fromLatin1(fallback);
}

QStringList choicesOf(const char* name)
{
    QStringList words;
    if (const orvane::ExportOption* o = videoOption(name))
        for (const std::string& c : o->choices) words << QString::fromStdString(c);
    return words;
}

// The height and size of text of the line edits above (the spin boxes' own editors would otherwise
// keep the application's font, and the style sheet's heights do not reach them).
void fitField(QWidget* field)
{
    QFont font = field->font();
    font.setPixelSize(12);
    field->setFont(font);
    field->setFixedHeight(30);
}

}  // namespace

OvExportVideoUI::OvExportVideoUI(QWidget* parent)
    : OvTimeRangeDialog(QStringLiteral("OvExportVideoUI"), tr("Export"), tr("Export"), QStringLiteral(".mp4"),
                        parent)
{
    setStyleSheet(
        styleSheet() +
        QStringLiteral(
            "\nQComboBox, QSpinBox, QDoubleSpinBox { min-height: 28px; font-size: 12px; color: #555555;"
            " background-color: #FFFFFF; border: 1px solid #ACACAC; border-radius: 3px; padding: 0px 6px; }"
            "\nQComboBox:focus, QSpinBox:focus, QDoubleSpinBox:focus { border-color: #004B6A; }"
            "\nQComboBox:disabled, QSpinBox:disabled, QDoubleSpinBox:disabled { color: #AAAAAA; "
            "background-color: #EEEEEE; }"));

    const auto label = [this](const QString& text) {
        auto* l = new QLabel(text, this);
        return l;
    };

    kindBox_ = new QComboBox(this);
    kindBox_->setObjectName(QStringLiteral("cb_kind"));
    for (const KindInfo& k : exporterKinds()) {
        QString text;
        if (k.name == QLatin1String("raw"))
            text = tr("Raw recording (%1)");
        else if (k.name == QLatin1String("video"))
            text = tr("H.264 video (%1)");
        else if (k.name == QLatin1String("csv"))
            text = tr("CSV events (%1)");
        else if (k.name == QLatin1String("hdf5"))
            text = tr("HDF5 datasets (%1)");
        else
            text = k.name + QStringLiteral(" (%1)");
        kindBox_->addItem(text.arg(k.extension), k.name);
        extensions_ << k.extension;
    }
    addFieldRow(label(tr("Export As")), kindBox_);
    fitField(kindBox_);

    fps_ = new QSpinBox(this);
    fps_->setObjectName(QStringLiteral("sb_fps"));
    fps_->setRange(1, 240);
    fps_->setValue(defaultOf("fps", "30").toInt());
    fps_->setSuffix(tr(" fps"));

    speed_ = new QDoubleSpinBox(this);
    speed_->setObjectName(QStringLiteral("sb_speed"));
    speed_->setDecimals(3);
    speed_->setRange(0.001, 100.0);
    speed_->setSingleStep(0.1);
    speed_->setValue(defaultOf("speed", "1").toDouble());
    speed_->setSuffix(QStringLiteral(" ×"));
    speed_->setToolTip(tr("Recording seconds shown per second of video"));

    accumulation_ = new QSpinBox(this);
    accumulation_->setObjectName(QStringLiteral("sb_accumulation"));
    accumulation_->setRange(0, kMaxAccumulationUs);
    accumulation_->setSingleStep(1000);
    accumulation_->setSuffix(QStringLiteral(" µs"));
    accumulation_->setSpecialValueText(tr("Time of one frame"));
    accumulation_->setValue(0);
    accumulation_->setToolTip(tr("The recording time whose events make each frame"));

    const auto modeText = [](const QString& word) {
        if (word == QLatin1String("accumulation")) return tr("Accumulation");
        if (word == QLatin1String("time-surface")) return tr("Time surface");
        if (word == QLatin1String("grey")) return tr("Grey");
        if (word == QLatin1String("dark")) return tr("Dark");
        if (word == QLatin1String("light")) return tr("Light");
        return word;
    };
    mode_ = new QComboBox(this);
    mode_->setObjectName(QStringLiteral("cb_mode"));
    for (const QString& w : choicesOf("mode")) mode_->addItem(modeText(w), w);
    mode_->setCurrentIndex(std::max(0, mode_->findData(defaultOf("mode", "accumulation"))));
    theme_ = new QComboBox(this);
    theme_->setObjectName(QStringLiteral("cb_theme"));
    for (const QString& w : choicesOf("theme")) theme_->addItem(modeText(w), w);
    theme_->setCurrentIndex(std::max(0, theme_->findData(defaultOf("theme", "grey"))));

    timeConstant_ = new QSpinBox(this);
    timeConstant_->setObjectName(QStringLiteral("sb_time_constant"));
    timeConstant_->setRange(100, 10000000);
    timeConstant_->setSingleStep(1000);
    timeConstant_->setSuffix(QStringLiteral(" µs"));
    timeConstant_->setValue(defaultOf("time_constant_us", "20000").toInt());
    timeConstant_->setToolTip(tr("Time surface: how long a pixel takes to fade"));

    const QList<QPair<QString, QWidget*>> rows = {
        {tr("Frame Rate"), fps_}, {tr("Speed"), speed_}, {tr("Accumulation"), accumulation_},
        {tr("Mode"), mode_},      {tr("Theme"), theme_}, {tr("Time Constant"), timeConstant_}};
    for (const auto& [text, field] : rows) {
        // The same size of text as the line edits above (the spin boxes' own editors would
        // otherwise keep the application's font).
        QLabel* l = label(text);
        addFieldRow(l, field);
        fitField(field);
        videoRows_ << qMakePair(l, field);
    }
    const auto timeSurface = [this] {
        timeConstant_->setEnabled(mode_->currentData().toString() == QLatin1String("time-surface"));
    };
    connect(mode_, &QComboBox::currentIndexChanged, this, timeSurface);
    timeSurface();

    connect(kindBox_, &QComboBox::currentIndexChanged, this, &OvExportVideoUI::onKindChanged);
    connect(fileNameEdit(), &QLineEdit::textChanged, this, &OvExportVideoUI::onFileNameEdited);
    setKind(QStringLiteral("video"));
    showVideoFields(kind() == QLatin1String("video"));
    revalidate();
}

QString OvExportVideoUI::kind() const
{
    return kindBox_->currentData().toString();
}

QStringList OvExportVideoUI::kinds() const
{
    QStringList names;
    for (int i = 0; i < kindBox_->count(); ++i) names << kindBox_->itemData(i).toString();
    return names;
}

bool OvExportVideoUI::setKind(const QString& name)
{
    const int i = kindBox_->findData(name);
    if (i < 0) return false;
    if (i == kindBox_->currentIndex())
        onKindChanged();  // the name may not end in the kind's extension yet
    else
        kindBox_->setCurrentIndex(i);
    return true;
}

void OvExportVideoUI::onKindChanged()
{
    const int i = kindBox_->currentIndex();
    if (i < 0) return;
    showVideoFields(kind() == QLatin1String("video"));
    if (syncing_) return;
    // The file name takes the kind's extension in place of the one it has.
    const QString name = fileName();
    const QFileInfo info(name);
    const QString ext = extensions_.value(i);
    if (!name.endsWith(ext, Qt::CaseInsensitive)) {
        syncing_ = true;
        const QString suffix = info.suffix();
        const QString base = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
        setFileName(base + ext);
        syncing_ = false;
    }
    revalidate();
}

void OvExportVideoUI::onFileNameEdited(const QString& name)
{
    if (syncing_) return;
    // A name typed with another kind's extension picks that kind.
    for (const auto& e : orvane::makeExporters()) {
        if (!e->accepts(name.toStdString())) continue;
        const int i = kindBox_->findData(QString::fromStdString(e->name()));
        if (i >= 0 && i != kindBox_->currentIndex()) {
            syncing_ = true;
            kindBox_->setCurrentIndex(i);
            syncing_ = false;
        }
        break;
    }
}

void OvExportVideoUI::showVideoFields(bool shown)
{
    for (const auto& [l, field] : videoRows_) {
        l->setVisible(shown);
        field->setVisible(shown);
    }
    // The dialog is not resizable: it fits its rows.
    adjustSize();
}

QString OvExportVideoUI::fileNameProblem() const
{
    // Called by the base class's constructor too, before this one has made its fields.
    if (!kindBox_) return {};
    for (const auto& e : orvane::makeExporters())
        if (e->accepts(fileName().toStdString())) return {};
    return tr("The file name must end in one of %1.").arg(extensions_.join(QStringLiteral(", ")));
}

QList<QPair<QString, QString>> OvExportVideoUI::options() const
{
    if (kind() != QLatin1String("video")) return {};
    QList<QPair<QString, QString>> out{{QStringLiteral("fps"), QString::number(fps_->value())},
                                       {QStringLiteral("speed"), QString::number(speed_->value(), 'f', 3)},
                                       {QStringLiteral("mode"), mode_->currentData().toString()},
                                       {QStringLiteral("theme"), theme_->currentData().toString()}};
    if (accumulation_->value() > 0)
        out.append({QStringLiteral("accumulation_us"), QString::number(accumulation_->value())});
    if (timeConstant_->isEnabled())
        out.append({QStringLiteral("time_constant_us"), QString::number(timeConstant_->value())});
    return out;
}

void OvExportVideoUI::setFps(int fps)
{
    fps_->setValue(fps);
}

void OvExportVideoUI::setSpeed(double speed)
{
    speed_->setValue(speed);
}

void OvExportVideoUI::setAccumulationUs(int us)
{
    accumulation_->setValue(us);
}

bool OvExportVideoUI::setMode(const QString& word)
{
    const int i = mode_->findData(word);
    if (i >= 0) mode_->setCurrentIndex(i);
    return i >= 0;
}

bool OvExportVideoUI::setTheme(const QString& word)
{
    const int i = theme_->findData(word);
    if (i >= 0) theme_->setCurrentIndex(i);
    return i >= 0;
}

void OvExportVideoUI::setTimeConstantUs(int us)
{
    timeConstant_->setValue(us);
}
