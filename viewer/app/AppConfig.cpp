#include "AppConfig.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

const char* const kOutputKey = "Setting/output_raw_file_path";
const char* const kInputKey = "Setting/input_raw_file_path";
const char* const kVideoKey = "Setting/video_save_path";
const char* const kLanguageKey = "Setting/language";

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
    static AppConfig config(QStringLiteral("config.ini"),
                            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    return config;
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

void AppConfig::load(const QString& documentsDir)
{
    // The language does not depend on the documents folder, so it is read first: an early stop
    // below must not leave it empty.
    language_ = normalisedLanguage(settings_->value(kLanguageKey).toString());

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
    settings_->sync();
    qDebug() << "Write to config file.";
}
