// Counting events up to a time, the whole work of an index build. Real recordings are mostly words
// that only count an event (ADDR_X), move the row (ADDR_Y) or the time within the current TIME_HIGH
// (TIME_LOW, repeats of the TIME_HIGH), and words nothing reads (OTHERS, CONTINUED): a run of those
// is classified a register at a time and its events counted in the register, without visiting
// words one by one. The run stops in front of any other word: a vector word, a trigger, a new
// TIME_HIGH, a row or column off the sensor, a TIME_LOW that brings the time to the target. That
// word, and everything until the next run, goes through the decoder's own word path, so the count
// is always the decoder's.
#include <algorithm>
#include <bit>
#include <cstring>

#include "orvane/hal/Evt3Decoder.h"
#include "orvane/hal/EvtWords.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ORVANE_COUNT_X86 1
#define ORVANE_TARGET_AVX2 __attribute__((target("avx2,bmi,popcnt")))
#else
#define ORVANE_COUNT_X86 0
#endif

namespace orvane {
namespace {

// The word types a run reads (bits 15..12).
constexpr uint32_t kAddrY = evt3::ADDR_Y, kAddrX = evt3::ADDR_X, kTimeLow = evt3::TIME_LOW, kTimeHigh = evt3::TIME_HIGH;

inline uint32_t wordAt(const uint8_t* p)
{
    uint16_t w;
    std::memcpy(&w, p, 2);
    return w;
}

// 16-bit lane counters take one per lane and step; emptied well before they could overflow.
constexpr uint32_t kStepsPerFlush = 8192;

// What a run compares each word with.
struct RunLimits {
    uint16_t highWord;   // the current TIME_HIGH word: repeats of it change nothing
    uint16_t lastX;      // the largest column on the sensor
    uint16_t lastY;      // the largest row on the sensor
    uint16_t reachLow;   // a TIME_LOW payload above this brings the time to the target
};

#if ORVANE_COUNT_X86

// Lanes of the types that end a run whatever their payload: vector words and triggers.
alignas(16) constexpr char kEndsRun[16] = {0, 0, 0, -1, -1, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0};

// What a run compares sixteen words with, a register at a time.
struct RunCompareAvx2 {
    __m256i endsRun, typeX, typeLow, typeHigh, zero, highWord, bits11, bits12, lastX, lastY, reachLow;

    ORVANE_TARGET_AVX2 explicit RunCompareAvx2(const RunLimits& lim)
        : endsRun(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kEndsRun)))),
          typeX(_mm256_set1_epi16(kAddrX)),
          typeLow(_mm256_set1_epi16(kTimeLow)),
          typeHigh(_mm256_set1_epi16(kTimeHigh)),
          zero(_mm256_setzero_si256()),
          highWord(_mm256_set1_epi16(static_cast<short>(lim.highWord))),
          bits11(_mm256_set1_epi16(0x7FF)),
          bits12(_mm256_set1_epi16(0xFFF)),
          lastX(_mm256_set1_epi16(static_cast<short>(lim.lastX))),
          lastY(_mm256_set1_epi16(static_cast<short>(lim.lastY))),
          reachLow(_mm256_set1_epi16(static_cast<short>(lim.reachLow)))
    {
    }

    // Lanes of the words that end the run; `isX` gets the lanes of the ADDR_X words.
    ORVANE_TARGET_AVX2 __m256i stops(__m256i v, __m256i& isX) const
    {
        // The type in the low byte of each lane (the high byte is 0, which the table maps to 0).
        const __m256i type = _mm256_srli_epi16(v, 12);
        isX = _mm256_cmpeq_epi16(type, typeX);
        const __m256i payload = _mm256_and_si256(v, bits11);
        __m256i stop = _mm256_shuffle_epi8(endsRun, type);
        stop = _mm256_or_si256(stop, _mm256_andnot_si256(_mm256_cmpeq_epi16(v, highWord), _mm256_cmpeq_epi16(type, typeHigh)));
        stop = _mm256_or_si256(stop, _mm256_and_si256(_mm256_cmpeq_epi16(type, typeLow),
                                                      _mm256_cmpgt_epi16(_mm256_and_si256(v, bits12), reachLow)));
        stop = _mm256_or_si256(stop, _mm256_and_si256(_mm256_cmpeq_epi16(type, zero), _mm256_cmpgt_epi16(payload, lastY)));
        return _mm256_or_si256(stop, _mm256_and_si256(isX, _mm256_cmpgt_epi16(payload, lastX)));
    }
};

// Thirty-two words a step, as two registers. Returns where the run ends (a step boundary, or the
// word that ends it) and adds the events of the words before it to `counted`.
ORVANE_TARGET_AVX2 const uint8_t* countRunAvx2(const uint8_t* p, const uint8_t* const end, const RunLimits& lim,
                                               uint64_t& counted)
{
    const RunCompareAvx2 c(lim);
    uint64_t events = 0;  // a scalar sum: a vector one would not stay in a register beside the constants
    while (end - p >= 64) {
        __m256i isX0, isX1;
        const __m256i stop0 = c.stops(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), isX0);
        const __m256i stop1 = c.stops(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), isX1);
        const __m256i stops = _mm256_or_si256(stop0, stop1);
        if (!_mm256_testz_si256(stops, stops)) {
            // The words before the first that ends the run, one bit per byte over both registers.
            const uint64_t stopBits = static_cast<uint32_t>(_mm256_movemask_epi8(stop0)) |
                                      (uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(stop1))} << 32);
            const uint64_t xBits = static_cast<uint32_t>(_mm256_movemask_epi8(isX0)) |
                                   (uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(isX1))} << 32);
            const uint64_t before = (uint64_t{1} << std::countr_zero(stopBits)) - 1;
            counted += events + static_cast<uint64_t>(std::popcount(xBits & before)) / 2;
            return p + std::popcount(before);
        }
        // One bit per word of both registers (in another order, which a count does not mind).
        events += static_cast<uint64_t>(std::popcount(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(isX0, isX1)))));
        p += 64;
    }
    counted += events;
    return p;
}

#endif

// Eight words a step in the compiler's own vectors: SSE2 on x86-64, NEON on ARM. Lanes are signed:
// every payload compared is below 0x8000.
typedef int16_t Lanes __attribute__((vector_size(16)));

inline uint64_t sumLanes(Lanes counts)
{
    uint64_t sum = 0;
    for (int i = 0; i < 8; ++i) sum += static_cast<uint16_t>(counts[i]);
    return sum;
}

const uint8_t* countRunPortable(const uint8_t* p, const uint8_t* const end, const RunLimits& lim, uint64_t& counted)
{
    const Lanes zero{};
    const auto all = [&](int value) { return zero + static_cast<int16_t>(value); };
    const Lanes typeX = all(kAddrX), typeLow = all(kTimeLow), typeHigh = all(kTimeHigh), typeTrigger = all(evt3::EXT_TRIGGER);
    const Lanes vectorFirst = all(0x3), vectorLast = all(0x5), typeBits = all(0xF);
    const Lanes highWord = all(static_cast<int16_t>(lim.highWord)), bits11 = all(0x7FF), bits12 = all(0xFFF);
    const Lanes lastX = all(lim.lastX), lastY = all(lim.lastY), reachLow = all(lim.reachLow);
    Lanes events = zero;
    uint32_t steps = 0;
    while (end - p >= 16) {
        Lanes v;
        std::memcpy(&v, p, 16);
        const Lanes type = (v >> 12) & typeBits;
        const Lanes payload = v & bits11;
        const Lanes isX = type == typeX;
        Lanes stop = ((type >= vectorFirst) & (type <= vectorLast)) | (type == typeTrigger);
        stop |= (type == typeHigh) & (v != highWord);
        stop |= (type == typeLow) & ((v & bits12) > reachLow);
        stop |= (type == zero) & (payload > lastY);
        stop |= isX & (payload > lastX);
        uint64_t any[2];
        std::memcpy(any, &stop, 16);
        if ((any[0] | any[1]) != 0) {
            int lane = 0;
            while (stop[lane] == 0) ++lane;
            for (int i = 0; i < lane; ++i) counted += isX[i] != 0;
            counted += sumLanes(events);
            return p + 2 * lane;
        }
        events -= isX;
        p += 16;
        if (++steps == kStepsPerFlush) {
            counted += sumLanes(events);
            events = zero;
            steps = 0;
        }
    }
    counted += sumLanes(events);
    return p;
}

// The first word from p that may move the time to the target: a TIME_HIGH other than the current
// one, or a TIME_LOW past lim.reachLow; `end` if none.
const uint8_t* nextTimeWord(const uint8_t* p, const uint8_t* const end, const RunLimits& lim)
{
    const Lanes zero{};
    const Lanes typeBits = zero + 0xF, typeLow = zero + static_cast<int16_t>(kTimeLow);
    const Lanes typeHigh = zero + static_cast<int16_t>(kTimeHigh), bits12 = zero + 0xFFF;
    const Lanes highWord = zero + static_cast<int16_t>(lim.highWord), reachLow = zero + static_cast<int16_t>(lim.reachLow);
    for (; end - p >= 16; p += 16) {
        Lanes v;
        std::memcpy(&v, p, 16);
        const Lanes type = (v >> 12) & typeBits;
        const Lanes stop = ((type == typeHigh) & (v != highWord)) | ((type == typeLow) & ((v & bits12) > reachLow));
        uint64_t any[2];
        std::memcpy(any, &stop, 16);
        if ((any[0] | any[1]) != 0) break;
    }
    for (; p != end; p += 2) {
        const uint32_t w = wordAt(p);
        if ((w >> 12) == kTimeHigh ? w != lim.highWord : (w >> 12) == kTimeLow && (w & 0xFFF) > lim.reachLow) break;
    }
    return p;
}

// The limits of a run at a TIME_HIGH (`high`, the time's bits from 12 up in `highBase`) with the
// time below t; sizes past 11 bits keep every payload.
RunLimits limitsFor(uint32_t high, uint64_t highBase, uint32_t width, uint32_t height, uint64_t t)
{
    RunLimits lim{};
    lim.highWord = static_cast<uint16_t>((kTimeHigh << 12) | high);
    lim.lastX = static_cast<uint16_t>(std::min<uint32_t>(width, 0x800) - 1);
    lim.lastY = static_cast<uint16_t>(std::min<uint32_t>(height, 0x800) - 1);
    lim.reachLow = static_cast<uint16_t>(std::min<uint64_t>(t - highBase, 0x1000) - 1);
    return lim;
}

}  // namespace

const uint8_t* Evt3Decoder::countRun(const uint8_t* p, const uint8_t* end, uint64_t t)
{
    if (width_ == 0 || height_ == 0) return p;
    const RunLimits lim = limitsFor(s_.high, s_.highBase(), width_, height_, t);
    uint64_t counted = 0;
#if ORVANE_COUNT_X86
    static const bool avx2 = cpuHasAvx2();
    const uint8_t* q = (isa_ == Isa::Scalar || !avx2) ? countRunPortable(p, end, lim, counted) : countRunAvx2(p, end, lim, counted);
#else
    const uint8_t* q = countRunPortable(p, end, lim, counted);
#endif
    produced_ += counted;
    settleAfterRun(p, q);
    return q;
}

// The row and the time after a run: those of its last ADDR_Y and last TIME_LOW, if it had any.
void Evt3Decoder::settleAfterRun(const uint8_t* from, const uint8_t* to)
{
    bool row = false, low = false;
    for (const uint8_t* q = to; q != from && !(row && low);) {
        q -= 2;
        const uint32_t w = wordAt(q);
        const uint32_t type = w >> 12;
        if (type == kAddrY && !row) {
            s_.row = w & 0x7FF;
            row = true;
        } else if (type == kTimeLow && !low) {
            s_.time = s_.highBase() | (w & 0xFFF);
            low = true;
        }
    }
}

const uint8_t* Evt3Decoder::countUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t, uint64_t& count)
{
    if (hasPendingByte_ || !begin || end <= begin) return Decoder::countUntilTimestamp(begin, end, t, count);
    produced_ = 0;
    const uint8_t* p = begin;
    const uint8_t* const stop = begin + 2 * (static_cast<size_t>(end - begin) / 2);
    const uint8_t* result = end;
    while (p != stop) {
        // A run needs all it reads known: the time (below the target), the row (on the sensor).
        if (s_.ready() && s_.time < t && isa_ != Isa::Reference) {
            if (s_.row < height_) {
                p = countRun(p, stop, t);
                if (p == stop) break;
            }
            // Vector words, triggers, rows or columns off the sensor: the decoder's block path takes
            // them, and all else up to the next word that may bring the time to the target.
            const uint8_t* const q = nextTimeWord(p, stop, limitsFor(s_.high, s_.highBase(), width_, height_, t));
            if (q != p) {
                decodeWords<Mode::Count>(p, q);
                p = q;
                if (p == stop) break;
            }
        }
        slowWord<Mode::Count>(wordAt(p));
        p += 2;
        if (s_.time >= t) {
            result = p;
            break;
        }
    }
    count += produced_;
    return result;
}

}  // namespace orvane
