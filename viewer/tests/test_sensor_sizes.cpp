// Recordings of other sensors on the real main window: the picture has the recording's size, the
// view fits it (not the 1280 x 720 picture of another sensor), a known event lands on its pixel,
// and the exported video has the recording's size too.
#include "MainWindowFixture.h"
#include "OvGraphicsView.h"
#include "PlaybackEngine.h"
#include "PlaybackSource.h"
#include "ShowImageForm.h"

#include "RawFileTestSupport.h"

#include "orvane/driver/RawFileReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kLong = 30000;

struct SizeCase {
    const char* name;
    int width;
    int height;
    bool sample;  // the sample recording of the test data, else one written here
};

class SensorSizeTest : public MainWindowFixture, public ::testing::WithParamInterface<SizeCase> {
protected:
    // Events all over a width x height sensor for 300 ms, the first in its far corner.
    QString writeRecording(int width, int height)
    {
        std::vector<orvane::Event2D> events;
        events.emplace_back(uint16_t(width - 1), uint16_t(height - 1), uint8_t(1), uint64_t(1'000'000));
        for (uint64_t i = 1; i < 30'000; ++i)
            events.emplace_back(uint16_t((i * 7919) % uint64_t(width)), uint16_t((i * 104729) % uint64_t(height)),
                                uint8_t(i & 1), 1'000'000 + i * 10);
        std::string header = orvane::test::standardRawHeader();
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        header.replace(header.find("height = 720; width = 1280"), 26,
                       "height = " + std::to_string(height) + "; width = " + std::to_string(width));
        header.replace(header.find("geometry 1280x720"), 17, "geometry " + size);
        const QString path = dir.filePath(QString::fromStdString("sensor" + size + ".raw"));
        orvane::Evt3Encoder::Options options;
        options.timeHighPeriodUs = 16;
        orvane::test::writeBytes(QFile::encodeName(path).toStdString(), header,
                                 orvane::encodeEvt3(events, {}, options));
        return path;
    }
};

}  // namespace

TEST_P(SensorSizeTest, PictureViewAndVideoTakeTheRecordingsSize)
{
    const SizeCase c = GetParam();
    const QString path = c.sample ? QStringLiteral(ORVANE_SHARED_DATA_DIR "/ecpy_test_events_1.raw")
                                  : writeRecording(c.width, c.height);
    ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    // The first event of the recording, as the reader gives it: where it must land.
    orvane::RawFileReader reader(QFile::encodeName(path).toStdString());
    ASSERT_FALSE(reader.open());
    ASSERT_EQ(reader.getWidth(), c.width);
    uint64_t start = 0;
    reader.getStartTimeStamp(start);
    const auto first = reader.getNEventsGivenStartTimeStamp(start, 1);
    ASSERT_FALSE(first->empty());
    const orvane::Event2D known = first->front();

    // A 1280 x 720 picture first, so a scene left at the old size would show.
    ASSERT_TRUE(window->openRecordingPath(writeRecording(1280, 720)));
    ASSERT_TRUE(window->openRecordingPath(path));
    if (child<QPushButton>("pb_play")->isChecked())
        QTest::keyClick(window.get(), Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->source()->playing(); }, kLong));
    window->source()->moveTo(known.timestamp);
    const QSize size(c.width, c.height);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->imageView()->currentPixmap().size() == size; }, kLong))
        << window->imageView()->currentPixmap().width() << "x" << window->imageView()->currentPixmap().height();
    const QImage picture = window->imageView()->currentPixmap().toImage();
    EXPECT_NE(picture.pixel(known.x, known.y) & 0xFFFFFF, 0x707070u) << known.x << "," << known.y;

    // The view shows the whole picture, centred, touching the viewport's edges in one direction (fitInView
    // keeps a margin of a few pixels).
    OvGraphicsView* view = window->imageView()->view();
    const QRectF shown = view->mapFromScene(QRectF(0, 0, c.width, c.height)).boundingRect();
    const QRectF port = view->viewport()->rect();
    EXPECT_NEAR(shown.center().x(), port.center().x(), 2.0);
    EXPECT_NEAR(shown.center().y(), port.center().y(), 2.0);
    EXPECT_TRUE(std::abs(shown.width() - port.width()) <= 6.0 || std::abs(shown.height() - port.height()) <= 6.0)
        << shown.width() << "x" << shown.height() << " in " << port.width() << "x" << port.height();
    // The known pixel is where its share of the picture puts it.
    const QPoint at = view->mapFromScene(QPointF(known.x + 0.5, known.y + 0.5));
    EXPECT_NEAR(at.x(), shown.left() + shown.width() * (known.x + 0.5) / c.width, 2.0);
    EXPECT_NEAR(at.y(), shown.top() + shown.height() * (known.y + 0.5) / c.height, 2.0);

    // The video of a stretch has the sensor's size.
    const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
    if (ffprobe.isEmpty())
        return;
    ASSERT_TRUE(window->exportVideoTo(start, start + 100'000, out, "clip.mp4"));
    QProcess probe;
    probe.start(ffprobe, {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=width,height", "-of",
                          "csv=p=0", QDir(out).filePath("clip.mp4")});
    ASSERT_TRUE(probe.waitForFinished(kLong));
    EXPECT_EQ(QString::fromLatin1(probe.readAllStandardOutput()).trimmed(),
              QStringLiteral("%1,%2").arg(c.width).arg(c.height));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SensorSizeTest,
                         ::testing::Values(SizeCase{"sample640x480", 640, 480, true},
                                           SizeCase{"s346x260", 346, 260, false},
                                           SizeCase{"s320x320", 320, 320, false}),
                         [](const ::testing::TestParamInfo<SizeCase>& p) { return std::string(p.param.name); });
