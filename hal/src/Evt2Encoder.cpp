#include "orvane/hal/Evt2Encoder.h"

#include <cstddef>

#include "orvane/hal/EvtWords.h"

namespace orvane {
namespace {

using namespace evt2;

constexpr uint32_t kHighMask = (1u << kHighBits) - 1;
// The decoder takes a TIME_HIGH far below the last one as a wrap, so a forward jump is bridged in
// steps of less than half the range.
constexpr uint64_t kMaxHighStep = kHighMask >> 1;

inline void put32(std::vector<uint8_t>& out, uint32_t w)
{
    out.push_back(static_cast<uint8_t>(w));
    out.push_back(static_cast<uint8_t>(w >> 8));
    out.push_back(static_cast<uint8_t>(w >> 16));
    out.push_back(static_cast<uint8_t>(w >> 24));
}

inline uint32_t low6(uint64_t t)
{
    return static_cast<uint32_t>(t & 0x3F) << 22;
}

}  // namespace

void Evt2Encoder::put(uint32_t upper, uint32_t mask, std::vector<uint8_t>& out) const
{
    put32(out, upper);
    if (options_.wide) put32(out, mask);
}

void Evt2Encoder::setHigh(uint64_t timestamp, std::vector<uint8_t>& out)
{
    const uint64_t high64 = timestamp >> kLowBits;
    if (timeValid_ && high64 == high64_) return;
    if (timeValid_ && high64 > high64_) {
        const uint64_t step = options_.everyTimeHigh ? 1 : kMaxHighStep;
        while (high64 - high64_ > step) {
            high64_ += step;
            put((TIME_HIGH << 28) | static_cast<uint32_t>(high64_ & kHighMask), 0, out);
        }
    }
    high64_ = high64;
    timeValid_ = true;
    put((TIME_HIGH << 28) | static_cast<uint32_t>(high64 & kHighMask), 0, out);
}

void Evt2Encoder::encode(const Event2D* begin, const Event2D* end, std::vector<uint8_t>& out)
{
    for (const Event2D* e = begin; e < end;) {
        setHigh(e->timestamp, out);
        const uint32_t type = e->polarity != 0 ? CD_ON : CD_OFF;
        if (!options_.wide) {
            put((type << 28) | low6(e->timestamp) | (uint32_t{e->x} & 0x7FF) << 11 | (e->y & 0x7FFu), 0, out);
            ++e;
            continue;
        }
        // The run of events that share this word: same time, row and polarity, x rising within
        // the segment.
        const uint32_t segment = e->x & ~31u;
        uint32_t mask = 1u << (e->x & 31);
        const Event2D* n = e + 1;
        for (; n < end && n->timestamp == e->timestamp && n->y == e->y && (n->polarity != 0) == (e->polarity != 0) &&
               (n->x & ~31u) == segment && n->x > n[-1].x;
             ++n) {
            mask |= 1u << (n->x & 31);
        }
        put((type << 28) | low6(e->timestamp) | (segment & 0x7FF) << 11 | (e->y & 0x7FFu), mask, out);
        e = n;
    }
}

void Evt2Encoder::encodeTrigger(const EventTriggerIn& trigger, std::vector<uint8_t>& out)
{
    setHigh(trigger.timestamp, out);
    put((EXT_TRIGGER << 28) | low6(trigger.timestamp) | (static_cast<uint32_t>(trigger.id) & 0x1F) << 8 |
            (trigger.polarity != 0 ? 1u : 0u),
        0, out);
}

void Evt2Encoder::encodeTime(uint64_t timestamp, std::vector<uint8_t>& out)
{
    setHigh(timestamp, out);
}

std::vector<uint8_t> encodeEvt2(const std::vector<Event2D>& events, const std::vector<EventTriggerIn>& triggers,
                                Evt2Encoder::Options options)
{
    Evt2Encoder encoder(options);
    std::vector<uint8_t> out;
    out.reserve(events.size() * (options.wide ? 4 : 5) + triggers.size() * 8 + 64);
    size_t t = 0;
    size_t i = 0;
    while (i < events.size()) {
        size_t j = i;
        while (j < events.size() && (t >= triggers.size() || events[j].timestamp <= triggers[t].timestamp)) ++j;
        encoder.encode(events.data() + i, events.data() + j, out);
        i = j;
        if (t < triggers.size()) encoder.encodeTrigger(triggers[t++], out);
    }
    while (t < triggers.size()) encoder.encodeTrigger(triggers[t++], out);
    return out;
}

}  // namespace orvane
