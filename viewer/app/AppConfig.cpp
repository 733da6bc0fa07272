#include "AppConfig.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace {

const char* const kOutputKey = "Setting/output_raw_file_path";
const char* const kInputKey = "Setting/input_raw_file_path";
const char* const kVideoKey = "Setting/video_save_path";
const char* const kLanguageKey = "Setting/language";
const char* const kDisplayModeKey = "Display/mode";
const char* const kPolarityKey = "Display/polarity";
const char* const kThemeKey = "Display/theme";
const char* const kTimeConstantKey = "Display/time_constant_us";
const char* const kRecentKey = "Setting/recent_files";
constexpr uint64_t kMinTimeConstantUs = 100;
constexpr uint64_t kMaxTimeConstantUs = 10000000;

// An enumeration's value from the file; anything else is its first value.
int32_t enumValue(const QVariant& value, int32_t count)
{
    bool ok = false;
    const int v = value.toInt(&ok);
    return ok && v >= 0 && v < count ? v : 0;
}

bool isUsableFolder(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString normalisedLanguage(const QString& language)
{
    return (language == QLatin1String("en") || language == QLatin1String("zh")) ? language
                                                                                 : QStringLiteral("en");
}

// The default data folder under the documents folder, created when missing.
QString defaultDataFolder(const QString& documentsDir, bool logFailure)
{
    const QString path = documentsDir + QStringLiteral("/OrvaneData");
    if (!QDir().mkpath(path) && logFailure)
        qWarning() << "Create raw file path failed.";
    return path;
}

}  // namespace

AppConfig& AppConfig::instance()
{
    static AppConfig config(settingsFile(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
                                         QDir::currentPath()),
                            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    return config;
}

QString AppConfig::settingsFile(const QString& configFolder, const QString& workingFolder)
{
    const QString old = QDir(workingFolder).filePath(QStringLiteral("config.ini"));
    if (configFolder.isEmpty() || !QDir().mkpath(configFolder)) {
        qWarning() << "No configuration folder; the settings stay in" << old;
        return old;
    }
    const QString file = QDir(configFolder).filePath(QStringLiteral("config.ini"));
    if (!QFileInfo::exists(file) && QFileInfo(old).isFile() && QFileInfo(old).absoluteFilePath() != QFileInfo(file).absoluteFilePath()) {
        if (QFile::copy(old, file))
            qInfo() << "Settings taken over from" << old << "into" << file;
        else
            qWarning() << "Could not copy" << old << "to" << file;
    }
    return file;
}

AppConfig::AppConfig(const QString& fileName, const QString& documentsDir)
    : settings_(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
    load(documentsDir);
}

AppConfig::~AppConfig()
{
    save();
    settings_.reset();
}

void AppConfig::setLanguage(const QString& language)
{
    language_ = normalisedLanguage(language);
}

void AppConfig::setDisplay(const Display& display)
{
    display_ = display;
    display_.mode = std::clamp<int32_t>(display.mode, 0, 1);
    display_.polarity = std::clamp<int32_t>(display.polarity, 0, 2);
    display_.theme = std::clamp<int32_t>(display.theme, 0, 2);
    display_.timeConstantUs = std::clamp(display.timeConstantUs, kMinTimeConstantUs, kMaxTimeConstantUs);
}

void AppConfig::addRecentFile(const QString& path)
{
    recentFiles_.removeAll(path);
    recentFiles_.prepend(path);
    while (recentFiles_.size() > kRecentFiles)
        recentFiles_.removeLast();
}

void AppConfig::load(const QString& documentsDir)
{
    // The language and the display do not depend on the documents folder, so they are read first:
    // an early stop below must not leave them empty.
    language_ = normalisedLanguage(settings_->value(kLanguageKey).toString());
    Display display;
    display.mode = enumValue(settings_->value(kDisplayModeKey), 2);
    display.polarity = enumValue(settings_->value(kPolarityKey), 3);
    display.theme = enumValue(settings_->value(kThemeKey), 3);
    bool ok = false;
    const qulonglong tau = settings_->value(kTimeConstantKey).toULongLong(&ok);
    display.timeConstantUs = ok ? tau : display.timeConstantUs;
    setDisplay(display);
    for (const QString& path : settings_->value(kRecentKey).toStringList())
        if (!path.isEmpty() && recentFiles_.size() < kRecentFiles && !recentFiles_.contains(path))
            recentFiles_.append(path);

    outputRawFilePath_ = settings_->value(kOutputKey).toString();
    if (!isUsableFolder(outputRawFilePath_)) {
        if (documentsDir.isEmpty()) {
            outputRawFilePath_.clear();
            return;
        }
        outputRawFilePath_ = defaultDataFolder(documentsDir, false);
    }

    inputRawFilePath_ = settings_->value(kInputKey).toString();
    if (!isUsableFolder(inputRawFilePath_)) {
        if (documentsDir.isEmpty()) {
            inputRawFilePath_.clear();
            qWarning() << "Unable to get documents location.";
            return;
        }
        inputRawFilePath_ = defaultDataFolder(documentsDir, true);
    }

    videoSavePath_ = settings_->value(kVideoKey).toString();
    if (!isUsableFolder(videoSavePath_)) {
        videoSavePath_.clear();
        if (!documentsDir.isEmpty())
            videoSavePath_ = defaultDataFolder(documentsDir, true);
    }
}

void AppConfig::save()
{
    if (!settings_)
        return;
    settings_->setValue(kOutputKey, outputRawFilePath_);
    settings_->setValue(kInputKey, inputRawFilePath_);
    settings_->setValue(kVideoKey, videoSavePath_);
    settings_->setValue(kLanguageKey, language_);
    settings_->setValue(kDisplayModeKey, display_.mode);
    settings_->setValue(kPolarityKey, display_.polarity);
    settings_->setValue(kThemeKey, display_.theme);
    settings_->setValue(kTimeConstantKey, qulonglong(display_.timeConstantUs));
    settings_->setValue(kRecentKey, recentFiles_);
    settings_->sync();
    qDebug() << "Write to config file.";
}
