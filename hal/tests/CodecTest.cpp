#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <variant>
#include <vector>

#include "orvane/hal/Decoder.h"
#include "orvane/hal/Evt3Decoder.h"
#include "orvane/hal/Evt3Encoder.h"
#include "TestEventSink.h"

namespace orvane {
namespace {

using Item = std::variant<Event2D, EventTriggerIn>;

// Decodes and keeps everything in stream order, checking on the way that ranges are sane.
struct Collector {
    std::unique_ptr<Decoder> decoder;
    std::vector<Item> items;
    std::vector<Event2D> events;
    uint64_t counted = 0;

    explicit Collector(const char* format = "EVT3;height=720;width=1280")
        : decoder(DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format)))
    {
        decoder->setEventsStreamHandleCallback([this](const Event2D* b, const Event2D* e) {
            EXPECT_LT(b, e) << "empty ranges are not delivered";
            for (const Event2D* p = b; p != e; ++p) {
                items.emplace_back(*p);
                events.push_back(*p);
            }
        });
        decoder->setTriggerInCallback([this](EventTriggerIn t) { items.emplace_back(t); });
    }
    void decode(const std::vector<uint8_t>& data, size_t from = 0, size_t to = SIZE_MAX)
    {
        to = std::min(to, data.size());
        counted += decoder->decodeRange(data.data() + from, data.data() + to);
    }
};

std::vector<uint8_t> words(std::initializer_list<uint16_t> list)
{
    std::vector<uint8_t> out;
    for (uint16_t w : list) {
        out.push_back(static_cast<uint8_t>(w & 0xFF));
        out.push_back(static_cast<uint8_t>(w >> 8));
    }
    return out;
}

std::vector<Item> merge(const std::vector<Event2D>& events, const std::vector<EventTriggerIn>& triggers)
{
    // The encoder's rule: a trigger goes after every event not later than it.
    std::vector<Item> out;
    size_t ti = 0;
    for (const auto& e : events) {
        while (ti < triggers.size() && triggers[ti].timestamp < e.timestamp) out.emplace_back(triggers[ti++]);
        out.emplace_back(e);
    }
    while (ti < triggers.size()) out.emplace_back(triggers[ti++]);
    return out;
}

// Random events: bursts at increasing times, some dense rows, some isolated pixels.
std::vector<Event2D> randomEvents(std::mt19937& rng, size_t bursts, uint64_t t0, uint64_t maxGap)
{
    std::vector<Event2D> out;
    uint64_t t = t0;
    for (size_t b = 0; b < bursts; ++b) {
        t += rng() % (maxGap + 1);
        const int rows = 1 + static_cast<int>(rng() % 4);
        std::vector<Event2D> burst;
        for (int r = 0; r < rows; ++r) {
            const uint16_t y = static_cast<uint16_t>(rng() % 720);
            const uint8_t p = static_cast<uint8_t>(rng() & 1);
            if (rng() % 2) {
                const uint16_t x0 = static_cast<uint16_t>(rng() % 1200);
                for (uint16_t x = x0; x < x0 + 80 && x < 1280; ++x)
                    if (rng() % 3) {
                    burst.emplace_back(x, y, p, t);
                }
            } else {
                burst.emplace_back(static_cast<uint16_t>(rng() % 1280), y, p, t);
            }
        }
        std::sort(burst.begin(), burst.end(), [](const Event2D& l, const Event2D& r2) {
            return l.y != r2.y ? l.y < r2.y : l.x < r2.x;
        });
        // Same pixel may appear twice only if rows repeat; keep x strictly increasing per row.
        burst.erase(std::unique(burst.begin(), burst.end(),
                                [](const Event2D& l, const Event2D& r2) { return l.x == r2.x && l.y == r2.y; }),
                    burst.end());
        out.insert(out.end(), burst.begin(), burst.end());
    }
    return out;
}

TEST(Evt3RoundTrip, RandomStreamsDecodeBackExactly)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 20; ++round) {
        const bool useVectors = round % 2 == 0;
        const auto events = randomEvents(rng, 200, 1000, round < 10 ? 50 : 300000);
        std::vector<EventTriggerIn> triggers;
        for (size_t i = 0; i < events.size(); i += 97)
            triggers.emplace_back(static_cast<int16_t>(i % 16), static_cast<int16_t>(i % 2), events[i].timestamp + 1);
        const auto data = encodeEvt3(events, triggers, {useVectors, round % 3 == 0 ? 16u : 0u});
        Collector c;
        c.decode(data);
        ASSERT_EQ(c.items, merge(events, triggers)) << "round " << round;
        EXPECT_EQ(c.counted, events.size());
        EXPECT_EQ(c.decoder->droppedOutOfGeometry(), 0u);
    }
}

TEST(Evt3RoundTrip, AnySplitIntoTwoBuffersGivesTheSameResult)
{
    std::mt19937 rng(99);
    const auto events = randomEvents(rng, 40, 5000, 9000);
    const std::vector<EventTriggerIn> triggers = {{3, 1, events[10].timestamp}, {3, 0, events[30].timestamp + 2}};
    const auto data = encodeEvt3(events, triggers);
    const auto expected = merge(events, triggers);
    for (size_t split = 0; split <= data.size(); ++split) {
        Collector c;
        c.decode(data, 0, split);
        c.decode(data, split);
        ASSERT_EQ(c.items, expected) << "split at byte " << split;
    }
    // And one byte at a time.
    Collector c;
    for (size_t i = 0; i < data.size(); ++i) c.decode(data, i, i + 1);
    EXPECT_EQ(c.items, expected);
}

TEST(Evt3RoundTrip, TimeWrapsAndLongGapsExtendTo64Bits)
{
    // Past several 2^24 µs wraps, with gaps longer than half the 24-bit range.
    std::vector<Event2D> events;
    uint64_t t = 16'000'000;
    for (int i = 0; i < 60; ++i) {
        events.emplace_back(static_cast<uint16_t>(i * 7), static_cast<uint16_t>(i * 3), static_cast<uint8_t>(i & 1), t);
        t += (i % 5 == 0) ? 12'345'678 : 700'001;
    }
    ASSERT_GT(events.back().timestamp, uint64_t{1} << 27);
    const auto data = encodeEvt3(events);
    Collector c;
    c.decode(data);
    EXPECT_EQ(c.events, events);
    EXPECT_EQ(c.decoder->getLastTimestamp(), events.back().timestamp);
}

TEST(Evt3RoundTrip, DenseFullRowsUseVectorsAndAreExact)
{
    std::vector<Event2D> events;
    for (uint64_t t = 100; t < 110; ++t)
        for (uint16_t y = 0; y < 720; y += 90)
            for (uint16_t x = 0; x < 1280; ++x) {
                events.emplace_back(x, y, static_cast<uint8_t>(t & 1), t);
            }
    const auto data = encodeEvt3(events);
    EXPECT_LT(data.size(), events.size() / 4) << "vectors should carry about 12 events a word";
    Collector c;
    c.decode(data);
    EXPECT_EQ(c.events, events);
}

TEST(Evt3RoundTrip, ABlockFilledByVectorsThenALongRunOfSingleEvents)
{
    // Vector words fill the output block to just past where it is handed out; the run of single
    // events after them must start a new block, not write on past the end of this one.
    for (uint16_t extra = 0; extra < 14; ++extra) {
        std::vector<Event2D> events;
        for (uint16_t y = 0; events.size() < 2040u + extra; ++y)
            for (uint16_t x = 0; x < 1280 && events.size() < 2040u + extra; ++x) events.emplace_back(x, y, 1, 500);
        for (uint16_t i = 0; i < 30000; ++i) events.emplace_back(static_cast<uint16_t>((i * 24) % 1272), 700, 0, 501);
        const auto data = encodeEvt3(events);
        Collector c;
        c.decode(data);
        ASSERT_EQ(c.events, events) << extra;
    }
}

// Hand-made word sequences: each word type on its own.
TEST(Evt3Words, EachWordTypeDoesWhatTheFormatSays)
{
    Collector c;
    c.decode(words({
        0x8001,          // TIME_HIGH 1 -> t = 4096
        0x6005,          // TIME_LOW 5 -> t = 4101
        0x0010,          // ADDR_Y 16
        0x2A03,          // ADDR_X x=515? no: 0x2A03 -> bit11 set (ON), x = 0x203 = 515
        0x2003,          // ADDR_X x=3 OFF
        0x3804,          // VECT_BASE_X x=4, ON
        0x4805,          // VECT_12 mask 0x805 -> x 4, 6, 15
        0x5F03,          // VECT_8 mask 0x03 (bits 11..8 unused) -> x 16, 17
        0x7123, 0xE014,  // CONTINUED_4, OTHERS: skipped
        0xF456,          // CONTINUED_12: skipped
        0x9999, 0x1234, 0xB000, 0xC000, 0xD000,  // reserved: skipped
        0xA201,          // EXT_TRIGGER channel 2 rising
        0x2001,          // ADDR_X x=1 OFF
    }));
    const std::vector<Item> expected = {
        Event2D(515, 16, 1, 4101), Event2D(3, 16, 0, 4101), Event2D(4, 16, 1, 4101), Event2D(6, 16, 1, 4101),
        Event2D(15, 16, 1, 4101), Event2D(16, 16, 1, 4101), Event2D(17, 16, 1, 4101),
        EventTriggerIn(2, 1, 4101),      Event2D(1, 16, 0, 4101),
    };
    EXPECT_EQ(c.items, expected);
    EXPECT_EQ(c.counted, 8u);
}

TEST(Evt3Words, TimeHighResetsTheLowBitsAndRepeatsChangeNothing)
{
    Collector c;
    c.decode(words({0x8002, 0x6100, 0x0001, 0x2000, 0x8002, 0x2001, 0x8003, 0x2002, 0x6001, 0x2003}));
    ASSERT_EQ(c.events.size(), 4u);
    EXPECT_EQ(c.events[0].timestamp, 0x2100u);
    EXPECT_EQ(c.events[1].timestamp, 0x2100u);  // a repeated TIME_HIGH keeps the time
    EXPECT_EQ(c.events[2].timestamp, 0x3000u);
    EXPECT_EQ(c.events[3].timestamp, 0x3001u);
}

TEST(Evt3MidStream, NothingBeforeTheFirstTimeHighAndNoEventWithoutItsRow)
{
    Collector c;
    c.decode(words({
        0x0005, 0x2001, 0x6010, 0xA001,  // before any TIME_HIGH: no event, no trigger
        0x3000, 0x4FFF,                  // vector before time: dropped
        0x8001,                          // time known now; the row 5 was told before
        0x2002,                          // ADDR_X on row 5
        0x4003,                          // vector: base was told before the time: kept, x 12, 13
    }));
    const std::vector<Item> expected = {Event2D(2, 5, 0, 4096), Event2D(12, 5, 0, 4096), Event2D(13, 5, 0, 4096)};
    EXPECT_EQ(c.items, expected);

    Collector fresh;
    fresh.decode(words({0x8001, 0x2001, 0x4FFF, 0x3005, 0x0007, 0x4001, 0x3002, 0x4003}));
    // ADDR_X before any ADDR_Y dropped; a vector before any base dropped; after ADDR_Y the
    // base told before it still stands (VECT_BASE_X 5 -> x 5), then base 2 -> x 2, 3.
    const std::vector<Item> expected2 = {Event2D(5, 7, 0, 4096), Event2D(2, 7, 0, 4096), Event2D(3, 7, 0, 4096)};
    EXPECT_EQ(fresh.items, expected2);
    EXPECT_EQ(fresh.decoder->droppedUnknownAddress(), 13u);
}

TEST(Evt3MidStream, SetTimestampForgetsRowAndBaseSoNoStaleRowIsEverUsed)
{
    Collector c;
    c.decode(words({0x8001, 0x0009, 0x3000, 0x2001}));
    ASSERT_EQ(c.events.size(), 1u);
    c.decoder->setTimestamp(50'000'000);  // a seek, past two 24-bit wraps
    EXPECT_EQ(c.decoder->getLastTimestamp(), 50'000'000u);
    c.decode(words({0x2002, 0x4FFF, 0x0004, 0x2003}));
    ASSERT_EQ(c.events.size(), 2u);
    EXPECT_EQ(c.events[1], Event2D(3, 4, 0, 50'000'000));
    // Time words continue from the seek time, wraps included.
    const uint64_t high = (50'000'000u >> 12) & 0xFFF;
    c.decode(words({static_cast<uint16_t>(0x8000 | (high + 1)), 0x6007, 0x2004}));
    EXPECT_EQ(c.events.back().timestamp, ((50'000'000u >> 12) + 1) * 4096 + 7);
}

TEST(Evt3MidStream, ScanRangeFollowsTimeAndAddressWithoutEvents)
{
    Collector c;
    const auto data = words({0x8003, 0x6004, 0x0011, 0x3010, 0x2001, 0x4FFF});
    c.decoder->scanRange(data.data(), data.data() + data.size());
    EXPECT_TRUE(c.items.empty());
    EXPECT_EQ(c.decoder->getLastTimestamp(), 3u * 4096 + 4);
    c.decode(words({0x4001, 0x2005}));  // base continued at 0x10 + 12, row 0x11
    const std::vector<Item> expected = {Event2D(28, 17, 0, 3 * 4096 + 4), Event2D(5, 17, 0, 3 * 4096 + 4)};
    EXPECT_EQ(c.items, expected);
}

TEST(Evt3Robustness, OutOfGeometryIsDroppedAndCountedAndTruncatedWordWaits)
{
    Collector c("EVT3;height=480;width=640");
    c.decode(words({0x8001, 0x0100, 0x2280, 0x227F, 0x01E0, 0x2001, 0x0010, 0x3278, 0x4FFF}));
    // x 640 dropped, x 639 kept; row 480 dropped; vector 632..643: 632..639 kept, 4 dropped.
    ASSERT_EQ(c.events.size(), 9u);
    EXPECT_EQ(c.events[0], Event2D(639, 256, 0, 4096));
    EXPECT_EQ(c.events.back().x, 639);
    EXPECT_EQ(c.decoder->droppedOutOfGeometry(), 6u);

    // An odd byte at the end is held until the rest of its word comes.
    Collector t;
    auto data = words({0x8001, 0x0001, 0x2005});
    t.decode(data, 0, data.size() - 1);
    EXPECT_TRUE(t.events.empty());
    t.decode(data, data.size() - 1);
    EXPECT_EQ(t.events.size(), 1u);
}

TEST(Evt3Robustness, GarbageNeverProducesEventsOffTheSensorOrBeforeTheirTimeHigh)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 50; ++round) {
        std::vector<uint8_t> data(1 + rng() % 20000);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        Collector c;
        c.decode(data, 0, data.size() / 3);
        c.decode(data, data.size() / 3);
        for (size_t i = 0; i < c.events.size(); ++i) {
            ASSERT_LT(c.events[i].x, 1280);
            ASSERT_LT(c.events[i].y, 720);
            // Only TIME_LOW steps back: the TIME_HIGH part of the time never does.
            if (i) {
                ASSERT_LE(c.events[i - 1].timestamp >> 12, c.events[i].timestamp >> 12);
            }
        }
        EXPECT_EQ(c.counted, c.events.size());
    }
}

TEST(Decoder, FactoryAndBinarySearch)
{
    EXPECT_EQ(DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT4;height=720;width=1280")), nullptr);
    EXPECT_EQ(DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT2;height=720;width=1280"))->getRawUnitSize(), 4);
    EXPECT_EQ(DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT21;height=720;width=1280"))->getRawUnitSize(), 8);
    auto d = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->getRawUnitSize(), 2);
    EXPECT_EQ(d->getLastTimestamp(), 0u);

    const std::vector<Event2D> ev = {{0, 0, 0, 10}, {0, 0, 0, 20}, {0, 0, 0, 20}, {0, 0, 0, 30}};
    const Event2D* b = ev.data();
    const Event2D* e = b + ev.size();
    EXPECT_EQ(binarySearchTimestamp(5, b, e), b);
    EXPECT_EQ(binarySearchTimestamp(20, b, e), b + 1);
    EXPECT_EQ(binarySearchTimestamp(21, b, e), b + 3);
    EXPECT_EQ(binarySearchTimestamp(31, b, e), e);
    EXPECT_EQ(binarySearchTimestamp(1, b, b), b);
}

// The two real recordings decode to what their own projects' tests assert.
struct RealTotals {
    uint64_t events = 0, on = 0, sumX = 0, sumY = 0, sumT = 0, triggers = 0, rising = 0;
    Event2D first, last;
};

RealTotals decodeRealFile(const std::string& name, const char* format)
{
    const std::filesystem::path src = std::filesystem::path(ORVANE_SHARED_DATA_DIR) / name;
    if (!std::filesystem::exists(src)) return {};
    const auto copy = std::filesystem::temp_directory_path() / ("orvane_codec_" + name);
    std::filesystem::copy_file(src, copy, std::filesystem::copy_options::overwrite_existing);
    std::ifstream in(copy, std::ios::binary);
    std::string line;
    while (in.peek() == '%') {
        std::getline(in, line);
        if (line == "% end") break;
    }
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    RealTotals r;
    auto d = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format));
    d->setEventsStreamHandleCallback([&r](const Event2D* b, const Event2D* e) {
        if (r.events == 0) r.first = *b;
        r.last = e[-1];
        for (const Event2D* p = b; p != e; ++p) {
            ++r.events;
            r.on += p->polarity != 0;
            r.sumX += p->x;
            r.sumY += p->y;
            r.sumT += p->timestamp;
        }
    });
    d->setTriggerInCallback([&r](EventTriggerIn t) {
        ++r.triggers;
        r.rising += t.polarity != 0;
        r.sumT += t.timestamp;  // the reference sum counts trigger times too
    });
    // In camera-sized buffers, as a reader would.
    for (size_t off = 0; off < data.size(); off += 131072)
        d->decodeRange(data.data() + off, data.data() + std::min(data.size(), off + 131072));
    std::filesystem::remove(copy);
    return r;
}

TEST(Evt3RealData, TriggerRecordingMatchesItsReference)
{
    const auto r = decodeRealFile("eccodecs_evt3_trigger.raw", "EVT3;height=720;width=1280");
    if (r.events == 0) GTEST_SKIP() << "reference recording not found in " << ORVANE_SHARED_DATA_DIR;
    EXPECT_EQ(r.events, 82469u);
    EXPECT_EQ(r.on, 41439u);
    EXPECT_EQ(r.sumX, 42078718u);
    EXPECT_EQ(r.sumY, 31656267u);
    EXPECT_EQ(r.first, Event2D(354, 604, 1, 14224870));
    EXPECT_EQ(r.last.timestamp, 15476187u);
    EXPECT_EQ(r.triggers, 2u);
    EXPECT_EQ(r.rising, 1u);
}

TEST(Evt3RealData, VgaRecordingMatchesItsReference)
{
    const auto r = decodeRealFile("ecpy_test_events_1.raw", "EVT3;height=480;width=640");
    if (r.events == 0) GTEST_SKIP() << "reference recording not found in " << ORVANE_SHARED_DATA_DIR;
    EXPECT_EQ(r.events, 343474u);
    EXPECT_EQ(r.on, 125183u);
    EXPECT_EQ(r.first, Event2D(479, 441, 0, 7139845));
    EXPECT_EQ(r.last.timestamp, 9218023u);
    EXPECT_EQ(r.triggers, 4157u);
    EXPECT_EQ(r.rising, 2079u);
    EXPECT_EQ(r.sumT, 2885601049874u);
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// Events as real IMX636 streams have them: about a third step back 1 to 11 µs, never below the
// TIME_HIGH of the event before (that would be a TIME_HIGH step back, a fault).
std::vector<Event2D> withTimeLowStepsBack(std::mt19937& rng, std::vector<Event2D> events)
{
    uint64_t floor = 0;
    for (auto& e : events) {
        if (rng() % 3 == 0) e.timestamp = std::max(e.timestamp - std::min<uint64_t>(e.timestamp, 1 + rng() % 11), floor);
        floor = e.timestamp & ~uint64_t{0xFFF};
    }
    return events;
}

size_t stepsBack(const std::vector<Event2D>& events)
{
    size_t n = 0;
    for (size_t i = 1; i < events.size(); ++i) n += events[i].timestamp < events[i - 1].timestamp;
    return n;
}

TEST(Decoder, ScanUntilTimestampStopsAfterTheSameUnitAsAUnitByUnitScan)
{
    std::mt19937 rng(3);
    const auto events = randomEvents(rng, 300, 100, 3000);
    const auto stepping = withTimeLowStepsBack(rng, events);
    ASSERT_GT(stepsBack(stepping), 20u);
    for (const auto* list : {&events, &stepping}) {
        const auto data = encodeEvt3(*list, {}, {true, 16});
        std::vector<uint64_t> targets = {0, 1, list->back().timestamp, list->back().timestamp + 1};
        for (size_t i = 0; i < list->size(); i += 401) targets.push_back((*list)[i].timestamp + i % 3);
        for (uint64_t target : targets) {
            auto fast = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
            auto slow = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
            const uint8_t* b = data.data();
            const uint8_t* e = b + data.size();
            const uint8_t* expected = e;
            for (const uint8_t* p = b; p + 2 <= e; p += 2) {
                slow->scanRange(p, p + 2);
                if (slow->getLastTimestamp() >= target) {
                    expected = p + 2;
                    break;
                }
            }
            ASSERT_EQ(fast->scanUntilTimestamp(b, e, target), expected) << target;
            EXPECT_EQ(fast->getLastTimestamp(), slow->getLastTimestamp()) << target;
            // And from there on: the first unit already at the target, as a seek's second call has it.
            if (expected != e) {
                const uint8_t* const next = expected;
                const uint8_t* again = e;
                for (const uint8_t* p = next; p + 2 <= e; p += 2) {
                    slow->scanRange(p, p + 2);
                    if (slow->getLastTimestamp() >= target) {
                        again = p + 2;
                        break;
                    }
                }
                EXPECT_EQ(fast->scanUntilTimestamp(next, e, target), again) << target;
            }
        }
    }
}

}  // namespace
}  // namespace orvane

// Every fast path and the word-by-word reading must agree on everything, whatever the input and
// however it is split: events, trigger edges and their order, counts, drops and the final time.
namespace orvane {
namespace {

// Random words biased toward what real streams hold, plus every rare case: TIME_HIGH repeats,
// steps, jitter and wraps; rows and columns off a 1280x720 sensor; vectors at the right edge;
// triggers; skipped and reserved words.
std::vector<uint8_t> biasedWords(std::mt19937& rng, size_t count)
{
    std::vector<uint8_t> out;
    uint32_t high = rng() & 0xFFF;
    for (size_t i = 0; i < count; ++i) {
        uint32_t w = 0;
        const uint32_t r = rng() % 100;
        if (r < 25) w = 0x6000 | (rng() & 0xFFF);                              // TIME_LOW
        else if (r < 45) w = 0x0000 | (rng() % 100 == 0 ? 700 + rng() % 100 : rng() % 720);  // ADDR_Y
        else if (r < 70) w = 0x2000 | (rng() & 0x800) | (rng() % 20 == 0 ? 1270 + rng() % 100 : rng() % 1280);
        else if (r < 82) {  // TIME_HIGH: mostly repeats
            const uint32_t k = rng() % 40;
            if (k == 0) high = (high + 1) & 0xFFF;
            else if (k == 1) high = (high - 1) & 0xFFF;
            else if (k == 2) high = (high + 0x900) & 0xFFF;
            w = 0x8000 | high;
        } else if (r < 85) w = 0x3000 | (rng() & 0x800) | (rng() % 4 == 0 ? 1250 + rng() % 40 : rng() % 1280);
        else if (r < 90) w = (rng() % 2 ? 0x4000 : 0x5000) | (rng() & 0xFFF);
        else if (r < 91) w = 0xA000 | (rng() & 0xF01);
        else w = (std::array<uint32_t, 8>{0x1, 0x7, 0x9, 0xB, 0xC, 0xD, 0xE, 0xF}[rng() % 8] << 12) | (rng() & 0xFFF);
        out.push_back(static_cast<uint8_t>(w & 0xFF));
        out.push_back(static_cast<uint8_t>(w >> 8));
    }
    return out;
}

// Words in the patterns real sensors write, with every variation of them the fast paths treat
// apart: TIME_LOW, ADDR_Y, ADDR_X triplets; ADDR_Y, ADDR_X pairs under a time carried in; several
// ADDR_X per row or per time; TIME_LOW right before ADDR_X; TIME_LOW steps back; repeated TIME_HIGH;
// OTHERS and CONTINUED blocks; vector runs (some crossing the right edge); rows and columns at and past
// the sensor's edges; now and then a trigger or a TIME_HIGH change.
std::vector<uint8_t> sensorLikeWords(std::mt19937& rng, size_t count)
{
    std::vector<uint16_t> w;
    uint32_t high = 5, low = 0;
    const auto column = [&rng] {
        const uint32_t r = rng() % 50;
        return r == 0 ? 1279u : r == 1 ? 1280u + rng() % 800 : r == 2 ? 0u : rng() % 1280;
    };
    const auto row = [&rng] {
        const uint32_t r = rng() % 50;
        return r == 0 ? 719u : r == 1 ? 720u + rng() % 1300 : r == 2 ? 0u : rng() % 720;
    };
    while (w.size() < count) {
        const uint32_t r = rng() % 100;
        if (r < 45) {  // the common triplet, its time stepping a little either way
            low = (low + rng() % 5 - 1) & 0xFFF;
            w.insert(w.end(), {uint16_t(0x6000 | low), uint16_t(row()), uint16_t(0x2000 | (rng() & 0x800) | column())});
        } else if (r < 60) {
            w.insert(w.end(), {uint16_t(row()), uint16_t(0x2000 | (rng() & 0x800) | column())});
        } else if (r < 65) {
            w.push_back(uint16_t(0x2000 | (rng() & 0x800) | column()));
        } else if (r < 69) {
            w.insert(w.end(), {uint16_t(0x6000 | (rng() & 0xFFF)), uint16_t(0x2000 | column())});
        } else if (r < 72) {
            w.insert(w.end(), {uint16_t(0x6000 | (rng() & 0xFFF)), uint16_t(0x6000 | (rng() & 0xFFF)), uint16_t(row()),
                               uint16_t(0x2000 | column())});
        } else if (r < 82) {
            w.push_back(uint16_t(0x8000 | high));
        } else if (r < 88) {
            w.insert(w.end(), {0xE014, 0xF123, 0xF456, 0x7003});
        } else if (r < 94) {
            w.insert(w.end(), {uint16_t(row()), uint16_t(0x3000 | (rng() & 0x800) | (rng() % 8 == 0 ? 1250 + rng() % 40 : rng() % 1200))});
            for (uint32_t k = rng() % 12; k > 0; --k) w.push_back(uint16_t((rng() % 4 ? 0x4000 : 0x5000) | (rng() & 0xFFF)));
        } else if (r < 95) {
            w.push_back(uint16_t(0xA000 | (rng() & 0x101)));
        } else if (r < 96) {
            high = (high + 1) & 0xFFF;
            w.push_back(uint16_t(0x8000 | high));
        } else {
            w.push_back(uint16_t((rng() % 2 ? 0x1000 : 0x9000) | (rng() & 0xFFF)));
        }
    }
    std::vector<uint8_t> out;
    for (const uint16_t x : w) {
        out.push_back(static_cast<uint8_t>(x & 0xFF));
        out.push_back(static_cast<uint8_t>(x >> 8));
    }
    return out;
}

struct PathResult {
    std::vector<Item> items;
    std::vector<uint32_t> returned;  // decodeRange's result per piece
    uint64_t droppedGeometry = 0, droppedUnknown = 0, lastTime = 0;
    bool operator==(const PathResult&) const = default;
};

// Decodes `data` in pieces ending at `cuts`, with a seek before piece `seekAt` (if any); without an
// events callback when `countOnly`; into a sink with rooms of `sinkRoom` slots when not 0.
PathResult decodeWith(Evt3Decoder::Isa isa, const std::vector<uint8_t>& data, const std::vector<size_t>& cuts,
                      bool countOnly, uint16_t width = 1280, uint16_t height = 720, size_t seekAt = SIZE_MAX,
                      size_t sinkRoom = 0)
{
    PathResult r;
    Evt3Decoder d(width, height, isa);
    if (!countOnly) {
        d.setEventsStreamHandleCallback([&r](const Event2D* b, const Event2D* e) {
            EXPECT_LT(b, e);
            for (const Event2D* p = b; p != e; ++p) r.items.emplace_back(*p);
        });
    }
    test::TestEventSink sink(sinkRoom, [&r](const Event2D* b, const Event2D* e) {
        for (const Event2D* p = b; p != e; ++p) r.items.emplace_back(*p);
    });
    if (sinkRoom != 0) d.setEventSink(&sink);
    d.setTriggerInCallback([&r](EventTriggerIn t) { r.items.emplace_back(t); });
    size_t from = 0;
    for (size_t i = 0; i < cuts.size(); ++i) {
        if (i == seekAt) d.setTimestamp(d.getLastTimestamp() + 777);
        r.returned.push_back(d.decodeRange(data.data() + from, data.data() + cuts[i]));
        from = cuts[i];
    }
    r.droppedGeometry = d.droppedOutOfGeometry();
    r.droppedUnknown = d.droppedUnknownAddress();
    r.lastTime = d.getLastTimestamp();
    return r;
}

std::vector<size_t> cutsEvery(size_t size, size_t piece)
{
    std::vector<size_t> cuts;
    for (size_t c = piece; c < size; c += piece) cuts.push_back(c);
    cuts.push_back(size);
    return cuts;
}

// A stream to decode, with the sensor geometry to decode it for.
struct StreamCase {
    std::string name;
    std::vector<uint8_t> data;
    uint16_t width = 1280, height = 720;
};

// The event data of the reference recordings (their headers skipped).
void addReferenceRecordings(std::vector<StreamCase>& cases)
{
    for (const char* name : {"eccodecs_evt3_trigger.raw", "ecpy_test_events_1.raw"}) {
        std::ifstream in(std::filesystem::path(ORVANE_SHARED_DATA_DIR) / name, std::ios::binary);
        std::string line;
        while (in && in.peek() == '%' && std::getline(in, line) && line != "% end") {
        }
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!data.empty()) cases.push_back({name, std::move(data)});
    }
}

// The fast paths this CPU runs, each compared with the word-by-word reading.
std::vector<Evt3Decoder::Isa> fastPathsOfThisCpu()
{
    std::vector<Evt3Decoder::Isa> paths = {Evt3Decoder::Isa::Scalar};
    if (Evt3Decoder::cpuHasAvx2()) paths.push_back(Evt3Decoder::Isa::Avx2);
    return paths;
}

TEST(Evt3Paths, EveryPathAgreesWithTheWordByWordReading)
{
    for (auto isa : fastPathsOfThisCpu()) EXPECT_EQ(Evt3Decoder(1280, 720, isa).isa(), isa);
    EXPECT_EQ(Evt3Decoder(1280, 720, Evt3Decoder::Isa::Reference).isa(), Evt3Decoder::Isa::Reference);

    std::mt19937 rng(2024);
    std::vector<StreamCase> cases;
    for (int i = 0; i < 6; ++i) cases.push_back({"biased words " + std::to_string(i), biasedWords(rng, 3000 + rng() % 5000)});
    cases.push_back({"biased words, small sensor", biasedWords(rng, 6000), 300, 200});
    cases.push_back({"biased words, widest geometry", biasedWords(rng, 6000), 65535, 65535});
    cases.push_back({"biased words, no geometry", biasedWords(rng, 2000), 0, 0});
    for (int i = 0; i < 4; ++i) cases.push_back({"sensor-like words " + std::to_string(i), sensorLikeWords(rng, 20000)});
    cases.push_back({"sensor-like words, small sensor", sensorLikeWords(rng, 20000), 640, 480});
    cases.push_back({"sensor-like words, widest geometry", sensorLikeWords(rng, 8000), 65535, 65535});
    {
        std::vector<uint8_t> garbage(40000);
        for (auto& b : garbage) b = static_cast<uint8_t>(rng());
        cases.push_back({"garbage", garbage});
    }
    // Many events in one piece: the output block fills and is flushed mid-call, around triggers.
    const auto many = randomEvents(rng, 2000, 100, 40);
    std::vector<EventTriggerIn> triggers;
    for (size_t i = 0; i < many.size(); i += 1500) triggers.emplace_back(1, static_cast<int16_t>(i & 1), many[i].timestamp);
    cases.push_back({"encoder, vectors", encodeEvt3(many, triggers, {true, 16})});
    cases.push_back({"encoder, no vectors", encodeEvt3(many, triggers, {false, 16})});
    cases.push_back({"encoder, vectors off a narrow sensor", encodeEvt3(many, triggers, {true, 16}), 700, 400});
    {
        // Long runs under one TIME_HIGH, of single events and then of full vector words: far more
        // events than an output room holds, so a fast path hands rooms on in the middle of a run.
        std::vector<uint16_t> run = {0x8000 | 5};
        for (uint16_t i = 0; i < 6000; ++i) {
            run.insert(run.end(), {static_cast<uint16_t>(0x6000 | (i & 0xFFF)), static_cast<uint16_t>(i % 720),
                                   static_cast<uint16_t>(0x2000 | ((i & 1) << 11) | (i * 7 % 1280))});
        }
        for (uint16_t row = 0; row < 40; ++row) {
            run.insert(run.end(), {row, 0x3000});
            for (int k = 0; k < 100; ++k) run.push_back(0x4FFF);
        }
        std::vector<uint8_t> bytes;
        for (const uint16_t w : run) bytes.insert(bytes.end(), {static_cast<uint8_t>(w & 0xFF), static_cast<uint8_t>(w >> 8)});
        cases.push_back({"long runs", bytes});
    }
    addReferenceRecordings(cases);

    using Isa = Evt3Decoder::Isa;
    for (const auto& c : cases) {
        const size_t n = c.data.size();
        std::vector<size_t> randomCuts;
        for (size_t at = 0; at < n;) {
            at = std::min(n, at + 1 + rng() % 301);  // odd and even byte offsets
            randomCuts.push_back(at);
        }
        const auto seekCuts = cutsEvery(n, 1001);
        for (auto isa : fastPathsOfThisCpu()) {
            const std::string path = Evt3Decoder::isaName(isa);
            const Evt3Decoder d0(c.width, c.height, isa);
            for (const auto& [cutName, cuts] : std::vector<std::pair<std::string, std::vector<size_t>>>{
                     {"whole", {n}}, {"131072-byte pieces", cutsEvery(n, 131072)}, {"random pieces", randomCuts}}) {
                const auto reference = decodeWith(Isa::Reference, c.data, cuts, false, c.width, c.height);
                ASSERT_EQ(decodeWith(isa, c.data, cuts, false, c.width, c.height), reference)
                    << path << ", " << c.name << ", " << cutName;
                // Without an events callback the decoders only count, and count the same.
                const auto counted = decodeWith(isa, c.data, cuts, true, c.width, c.height);
                EXPECT_EQ(counted.returned, reference.returned) << path << ", " << c.name << ", " << cutName;
                EXPECT_EQ(counted.droppedGeometry, reference.droppedGeometry) << path << ", " << c.name;
                EXPECT_EQ(counted.droppedUnknown, reference.droppedUnknown) << path << ", " << c.name;
                EXPECT_EQ(counted.lastTime, reference.lastTime) << path << ", " << c.name;
                // Into a caller's storage: rooms too small to write into (copied through the
                // decoder's own block), just large enough, and large.
                for (const size_t room : {size_t{5}, d0.minSinkRoom(), size_t{1} << 16}) {
                    EXPECT_EQ(decodeWith(isa, c.data, cuts, false, c.width, c.height, SIZE_MAX, room), reference)
                        << path << ", " << c.name << ", " << cutName << ", sink rooms of " << room;
                }
            }
            // A seek in the middle: every path forgets the row and the base at the same point.
            ASSERT_EQ(decodeWith(isa, c.data, seekCuts, false, c.width, c.height, seekCuts.size() / 2),
                      decodeWith(Isa::Reference, c.data, seekCuts, false, c.width, c.height, seekCuts.size() / 2))
                << path << ", " << c.name << ", seek";
            // Scanning moves the time, the row and the vector base the same way: a decode after the
            // scan gives the same events.
            Evt3Decoder a(c.width, c.height, isa), b(c.width, c.height, Isa::Reference);
            a.scanRange(c.data.data(), c.data.data() + n / 2);
            b.scanRange(c.data.data(), c.data.data() + n / 2);
            EXPECT_EQ(a.getLastTimestamp(), b.getLastTimestamp()) << path << ", " << c.name;
            std::vector<Event2D> ea, eb;
            a.setEventsStreamHandleCallback([&](const Event2D* x, const Event2D* y) { ea.insert(ea.end(), x, y); });
            b.setEventsStreamHandleCallback([&](const Event2D* x, const Event2D* y) { eb.insert(eb.end(), x, y); });
            a.decodeRange(c.data.data() + n / 2, c.data.data() + n);
            b.decodeRange(c.data.data() + n / 2, c.data.data() + n);
            EXPECT_EQ(ea, eb) << path << ", " << c.name << ", after a scan";
        }
    }
}

// Counting up to a time, as an index build does: bookmark after bookmark (each target past the last
// bookmark and past every time seen), the same stops, counts and times as a decode unit by unit,
// whatever the stream and however it arrives in pieces.
TEST(Evt3Paths, CountingUpToATimeAgreesWithAUnitByUnitDecode)
{
    std::mt19937 rng(77);
    std::vector<StreamCase> cases;
    for (int i = 0; i < 3; ++i) cases.push_back({"biased words " + std::to_string(i), biasedWords(rng, 6000)});
    cases.push_back({"biased words, small sensor", biasedWords(rng, 6000), 300, 200});
    const auto many = withTimeLowStepsBack(rng, randomEvents(rng, 1500, 100, 40));
    std::vector<EventTriggerIn> triggers;
    for (size_t i = 0; i < many.size(); i += 900) triggers.emplace_back(1, static_cast<int16_t>(i & 1), many[i].timestamp);
    cases.push_back({"encoder, vectors, steps back", encodeEvt3(many, triggers, {true, 16})});
    cases.push_back({"encoder, singles, steps back", encodeEvt3(many, triggers, {false, 16})});
    cases.push_back({"encoder, off a narrow sensor", encodeEvt3(many, triggers, {false, 16}), 700, 400});
    {
        // One TIME_HIGH and a long run of singles: counters inside a run never overflow.
        std::vector<uint16_t> w = {0x8001, 0x6001};
        for (uint32_t i = 0; i < 300000; ++i) {
            w.push_back(static_cast<uint16_t>(i % 720));
            w.push_back(static_cast<uint16_t>(0x2000 | (i % 1280)));
        }
        w.push_back(0x6FFF);
        std::vector<uint8_t> data(2 * w.size());
        std::memcpy(data.data(), w.data(), data.size());
        cases.push_back({"one long run", data});
    }
    cases.push_back({"time high steps back", words({0x8FFE, 0x0003, 0x2001, 0x8000, 0x6005, 0x2002, 0x8FFF, 0x6007, 0x2003,
                                                    0xA001, 0x3000, 0x5003, 0x8FFE, 0x2004, 0x8000, 0x2005, 0x87FF,
                                                    0x2006, 0x8000, 0x2007, 0x8801, 0x6002, 0x2008})});
    addReferenceRecordings(cases);

    struct Mark {
        size_t pos;
        uint64_t time, count;
        bool operator==(const Mark&) const = default;
    };
    auto paths = fastPathsOfThisCpu();
    paths.push_back(Evt3Decoder::Isa::Reference);
    for (const auto& c : cases) {
        for (uint64_t period : {uint64_t{1}, uint64_t{37}, uint64_t{2000}, uint64_t{1} << 40}) {
            // The reference: one word at a time, the time read after each.
            std::vector<Mark> expected;
            uint64_t expectedTotal = 0, expectedGeometry = 0, expectedUnknown = 0;
            {
                Evt3Decoder d(c.width, c.height, Evt3Decoder::Isa::Reference);
                uint64_t target = 1, total = 0;
                for (size_t at = 0; at + 2 <= c.data.size(); at += 2) {
                    total += d.decodeRange(c.data.data() + at, c.data.data() + at + 2);
                    const uint64_t t = d.getLastTimestamp();
                    if (t >= target) {
                        expected.push_back({at + 2, t, total});
                        target = t + period;
                    }
                }
                expectedTotal = total;
                expectedGeometry = d.droppedOutOfGeometry();
                expectedUnknown = d.droppedUnknownAddress();
            }
            for (auto isa : paths) {
                for (size_t piece : {c.data.size(), size_t{4096}, size_t{2 + 2 * (rng() % 40)}}) {
                    SCOPED_TRACE(c.name + ", " + Evt3Decoder::isaName(isa) + ", period " + std::to_string(period) +
                                 ", pieces of " + std::to_string(piece));
                    Evt3Decoder d(c.width, c.height, isa);
                    std::vector<Mark> got;
                    uint64_t target = 1, total = 0;
                    for (size_t from = 0; from < c.data.size(); from += piece) {
                        const uint8_t* const b = c.data.data() + from;
                        const uint8_t* const e = c.data.data() + std::min(c.data.size(), from + piece);
                        for (const uint8_t* p = b; p < e;) {
                            p = d.countUntilTimestamp(p, e, target, total);
                            const uint64_t t = d.getLastTimestamp();
                            if (t < target) break;
                            got.push_back({static_cast<size_t>(p - c.data.data()), t, total});
                            target = t + period;
                        }
                    }
                    ASSERT_EQ(got, expected);
                    EXPECT_EQ(total, expectedTotal);
                    EXPECT_EQ(d.droppedOutOfGeometry(), expectedGeometry);
                    EXPECT_EQ(d.droppedUnknownAddress(), expectedUnknown);
                }
            }
        }
    }
}

// The word orders the fast paths tell apart, each starting at every lane of a step (the padding shifts
// them through two 32-word steps) and cut into two buffers at every word of the first of them: every
// path gives what the word-by-word reading gives. Columns and rows sit at the sensor's edges.
TEST(Evt3Paths, WordOrdersAtEveryLaneAndCut)
{
    const std::vector<std::vector<uint16_t>> orders = {
        {0x6010, 0x0005, 0x2001},                          // TIME_LOW, ADDR_Y, ADDR_X
        {0x6011, 0x0006, 0x24FF, 0x02CF, 0x2A00},          // a second row under the same TIME_LOW
        {0x6012, 0x0007, 0x2002, 0x0008, 0x2003, 0x02D0, 0x2004},  // three, the last row off the sensor
        {0x0009, 0x2005},                                  // ADDR_Y, ADDR_X under the time carried in
        {0x6013, 0x2006},                                  // TIME_LOW right before ADDR_X
        {0x000A, 0x2007, 0x2008},                          // two ADDR_X in a row
        {0x6014, 0x6015, 0x000B, 0x2009},                  // two TIME_LOW
        {0x000C, 0x000D, 0x2500},                          // two ADDR_Y, column 1280
        {0x8001, 0x6016, 0x000E, 0x24FF},                  // a repeated TIME_HIGH, column 1279
        {0x000F, 0x3010, 0x4FFF, 0x2011},                  // a vector between single events
        {0x6001, 0x0010, 0x2012, 0xE014, 0xF123, 0x0011, 0x2013},  // OTHERS between
    };
    std::vector<uint16_t> body;
    for (int round = 0; round < 2; ++round)
        for (const auto& o : orders) body.insert(body.end(), o.begin(), o.end());
    auto paths = fastPathsOfThisCpu();
    for (size_t pad = 0; pad < 64; ++pad) {
        std::vector<uint16_t> words = {0x8001, 0x6000, 0x0001, 0x2000};
        words.insert(words.end(), pad, 0xE014);
        words.insert(words.end(), body.begin(), body.end());
        std::vector<uint8_t> bytes;
        for (const uint16_t w : words) {
            bytes.push_back(static_cast<uint8_t>(w & 0xFF));
            bytes.push_back(static_cast<uint8_t>(w >> 8));
        }
        const auto reference = decodeWith(Evt3Decoder::Isa::Reference, bytes, {bytes.size()}, false);
        ASSERT_EQ(reference.items.size(), 53u) << pad;  // and 4 dropped off the sensor
        ASSERT_EQ(reference.droppedGeometry, 4u) << pad;
        for (const auto isa : paths) {
            for (size_t cut = 0; cut <= 2 * 40; cut += 2) {
                std::vector<size_t> cuts = {bytes.size()};
                if (cut > 0) cuts.insert(cuts.begin(), 2 * (4 + pad) + cut);
                const auto r = decodeWith(isa, bytes, cuts, false);
                ASSERT_EQ(r.items, reference.items) << Evt3Decoder::isaName(isa) << ", pad " << pad << ", cut " << cut;
                ASSERT_EQ(r.droppedGeometry, reference.droppedGeometry) << Evt3Decoder::isaName(isa) << ", pad " << pad;
            }
        }
    }
}

// Word sequences at the edges of the fast paths, each with what must come out; run on both paths.
TEST(Evt3Paths, EdgeCasesOfTheFastPaths)
{
    struct Case {
        const char* name;
        std::vector<uint16_t> words;
        std::vector<Event2D> events;
        uint64_t droppedGeometry = 0, droppedUnknown = 0;
    };
    const std::vector<Case> cases = {
        {"a TIME_LOW below the current one keeps its time, also as the first word of a step",
         {0x8001, 0x6010, 0x0003, 0x2001, 0x3000, 0x6005, 0x2002, 0x6011, 0x2003, 0x6004, 0x6003, 0x2004},
         {{1, 3, 0, 4096 + 16}, {2, 3, 0, 4096 + 5}, {3, 3, 0, 4096 + 17}, {4, 3, 0, 4096 + 3}}},
        {"a TIME_HIGH step back drops what follows until the stream is back",
         {0x8002, 0x0003, 0x2001, 0x8001, 0x6007, 0x2002, 0x3000, 0x4003, 0x8002, 0x2003, 0x6009, 0x2004},
         {{1, 3, 0, 8192}, {3, 3, 0, 8192}, {4, 3, 0, 8192 + 9}}},
        {"the latest ADDR_Y wins, not the largest",
         {0x8001, 0x0200, 0x0005, 0x2001, 0x0100, 0x0007, 0x2002},
         {{1, 5, 0, 4096}, {2, 7, 0, 4096}}},
        {"a row off the sensor drops its ADDR_X until the next ADDR_Y",
         {0x8001, 0x02D0, 0x2001, 0x2002, 0x0001, 0x2003},
         {{3, 1, 0, 4096}}, 2},
        {"a TIME_HIGH change clears the low bits; a wrap adds 2^24",
         {0x8FFF, 0x6123, 0x0001, 0x2001, 0x8000, 0x2002, 0x6002, 0x2003},
         {{1, 1, 0, 0xFFF123}, {2, 1, 0, 0x1000000}, {3, 1, 0, 0x1000002}}},
        {"a vector run crossing the right edge keeps what is on the sensor",
         {0x8001, 0x0002, 0x3CFA, 0x4FFF, 0x4FFF, 0x5FFF},
         {{1274, 2, 1, 4096}, {1275, 2, 1, 4096}, {1276, 2, 1, 4096}, {1277, 2, 1, 4096}, {1278, 2, 1, 4096},
          {1279, 2, 1, 4096}},
         26},
        {"vector polarity is its own, ADDR_X keeps its own",
         {0x8001, 0x0002, 0x3800, 0x5001, 0x2005, 0x5001},
         {{0, 2, 1, 4096}, {5, 2, 0, 4096}, {8, 2, 1, 4096}}},
        {"vector bases and vectors between single events, in stream order",
         {0x8001, 0x0002, 0x2001, 0x3810, 0x4003, 0x2005, 0x5001, 0x0003, 0x4001},
         {{1, 2, 0, 4096}, {16, 2, 1, 4096}, {17, 2, 1, 4096}, {5, 2, 0, 4096}, {28, 2, 1, 4096}, {36, 3, 1, 4096}}},
        {"vectors without a base or on a row off the sensor are dropped and counted",
         {0x8001, 0x0002, 0x4003, 0x02D0, 0x3000, 0x4003, 0x0001, 0x4001},
         {{12, 1, 0, 4096}}, 2, 2},
        {"ADDR_X before the first ADDR_Y is dropped as unknown",
         {0x8001, 0x2001, 0x2002, 0x6001, 0x0004, 0x2003},
         {{3, 4, 0, 4097}}, 0, 2},
    };
    auto paths = fastPathsOfThisCpu();
    paths.push_back(Evt3Decoder::Isa::Reference);
    for (auto isa : paths) {
        for (const auto& c : cases) {
            // Padded with skipped words to more than one 32-word step, so that the interesting
            // words also fall at the end of a step and into the next one.
            for (size_t pad : {size_t{0}, size_t{29}, size_t{31}, size_t{40}}) {
                std::vector<uint16_t> w(c.words.begin(), c.words.begin() + 1);
                w.insert(w.end(), pad, 0xE014);
                w.insert(w.end(), c.words.begin() + 1, c.words.end());
                std::vector<uint8_t> bytes;
                for (uint16_t x : w) {
                    bytes.push_back(static_cast<uint8_t>(x & 0xFF));
                    bytes.push_back(static_cast<uint8_t>(x >> 8));
                }
                const auto r = decodeWith(isa, bytes, {bytes.size()}, false);
                std::vector<Item> expected(c.events.begin(), c.events.end());
                EXPECT_EQ(r.items, expected) << Evt3Decoder::isaName(isa) << ": " << c.name << ", pad " << pad;
                EXPECT_EQ(r.droppedGeometry, c.droppedGeometry) << c.name;
                EXPECT_EQ(r.droppedUnknown, c.droppedUnknown) << c.name;
            }
        }
    }
}

}  // namespace
}  // namespace orvane

// Time as the camera wrote it: TIME_LOW steps back, TIME_HIGH faults, seeks; on every path.
namespace orvane {
namespace {

std::vector<Evt3Decoder::Isa> pathsOfThisCpu()
{
    auto paths = fastPathsOfThisCpu();
    paths.push_back(Evt3Decoder::Isa::Reference);
    return paths;
}

std::vector<Item> asItems(const std::vector<Event2D>& events)
{
    return std::vector<Item>(events.begin(), events.end());
}

TEST(Evt3Time, TimeLowStepsBackDecodeAsEncodedOnEveryPathAndEverySplit)
{
    std::mt19937 rng(77);
    // Bursts 0..40 µs apart: long runs of TIME_LOW, ADDR_Y and ADDR_X words with steps back inside.
    const auto big = withTimeLowStepsBack(rng, randomEvents(rng, 1500, 1000, 40));
    const auto small = withTimeLowStepsBack(rng, randomEvents(rng, 12, 4000, 40));
    ASSERT_GT(stepsBack(big), 300u);
    ASSERT_GT(stepsBack(small), 5u);
    for (auto isa : pathsOfThisCpu()) {
        for (const Evt3Encoder::Options options : {Evt3Encoder::Options{true, 16}, Evt3Encoder::Options{false, 0}}) {
            const auto data = encodeEvt3(big, {}, options);
            std::vector<size_t> randomCuts;
            for (size_t at = 0; at < data.size();) randomCuts.push_back(at = std::min(data.size(), at + 1 + rng() % 700));
            for (const auto& cuts : {std::vector<size_t>{data.size()}, randomCuts}) {
                const auto r = decodeWith(isa, data, cuts, false);
                ASSERT_EQ(r.items, asItems(big)) << "vectors " << options.useVectors;
                EXPECT_EQ(r.lastTime, big.back().timestamp);
            }
        }
        // Every split into two buffers, odd and even.
        const auto data = encodeEvt3(small, {}, {true, 16});
        for (size_t split = 0; split <= data.size(); ++split) {
            const auto r = decodeWith(isa, data, {split, data.size()}, false);
            ASSERT_EQ(r.items, asItems(small)) << "split at byte " << split;
            ASSERT_EQ(r.returned[0] + r.returned[1], small.size());
        }
    }
}

TEST(Evt3Time, ASeekAtAnyWordGoesOnAsTheStraightDecode)
{
    // A seek sets the time the stream had at that word; from there the events are those of a straight
    // decode, less a counted few before the stream tells the row again, also where the next
    // TIME_LOW lies below the time of the seek.
    std::mt19937 rng(8);
    const auto events = withTimeLowStepsBack(rng, randomEvents(rng, 20, 9000, 30));
    const auto data = encodeEvt3(events, {}, {true, 16});
    for (auto isa : pathsOfThisCpu()) {
        for (size_t at = 0; at + 2 <= data.size(); at += 2) {
            Evt3Decoder before(1280, 720, isa);
            const uint64_t decodedBefore = before.decodeRange(data.data(), data.data() + at);
            Evt3Decoder scanner(1280, 720, isa);
            scanner.scanRange(data.data(), data.data() + at);

            std::vector<Event2D> after;
            Evt3Decoder seeker(1280, 720, isa);
            seeker.setEventsStreamHandleCallback([&](const Event2D* b, const Event2D* e) { after.insert(after.end(), b, e); });
            seeker.setTimestamp(scanner.getLastTimestamp());
            seeker.decodeRange(data.data() + at, data.data() + data.size());

            const size_t rest = events.size() - decodedBefore;
            ASSERT_EQ(after.size() + seeker.droppedUnknownAddress(), rest) << "seek at byte " << at;
            ASSERT_TRUE(std::equal(after.begin(), after.end(), events.end() - static_cast<ptrdiff_t>(after.size())))
                << "seek at byte " << at;
        }
    }
    // Right after a seek the stream's TIME_LOW is taken as it is, below the seek time or not.
    for (auto isa : pathsOfThisCpu()) {
        const auto r = [&] {
            PathResult out;
            Evt3Decoder d(1280, 720, isa);
            d.setEventsStreamHandleCallback([&](const Event2D* b, const Event2D* e) { out.items.insert(out.items.end(), b, e); });
            d.setTimestamp(0x3005123);
            const auto w = words({0x0007, 0x2001, 0x6100, 0x2002, 0x8005, 0x2003, 0x8004, 0x2004, 0x8006, 0x2005});
            d.decodeRange(w.data(), w.data() + w.size());
            out.droppedUnknown = d.timeHighStepsBack();
            out.droppedGeometry = d.droppedTimeHighStepBack();
            return out;
        }();
        const std::vector<Item> expected = {Event2D(1, 7, 0, 0x3005123), Event2D(2, 7, 0, 0x3005100),
                                            Event2D(3, 7, 0, 0x3005100), Event2D(5, 7, 0, 0x3006000)};
        EXPECT_EQ(r.items, expected);
        EXPECT_EQ(r.droppedUnknown, 1u) << "one TIME_HIGH step back";
        EXPECT_EQ(r.droppedGeometry, 1u) << "one event under it";
    }
}

TEST(Evt3Time, ATimeHighStepBackIsAFaultNeverALoop)
{
    const auto data = words({
        0x8FFE, 0x0003, 0x2001,          // (1, 3) at 0xFFE000
        0x8000, 0x6005, 0x2002,          // a wrap: (2, 3) at 2^24 + 5
        0x8FFF, 0x6007, 0x2003, 0xA001,  // one back across the wrap: a fault, event and edge dropped
        0x3000, 0x5003, 0x8FFE, 0x2004,  // still behind: two vector events and one more dropped
        0x8000, 0x2005,                  // back where it was: (5, 3) at the time before the fault
        0x87FF, 0x2006,                  // 2047 forward is time going on: (6, 3) at 2^24 + 0x7FF000
        0x8000, 0x2007,                  // 2049 forward is 2047 back: a second fault
        0x8801, 0x6002, 0x2008,          // past where it was: (8, 3) at 2^24 + 0x801002
    });
    const std::vector<Item> expected = {Event2D(1, 3, 0, 0xFFE000), Event2D(2, 3, 0, 0x1000005),
                                        Event2D(5, 3, 0, 0x1000005), Event2D(6, 3, 0, 0x17FF000),
                                        Event2D(8, 3, 0, 0x1801002)};
    for (auto isa : pathsOfThisCpu()) {
        for (bool countOnly : {false, true}) {
            // Whole, then split after every word: the fault state carries over between buffers.
            for (size_t piece : {data.size(), size_t{2}}) {
                Evt3Decoder d(1280, 720, isa);
                std::vector<Item> items;
                if (!countOnly) d.setEventsStreamHandleCallback([&](const Event2D* b, const Event2D* e) { items.insert(items.end(), b, e); });
                d.setTriggerInCallback([&](EventTriggerIn t) { items.emplace_back(t); });
                uint64_t decoded = 0;
                for (size_t off = 0; off < data.size(); off += piece)
                    decoded += d.decodeRange(data.data() + off, data.data() + std::min(data.size(), off + piece));
                if (!countOnly) {
                    EXPECT_EQ(items, expected);
                }
                EXPECT_EQ(decoded, expected.size());
                EXPECT_EQ(d.timeHighStepsBack(), 2u);
                EXPECT_EQ(d.droppedTimeHighStepBack(), 6u);
                EXPECT_EQ(d.getLastTimestamp(), 0x1801002u);
            }
        }
        // A scan follows the same time, and a seek ends a fault.
        Evt3Decoder s(1280, 720, isa);
        s.scanRange(data.data(), data.data() + 20);  // up to the first fault's 0x2003
        EXPECT_EQ(s.getLastTimestamp(), 0x1000005u);
        s.setTimestamp(0x1000010);
        std::vector<Event2D> after;
        s.setEventsStreamHandleCallback([&](const Event2D* b, const Event2D* e) { after.insert(after.end(), b, e); });
        const auto more = words({0x0004, 0x2009});
        s.decodeRange(more.data(), more.data() + more.size());
        EXPECT_EQ(after, std::vector<Event2D>{Event2D(9, 4, 0, 0x1000010)});
    }
}

}  // namespace
}  // namespace orvane
