#include "Evt3Decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace orvane {
namespace {

// Words per inner block: the output block holds 12 events per word at most, so it never needs a
// capacity check inside the loop (2048 words -> at most 24576 events, 384 KiB, cache-resident).
constexpr size_t kBlockWords = 2048;
constexpr size_t kOutCapacity = kBlockWords * 12 + 16;

enum WordType : uint32_t {
    ADDR_Y = 0x0,
    ADDR_X = 0x2,
    VECT_BASE_X = 0x3,
    VECT_12 = 0x4,
    VECT_8 = 0x5,
    TIME_LOW = 0x6,
    CONTINUED_4 = 0x7,
    TIME_HIGH = 0x8,
    EXT_TRIGGER = 0xA,
    OTHERS = 0xE,
    CONTINUED_12 = 0xF,
};

inline uint32_t loadWord(const uint8_t* p)
{
    uint16_t w;
    std::memcpy(&w, p, 2);
    return w;  // raw files and the decoder are little-endian, as is every host we build for
}

// Event2D as two 64-bit halves: x | y << 16 | polarity << 32, then the timestamp.
inline void storeEvent(Event2D* out, uint64_t low, uint64_t time)
{
    std::memcpy(reinterpret_cast<char*>(out), &low, 8);
    std::memcpy(reinterpret_cast<char*>(out) + 8, &time, 8);
}

}  // namespace

Evt3Decoder::Evt3Decoder(uint16_t width, uint16_t height) : width_(width), height_(height)
{
    out_.resize(kOutCapacity);
}

void Evt3Decoder::setTimestamp(const uint64_t& timestamp)
{
    time_ = timestamp;
    epoch_ = timestamp & ~uint64_t{0xFFFFFF};
    high_ = static_cast<uint32_t>((timestamp >> 12) & 0xFFF);
    timeKnown_ = true;
    rowKnown_ = false;
    baseKnown_ = false;
    hasPendingByte_ = false;
}

uint32_t Evt3Decoder::decodeBuffer(const std::vector<uint8_t>& buffer)
{
    return decodeRange(buffer.data(), buffer.data() + buffer.size());
}

uint32_t Evt3Decoder::decodeRange(const uint8_t* begin, const uint8_t* end)
{
    if (eventsCallback_) return static_cast<uint32_t>(run<Mode::Emit>(begin, end));
    return static_cast<uint32_t>(run<Mode::Count>(begin, end));
}

void Evt3Decoder::scanRange(const uint8_t* begin, const uint8_t* end)
{
    run<Mode::Scan>(begin, end);
}

// Which words the branch-free step may take, as (expected bits, bits that must match) per type:
// a word is fast when (word ^ expected) & care == 0. Skipped types match anything; TIME_HIGH only
// when it repeats the current value; ADDR_X and ADDR_Y once the row is known, so the first row
// after a start or a seek passes through the slow path that records it. Until the time is known
// nothing is fast. Rebuilt only when one of those facts changes.
void Evt3Decoder::updateClassTable()
{
    const uint32_t key = (timeKnown_ ? 1u : 0u) | (rowKnown_ ? 2u : 0u) | (high_ << 2);
    if (key == classKey_) return;
    classKey_ = key;
    constexpr uint64_t kSlow = (uint64_t{0x10000} << 32) | 0x10000;  // a 16-bit word never matches
    constexpr uint64_t kFast = 0;
    for (auto& c : classTable_) c = timeKnown_ ? kFast : kSlow;
    if (!timeKnown_) return;
    for (uint32_t t : {VECT_BASE_X, VECT_12, VECT_8, EXT_TRIGGER}) classTable_[t] = kSlow;
    classTable_[TIME_HIGH] = (uint64_t{0xFFFF} << 32) | (0x8000u | high_);
    if (!rowKnown_) classTable_[ADDR_X] = classTable_[ADDR_Y] = kSlow;
}

const uint8_t* Evt3Decoder::scanUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t)
{
    if (hasPendingByte_) return Decoder::scanUntilTimestamp(begin, end, t);
    if (timeKnown_ && time_ >= t && begin + 2 <= end) {
        scanRange(begin, begin + 2);
        return begin + 2;
    }
    // Only time words move the time; scan in blocks and look inside the block that crosses t.
    const uint8_t* p = begin;
    const size_t words = static_cast<size_t>(end - begin) / 2;
    const uint8_t* const stop = begin + 2 * words;
    while (p < stop) {
        const size_t n = std::min<size_t>(256, static_cast<size_t>(stop - p) / 2);
        // Cheap check first: would the block reach t? Scan it on a copy of the time state.
        const uint64_t savedTime = time_, savedEpoch = epoch_;
        const uint32_t savedHigh = high_;
        const bool savedKnown = timeKnown_;
        const uint32_t savedRow = row_, savedBase = vectorBase_;
        const bool savedRowKnown = rowKnown_, savedBaseKnown = baseKnown_;
        const uint8_t savedPol = vectorPolarity_;
        runWords<Mode::Scan>(p, n);
        if (time_ < t) {
            p += 2 * n;
            continue;
        }
        // Crossed inside this block: redo it word by word.
        time_ = savedTime;
        epoch_ = savedEpoch;
        high_ = savedHigh;
        timeKnown_ = savedKnown;
        row_ = static_cast<uint16_t>(savedRow);
        vectorBase_ = savedBase;
        rowKnown_ = savedRowKnown;
        baseKnown_ = savedBaseKnown;
        vectorPolarity_ = savedPol;
        for (size_t i = 0; i < n; ++i, p += 2) {
            runWords<Mode::Scan>(p, 1);
            if (time_ >= t) return p + 2;
        }
    }
    return end;
}

void Evt3Decoder::flush(Event2D* end)
{
    if (end != out_.data() && eventsCallback_) eventsCallback_(out_.data(), end);
}

template <Evt3Decoder::Mode M>
uint64_t Evt3Decoder::run(const uint8_t* begin, const uint8_t* end)
{
    if (!begin || end <= begin) return 0;
    uint64_t count = 0;
    if (hasPendingByte_) {
        // Complete the word split by the previous call.
        uint8_t word[2] = {pendingByte_, *begin};
        hasPendingByte_ = false;
        count += runWords<M>(word, 1);
        ++begin;
    }
    const size_t bytes = static_cast<size_t>(end - begin);
    const size_t words = bytes / 2;
    for (size_t done = 0; done < words; done += kBlockWords) {
        count += runWords<M>(begin + 2 * done, std::min(kBlockWords, words - done));
    }
    if (bytes & 1) {
        hasPendingByte_ = true;
        pendingByte_ = end[-1];
    }
    return count;
}

// Decodes at most kBlockWords words.
//
// Real sensor streams are mostly TIME_LOW, ADDR_Y, ADDR_X triples between repeated TIME_HIGH
// words, in an irregular order that defeats branch prediction. So once the time and the row are
// known, those words (and the words we skip) go through one branch-free step: each register is
// updated by a mask select, and an ADDR_X event is always stored but only kept (the output
// pointer advanced) when it is on the sensor. Only a few registers live in the loop; the rare
// words that change more state take the slow path, which works on the members.
template <Evt3Decoder::Mode M>
uint64_t Evt3Decoder::runWords(const uint8_t* p, size_t words)
{
    Event2D* const outBegin = out_.data();
    Event2D* out = outBegin;
    uint64_t count = 0;  // Count mode only; Emit counts by pointer
    uint64_t emittedBefore = 0;  // Emit mode: events flushed before a trigger
    uint64_t droppedGeometry = 0;  // slow path only

    // Loop registers, derived from the members and written back before the slow path and at the end.
    uint64_t time = time_;
    uint64_t rowBits = uint64_t{row_} << 16;
    uint32_t xLimit = 0;  // width when the row is known and on the sensor, else 0: no ADDR_X is kept
    uint64_t highBase = 0;
    const uint32_t width = width_;
    const uint32_t height = height_;

    auto load = [&] {
        xLimit = (timeKnown_ && rowKnown_ && row_ < height) ? width : 0;
        highBase = epoch_ | (uint64_t{high_} << 12);
        rowBits = uint64_t{row_} << 16;
        time = time_;
        updateClassTable();
    };
    load();

    // Geometry drops of the fast path are counted afterwards, from the number of ADDR_X words, so
    // the loop carries no counter for them (a spilled counter would cost a store-to-load chain).
    uint64_t xWords = 0;
    if constexpr (M != Mode::Scan) {
        for (size_t i = 0; i < words; ++i) xWords += (p[2 * i + 1] >> 4) == ADDR_X;
    }
    uint64_t slowEvents = 0;  // vector events and ADDR_X words seen by the slow path
    uint64_t slowXWords = 0;

    for (const uint8_t* const last = p + 2 * words; p != last; p += 2) {
        const uint32_t w = loadWord(p);
        const uint32_t type = w >> 12;
        // One table lookup decides the path, so the only branch here is almost always taken.
        const uint64_t cls = classTable_[type];
        if (__builtin_expect(((w ^ static_cast<uint32_t>(cls)) & static_cast<uint32_t>(cls >> 32)) == 0, 1)) {
            const uint32_t x = w & 0x7FF;
            const bool isX = type == ADDR_X;
            const bool isY = type == ADDR_Y;
            const bool isL = type == TIME_LOW;
            if constexpr (M != Mode::Scan) {
                const bool ok = isX & (x < xLimit);
                if constexpr (M == Mode::Emit) {
                    storeEvent(out, x | rowBits | (uint64_t{w & 0x800} << 21), time);
                    out += ok;
                } else {
                    count += ok;
                }
            }
            const uint64_t newRowBits = uint64_t{x} << 16;
            const uint32_t newLimit = x < height ? width : 0;
            rowBits = isY ? newRowBits : rowBits;
            xLimit = isY ? newLimit : xLimit;
            const uint64_t t = highBase | (w & 0xFFF);
            const uint64_t candidate = isL ? t : 0;
            time = candidate > time ? candidate : time;  // a step back is jitter: time never decreases
            continue;
        }

        // Slow path: bring the members up to date, handle the word, reload the registers.
        time_ = time;
        row_ = static_cast<uint16_t>((rowBits >> 16) & 0x7FF);
        switch (type) {
        case VECT_12:
        case VECT_8: {
            const bool is12 = type == VECT_12;
            const uint32_t n = is12 ? 12 : 8;
            if constexpr (M != Mode::Scan) {
                const uint32_t mask = w & (is12 ? 0xFFF : 0xFF);
                const uint32_t base = vectorBase_;
                const bool rowOk = xLimit != 0;
                if (__builtin_expect(rowOk && baseKnown_ && base + n <= width, 1)) {
                    if constexpr (M == Mode::Emit) {
                        // Write every candidate and advance by its bit: no branch per event.
                        const uint64_t lowBase = base | rowBits | (uint64_t{vectorPolarity_} << 32);
                        for (uint32_t i = 0; i < n; ++i) {
                            storeEvent(out, lowBase + i, time);
                            out += (mask >> i) & 1;
                        }
                    }
                    slowEvents += static_cast<uint64_t>(std::popcount(mask));
                } else if (rowOk && baseKnown_) {
                    // The vector runs off the sensor's right edge: keep the events that are on it.
                    const uint64_t lowBase = base | rowBits | (uint64_t{vectorPolarity_} << 32);
                    for (uint32_t i = 0; i < n; ++i) {
                        if (!((mask >> i) & 1)) continue;
                        if (base + i < width) {
                            if constexpr (M == Mode::Emit) storeEvent(out++, lowBase + i, time);
                            ++slowEvents;
                        } else {
                            ++droppedGeometry;
                        }
                    }
                } else if (timeKnown_ && rowKnown_ && baseKnown_) {
                    droppedGeometry += static_cast<uint64_t>(std::popcount(mask));
                } else {
                    droppedUnknown_ += static_cast<uint64_t>(std::popcount(mask));
                }
            }
            vectorBase_ += n;
            break;
        }
        case ADDR_X:  // time or row not known yet: the event cannot be placed
            if constexpr (M != Mode::Scan) ++droppedUnknown_;
            ++slowXWords;
            break;
        case ADDR_Y:  // the first row after a start or a seek
            row_ = w & 0x7FF;
            rowKnown_ = true;
            break;
        case TIME_HIGH: {
            const uint32_t h = w & 0xFFF;
            if (timeKnown_ && h < high_) {
                if (high_ - h <= 0x800) break;  // small step back: jitter, ignore
                epoch_ += uint64_t{1} << 24;    // large step back: the 24-bit time wrapped
            }
            high_ = h;
            time_ = epoch_ | (uint64_t{h} << 12);
            timeKnown_ = true;
            break;
        }
        case VECT_BASE_X:
            vectorBase_ = w & 0x7FF;
            vectorPolarity_ = static_cast<uint8_t>((w >> 11) & 1);
            baseKnown_ = true;
            break;
        case EXT_TRIGGER:
            if constexpr (M == Mode::Scan) break;
            if (timeKnown_ && triggerCallback_) {
                // Events before the edge go out first, so consumers see stream order.
                if constexpr (M == Mode::Emit) {
                    emittedBefore += static_cast<uint64_t>(out - outBegin);
                    flush(out);
                    out = outBegin;
                }
                triggerCallback_(EventTriggerIn(static_cast<int16_t>((w >> 8) & 0xF),
                                                static_cast<int16_t>(w & 1), time_));
            }
            break;
        default:
            // TIME_LOW before the time is known, and the words nothing reads.
            break;
        }
        load();
    }

    time_ = time;
    row_ = static_cast<uint16_t>((rowBits >> 16) & 0x7FF);
    if constexpr (M == Mode::Emit) {
        count = emittedBefore + static_cast<uint64_t>(out - outBegin);
        flush(out);
    } else {
        count += slowEvents;
    }
    if constexpr (M != Mode::Scan) {
        // Every ADDR_X word was either kept, dropped by the slow path, or off the sensor.
        const uint64_t keptX = count - slowEvents;
        droppedOutOfGeometry_ += droppedGeometry + (xWords - slowXWords - keptX);
    }
    return count;
}

}  // namespace orvane
