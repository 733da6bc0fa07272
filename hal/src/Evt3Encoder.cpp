#include "orvane/hal/Evt3Encoder.h"

#include <cstddef>
#include <cstdint>

#include "orvane/hal/EvtWords.h"

namespace orvane {
namespace {

inline void put(std::vector<uint8_t>& out, uint32_t word)
{
    out.push_back(static_cast<uint8_t>(word & 0xFF));
    out.push_back(static_cast<uint8_t>((word >> 8) & 0xFF));
}

// Each type in place, in the word's top four bits.
constexpr uint32_t kAddrY = evt3::ADDR_Y << 12, kAddrX = evt3::ADDR_X << 12, kVectBaseX = evt3::VECT_BASE_X << 12,
                   kVect12 = evt3::VECT_12 << 12, kVect8 = evt3::VECT_8 << 12, kTimeLow = evt3::TIME_LOW << 12,
                   kTimeHigh = evt3::TIME_HIGH << 12, kExtTrigger = evt3::EXT_TRIGGER << 12;

// The decoder takes a TIME_HIGH that steps back by more than half its range as a wrap, so a
// forward gap is bridged in steps of less than half the range.
constexpr uint64_t kMaxHighStep = 2047;

}  // namespace

void Evt3Encoder::reset()
{
    *this = Evt3Encoder(options_);
}

void Evt3Encoder::emitHigh(uint64_t high64, std::vector<uint8_t>& out)
{
    if (timeValid_) {
        while (high64 > high64_ + kMaxHighStep) {
            high64_ += kMaxHighStep;
            put(out, kTimeHigh | (high64_ & 0xFFF));
        }
    }
    high64_ = high64;
    put(out, kTimeHigh | (high64 & 0xFFF));
}

void Evt3Encoder::setTime(uint64_t t, std::vector<uint8_t>& out)
{
    if (timeValid_ && t == time_) return;
    if (timeValid_ && options_.timeHighPeriodUs > 0) {
        for (; nextPeriodMark_ < t; nextPeriodMark_ += options_.timeHighPeriodUs) {
            if (nextPeriodMark_ > time_) emitHigh(nextPeriodMark_ >> 12, out);
        }
    }
    const uint64_t high64 = t >> 12;
    if (!timeValid_ || high64 != high64_) emitHigh(high64, out);
    put(out, kTimeLow | (t & 0xFFF));
    if (!timeValid_ && options_.timeHighPeriodUs > 0) {
        nextPeriodMark_ = (t / options_.timeHighPeriodUs + 1) * options_.timeHighPeriodUs;
    }
    timeValid_ = true;
    time_ = t;
    rowValid_ = false;  // a row is told again after every time change
}

void Evt3Encoder::encodeTime(uint64_t timestamp, std::vector<uint8_t>& out)
{
    if (timeValid_ && timestamp <= time_) return;
    setTime(timestamp, out);
}

void Evt3Encoder::encodeTrigger(const EventTriggerIn& trigger, std::vector<uint8_t>& out)
{
    setTime(trigger.timestamp, out);
    put(out, kExtTrigger | ((static_cast<uint32_t>(trigger.id) & 0xF) << 8) | (trigger.polarity ? 1 : 0));
}

void Evt3Encoder::encode(const Event2D* begin, const Event2D* end, std::vector<uint8_t>& out)
{
    out.reserve(out.size() + static_cast<std::size_t>(end - begin) * 2 + 16);
    const Event2D* e = begin;
    while (e != end) {
        setTime(e->timestamp, out);
        if (!rowValid_ || e->y != row_) {
            put(out, kAddrY | (e->y & 0x7FF));
            row_ = e->y;
            rowValid_ = true;
        }
        const uint32_t pol = e->polarity ? 1 : 0;
        // A run: same time, row and polarity, x increasing, each 12-wide window after the first
        // event holding at least one event.
        const Event2D* runEnd = e + 1;
        if (options_.useVectors) {
            uint32_t windowEnd = e->x + 12u;
            while (runEnd != end && runEnd->timestamp == e->timestamp && runEnd->y == e->y &&
                   (runEnd->polarity ? 1u : 0u) == pol && runEnd->x > runEnd[-1].x) {
                while (runEnd->x >= windowEnd && runEnd->x < windowEnd + 12) windowEnd += 12;
                if (runEnd->x >= windowEnd) break;
                ++runEnd;
            }
        }
        if (runEnd - e < 2) {
            put(out, kAddrX | (pol << 11) | (e->x & 0x7FF));
            ++e;
            continue;
        }
        uint32_t base = e->x;
        put(out, kVectBaseX | (pol << 11) | (base & 0x7FF));
        while (e != runEnd) {
            uint32_t mask = 0;
            const Event2D* w = e;
            while (w != runEnd && w->x < base + 12) {
                mask |= 1u << (w->x - base);
                ++w;
            }
            const bool lastWindow = w == runEnd;
            if (lastWindow && mask < 0x100) {
                put(out, kVect8 | mask);
                base += 8;
            } else {
                put(out, kVect12 | mask);
                base += 12;
            }
            e = w;
        }
    }
}

std::vector<uint8_t> encodeEvt3(const std::vector<Event2D>& events,
                                const std::vector<EventTriggerIn>& triggers,
                                Evt3Encoder::Options options)
{
    Evt3Encoder encoder(options);
    std::vector<uint8_t> out;
    std::size_t ti = 0;
    const Event2D* e = events.data();
    const Event2D* const end = e + events.size();
    while (e != end || ti < triggers.size()) {
        if (ti < triggers.size() && (e == end || triggers[ti].timestamp < e->timestamp)) {
            encoder.encodeTrigger(triggers[ti++], out);
            continue;
        }
        // All events up to the next trigger's time (inclusive) in one call, so runs stay whole.
        const Event2D* stop = e;
        const uint64_t limit = ti < triggers.size() ? triggers[ti].timestamp : UINT64_MAX;
        while (stop != end && stop->timestamp <= limit) ++stop;
        encoder.encode(e, stop, out);
        e = stop;
    }
    return out;
}

}  // namespace orvane
