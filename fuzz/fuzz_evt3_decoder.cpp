// Feeds arbitrary bytes to the EVT 3.0 decoder, split into pieces at offsets taken from the input,
// with seeks and scans in between; checks that every event is on the sensor and the TIME_HIGH part
// of the time never goes back (TIME_LOW may), and that the word-by-word reading and every fast path
// the CPU runs give exactly the same events, edges, counts and drops as the scalar path, and stop
// where a word-by-word decode does when counting up to a time; the same into a caller's storage.
#include <cstdint>
#include <cstdlib>
#include <variant>
#include <vector>

#include "orvane/hal/Evt3Decoder.h"
#include "GuardedSink.h"

using namespace orvane;

namespace {

struct Result {
    std::vector<std::variant<Event2D, EventTriggerIn>> items;
    std::vector<uint32_t> returned;
    uint64_t droppedGeometry = 0, droppedUnknown = 0, lastTime = 0, stepsBack = 0, droppedStepBack = 0;
    bool operator==(const Result&) const = default;
};

struct Geometry {
    uint16_t width, height;
};
// Picked by the first byte (its value modulo 5): common sensors, a small one, the widest and none at all.
constexpr Geometry kGeometries[5] = {{640, 480}, {1280, 720}, {300, 200}, {65535, 65535}, {0, 0}};

// sinkRoom 0: through the events callback; else into a GuardedSink with rooms of that size.
Result decode(const uint8_t* data, size_t size, Evt3Decoder::Isa isa, bool countOnly, size_t sinkRoom = 0)
{
    Result r;
    const Geometry g = kGeometries[data[0] % 5];
    Evt3Decoder decoder(g.width, g.height, isa);
    uint64_t lastTime = 0;
    uint64_t total = 0;
    const auto keep = [&](const Event2D* b, const Event2D* e) {
        if (b >= e) std::abort();
        for (const Event2D* p = b; p != e; ++p) {
            if (p->x >= g.width || p->y >= g.height || (p->timestamp >> 12) < (lastTime >> 12)) std::abort();
            lastTime = p->timestamp;
            r.items.emplace_back(*p);
        }
        total += static_cast<uint64_t>(e - b);
    };
    if (!countOnly) decoder.setEventsStreamHandleCallback(keep);
    GuardedSink sink(sinkRoom, keep);
    if (sinkRoom != 0) decoder.setEventSink(&sink);
    decoder.setTriggerInCallback([&](EventTriggerIn t) {
        if ((t.timestamp >> 12) < (lastTime >> 12)) std::abort();
        lastTime = t.timestamp;
        r.items.emplace_back(t);
    });
    // The first byte picks the geometry and the piece size (up to 61 bytes, or from 64 bytes to 4 KiB so that
    // the paths that take 32 words at once see whole steps); a piece ending in 0xFF is followed by a seek, a
    // piece starting with 0x5A is scanned instead of decoded.
    const size_t piece = (data[0] & 0x80) ? 64 + (data[0] & 0x7F) * 31 : 1 + data[0] % 61;
    uint64_t decoded = 0;
    for (size_t off = 1; off < size; off += piece) {
        const size_t end = off + piece < size ? off + piece : size;
        if (data[off] == 0x5A) {
            decoder.scanRange(data + off, data + end);
        } else {
            r.returned.push_back(decoder.decodeRange(data + off, data + end));
            decoded += r.returned.back();
        }
        if ((decoder.getLastTimestamp() >> 12) < (lastTime >> 12)) std::abort();
        if (data[end - 1] == 0xFF) {
            decoder.setTimestamp(decoder.getLastTimestamp() + data[off]);
            lastTime = decoder.getLastTimestamp();
        }
    }
    if (!countOnly && decoded != total) std::abort();
    r.droppedGeometry = decoder.droppedOutOfGeometry();
    r.droppedUnknown = decoder.droppedUnknownAddress();
    r.lastTime = decoder.getLastTimestamp();
    r.stepsBack = decoder.timeHighStepsBack();
    r.droppedStepBack = decoder.droppedTimeHighStepBack();
    return r;
}

// Counting up to a time, as an index build does, stop after stop (each target a period past the
// last stop's time): where each stop is, its time and the count so far, then the totals.
struct Mark {
    size_t pos;
    uint64_t time, count;
    bool operator==(const Mark&) const = default;
};

std::vector<Mark> countMarks(const uint8_t* data, size_t size, Evt3Decoder::Isa isa, bool wordByWord)
{
    const Geometry g = kGeometries[data[0] % 5];
    Evt3Decoder d(g.width, g.height, isa);
    const uint64_t period = 1 + uint64_t{data[size - 1]} * 97;
    std::vector<Mark> marks;
    uint64_t target = 1, total = 0;
    const uint8_t* const b = data + 1;
    const uint8_t* const e = b + (size - 1) / 2 * 2;
    for (const uint8_t* p = b; p < e;) {
        if (wordByWord) {
            total += d.decodeRange(p, p + 2);
            p += 2;
            if (d.getLastTimestamp() < target) continue;
        } else {
            p = d.countUntilTimestamp(p, e, target, total);
            if (d.getLastTimestamp() < target) break;
        }
        marks.push_back({static_cast<size_t>(p - b), d.getLastTimestamp(), total});
        target = d.getLastTimestamp() + period;
    }
    marks.push_back({0, d.droppedOutOfGeometry(), total});
    marks.push_back({0, d.droppedUnknownAddress(), d.droppedTimeHighStepBack()});
    return marks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    using Isa = Evt3Decoder::Isa;
    const Result scalar = decode(data, size, Isa::Scalar, false);
    // The word-by-word reading, then every fast path this CPU runs, against the scalar one.
    std::vector<Isa> others = {Isa::Reference};
    if (Evt3Decoder::cpuHasAvx2()) others.push_back(Isa::Avx2);
    for (const Isa isa : others) {
        if (!(decode(data, size, isa, false) == scalar)) std::abort();
        // Into a caller's storage: rooms too small to write into, and just large enough.
        for (const size_t room : {size_t{1} + data[size - 1] % 64, Evt3Decoder(1, 1).minSinkRoom()}) {
            if (!(decode(data, size, isa, false, room) == scalar)) std::abort();
        }
        // Without an events callback: the same counts and drops.
        const Result counted = decode(data, size, isa, true);
        if (counted.returned != scalar.returned || counted.droppedGeometry != scalar.droppedGeometry ||
            counted.droppedUnknown != scalar.droppedUnknown || counted.lastTime != scalar.lastTime ||
            counted.droppedStepBack != scalar.droppedStepBack)
            std::abort();
    }
    const std::vector<Mark> marks = countMarks(data, size, Isa::Reference, true);
    for (const Isa isa : others) {
        if (countMarks(data, size, isa, false) != marks) std::abort();
    }
    if (countMarks(data, size, Isa::Scalar, false) != marks) std::abort();
    return 0;
}
