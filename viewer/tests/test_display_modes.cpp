// The display panel's drawing settings on the real main window: theme, polarity filter and time
// surface change the picture of a paused recording at once, both panels show the same choice, and
// config.ini keeps it for the next start.
#include "AppConfig.h"
#include "EventFrameAccumulator.h"
#include "MainWindowFixture.h"
#include "OVComboBoxBase.h"
#include "OvComboBox.h"
#include "SettingDisplayItem.h"
#include "OvGraphicsView.h"
#include "ShowImageForm.h"
#include "SidebarCameraSettingUI.h"
#include "SidebarDvsSettingUI.h"

#include "RawFileTestSupport.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QWheelEvent>
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

TEST_F(DisplayModeTest, CursorInfoRecentRecordingsAndFullScreen)
{
    const QString path = writeRecording();
    ASSERT_TRUE(window->openRecordingPath(path));
    QTest::keyClick(window.get(), Qt::Key_Space);
    child<QPushButton>("pb_next")->click();
    QCoreApplication::processEvents();

    // The pixel under the cursor: its sensor coordinates, and for a painted pixel its count and time.
    OvGraphicsView* view = window->imageView()->view();
    const QImage picture = window->imageView()->currentPixmap().toImage();
    QPoint painted(-1, -1);
    for (int y = 0; y < picture.height() && painted.x() < 0; ++y)
        for (int x = 0; x < picture.width(); ++x)
            if ((picture.pixel(x, y) | 0xFF000000u) != orvane::paletteOf(orvane::ColourTheme::Grey).background) {
                painted = QPoint(x, y);
                break;
            }
    ASSERT_GE(painted.x(), 0);
    for (int i = 0; i < 40; ++i) {  // zoomed in, one picture pixel is several screen pixels
        QWheelEvent e(view->viewport()->rect().center(), view->viewport()->mapToGlobal(view->viewport()->rect().center()),
                      QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &e);
    }
    view->centerOn(QPointF(painted) + QPointF(0.5, 0.5));
    const QPoint at = view->mapFromScene(QPointF(painted) + QPointF(0.5, 0.5));
    QTest::mouseMove(view->viewport(), at);
    QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    auto* info = child<QLabel>("label_show_pixel_info");
    EXPECT_TRUE(info->isVisible());
    EXPECT_TRUE(info->text().contains(QStringLiteral("x %1  y %2").arg(painted.x()).arg(painted.y()))) << info->text().toStdString();
    EXPECT_TRUE(info->text().contains(" ev")) << info->text().toStdString();
    EXPECT_FALSE(info->text().contains(" 0 ev")) << info->text().toStdString();
    EXPECT_TRUE(info->text().contains("@")) << info->text().toStdString();

    // Open Recent lists it, newest first, at most ten, and kept in config.ini.
    for (int i = 0; i < 12; ++i)
        config->addRecentFile(dir.filePath(QStringLiteral("other%1.raw").arg(i)));
    config->addRecentFile(path);
    EXPECT_EQ(config->recentFiles().size(), AppConfig::kRecentFiles);
    EXPECT_EQ(config->recentFiles().front(), path);
    config->save();
    AppConfig again(dir.filePath("config.ini"), dir.path());
    EXPECT_EQ(again.recentFiles(), config->recentFiles());
    QMenu* file = window->menuOf("pb_menu_file");
    QMenu* recent = nullptr;
    for (QAction* a : file->actions())
        if (a->menu())
            recent = a->menu();
    ASSERT_NE(recent, nullptr);
    Q_EMIT recent->aboutToShow();
    ASSERT_EQ(recent->actions().size(), AppConfig::kRecentFiles);
    EXPECT_EQ(recent->actions().front()->text(), "modes.raw");
    recent->actions().front()->trigger();
    EXPECT_EQ(window->mode(), 3);

    // F11 goes full screen and back.
    QTest::keyClick(window.get(), Qt::Key_F11);
    EXPECT_TRUE(window->isFullScreen());
    QTest::keyClick(window.get(), Qt::Key_F11);
    EXPECT_FALSE(window->isFullScreen());
}
