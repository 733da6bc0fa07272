// Feeds arbitrary bytes to the EVT 2.0 and EVT 2.1 decoders (the first byte picks the encoding, the
// geometry and the piece size): every event is on the sensor, decoding in pieces gives exactly what
// one call gives (also through the vector paths), and counting up to a time stops where a
// word-by-word decode does with the same count; the same into a caller's storage.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "GuardedSink.h"
#include "orvane/hal/Decoder.h"

using namespace orvane;

namespace {

struct Geometry {
    uint16_t width, height;
};
constexpr Geometry kGeometries[4] = {{640, 480}, {1280, 720}, {300, 200}, {2048, 2048}};

using Items = std::vector<std::variant<Event2D, EventTriggerIn>>;

std::unique_ptr<Decoder> make(const std::string& format, Geometry g)
{
    return DecoderFactory::createUniqueDecoder(
        RawEventStreamFormat(format + ";height=" + std::to_string(g.height) + ";width=" + std::to_string(g.width)));
}

// sinkRoom 0: through the events callback; else into a GuardedSink with rooms of that size.
Items decode(const std::string& format, Geometry g, const uint8_t* data, size_t size, size_t piece, uint64_t& count,
             size_t sinkRoom = 0)
{
    Items items;
    auto d = make(format, g);
    const auto keep = [&](const Event2D* b, const Event2D* e) {
        if (b >= e) std::abort();
        for (const Event2D* p = b; p != e; ++p) {
            if (p->x >= g.width || p->y >= g.height) std::abort();
            items.emplace_back(*p);
        }
    };
    d->setEventsStreamHandleCallback(keep);
    GuardedSink sink(sinkRoom, keep);
    if (sinkRoom != 0) d->setEventSink(&sink);
    d->setTriggerInCallback([&](EventTriggerIn t) { items.emplace_back(t); });
    for (size_t off = 0; off < size; off += piece) count += d->decodeRange(data + off, data + std::min(size, off + piece));
    return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const std::string format = (data[0] & 1) ? "EVT21" : "EVT2";
    const Geometry g = kGeometries[(data[0] >> 1) & 3];
    const size_t piece = 1 + (data[0] >> 3) * 7;
    const uint8_t* const words = data + 1;
    const size_t n = size - 1;

    uint64_t wholeCount = 0, pieceCount = 0;
    const Items whole = decode(format, g, words, n, n, wholeCount);
    const Items pieces = decode(format, g, words, n, piece, pieceCount);
    if (whole != pieces || wholeCount != pieceCount) std::abort();
    // Into a caller's storage: rooms too small to write into, and just large enough.
    for (const size_t room : {size_t{1} + data[size - 1] % 64, make(format, g)->minSinkRoom()}) {
        uint64_t sinkCount = 0;
        if (decode(format, g, words, n, piece, sinkCount, room) != whole || sinkCount != wholeCount) std::abort();
    }

    // Counting up to a time from the middle of the stream's times.
    auto probe = make(format, g);
    probe->scanRange(words, words + n);
    const uint64_t target = probe->getLastTimestamp() / 2 + 1;
    auto fast = make(format, g);
    uint64_t fastCount = 0;
    const uint8_t* const stop = fast->countUntilTimestamp(words, words + n, target, fastCount);
    auto slow = make(format, g);
    const size_t unit = slow->getRawUnitSize();
    uint64_t slowCount = 0;
    const uint8_t* p = words;
    for (; p + unit <= words + n; p += unit) {
        slowCount += slow->decodeRange(p, p + unit);
        if (slow->getLastTimestamp() >= target) {
            p += unit;
            break;
        }
    }
    if (p + unit > words + n && slow->getLastTimestamp() < target) p = words + n;
    if (stop != p || fastCount != slowCount) std::abort();
    return 0;
}
