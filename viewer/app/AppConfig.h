// The viewer's settings: the three folders it reads from and writes to and the interface language,
// kept in "config.ini" in the working directory. One instance lives for the whole process
// (instance()); the main window and the general settings dialog read and change it on the GUI
// thread, and it writes itself back at exit.
#pragma once

#include <QString>

#include <memory>

class QSettings;

class AppConfig {
public:
    // The process-wide settings, loaded from "config.ini" on first use.
    static AppConfig& instance();

    // Loads `fileName`; `documentsDir` is where the default folder "OrvaneData" goes (empty when the
    // platform has no documents location).
    AppConfig(const QString& fileName, const QString& documentsDir);
    ~AppConfig();  // writes the fields back once more
    AppConfig(const AppConfig&) = delete;
    AppConfig& operator=(const AppConfig&) = delete;

    QString outputRawFilePath() const { return outputRawFilePath_; }
    QString inputRawFilePath() const { return inputRawFilePath_; }
    QString videoSavePath() const { return videoSavePath_; }
    QString language() const { return language_; }
    void setOutputRawFilePath(const QString& path) { outputRawFilePath_ = path; }
    void setInputRawFilePath(const QString& path) { inputRawFilePath_ = path; }
    void setVideoSavePath(const QString& path) { videoSavePath_ = path; }
    void setLanguage(const QString& language);

    // Writes the four fields and flushes the file.
    void save();

private:
    void load(const QString& documentsDir);

    std::unique_ptr<QSettings> settings_;
    QString outputRawFilePath_;
    QString inputRawFilePath_;
    QString videoSavePath_;
    QString language_ = QStringLiteral("en");
};
