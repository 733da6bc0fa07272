// Settings file, translation and the language switch, splash.
#include "AppConfig.h"
#include "InitDialog.h"
#include "Language.h"
#include "OVMessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

struct ConfigFixture : ::testing::Test {
    QTemporaryDir dir;
    QString ini() const { return dir.filePath("config.ini"); }
    QString docs() const { return dir.filePath("Documents"); }
    QString dataFolder() const { return docs() + "/OrvaneData"; }
    void write(const QString& key, const QString& value)
    {
        QSettings s(ini(), QSettings::IniFormat);
        s.setValue(key, value);
    }
    QString stored(const QString& key) const { return QSettings(ini(), QSettings::IniFormat).value(key).toString(); }
};

}  // namespace

TEST_F(ConfigFixture, MissingSectionGivesDefaultsAndCreatesTheFolder)
{
    {
        AppConfig config(ini(), docs());
        EXPECT_EQ(config.outputRawFilePath(), dataFolder());
        EXPECT_EQ(config.inputRawFilePath(), dataFolder());
        EXPECT_EQ(config.videoSavePath(), dataFolder());
        EXPECT_EQ(config.language(), "en");
        EXPECT_TRUE(QDir(dataFolder()).exists());
    }
    // Written back at destruction.
    EXPECT_EQ(stored("Setting/output_raw_file_path"), dataFolder());
    EXPECT_EQ(stored("Setting/language"), "en");
}

TEST_F(ConfigFixture, StoredValuesAndTheirFallbacks)
{
    const QString kept = dir.filePath("kept");
    QDir().mkpath(kept);
    struct Case {
        const char* key;
        QString stored;
        QString expected;
        QString (AppConfig::*field)() const;
    };
    const Case cases[] = {
        {"Setting/output_raw_file_path", kept, kept, &AppConfig::outputRawFilePath},
        {"Setting/output_raw_file_path", dir.filePath("deleted"), dataFolder(), &AppConfig::outputRawFilePath},
        {"Setting/input_raw_file_path", kept, kept, &AppConfig::inputRawFilePath},
        {"Setting/input_raw_file_path", dir.filePath("deleted"), dataFolder(), &AppConfig::inputRawFilePath},
        {"Setting/video_save_path", kept, kept, &AppConfig::videoSavePath},
        {"Setting/video_save_path", "", dataFolder(), &AppConfig::videoSavePath},
        {"Setting/language", "zh", "zh", &AppConfig::language},
        {"Setting/language", "fr", "en", &AppConfig::language},
        {"Setting/language", "", "en", &AppConfig::language},
    };
    for (const Case& c : cases) {
        QFile::remove(ini());
        write(c.key, c.stored);
        {
            AppConfig config(ini(), docs());
            EXPECT_EQ((config.*c.field)(), c.expected) << c.key << " = " << c.stored.toStdString();
        }
        EXPECT_EQ(stored(c.key), c.expected) << "written back: " << c.key;
    }
}

TEST_F(ConfigFixture, SaveRoundTrip)
{
    const QString a = dir.filePath("a"), b = dir.filePath("b"), c = dir.filePath("c");
    for (const QString& p : {a, b, c})
        QDir().mkpath(p);
    {
        AppConfig config(ini(), docs());
        config.setOutputRawFilePath(a);
        config.setInputRawFilePath(b);
        config.setVideoSavePath(c);
        config.setLanguage("zh");
        config.save();
        EXPECT_EQ(stored("Setting/video_save_path"), c);  // flushed, not only at exit
    }
    AppConfig again(ini(), docs());
    EXPECT_EQ(again.outputRawFilePath(), a);
    EXPECT_EQ(again.inputRawFilePath(), b);
    EXPECT_EQ(again.videoSavePath(), c);
    EXPECT_EQ(again.language(), "zh");
}

TEST_F(ConfigFixture, NoDocumentsLocationLeavesPathsEmptyButTheLanguageSound)
{
    write("Setting/language", "zh");
    AppConfig config(ini(), QString());
    EXPECT_TRUE(config.outputRawFilePath().isEmpty());
    EXPECT_TRUE(config.inputRawFilePath().isEmpty());
    EXPECT_TRUE(config.videoSavePath().isEmpty());
    EXPECT_EQ(config.language(), "zh");
}

TEST(Translator, LoadsTheChosenLanguage)
{
    struct Case {
        const char* language;
        const char* quit;
        const char* tips;
    };
    const Case cases[] = {{"zh", "退出", "提示"}, {"en", "Quit", "Tips"}, {"fr", "Quit", "Tips"}};
    for (const Case& c : cases) {
        QTranslator* translator = language::installTranslator(c.language);
        ASSERT_NE(translator, nullptr) << c.language;
        EXPECT_EQ(QCoreApplication::translate("MainWidget", "Quit"), QString::fromUtf8(c.quit)) << c.language;
        EXPECT_EQ(QCoreApplication::translate("Language", "Tips"), QString::fromUtf8(c.tips)) << c.language;
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    EXPECT_EQ(language::otherLanguage("en"), "zh");
    EXPECT_EQ(language::otherLanguage("zh"), "en");
}

namespace {

// Presses a button of the message box that is about to run modally.
void pressInNextMessageBox(const char* buttonName)
{
    QTimer::singleShot(0, [buttonName] {
        auto* box = qobject_cast<OVMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box->findChild<QPushButton*>(buttonName), Qt::LeftButton);
    });
}

}  // namespace

TEST_F(ConfigFixture, LanguageChangeLaterChangesNothing)
{
    AppConfig config(ini(), docs());
    config.save();
    const QByteArray before = [&] { QFile f(ini()); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    int restarts = 0;
    pressInNextMessageBox("pb_close");
    EXPECT_FALSE(language::askAndChangeLanguage(nullptr, config, [&] { ++restarts; }));
    EXPECT_EQ(config.language(), "en");
    EXPECT_EQ(restarts, 0);
    QFile f(ini());
    f.open(QIODevice::ReadOnly);
    EXPECT_EQ(f.readAll(), before);
}

TEST_F(ConfigFixture, LanguageChangeRestartSwitchesSavesAndRestarts)
{
    AppConfig config(ini(), docs());
    int restarts = 0;
    pressInNextMessageBox("pb_open");
    EXPECT_TRUE(language::askAndChangeLanguage(nullptr, config, [&] { ++restarts; }));
    EXPECT_EQ(config.language(), "zh");
    EXPECT_EQ(stored("Setting/language"), "zh");
    EXPECT_EQ(restarts, 1);

    pressInNextMessageBox("pb_open");
    language::askAndChangeLanguage(nullptr, config, [&] { ++restarts; });
    EXPECT_EQ(stored("Setting/language"), "en");
}

TEST(MessageBox, ButtonsDecideTheResult)
{
    struct Case {
        const char* button;
        int result;
    };
    for (const Case& c : {Case{"pb_open", QDialog::Accepted}, Case{"pb_close", QDialog::Rejected},
                          Case{"pb_win_close", QDialog::Rejected}}) {
        OVMessageBox box("Is it open in the browser?", "Tips", "Open", "Close");
        EXPECT_EQ(box.size(), QSize(500, 270));
        EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
        pressInNextMessageBox(c.button);
        EXPECT_EQ(box.exec(), c.result) << c.button;
    }
}

TEST(Splash, ShowsTheVersionAndClosesOnItsTimer)
{
    InitDialog splash;
    EXPECT_EQ(splash.versionText(), "Version: 1.0.3");
    auto* timer = splash.findChild<QTimer*>("closeTimer");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 2000);
    splash.show();
    timer->start(0);  // the two seconds, without waiting for them
    EXPECT_TRUE(QTest::qWaitFor([&] { return !splash.isVisible(); }, 2000));
}

// Help and version need no display: they print and exit, where a GUI application would abort.
TEST(CommandLine, HelpAndVersionPrintWithoutADisplay)
{
    const QString program = QStringLiteral(ORVANE_BIN_DIR "/OrvaneScope");
    if (!QFileInfo(program).isExecutable())
        GTEST_SKIP() << "OrvaneScope is not built";
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path());
    struct Case {
        const char* arg;
        const char* says;
    };
    for (const Case& c : {Case{"--help", "--camera <SERIAL>"}, Case{"-h", "[FILE.raw]"},
                          Case{"--version", "OrvaneScope 1.0.3"}}) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        p.start(program, {QString::fromLatin1(c.arg)});
        ASSERT_TRUE(p.waitForFinished(60000)) << c.arg;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << c.arg;
        EXPECT_EQ(p.exitCode(), 0) << c.arg << ": " << p.readAllStandardError().toStdString();
        EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardOutput()).contains(QString::fromLatin1(c.says))) << c.arg;
        // Nothing was written where it started (no settings file).
        EXPECT_TRUE(QDir(home.path()).entryList(QDir::Files).isEmpty()) << c.arg;
    }
}

// config.ini lives in the configuration folder; one left in the working folder by older versions
// is taken over once and left in place.
TEST(ConfigLocation, TakesOverTheWorkingFoldersFileOnce)
{
    QTemporaryDir root;
    const QString config = root.filePath("xdg/OrvaneScope");
    const QString work = root.filePath("work");
    QDir().mkpath(work);
    const QString file = AppConfig::settingsFile(config, work);
    EXPECT_EQ(file, QDir(config).filePath("config.ini"));
    EXPECT_TRUE(QFileInfo(config).isDir());
    EXPECT_FALSE(QFileInfo::exists(file));  // nothing to take over

    const auto write = [](const QString& path, const QString& language) {
        QSettings s(path, QSettings::IniFormat);
        s.setValue("Setting/language", language);
    };
    const auto language = [](const QString& path) {
        return QSettings(path, QSettings::IniFormat).value("Setting/language").toString();
    };
    const QString old = QDir(work).filePath("config.ini");
    write(old, "zh");
    EXPECT_EQ(AppConfig::settingsFile(config, work), file);
    EXPECT_EQ(language(file), "zh");
    EXPECT_TRUE(QFileInfo::exists(old));
    // Once taken over, the configuration folder's own file wins.
    write(file, "en");
    EXPECT_EQ(AppConfig::settingsFile(config, work), file);
    EXPECT_EQ(language(file), "en");
    EXPECT_EQ(language(old), "zh");
    // No configuration folder: the working folder's file, as before.
    EXPECT_EQ(AppConfig::settingsFile(QString(), work), old);
}
