// EVT 2.0 and EVT 2.1: round trips through our encoder for every word type, masks of every density,
// the 34-bit wrap, trigger edges in stream order, any split of the stream, and the words a decoder
// must drop (before the first TIME_HIGH, off the sensor). Each case runs in both encodings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "orvane/hal/Decoder.h"
#include "orvane/hal/Evt2Encoder.h"
#include "TestEventSink.h"

namespace orvane {
namespace {

using Item = std::variant<Event2D, EventTriggerIn>;

struct Decoded {
    std::vector<Item> items;
    uint64_t counted = 0;
};

// Decodes `data` in pieces of `piece` bytes (0: one call); into a sink with rooms of `sinkRoom`
// slots when not 0.
Decoded decode(const std::string& format, const std::vector<uint8_t>& data, size_t piece = 0, uint16_t width = 1280,
               uint16_t height = 720, size_t sinkRoom = 0)
{
    auto d = DecoderFactory::createUniqueDecoder(
        RawEventStreamFormat(format + ";height=" + std::to_string(height) + ";width=" + std::to_string(width)));
    Decoded out;
    const auto keep = [&out](const Event2D* b, const Event2D* e) {
        for (const Event2D* p = b; p != e; ++p) out.items.emplace_back(*p);
    };
    d->setEventsStreamHandleCallback(keep);
    test::TestEventSink sink(sinkRoom, keep);
    if (sinkRoom != 0) d->setEventSink(&sink);
    d->setTriggerInCallback([&out](EventTriggerIn t) { out.items.emplace_back(t); });
    const size_t step = piece == 0 ? data.size() : piece;
    for (size_t at = 0; at < data.size(); at += step) {
        out.counted += d->decodeRange(data.data() + at, data.data() + std::min(data.size(), at + step));
    }
    return out;
}

std::vector<Item> merged(const std::vector<Event2D>& events, const std::vector<EventTriggerIn>& triggers)
{
    std::vector<Item> out;
    size_t t = 0;
    for (const Event2D& e : events) {
        while (t < triggers.size() && triggers[t].timestamp < e.timestamp) out.emplace_back(triggers[t++]);
        out.emplace_back(e);
    }
    while (t < triggers.size()) out.emplace_back(triggers[t++]);
    return out;
}

class Evt2Codec : public ::testing::TestWithParam<const char*> {
protected:
    std::string format() const { return GetParam(); }
    bool wide() const { return format() == "EVT21"; }
    size_t unit() const { return wide() ? 8 : 4; }
    std::vector<uint8_t> encode(const std::vector<Event2D>& events, const std::vector<EventTriggerIn>& triggers = {},
                                bool everyTimeHigh = false) const
    {
        return encodeEvt2(events, triggers, Evt2Encoder::Options{wide(), everyTimeHigh});
    }
};

// Busy rows: runs along a row at one time with every density of a 32-pixel segment, from one pixel
// to all 32, and isolated events of both polarities in between.
std::vector<Event2D> densities(uint64_t t0)
{
    std::vector<Event2D> events;
    std::mt19937 rng(5);
    uint64_t t = t0;
    for (uint32_t n = 1; n <= 32; ++n, t += 37) {
        const uint16_t y = static_cast<uint16_t>(rng() % 720);
        const uint16_t base = static_cast<uint16_t>(32 * (rng() % 39));
        std::vector<uint16_t> xs(32);
        for (uint16_t i = 0; i < 32; ++i) xs[i] = i;
        std::shuffle(xs.begin(), xs.end(), rng);
        xs.resize(n);
        std::sort(xs.begin(), xs.end());
        for (const uint16_t x : xs) events.emplace_back(static_cast<uint16_t>(base + x), y, static_cast<uint8_t>(n & 1), t);
        events.emplace_back(static_cast<uint16_t>(rng() % 1280), static_cast<uint16_t>(rng() % 720),
                            static_cast<uint8_t>(rng() & 1), t + 5);
    }
    return events;
}

TEST_P(Evt2Codec, EveryDensityAndEveryWordTypeComeBackInOrder)
{
    std::vector<Event2D> events = densities(1000000);
    // The sensor's corners, and a time step of exactly one TIME_HIGH.
    events.emplace_back(0, 0, 1, events.back().timestamp + 64);
    events.emplace_back(1279, 719, 0, events.back().timestamp + 1);
    const std::vector<EventTriggerIn> triggers = {{0, 1, 1000000}, {3, 0, 1000500}, {31, 1, events.back().timestamp}};
    std::vector<uint8_t> data = encode(events, triggers);
    // OTHERS and CONTINUED words, which nothing reads, between the others.
    std::vector<uint8_t> vendor(unit(), 0);
    vendor[3] = 0xE0;
    data.insert(data.begin() + static_cast<long>(unit() * 3), vendor.begin(), vendor.end());
    vendor[3] = 0xF0;
    data.insert(data.begin() + static_cast<long>(unit() * 3), vendor.begin(), vendor.end());

    const auto expected = merged(events, triggers);
    for (const size_t piece : {size_t{0}, size_t{1}, size_t{3}, unit() + 1, size_t{4096}}) {
        SCOPED_TRACE(piece);
        const Decoded d = decode(format(), data, piece);
        EXPECT_EQ(d.items, expected);
        EXPECT_EQ(d.counted, events.size());
        // Into a caller's storage, with rooms too small to write into and large ones.
        for (const size_t room : {size_t{3}, size_t{1} << 16}) {
            const Decoded s = decode(format(), data, piece, 1280, 720, room);
            EXPECT_EQ(s.items, expected) << "sink rooms of " << room;
            EXPECT_EQ(s.counted, events.size());
        }
    }
    // EVT 2.1 packs a run of one segment into one word: a full segment is one word.
    if (wide()) {
        EXPECT_LT(data.size(), events.size() * 4);
    }
}

TEST_P(Evt2Codec, TimeWrapsAfter34BitsAreCounted)
{
    const uint64_t wrap = uint64_t{1} << 34;
    std::vector<Event2D> events;
    for (uint64_t t = wrap - 300; t < wrap + 300; t += 7) events.emplace_back(5, 6, 1, t);
    for (uint64_t t = 3 * wrap - 100; t < 3 * wrap + 100; t += 13) events.emplace_back(7, 8, 0, t);
    const std::vector<uint8_t> data = encode(events, {}, false);
    for (const size_t piece : {size_t{0}, size_t{5}}) EXPECT_EQ(decode(format(), data, piece).items, merged(events, {}));
}

TEST_P(Evt2Codec, EveryTimeHighOfAnIdleStretchDecodesTheSame)
{
    const std::vector<Event2D> events = {{1, 1, 1, 100}, {2, 2, 0, 100000}, {3, 3, 1, 100001}};
    const std::vector<uint8_t> sparse = encode(events), heartbeat = encode(events, {}, true);
    EXPECT_GT(heartbeat.size(), sparse.size() + 1000 * unit());
    EXPECT_EQ(decode(format(), heartbeat).items, merged(events, {}));
}

TEST_P(Evt2Codec, NothingBeforeTheFirstTimeHighNorOffTheSensor)
{
    const std::vector<Event2D> events = {{10, 10, 1, 5000}, {639, 479, 0, 5001}, {640, 10, 1, 5002}, {10, 480, 1, 5003}};
    std::vector<uint8_t> data = encode(events);
    // Drop the leading TIME_HIGH: the events then have no time and are dropped (counted).
    const std::vector<uint8_t> headless(data.begin() + static_cast<long>(unit()), data.end());
    auto d = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=480;width=640"));
    uint64_t got = 0;
    d->setEventsStreamHandleCallback([&got](const Event2D* b, const Event2D* e) { got += static_cast<uint64_t>(e - b); });
    d->decodeRange(headless.data(), headless.data() + headless.size());
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(d->droppedUnknownAddress(), events.size());
    EXPECT_EQ(d->getLastTimestamp(), 0u);

    const Decoded small = decode(format(), data, 0, 640, 480);
    EXPECT_EQ(small.items, merged({events[0], events[1]}, {}));
    auto counter = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=480;width=640"));
    EXPECT_EQ(counter->decodeRange(data.data(), data.data() + data.size()), 2u);
    EXPECT_EQ(counter->droppedOutOfGeometry(), 2u);
    // Counting up to a time (the index build) drops and counts the same, also eight words a step.
    std::vector<Event2D> many;
    for (uint16_t i = 0; i < 400; ++i) many.emplace_back(static_cast<uint16_t>(i * 3 % 1280), i % 720, 1, 5000 + i);
    const std::vector<uint8_t> longer = encode(many);
    auto fast = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=480;width=640"));
    uint64_t counted = 0;
    fast->countUntilTimestamp(longer.data(), longer.data() + longer.size(), UINT64_MAX, counted);
    auto slow = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=480;width=640"));
    uint64_t slowCounted = 0;
    for (size_t at = 0; at < longer.size(); at += unit()) slowCounted += slow->decodeRange(&longer[at], &longer[at] + unit());
    EXPECT_EQ(counted, slowCounted);
    EXPECT_EQ(fast->droppedOutOfGeometry(), slow->droppedOutOfGeometry());
    EXPECT_EQ(counted + fast->droppedOutOfGeometry(), many.size());
}

// The index build and the seeks stop at the first word after which the time reaches a target and
// count the events before it: the same as decoding word by word.
TEST_P(Evt2Codec, CountingAndScanningUpToATimeStopWhereWordByWordDoes)
{
    std::vector<Event2D> events = densities(2000000);
    const std::vector<uint8_t> data = encode(events, {}, true);
    for (uint64_t target = 2000000; target < events.back().timestamp + 100; target += 97) {
        auto fast = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=720;width=1280"));
        auto slow = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=720;width=1280"));
        uint64_t count = 0, slowCount = 0;
        const uint8_t* const stop = fast->countUntilTimestamp(data.data(), data.data() + data.size(), target, count);
        const uint8_t* p = data.data();
        for (; p < data.data() + data.size(); p += unit()) {
            slowCount += slow->decodeRange(p, p + unit());
            if (slow->getLastTimestamp() >= target) {
                p += unit();
                break;
            }
        }
        ASSERT_EQ(stop, p) << target;
        ASSERT_EQ(count, slowCount) << target;
        auto scan = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=720;width=1280"));
        ASSERT_EQ(scan->scanUntilTimestamp(data.data(), data.data() + data.size(), target), p) << target;
        ASSERT_EQ(scan->getLastTimestamp(), fast->getLastTimestamp());
    }
}

// Reaching the time at the last whole word stops there, without taking the bytes after it.
TEST_P(Evt2Codec, ReachingTheTimeAtTheLastWholeWordLeavesTheRest)
{
    std::vector<uint8_t> data = encode({{1, 1, 1, 100}, {2, 2, 1, 1000}});
    const size_t lastHigh = data.size() - 2 * unit();  // the TIME_HIGH of 1000, then its event
    data.resize(lastHigh + unit() + 3);                 // and three bytes of the event word
    auto d = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=720;width=1280"));
    uint64_t count = 0;
    EXPECT_EQ(d->countUntilTimestamp(data.data(), data.data() + data.size(), 1000 >> 6 << 6, count),
              data.data() + lastHigh + unit());
    EXPECT_EQ(count, 1u);
}

// A decoder told the time mid-stream (a seek) decodes on from any word.
TEST_P(Evt2Codec, SetTimestampResumesMidStream)
{
    const std::vector<Event2D> events = densities(3000000);
    const std::vector<uint8_t> data = encode(events, {}, true);
    const Decoded whole = decode(format(), data);
    auto full = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=720;width=1280"));
    const size_t half = data.size() / unit() / 2 * unit();
    full->scanRange(data.data(), data.data() + half);
    auto resumed = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=720;width=1280"));
    resumed->setTimestamp(full->getLastTimestamp());
    std::vector<Item> rest;
    resumed->setEventsStreamHandleCallback([&rest](const Event2D* b, const Event2D* e) {
        for (const Event2D* p = b; p != e; ++p) rest.emplace_back(*p);
    });
    const uint64_t before = full->decodeRange(data.data(), data.data());  // nothing
    EXPECT_EQ(before, 0u);
    auto counter = DecoderFactory::createUniqueDecoder(RawEventStreamFormat(format() + ";height=720;width=1280"));
    const uint64_t skipped = counter->decodeRange(data.data(), data.data() + half);
    resumed->decodeRange(data.data() + half, data.data() + data.size());
    ASSERT_EQ(rest.size(), whole.items.size() - skipped);
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), whole.items.begin() + static_cast<long>(skipped)));
}

INSTANTIATE_TEST_SUITE_P(Encodings, Evt2Codec, ::testing::Values("EVT2", "EVT21"),
                         [](const auto& p) { return std::string(p.param); });

// EVT 2.1's 64-bit word lies in the file as two little-endian halves, the upper first.
TEST(Evt21Layout, UpperHalfFirstThenTheMask)
{
    // An ON segment at x 64 of row 5, time 0x40 + 3, pixels 0 and 31.
    const uint32_t upper = (0x1u << 28) | (3u << 22) | (64u << 11) | 5u, mask = 0x80000001u;
    std::vector<uint8_t> data(16);
    const uint32_t high = 0x8u << 28 | 1u;  // TIME_HIGH: time bits 33..6 = 1
    std::memcpy(data.data(), &high, 4);
    std::memcpy(data.data() + 8, &upper, 4);
    std::memcpy(data.data() + 12, &mask, 4);
    EXPECT_EQ(decode("EVT21", data).items, (std::vector<Item>{Event2D(64, 5, 1, 67), Event2D(95, 5, 1, 67)}));
    EXPECT_EQ(encodeEvt2({Event2D(64, 5, 1, 67), Event2D(95, 5, 1, 67)}, {}, {true, false}), data);
}

}  // namespace
}  // namespace orvane
