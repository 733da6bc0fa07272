// Reading by count into the caller's storage (readNEvents) and trigger edges by time, on a real
// recording: the same events, positions and edges as the reader's own reads give.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "RawFileTestSupport.h"
#include "TestEventSink.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane {
namespace {

struct OpenedCopy {
    test::TempDir dir;
    std::unique_ptr<RawFileReader> reader;
    uint64_t events = 0;
    explicit OpenedCopy(const char* name)
    {
        const std::string path = dir.file(name);
        std::filesystem::copy_file(std::string(ORVANE_SHARED_DATA_DIR) + "/" + name, path);
        reader = std::make_unique<RawFileReader>(path);
        EXPECT_TRUE(reader->loadFile());
        reader->getMaxEvents(events);
    }
};

TEST(RawFileReaderSink, PiecesOfAnySizeMixedWithOwnReadsGiveTheWholeStreamOnce)
{
    OpenedCopy a("ecpy_test_events_1.raw"), b("ecpy_test_events_1.raw");
    const auto whole = *a.reader->getNEventsGivenStartEvent(0, a.events);
    ASSERT_EQ(whole.size(), a.events);

    std::vector<Event2D> got;
    const auto sink = [&got](const Event2D* begin, const Event2D* end) { got.insert(got.end(), begin, end); };
    ASSERT_TRUE(b.reader->seekNEvents(0));
    // Sizes below, around and far above one chunk's events, with a read of the reader's own between.
    for (const uint64_t n : {1, 777, 20000, 100000}) {
        const size_t before = got.size();
        EXPECT_EQ(b.reader->readNEvents(n, sink), n);
        EXPECT_EQ(got.size() - before, n);
        EXPECT_EQ(b.reader->getCurrentPosEventNum(), got.size());
        EXPECT_EQ(b.reader->getCurrentPosTimeStamp(), got.back().timestamp + 1);
        const auto own = b.reader->getNEvents(5);
        got.insert(got.end(), own->begin(), own->end());
    }
    const uint64_t rest = b.events - got.size();
    EXPECT_EQ(b.reader->readNEvents(UINT64_MAX, sink), rest);
    EXPECT_EQ(got, whole);
    EXPECT_EQ(b.reader->readNEvents(10, sink), 0u);
}

TEST(RawFileReaderSink, ASinkThatThrowsLeavesTheReaderReading)
{
    OpenedCopy a("eccodecs_evt3_trigger.raw");
    ASSERT_TRUE(a.reader->seekNEvents(0));
    EXPECT_THROW(a.reader->readNEvents(
                     50000, [](const Event2D*, const Event2D*) { throw std::runtime_error("stop"); }),
                 std::runtime_error);
    // The reader's own reads deliver again from a fresh position.
    EXPECT_EQ(a.reader->getNEventsGivenStartEvent(0, a.events)->size(), a.events);
}

// Reads spanning megabytes have the file read ahead on a second thread: the same events and
// positions, and the reader's own reads go on from where they ended.
TEST(RawFileReaderSink, LargeReadsIntoASinkReadAheadAndGiveTheStraightDecode)
{
    test::TempDir dir;
    test::StreamShape shape;
    shape.events = 2500000;
    shape.durationUs = 5000000;
    const std::vector<uint8_t> data = test::encodeStream(test::makeEvents(shape), shape);
    ASSERT_GT(data.size(), size_t{8} << 20);
    const std::vector<Event2D> expected = test::straightDecode(data);
    test::writeBytes(dir.file("big.raw"), test::standardRawHeader(), data);
    RawFileReader r(dir.file("big.raw"));
    ASSERT_TRUE(r.loadFile());
    uint64_t start = 0, end = 0;
    r.getStartTimeStamp(start);
    r.getEndTimeStamp(end);

    // By count: most of it, then the reader's own read of the rest.
    test::TestEventSink byCount;
    ASSERT_TRUE(r.seekNEvents(0));
    ASSERT_EQ(r.readNEvents(expected.size() - 1000, byCount), expected.size() - 1000);
    std::vector<Event2D> all = byCount.events();
    const auto rest = r.getNEvents(1000);
    all.insert(all.end(), rest->begin(), rest->end());
    EXPECT_EQ(all, expected);

    // By time: a long window, a short one, and the rest through the end.
    test::TestEventSink byTime;
    ASSERT_TRUE(r.seekTime(start));
    for (const uint64_t d : {(end - start) * 9 / 10, uint64_t{1000}, end - start}) r.readNTimeEvents(d, byTime);
    EXPECT_EQ(byTime.events(), expected);
    EXPECT_EQ(r.getCurrentPosEventNum(), expected.size());
}

TEST(RawFileReaderSink, TriggerEdgesByTimeSplitExactlyAndLeaveThePositionAlone)
{
    OpenedCopy a("ecpy_test_events_1.raw");
    uint64_t start = 0, end = 0;
    a.reader->getStartTimeStamp(start);
    a.reader->getEndTimeStamp(end);
    std::vector<EventTriggerIn> all, parts;
    ASSERT_TRUE(a.reader->getTriggerEvents(start, end + 1, all));
    EXPECT_EQ(all.size(), 4157u);
    const uint64_t middle = start + (end - start) / 3;
    ASSERT_TRUE(a.reader->getTriggerEvents(start, middle, parts));
    ASSERT_TRUE(a.reader->getTriggerEvents(middle, end + 1, parts));
    EXPECT_EQ(parts, all);
    std::vector<EventTriggerIn> none;
    EXPECT_FALSE(a.reader->getTriggerEvents(middle, middle, none));

    // Between two reads of the reader's own, the edges change nothing of what comes next.
    const auto first = *a.reader->getNEventsGivenStartEvent(0, 1000);
    a.reader->getTriggerEvents(start, end + 1, none);
    const auto next = *a.reader->getNEvents(1000);
    const auto straight = *a.reader->getNEventsGivenStartEvent(0, 2000);
    ASSERT_EQ(straight.size(), 2000u);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), straight.begin()));
    EXPECT_TRUE(std::equal(next.begin(), next.end(), straight.begin() + 1000));
}

}  // namespace
}  // namespace orvane
