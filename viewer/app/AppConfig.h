// The viewer's settings: the three folders it reads from and writes to and the interface language,
// kept in "config.ini" in the user's configuration folder (~/.config/OrvaneScope), whatever folder
// the viewer starts from. One instance lives for the whole process
// (instance()); the main window and the general settings dialog read and change it on the GUI
// thread, and it writes itself back at exit.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

#include <memory>

class QSettings;

class AppConfig {
public:
    // The process-wide settings, loaded from settingsFile() on first use.
    static AppConfig& instance();
    // "config.ini" in `configFolder`. A "config.ini" of older versions in `workingFolder` is copied
    // there once, when the folder has none yet, and left as it was. The working folder's file when
    // the configuration folder is unknown or cannot be made.
    static QString settingsFile(const QString& configFolder, const QString& workingFolder);

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

    // How pictures are drawn (the display panel): the values of orvane::DisplayMode,
    // PolarityFilter and ColourTheme, and the time surface's time constant.
    struct Display {
        int32_t mode = 0;
        int32_t polarity = 0;
        int32_t theme = 0;
        uint64_t timeConstantUs = 20000;
    };
    Display display() const { return display_; }
    void setDisplay(const Display& display);

    // The recordings opened last, newest first, at most kRecentFiles.
    static constexpr int kRecentFiles = 10;
    QStringList recentFiles() const { return recentFiles_; }
    void addRecentFile(const QString& path);

    // Writes the fields and flushes the file.
    void save();

private:
    void load(const QString& documentsDir);

    std::unique_ptr<QSettings> settings_;
    QString outputRawFilePath_;
    QString inputRawFilePath_;
    QString videoSavePath_;
    QString language_ = QStringLiteral("en");
    Display display_;
    QStringList recentFiles_;
};
