// The playback engine, the event frame accumulator and the texts of times and names.
#include "EventFrameAccumulator.h"
#include "PlaybackEngine.h"
#include "PlaybackText.h"
#include "RecordingControl.h"

#include "orvane/driver/DvsFileReader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

using orvane::Event2D;

namespace {

QRgb pixel(const QImage& image, int x, int y)
{
    return image.pixel(x, y) | 0xFF000000u;
}

// A recording of any length that exists only in memory: one event every `spacing` µs from `start`
// to `end`, at a column that follows time. Stands in for a file where the times matter more than
// the bytes (ranges far past 2^32 µs).
class SyntheticReader : public orvane::DvsFileReader {
public:
    SyntheticReader(uint64_t start, uint64_t end, uint64_t spacing) : start_(start), end_(end), spacing_(spacing) {}

    bool loadFile() override { return true; }
    bool getStartTimeStamp(uint64_t& t) override { t = start_; return true; }
    bool getEndTimeStamp(uint64_t& t) override { t = end_; return true; }
    bool getMaxEvents(uint64_t& n) override { n = (end_ - start_) / spacing_ + 1; return true; }
    bool reachedEndOfEvents() override { return pos_ > end_; }
    bool seekTime(uint64_t t) override
    {
        if (t < start_ || t > end_) return false;
        pos_ = t;
        return true;
    }
    bool seekNEvents(uint64_t) override { return false; }
    uint64_t getCurrentPosTimeStamp() override { return pos_; }
    uint64_t getCurrentPosEventNum() override { return 0; }
    std::shared_ptr<std::vector<Event2D>> getNEvents(uint64_t) override { return nullptr; }
    std::shared_ptr<std::vector<Event2D>> getNEventsGivenStartTimeStamp(uint64_t, uint64_t) override { return nullptr; }
    std::shared_ptr<std::vector<Event2D>> getNEventsGivenStartEvent(uint64_t, uint64_t) override { return nullptr; }
    std::shared_ptr<std::vector<Event2D>> getNTimeEvents(uint64_t duration) override
    {
        return getNTimeEventsGivenStartTimeStamp(pos_, duration);
    }
    std::shared_ptr<std::vector<Event2D>> getNTimeEventsGivenStartTimeStamp(uint64_t t, uint64_t duration) override
    {
        reads.push_back({t, duration});
        auto out = std::make_shared<std::vector<Event2D>>();
        uint64_t first = t <= start_ ? start_ : start_ + (t - start_ + spacing_ - 1) / spacing_ * spacing_;
        for (uint64_t e = first; e < t + duration && e <= end_; e += spacing_)
            out->emplace_back(uint16_t((e / spacing_) % 1280), uint16_t(100), uint8_t(1), e);
        pos_ = t + duration;
        return out;
    }
    std::shared_ptr<std::vector<Event2D>> getNTimeEventsGivenStartEvent(uint64_t, uint64_t) override { return nullptr; }
    bool extractEventData(uint64_t, uint64_t, std::string) override { return false; }
    bool exportEventDataToVideo(uint64_t, uint64_t, std::string) override { return false; }
    uint16_t getWidth() const override { return 1280; }
    uint16_t getHeight() const override { return 720; }

    struct Read {
        uint64_t start, duration;
    };
    std::vector<Read> reads;

private:
    uint64_t start_, end_, spacing_;
    uint64_t pos_ = 0;
};

// Past 2^32 µs (71 minutes of sensor time), where 32-bit times wrap.
constexpr uint64_t kFarStart = 5'000'000'000ull;

struct EngineFixture : ::testing::Test {
    EventFrameAccumulator accumulator;
    PlaybackEngine engine{accumulator};
    std::shared_ptr<SyntheticReader> reader;

    void open(uint64_t start, uint64_t end, uint64_t spacing = 1000)
    {
        reader = std::make_shared<SyntheticReader>(start, end, spacing);
        engine.setMode(PlaybackEngine::RawFile);
        engine.setReader(reader, start, end);
    }
    QImage take()
    {
        QImage picture;
        uint64_t ts = 0;
        return engine.takePicture(picture, ts) ? picture : QImage();
    }
};

}  // namespace

TEST(Accumulator, ColoursLastEventWinsBoundsAndFreshPictures)
{
    EventFrameAccumulator acc;
    const std::vector<Event2D> events = {
        {10, 20, 0, 1}, {10, 20, 1, 2},     // OFF then ON: ON
        {30, 40, 1, 3}, {30, 40, 0, 4},     // ON then OFF: OFF
        {1279, 719, 1, 5},                  // the last pixel
        {1280, 5, 1, 6}, {5, 720, 0, 7},    // outside: skipped, nothing wraps onto another row
    };
    acc.addEvents(events.data(), events.data() + events.size());
    QImage first;
    acc.takeFrame(first);
    ASSERT_EQ(first.size(), QSize(1280, 720));
    EXPECT_EQ(pixel(first, 10, 20), qRgb(191, 188, 180));
    EXPECT_EQ(pixel(first, 30, 40), qRgb(64, 61, 51));
    EXPECT_EQ(pixel(first, 1279, 719), qRgb(191, 188, 180));
    EXPECT_EQ(pixel(first, 0, 6), qRgb(0x70, 0x70, 0x70));
    EXPECT_EQ(pixel(first, 5, 0), qRgb(0x70, 0x70, 0x70));
    EXPECT_EQ(pixel(first, 640, 360), qRgb(0x70, 0x70, 0x70));

    // The next picture starts grey, and painting it leaves the one handed out alone, also when
    // pictures are recycled over many takes.
    for (int i = 0; i < 10; ++i) {
        const Event2D e(10, 20, 0, 10);
        acc.addEvents(&e, &e + 1);
        QImage next;
        acc.takeFrame(next);
        EXPECT_EQ(pixel(next, 10, 20), qRgb(64, 61, 51));
        EXPECT_EQ(pixel(next, 30, 40), qRgb(0x70, 0x70, 0x70));
    }
    EXPECT_EQ(pixel(first, 10, 20), qRgb(191, 188, 180));
    acc.addEvents(events.data(), events.data() + 2);
    acc.clear();
    QImage cleared;
    acc.takeFrame(cleared);
    EXPECT_EQ(pixel(cleared, 10, 20), qRgb(0x70, 0x70, 0x70));
}

TEST(PlaybackText, TimesClockAndNames)
{
    EXPECT_EQ(formatTime(62'500'000), "01:02:500000");
    EXPECT_EQ(formatTime(0), "00:00:000000");
    EXPECT_EQ(formatTime(kFarStart + 7), "83:20:000007");
    EXPECT_EQ(formatTime(6'000'000'000ull * 2), "200:00:000000");  // minutes past 99
    EXPECT_EQ(formatElapsed(3725), "01:02:05");
    EXPECT_EQ(formatElapsed(0), "00:00:00");
    EXPECT_EQ(formatElapsed(100 * 3600 + 59), "100:00:59");
    const QDateTime when(QDate(2025, 3, 5), QTime(14, 7, 9));
    EXPECT_EQ(timestampedFileName(when, ".raw"), "20250305_140709.raw");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString base = "20250305_140709";
    EXPECT_EQ(uniqueFilePath(dir.path(), base, ".raw"), dir.filePath(base + ".raw"));
    QFile(dir.filePath(base + ".raw")).open(QIODevice::WriteOnly);
    EXPECT_EQ(uniqueFilePath(dir.path(), base, ".raw"), dir.filePath(base + "_1.raw"));
    // A fusion recording's video counts as taken too.
    QFile(dir.filePath(base + "_1.mp4")).open(QIODevice::WriteOnly);
    EXPECT_EQ(uniqueFilePath(dir.path(), base, ".raw", {".mp4"}), dir.filePath(base + "_2.raw"));
}

TEST(RecordingControl, RefusalsAndDriverFailuresAreReported)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    RecordingControl control;
    int calls = 0;
    const auto ok = [&calls](const std::string&) { ++calls; return 0; };

    auto r = control.start(dir.filePath("missing"), ok);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("does not exist"));
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(control.active());

    r = control.start(dir.path(), [](const std::string& p) -> int { throw std::runtime_error("Unable to open " + p); });
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("Unable to open"));
    EXPECT_FALSE(control.active());

    r = control.start(dir.path(), [](const std::string&) { return -1; });
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(control.active());

    QSignalSpy clock(&control, &RecordingControl::clockChanged);
    r = control.start(dir.path(), ok);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(control.active());
    EXPECT_TRUE(QFileInfo(r.path).fileName().contains(QRegularExpression("^\\d{8}_\\d{6}(_\\d+)?\\.raw$")));
    ASSERT_GE(clock.count(), 1);
    EXPECT_EQ(clock.first().at(0).toString(), "00:00:00");
    // A lost file is an error, never a success.
    r = control.stop([] { return -1; });
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_FALSE(control.active());
    EXPECT_EQ(clock.last().at(0).toString(), "");
}

TEST_F(EngineFixture, SettingsDriveTheStep)
{
    EXPECT_EQ(engine.frameStep(), 30303u);
    EXPECT_EQ(engine.accumulationTime(), 33333u);
    engine.setFps(20);
    EXPECT_EQ(engine.frameStep(), 50000u);
    EXPECT_EQ(engine.displayFps(), 20);
    engine.setFps(0);  // refused
    EXPECT_EQ(engine.frameStep(), 50000u);
    engine.setFps(30000);  // the fastest slow rate
    EXPECT_EQ(engine.frameStep(), 33u);
    engine.setAccumulationTime(0);
    EXPECT_EQ(engine.accumulationTime(), 33333u);
    engine.setAccumulationTime(1000);
    EXPECT_EQ(engine.accumulationTime(), 1000u);
}

TEST_F(EngineFixture, TransportFarPast32BitTimes)
{
    const uint64_t start = kFarStart;
    const uint64_t end = kFarStart + 10'000'000;
    open(start, end);
    engine.setRange(start + 1'000'000, start + 2'000'000);

    // Previous frame less than one step above the lower handle lands on it.
    ASSERT_TRUE(engine.seekTo(start + 1'000'000 + 10'000));
    EXPECT_EQ(engine.position(), start + 1'010'000);
    ASSERT_TRUE(engine.previousFrame());
    EXPECT_EQ(engine.position(), start + 1'000'000);
    ASSERT_TRUE(engine.previousFrame());
    EXPECT_EQ(engine.position(), start + 1'000'000);

    // Next frame paints the window from the position and moves one step on.
    take();
    reader->reads.clear();
    ASSERT_TRUE(engine.nextFrame());
    EXPECT_EQ(engine.position(), start + 1'000'000 + 30'303);
    ASSERT_EQ(reader->reads.size(), 1u);
    EXPECT_EQ(reader->reads[0].start, start + 1'000'000);
    EXPECT_EQ(reader->reads[0].duration, 33'333u);
    const QImage picture = take();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(pixel(picture, int(((start + 1'000'000) / 1000) % 1280), 100), qRgb(191, 188, 180));

    // With no more than one window left before the upper handle nothing happens.
    engine.moveTo(start + 2'000'000 - 33'333);
    EXPECT_FALSE(engine.nextFrame());
    EXPECT_EQ(engine.position(), start + 2'000'000 - 33'333);

    // A seek outside the recording is refused and keeps the position.
    EXPECT_FALSE(engine.seekTo(end + 1));
    EXPECT_EQ(engine.position(), start + 2'000'000 - 33'333);

    engine.stopToLower();
    EXPECT_EQ(engine.position(), start + 1'000'000);
}

TEST_F(EngineFixture, PlayLoopStepsEndsOrLoopsAtTheUpperHandle)
{
    const uint64_t start = kFarStart;
    open(start, start + 5'000'000);
    const uint64_t lower = start + 100'000;
    const uint64_t upper = lower + 10 * 30'303 + 5'000;
    engine.setRange(lower, upper);
    engine.seekTo(lower);

    QSignalSpy positions(&engine, &PlaybackEngine::positionChanged);
    QSignalSpy ended(&engine, &PlaybackEngine::filePlayEnded);
    ASSERT_TRUE(engine.startFilePlay());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1; }, 20000));
    engine.joinEndedLoops();
    EXPECT_FALSE(engine.playing());
    EXPECT_EQ(engine.position(), lower);
    // 30 303 µs a picture, then the last short window to the upper handle, then back to the lower.
    std::vector<uint64_t> seen;
    for (const auto& args : positions)
        seen.push_back(args.at(0).toULongLong());
    ASSERT_GE(seen.size(), 12u);
    for (size_t i = 0; i < 10; ++i)
        EXPECT_EQ(seen[i], lower + (i + 1) * 30'303) << i;
    EXPECT_EQ(seen[seen.size() - 2], upper);
    EXPECT_EQ(seen.back(), lower);

    // Looping: past the upper handle it goes on from the lower one until stopped.
    positions.clear();
    engine.setLoop(true);
    ASSERT_TRUE(engine.startFilePlay());
    int wraps = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            wraps = 0;
            for (int i = 1; i < positions.count(); ++i)
                if (positions[i].at(0).toULongLong() == lower && positions[i - 1].at(0).toULongLong() == upper)
                    ++wraps;
            return wraps >= 2;
        },
        30000));
    EXPECT_TRUE(engine.playing());
    engine.stopFilePlay();
    EXPECT_FALSE(engine.playing());
    EXPECT_EQ(ended.count(), 1);
}

TEST_F(EngineFixture, NewestPictureWinsAndOneSignalWaits)
{
    QSignalSpy ready(&engine, &PlaybackEngine::pictureReady);
    for (uint64_t i = 0; i < 5; ++i) {
        const Event2D e(uint16_t(i), 0, 1, i);
        accumulator.addEvents(&e, &e + 1);
        engine.publishPicture(i);
    }
    EXPECT_EQ(ready.count(), 1);
    QImage picture;
    uint64_t ts = 0;
    ASSERT_TRUE(engine.takePicture(picture, ts));
    EXPECT_EQ(ts, 4u);
    EXPECT_EQ(pixel(picture, 4, 0), qRgb(191, 188, 180));
    EXPECT_EQ(pixel(picture, 3, 0), qRgb(0x70, 0x70, 0x70));
    EXPECT_FALSE(engine.takePicture(picture, ts));
    engine.publishPicture(9);
    EXPECT_EQ(ready.count(), 2);
}

TEST_F(EngineFixture, ReaderExceptionEndsThePlayLoopWithAReason)
{
    struct ThrowingReader : SyntheticReader {
        using SyntheticReader::SyntheticReader;
        std::shared_ptr<std::vector<Event2D>> getNTimeEventsGivenStartTimeStamp(uint64_t, uint64_t) override
        {
            throw std::runtime_error("stoull");
        }
    };
    auto bad = std::make_shared<ThrowingReader>(1000, 2'000'000, 1000);
    engine.setMode(PlaybackEngine::RawFile);
    engine.setReader(bad, 1000, 2'000'000);
    QSignalSpy failed(&engine, &PlaybackEngine::playbackFailed);
    ASSERT_TRUE(engine.startFilePlay());
    ASSERT_TRUE(QTest::qWaitFor([&] { return failed.count() == 1; }, 20000));
    EXPECT_TRUE(failed.first().at(0).toString().contains("stoull"));
    engine.joinEndedLoops();
    EXPECT_FALSE(engine.playing());
}
