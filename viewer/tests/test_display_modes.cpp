// The display panel's drawing settings on the real main window: theme, polarity filter and time
// surface change the picture of a paused recording at once, both panels show the same choice, and
// config.ini keeps it for the next start.
#include "AppConfig.h"
#include "EventFrameAccumulator.h"
#include "MainWindowFixture.h"
#include "OVComboBoxBase.h"
#include "OvComboBox.h"
#include "SettingDisplayItem.h"
#include "ShowImageForm.h"
#include "SidebarCameraSettingUI.h"
#include "SidebarDvsSettingUI.h"

#include "RawFileTestSupport.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTest>

#include <map>

namespace {

constexpr int kLong = 30000;

class DisplayModeTest : public MainWindowFixture {
protected:
    QString writeRecording()
    {
        orvane::test::StreamShape shape;
        shape.durationUs = 600'000;
        shape.events = 300'000;
        shape.timeHighPeriodUs = 16;
        const QString path = dir.filePath("modes.raw");
        orvane::test::writeBytes(QFile::encodeName(path).toStdString(), orvane::test::standardRawHeader(),
                                 orvane::test::encodeStream(orvane::test::makeEvents(shape), shape));
        return path;
    }
    // Chooses entry `index` of a drop-down as a user would.
    static void choose(OvComboBox* box, int index)
    {
        box->comboBox()->setCurrentIndex(index);
        Q_EMIT box->comboBox()->activated(index);
    }
    SettingDisplayItem* item() { return window->findChild<SidebarCameraSettingUI*>()->displayItem(); }
    // Pixel colours of the picture shown, counted (every third pixel).
    std::map<uint32_t, int> colours()
    {
        QCoreApplication::processEvents();
        const QImage image = window->imageView()->currentPixmap().toImage();
        std::map<uint32_t, int> count;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                ++count[image.pixel(x, y) | 0xFF000000u];
        return count;
    }
};

}  // namespace

TEST_F(DisplayModeTest, ThemePolarityAndTimeSurfaceRedrawThePausedPictureAndAreKept)
{
    ASSERT_TRUE(window->openRecordingPath(writeRecording()));
    auto* play = child<QPushButton>("pb_play");
    QTest::keyClick(window.get(), Qt::Key_Space);
    ASSERT_FALSE(play->isChecked());
    child<QPushButton>("pb_next")->click();

    const orvane::Palette& dark = orvane::paletteOf(orvane::ColourTheme::Dark);
    choose(item()->themeBox(), 2);  // light first, then dark: each choice redraws
    choose(item()->themeBox(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return colours()[dark.background] > 0; }, kLong));
    auto seen = colours();
    EXPECT_GT(seen[dark.background], seen[dark.on]) << "mostly background";
    EXPECT_GT(seen[dark.on], 0);
    EXPECT_GT(seen[dark.off], 0);
    EXPECT_EQ(seen.size(), 3u) << "accumulation paints three colours";

    choose(item()->polarityBox(), 1);  // ON only
    ASSERT_TRUE(QTest::qWaitFor([&] { return colours()[dark.off] == 0; }, kLong));
    EXPECT_GT(colours()[dark.on], 0);

    // The time surface shades pixels by the age of their last event.
    choose(item()->polarityBox(), 0);
    item()->timeConstantBox()->comboBox()->setCurrentText("10ms");
    Q_EMIT item()->timeConstantBox()->signalLineEditEditingFinished();
    choose(item()->displayModeBox(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return colours().size() > 20; }, kLong)) << colours().size();

    // Both panels show the choice; config.ini keeps it.
    const SettingDisplayItem* other = window->findChild<SidebarDvsSettingUI*>()->displayItem();
    const orvane::RenderSettings expected{orvane::DisplayMode::TimeSurface, orvane::PolarityFilter::Both,
                                          orvane::ColourTheme::Dark, 10000};
    EXPECT_TRUE(item()->renderSettings() == expected);
    EXPECT_TRUE(other->renderSettings() == expected);
    EXPECT_EQ(other->themeBox()->comboBox()->currentIndex(), 1);
    window.reset();
    config.reset();
    AppConfig again(dir.filePath("config.ini"), dir.path());
    EXPECT_EQ(again.display().mode, 1);
    EXPECT_EQ(again.display().polarity, 0);
    EXPECT_EQ(again.display().theme, 1);
    EXPECT_EQ(again.display().timeConstantUs, 10000u);
}

TEST(DisplaySettings, TimeConstantTextsAndStoredNonsense)
{
    EXPECT_EQ(SettingDisplayItem::parseTimeConstant("20"), 20000u);
    EXPECT_EQ(SettingDisplayItem::parseTimeConstant("250us"), 250u);
    EXPECT_EQ(SettingDisplayItem::parseTimeConstant("10000ms"), 10000000u);
    for (const char* bad : {"50us", "10001ms", "-3", "abc", ""})
        EXPECT_FALSE(SettingDisplayItem::parseTimeConstant(bad).has_value()) << bad;

    QTemporaryDir dir;
    const QString file = dir.filePath("config.ini");
    {
        QSettings ini(file, QSettings::IniFormat);
        ini.setValue("Display/mode", 7);
        ini.setValue("Display/theme", "dark");
        ini.setValue("Display/time_constant_us", 5);
    }
    AppConfig config(file, dir.path());
    EXPECT_EQ(config.display().mode, 0);
    EXPECT_EQ(config.display().theme, 0);
    EXPECT_EQ(config.display().timeConstantUs, 100u) << "clamped to the shortest";
}
