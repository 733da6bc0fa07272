// A fusion recording made from the window after the camera has streamed a while: its video's
// first-frame time must lie in its raw file's time, however long the camera streamed first.
#include "MainWindowFixture.h"

#include "SourceMonitor.h"

#include "RawFileTestSupport.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "orvane/driver/Mp4FileReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace sim = orvane::sim;

namespace {

constexpr int kLong = 60000;  // ms: generous limits for a loaded machine under sanitizers

using RecordingTimeTest = MainWindowFixture;

TEST_F(RecordingTimeTest, AFusionRecordingStartedAfterTheEventTimeLoopedLinesUpWithItsRawFile)
{
    constexpr uint64_t kLoopUs = uint64_t{1} << 24;
    sim::DeviceOptions options;
    options.eventRate = 300'000;
    options.clockStartUs = kLoopUs - 500'000;  // the sensor's 24-bit time loops half a second in
    ASSERT_TRUE(sim::plug(sim::Model::Tandem, "TD-LOOP", options));
    ASSERT_TRUE(window->openCameraSerial("TD-LOOP"));
    // Streaming for a while: past the loop by the sensor's own clock.
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::chrono::steady_clock::now() - opened > std::chrono::seconds(1); },
                                kLong));

    auto* record = child<QPushButton>("pb_record");
    record->click();
    ASSERT_TRUE(record->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return child<QLabel>("lb_recoding_time")->text() >= "00:00:02"; }, kLong));
    record->click();
    ASSERT_FALSE(record->isChecked());

    const QStringList raws = QDir(out).entryList({"*.raw"}, QDir::Files);
    ASSERT_EQ(raws.size(), 1);
    const QString raw = QDir(out).filePath(raws.front());
    const QString mp4 = QDir(out).filePath(QFileInfo(raw).completeBaseName() + ".mp4");
    const orvane::test::DecodedRecording decoded = orvane::test::decodeRecording(QFile::encodeName(raw).toStdString());
    ASSERT_FALSE(decoded.events.empty());
    orvane::Mp4FileReader video(QFile::encodeName(mp4).toStdString());
    ASSERT_TRUE(video.loadFile());
    std::vector<uint64_t> times;
    ASSERT_TRUE(video.getTimeStamps(times));
    ASSERT_FALSE(times.empty());
    const uint64_t offset = std::stoull(video.getMetadata(orvane::kVideoDvsOffsetKey));
    EXPECT_GE(offset, decoded.events.front().timestamp);
    // A buffer the device dropped (a loaded machine) may hold frames' trigger edges: such frames are
    // stamped a frame period after the one before and may then lie past the raw file's last event.
    if (window->sourceMonitor()->dropped() == 0) {
        EXPECT_LE(offset + times.back(), decoded.events.back().timestamp) << "every frame within the raw file's time";
    }
    EXPECT_TRUE(decoded.risingEdges.count(offset + times.front())) << "the first frame's edge is in the raw file";
}

}  // namespace
