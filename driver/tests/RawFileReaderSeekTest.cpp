// Reads and seeks against a straight decode of the same data: whatever the seek, the events handed
// out are exactly the matching slice of the full decode (none lost, repeated or with a stale row),
// and the counters say where that slice starts. Also the boundaries, bad files and the real recordings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "RawFileTestSupport.h"
#include "TestEventSink.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane {
namespace {

using test::TempDir;

// Where a read by time splits the stream: the first event, in stream order from `from`, at or past
// `t` (times may step back a few microseconds, so the events are not sorted).
size_t firstAtOrAfter(const std::vector<Event2D>& events, uint64_t t, size_t from = 0)
{
    return static_cast<size_t>(std::find_if(events.begin() + static_cast<long>(from), events.end(),
                                            [t](const Event2D& e) { return e.timestamp >= t; }) -
                               events.begin());
}

std::vector<Event2D> slice(const std::vector<Event2D>& v, size_t from, size_t to)
{
    return std::vector<Event2D>(v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(to));
}

// Everything after the "%" header, as the reader finds its start.
size_t headerLength(const std::vector<uint8_t>& file)
{
    size_t at = 0;
    while (at < file.size() && file[at] == '%') {
        const auto nl = std::find(file.begin() + static_cast<long>(at), file.end(), uint8_t{'\n'});
        const size_t end = nl == file.end() ? file.size() : static_cast<size_t>(nl - file.begin()) + 1;
        const bool isEnd = std::string(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(end)) == "% end\n";
        at = end;
        if (isEnd) break;
    }
    return at;
}

class Quiet : public ::testing::Environment {
public:
    void SetUp() override { Logger::Instance().setMinLevel(LOG_LEVEL_ERROR); }
    void TearDown() override { Logger::Instance().setMinLevel(LOG_LEVEL_INFO); }
};

// One opened recording and its straight decode.
struct Opened {
    TempDir dir;
    std::vector<Event2D> expected;
    std::unique_ptr<RawFileReader> reader;
    uint64_t start = 0, end = 0, max = 0;

    void open(const std::string& header, const std::vector<uint8_t>& data, const std::string& format = "EVT3")
    {
        expected = test::straightDecode(data, format);
        test::writeBytes(dir.file("rec.raw"), header, data);
        openFile(dir.file("rec.raw"));
    }
    void openFile(const std::string& path)
    {
        reader = std::make_unique<RawFileReader>(path);
        ASSERT_TRUE(reader->loadFile());
        reader->getStartTimeStamp(start);
        reader->getEndTimeStamp(end);
        reader->getMaxEvents(max);
    }
    std::vector<Event2D> windows(uint64_t width)
    {
        std::vector<Event2D> all;
        EXPECT_TRUE(reader->seekTime(start));
        for (uint64_t t = start; t <= end; t += width) {
            const auto part = reader->getNTimeEvents(width);
            // A window starts at an event at or past its start (later ones may step back below it)
            // and holds none at or past its end.
            if (!part->empty()) {
                EXPECT_GE(part->front().timestamp, t);
            }
            // (The last window, reaching past the end, takes all that is left.)
            if (t + width <= end) {
                for (const Event2D& e : *part) EXPECT_LT(e.timestamp, t + width);
            }
            all.insert(all.end(), part->begin(), part->end());
        }
        return all;
    }
};

using test::StreamCase;
using test::inEveryFormat;

std::vector<StreamCase> streamCases()
{
    test::StreamShape plain;
    test::StreamShape vectors;
    vectors.rowRuns = true;
    vectors.seed = 2;
    test::StreamShape heartbeat;  // TIME_HIGH repeated as real sensors do, sparse
    heartbeat.timeHighPeriodUs = 16;
    heartbeat.events = 20000;
    heartbeat.durationUs = 400000;
    heartbeat.seed = 3;
    test::StreamShape wrap;  // crosses the 24-bit time wrap
    wrap.startUs = (1u << 24) - 100000;
    wrap.seed = 4;
    // Times stepping back a few microseconds, as real sensors write them, with and without vectors
    // and the TIME_HIGH heartbeat: at window and bookmark borders too.
    test::StreamShape backsteps = plain;
    backsteps.backstepPercent = 8;
    backsteps.seed = 21;
    test::StreamShape backstepVectors = vectors;
    backstepVectors.backstepPercent = 8;
    test::StreamShape backstepHeartbeat = heartbeat;
    backstepHeartbeat.backstepPercent = 20;
    return inEveryFormat({{"plain", plain},
                          {"vectors", vectors},
                          {"heartbeat", heartbeat},
                          {"wrap", wrap},
                          {"backsteps", backsteps},
                          {"backstepVectors", backstepVectors},
                          {"backstepHeartbeat", backstepHeartbeat}});
}

class RawFileReads : public ::testing::TestWithParam<StreamCase> {
protected:
    void SetUp() override
    {
        const auto& shape = GetParam().shape;
        o_.open(test::standardRawHeader(shape.format), test::encodeStream(test::makeEvents(shape), shape), shape.format);
        ASSERT_EQ(o_.reader->formatName(), std::string("EVT ") + test::evtValueOf(shape.format));
        ASSERT_EQ(o_.max, o_.expected.size());
        ASSERT_EQ(o_.max, shape.events);
        // The decoder keeps the times as encoded: such a stream really steps back.
        const auto byTime = [](const Event2D& a, const Event2D& b) { return a.timestamp < b.timestamp; };
        ASSERT_EQ(std::is_sorted(o_.expected.begin(), o_.expected.end(), byTime), shape.backstepPercent == 0);
    }
    Opened o_;
};

TEST_P(RawFileReads, CountReadsAndTimeWindowsGiveTheStraightDecode)
{
    RawFileReader& r = *o_.reader;
    EXPECT_EQ(r.getCurrentPosEventNum(), 0u);
    EXPECT_EQ(r.getCurrentPosTimeStamp(), o_.start);
    std::vector<Event2D> all;
    for (uint64_t n : {1, 999, 4096, 10, 70000}) {
        const auto part = r.getNEvents(n);
        all.insert(all.end(), part->begin(), part->end());
        EXPECT_EQ(r.getCurrentPosEventNum(), all.size());
        if (!part->empty()) {
            EXPECT_EQ(r.getCurrentPosTimeStamp(), part->back().timestamp + 1);
        }
    }
    // The last request ran past the end: clipped to what was left.
    EXPECT_EQ(all, o_.expected);
    EXPECT_EQ(r.getCurrentPosEventNum(), o_.max);
    EXPECT_TRUE(r.getNEvents(10)->empty());

    EXPECT_EQ(o_.windows(1000), o_.expected);
    EXPECT_TRUE(r.reachedEndOfEvents());
    EXPECT_EQ(o_.windows(1), o_.expected);
}

TEST_P(RawFileReads, RandomTimeSeeksMatchTheStraightDecode)
{
    RawFileReader& r = *o_.reader;
    std::mt19937_64 rng(11);
    for (int i = 0; i < 300; ++i) {
        const uint64_t t = o_.start + rng() % (o_.end - o_.start + 1);
        const uint64_t d = 1 + rng() % 5000;
        ASSERT_TRUE(r.seekTime(t)) << t;
        const size_t from = firstAtOrAfter(o_.expected, t);
        ASSERT_EQ(r.getCurrentPosEventNum(), from) << t;
        ASSERT_EQ(r.getCurrentPosTimeStamp(), t);
        // Two consecutive spans: an event at exactly t + d belongs to the second.
        const size_t mid = firstAtOrAfter(o_.expected, t + d);
        const size_t to = firstAtOrAfter(o_.expected, t + 2 * d);
        ASSERT_EQ(*r.getNTimeEvents(d), slice(o_.expected, from, mid)) << t;
        ASSERT_EQ(*r.getNTimeEvents(d), slice(o_.expected, mid, to)) << t;
        ASSERT_EQ(r.getCurrentPosEventNum(), to);
    }
}

// The reads into the caller's storage give what the reader's own reads give, from either seek and
// for rooms of any size: too small for the decoder (copied through the reader's block), a fixed span,
// and rooms grown as asked.
TEST_P(RawFileReads, ReadsIntoASinkOrASpanMatchTheStraightDecode)
{
    RawFileReader& r = *o_.reader;
    std::mt19937_64 rng(13);
    for (const size_t most : {size_t{0}, size_t{7}, size_t{3000}}) {
        SCOPED_TRACE(most);
        for (int i = 0; i < 40; ++i) {
            const uint64_t t = o_.start + rng() % (o_.end - o_.start + 1);
            const uint64_t d = 1 + rng() % 5000;
            ASSERT_TRUE(r.seekTime(t)) << t;
            const size_t from = firstAtOrAfter(o_.expected, t);
            const size_t mid = firstAtOrAfter(o_.expected, t + d);
            const size_t to = firstAtOrAfter(o_.expected, t + 2 * d);
            test::TestEventSink byTime(most);
            ASSERT_EQ(r.readNTimeEvents(d, byTime), mid - from) << t;
            ASSERT_EQ(byTime.events(), slice(o_.expected, from, mid)) << t;
            ASSERT_EQ(r.getCurrentPosEventNum(), mid);
            // What the sink read carried over, the reader's own read hands out next.
            ASSERT_EQ(*r.getNTimeEvents(d), slice(o_.expected, mid, to)) << t;

            const uint64_t k = rng() % (o_.max + 1);
            const uint64_t n = 1 + rng() % 3000;
            ASSERT_TRUE(r.seekNEvents(k)) << k;
            const size_t first = std::min<size_t>(o_.max, k + n), second = std::min<size_t>(o_.max, first + n);
            test::TestEventSink byCount(most);
            ASSERT_EQ(r.readNEvents(n, byCount), first - k) << k;
            ASSERT_EQ(byCount.events(), slice(o_.expected, k, first)) << k;
            if (first > k) {
                EXPECT_EQ(r.getCurrentPosTimeStamp(), o_.expected[first - 1].timestamp + 1);
            }
            std::vector<Event2D> span(n);
            span.resize(r.readNEvents(std::span<Event2D>(span)));
            ASSERT_EQ(span, slice(o_.expected, first, second)) << k;
            ASSERT_EQ(r.getCurrentPosEventNum(), second);
        }
    }
    // Windows through the whole recording, the last one past the end taking all that is left.
    ASSERT_TRUE(r.seekTime(o_.start));
    test::TestEventSink all;
    for (uint64_t t = o_.start; t <= o_.end; t += 1000) r.readNTimeEvents(1000, all);
    EXPECT_EQ(all.events(), o_.expected);
    EXPECT_TRUE(r.reachedEndOfEvents());
    EXPECT_EQ(r.readNTimeEvents(1000, all), 0u);
}

TEST_P(RawFileReads, RandomCountSeeksMatchTheStraightDecode)
{
    RawFileReader& r = *o_.reader;
    std::mt19937_64 rng(12);
    for (int i = 0; i < 300; ++i) {
        const uint64_t k = i == 0 ? 0 : i == 1 ? o_.max : rng() % (o_.max + 1);
        const uint64_t n = 1 + rng() % 3000;
        ASSERT_TRUE(r.seekNEvents(k)) << k;
        ASSERT_EQ(r.getCurrentPosEventNum(), k);
        const size_t to = std::min<size_t>(o_.max, k + n);
        ASSERT_EQ(*r.getNEvents(to - k), slice(o_.expected, k, to)) << k;
        // A time read after a count seek goes on from the same place.
        if (to < o_.max) {
            const uint64_t t = r.getCurrentPosTimeStamp();
            const size_t stop = firstAtOrAfter(o_.expected, t + 500, to);
            ASSERT_EQ(*r.getNTimeEvents(500), slice(o_.expected, to, std::max(to, stop))) << k;
        }
    }
}

// Onto every bookmark of the index and from each to the next: the seeks and windows that start
// exactly where decoding resumes.
TEST_P(RawFileReads, EveryBookmarkIsAnExactStart)
{
    RawFileReader& r = *o_.reader;
    const auto index = test::readBytes(r.getIndexPath());
    const size_t body = static_cast<size_t>(std::find(index.begin(), index.end(), uint8_t{0}) - index.begin()) + 1;
    uint64_t n = 0;
    std::memcpy(&n, index.data() + body, 8);
    std::vector<uint64_t> keys(n);
    for (uint64_t i = 0; i < n; ++i) std::memcpy(&keys[i], index.data() + body + 8 + i * 29, 8);
    ASSERT_GT(keys.size(), 20u);
    std::vector<Event2D> all;
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        ASSERT_TRUE(r.seekTime(keys[i]));
        const size_t from = firstAtOrAfter(o_.expected, keys[i]);
        ASSERT_EQ(r.getCurrentPosEventNum(), from) << keys[i];
        const auto part = r.getNTimeEvents(keys[i + 1] - keys[i]);
        ASSERT_EQ(*part, slice(o_.expected, from, std::max(from, firstAtOrAfter(o_.expected, keys[i + 1], from))));
        all.insert(all.end(), part->begin(), part->end());
    }
    // The last window, to the end, takes what is left.
    ASSERT_TRUE(r.seekTime(keys.back()));
    const auto tail = r.getNTimeEvents(1000000);
    all.insert(all.end(), tail->begin(), tail->end());
    EXPECT_EQ(all, o_.expected);
}

// Count reads and time windows in turns: together the whole stream, in order.
TEST_P(RawFileReads, CountReadsAndWindowsInTurnsGiveTheWholeStream)
{
    RawFileReader& r = *o_.reader;
    std::mt19937_64 rng(13);
    std::vector<Event2D> all;
    ASSERT_TRUE(r.seekTime(o_.start));
    while (!r.reachedEndOfEvents() && r.getCurrentPosEventNum() < o_.max) {
        const auto part = rng() % 2 ? r.getNEvents(1 + rng() % 300) : r.getNTimeEvents(1 + rng() % 700);
        all.insert(all.end(), part->begin(), part->end());
    }
    EXPECT_EQ(all, o_.expected);
}

TEST_P(RawFileReads, Boundaries)
{
    RawFileReader& r = *o_.reader;
    ASSERT_TRUE(r.seekTime(o_.start));
    EXPECT_EQ(r.getCurrentPosEventNum(), 0u);
    EXPECT_EQ(r.getNEvents(3)->front(), o_.expected.front());
    ASSERT_TRUE(r.seekNEvents(0));
    EXPECT_EQ(r.getCurrentPosTimeStamp(), o_.start);
    EXPECT_EQ(r.getNEvents(1)->front(), o_.expected.front());

    EXPECT_FALSE(r.seekTime(o_.end + 1));
    EXPECT_EQ(r.getCurrentPosTimeStamp(), o_.end + 1);
    EXPECT_TRUE(r.reachedEndOfEvents());
    EXPECT_FALSE(r.seekTime(o_.start - 1));
    EXPECT_EQ(r.getCurrentPosTimeStamp(), o_.start - 1);
    EXPECT_FALSE(r.reachedEndOfEvents());
    EXPECT_FALSE(r.seekNEvents(o_.max + 1));
    EXPECT_EQ(r.getCurrentPosEventNum(), o_.max + 1);
    EXPECT_TRUE(r.reachedEndOfEvents());
    EXPECT_TRUE(r.getNEvents(5)->empty());  // nothing past the end, however the count got there

    // A failed seek in a GivenStart read gives a fresh empty vector and reads nothing.
    const auto shared = r.getNEventsGivenStartEvent(0, 1);
    ASSERT_EQ(shared->size(), 1u);
    for (const auto& v : {r.getNEventsGivenStartEvent(o_.max + 1, 5), r.getNEventsGivenStartTimeStamp(o_.end + 1, 5),
                          r.getNTimeEventsGivenStartEvent(o_.max + 1, 5),
                          r.getNTimeEventsGivenStartTimeStamp(o_.end + 1, 5)}) {
        EXPECT_TRUE(v->empty());
        EXPECT_NE(v, shared);
    }
    EXPECT_EQ(*r.getNTimeEventsGivenStartTimeStamp(o_.start, 700),
              slice(o_.expected, 0, firstAtOrAfter(o_.expected, o_.start + 700)));

    // A span running past the end is clipped at the end (inclusive) yet moves the time by all of it.
    const uint64_t t = o_.end - 300;
    ASSERT_TRUE(r.seekTime(t));
    EXPECT_EQ(*r.getNTimeEvents(10000), slice(o_.expected, firstAtOrAfter(o_.expected, t), o_.max));
    EXPECT_EQ(r.getCurrentPosTimeStamp(), t + 10000);
    EXPECT_TRUE(r.reachedEndOfEvents());
    EXPECT_TRUE(r.getNTimeEvents(10)->empty());
    EXPECT_EQ(r.getCurrentPosEventNum(), o_.max);
}

INSTANTIATE_TEST_SUITE_P(Streams, RawFileReads, ::testing::ValuesIn(streamCases()),
                         [](const auto& param) { return param.param.name; });

std::vector<uint8_t> stream(uint64_t events, uint64_t durationUs, uint32_t seed)
{
    test::StreamShape shape;
    shape.events = events;
    shape.durationUs = durationUs;
    shape.seed = seed;
    return test::encodeStream(test::makeEvents(shape), shape);
}

TEST(RawFileBadData, ShortOddAndGarbageFiles)
{
    {
        SCOPED_TRACE("header only");
        Opened o;
        o.open(test::standardRawHeader(), {});
        EXPECT_EQ(o.max, 0u);
        EXPECT_EQ(o.start, o.end);
        EXPECT_TRUE(o.reader->getNEvents(10)->empty());
    }
    {
        SCOPED_TRACE("shorter than one bookmark period: its events are read");
        test::StreamShape shape;
        shape.events = 200;
        shape.durationUs = 1000;
        shape.startUs = 1220 * 4096;  // on a TIME_HIGH step: the first time seen is the first event's
        auto events = test::makeEvents(shape);
        events.erase(std::remove_if(events.begin(), events.end(),
                                    [&](const Event2D& e) { return e.timestamp >= shape.startUs + 1500; }),
                     events.end());
        Opened o;
        o.open(test::standardRawHeader(), test::encodeStream(events, shape));
        EXPECT_LT(o.start, o.end);
        EXPECT_EQ(o.max, o.expected.size());
        ASSERT_FALSE(o.expected.empty());
        EXPECT_EQ(*o.reader->getNTimeEvents(5000), o.expected);
        EXPECT_EQ(o.windows(100), o.expected);
    }
    {
        SCOPED_TRACE("truncated mid-word");
        auto data = stream(3000, 30000, 5);
        data.pop_back();
        Opened o;
        o.open(test::standardRawHeader(), data);
        EXPECT_EQ(o.max, o.expected.size());
        EXPECT_EQ(o.windows(1000), o.expected);
    }
    {
        SCOPED_TRACE("garbage after the header");
        std::mt19937 rng(9);
        std::vector<uint8_t> data(300000);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        Opened o;
        o.open(test::standardRawHeader(), data);
        EXPECT_EQ(o.max, o.expected.size());
        std::vector<Event2D> all;
        while (o.reader->getCurrentPosEventNum() < o.max) {
            const auto part = o.reader->getNEvents(1000);
            if (part->empty()) break;
            all.insert(all.end(), part->begin(), part->end());
        }
        EXPECT_EQ(all, o.expected);
        for (uint64_t k = 0; k < o.max; k += 997) {
            ASSERT_TRUE(o.reader->seekNEvents(k));
            ASSERT_EQ(*o.reader->getNEvents(3), slice(o.expected, k, std::min<size_t>(o.max, k + 3)));
        }
    }
}

TEST(RawFileBadData, EventsStampedBeforeTheStartAreReadFromTheFirst)
{
    // EVT 2.0 whose time steps back hours after its first TIME_HIGH words (a corrupt stream): the
    // one event on the sensor is stamped before the start. A fresh reader starts at it.
    auto word = [](uint32_t type, uint32_t payload) { return type << 28 | payload; };
    auto event = [&](uint32_t x, uint32_t y) { return word(1, 5u << 22 | x << 11 | y); };
    const std::vector<uint32_t> words = {event(10, 10), word(8, 0xD912036), event(556, 1599), word(8, 0xD912B20),
                                         word(8, 0x6285D00), event(1516, 652), word(8, 0x6CFE76A), event(274, 98)};
    std::vector<uint8_t> data(words.size() * 4);
    std::memcpy(data.data(), words.data(), data.size());
    Opened o;
    o.open(test::standardRawHeader("EVT2"), data, "EVT2");
    ASSERT_EQ(o.expected.size(), 1u);
    ASSERT_LT(o.expected[0].timestamp, o.start);
    EXPECT_EQ(o.max, 1u);
    EXPECT_EQ(o.reader->getCurrentPosEventNum(), 0u);
    EXPECT_EQ(*o.reader->getNEvents(10), o.expected);
}

struct RealRecording {
    const char* file;
    uint64_t events;
    uint64_t firstT, lastT;
};

class RealRecordings : public ::testing::TestWithParam<RealRecording> {};

TEST_P(RealRecordings, CountsWindowsAndSeeksAgreeWithTheStraightDecode)
{
    const RealRecording& rec = GetParam();
    Opened o;
    const std::string copy = o.dir.file(rec.file);
    std::filesystem::copy_file(std::string(ORVANE_SHARED_DATA_DIR) + "/" + rec.file, copy);
    const auto file = test::readBytes(copy);
    o.expected = test::straightDecode(std::vector<uint8_t>(file.begin() + static_cast<long>(headerLength(file)), file.end()));
    ASSERT_EQ(o.expected.size(), rec.events);
    o.openFile(copy);
    EXPECT_EQ(o.max, rec.events);
    EXPECT_EQ(o.expected.front().timestamp, rec.firstT);
    EXPECT_EQ(o.expected.back().timestamp, rec.lastT);
    EXPECT_EQ(*o.reader->getNEvents(rec.events), o.expected);
    EXPECT_EQ(o.windows(1000), o.expected);

    std::mt19937_64 rng(5);
    for (int i = 0; i < 100; ++i) {
        const uint64_t t = o.start + rng() % (o.end - o.start + 1);
        ASSERT_TRUE(o.reader->seekTime(t));
        const size_t from = firstAtOrAfter(o.expected, t);
        ASSERT_EQ(o.reader->getCurrentPosEventNum(), from);
        ASSERT_EQ(*o.reader->getNTimeEvents(33333), slice(o.expected, from, firstAtOrAfter(o.expected, t + 33333)));
        const uint64_t k = rng() % o.max;
        ASSERT_TRUE(o.reader->seekNEvents(k));
        ASSERT_EQ(*o.reader->getNEvents(100), slice(o.expected, k, std::min<size_t>(o.max, k + 100)));
    }
    // Reopened from its index: the same totals.
    RawFileReader again(copy);
    ASSERT_TRUE(again.loadFile());
    EXPECT_TRUE(again.indexReused());
    uint64_t max = 0;
    again.getMaxEvents(max);
    EXPECT_EQ(max, rec.events);
}

INSTANTIATE_TEST_SUITE_P(SharedData, RealRecordings,
                         ::testing::Values(RealRecording{"eccodecs_evt3_trigger.raw", 82469, 14224870, 15476187},
                                           RealRecording{"ecpy_test_events_1.raw", 343474, 7139845, 9218023}),
                         [](const auto& param) { return std::string(param.index == 0 ? "eccodecs" : "ecpy"); });

const auto* const quiet = ::testing::AddGlobalTestEnvironment(new Quiet);

}  // namespace
}  // namespace orvane
