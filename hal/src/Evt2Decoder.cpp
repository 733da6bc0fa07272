#include "Evt2Decoder.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>

#include "orvane/hal/EvtWords.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ORVANE_EVT2_X86 1
#define ORVANE_EVT2_AVX2 __attribute__((target("avx2,popcnt,bmi,bmi2")))
#else
#define ORVANE_EVT2_X86 0
#define ORVANE_EVT2_AVX2
#endif

namespace orvane {
namespace {

using namespace evt2;

// The fast runs check the fill mark once per block of words; a block writes at most this many
// events past it (EVT 2.0: one slot a word; EVT 2.1: 32 slots a word).
constexpr size_t kBlockWords = 64;
constexpr size_t kOutSlack = kBlockWords * 32 + 32;
constexpr uint64_t kTimeMask = (uint64_t{1} << kTimeBits) - 1;
constexpr uint32_t kHighMask = (1u << kHighBits) - 1;

inline uint32_t load32(const uint8_t* p)
{
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// An event as the two 64-bit halves of its Event2D: x, y and polarity, then the time.
inline void store(Event2D* out, uint64_t head, uint64_t time)
{
    static_assert(offsetof(Event2D, timestamp) == 8);
    std::memcpy(reinterpret_cast<uint8_t*>(out), &head, 8);
    std::memcpy(reinterpret_cast<uint8_t*>(out) + 8, &time, 8);
}

inline uint64_t headOf(uint32_t x, uint32_t y, uint32_t polarity)
{
    return uint64_t{x} | (uint64_t{y} << 16) | (uint64_t{polarity} << 32);
}

bool cpuHasAvx2()
{
#if ORVANE_EVT2_X86
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2");
#else
    return false;
#endif
}

// Without the POPCNT instruction in the portable build, std::popcount is a library call.
inline uint32_t popcount32(uint32_t v)
{
    v = v - ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    return (((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24;
}

// For each byte of a mask, the positions of its set bits, lowest first (the rest 0).
struct BitPositions {
    uint8_t at[256][8] = {};
    BitPositions()
    {
        for (unsigned b = 0; b < 256; ++b) {
            unsigned n = 0;
            for (unsigned i = 0; i < 8; ++i)
                if (b & (1u << i)) at[b][n++] = static_cast<uint8_t>(i);
        }
    }
};
const BitPositions kBitPositions;

// For each 8-bit lane mask, the indices of its set lanes first (for a compressing permutation).
struct LaneOrder {
    alignas(32) uint32_t at[256][8] = {};
    LaneOrder()
    {
        for (unsigned b = 0; b < 256; ++b) {
            unsigned n = 0;
            for (unsigned i = 0; i < 8; ++i)
                if (b & (1u << i)) at[b][n++] = i;
        }
    }
};
const LaneOrder kLaneOrder;

// For each nibble, the positions of its set bits as bytes a0 0 a1 0 a2 0 a3 0 (set ones first):
// widened two at a time they give one 64-bit lane for x and one (0) for the time.
struct NibblePositions {
    alignas(8) uint8_t at[16][8] = {};
    NibblePositions()
    {
        for (unsigned b = 0; b < 16; ++b) {
            unsigned n = 0;
            for (unsigned i = 0; i < 4; ++i)
                if (b & (1u << i)) at[b][2 * n++] = static_cast<uint8_t>(i);
        }
    }
};
const NibblePositions kNibblePositions;

// As expandMask, with AVX2: four slots (two events a store) for each nibble of the mask that has a
// set bit.
ORVANE_EVT2_AVX2 inline Event2D* expandMaskAvx2(Event2D* out, uint32_t mask, uint64_t head, uint64_t time)
{
#if ORVANE_EVT2_X86
    const __m256i base = _mm256_set_epi64x(static_cast<long long>(time), static_cast<long long>(head),
                                           static_cast<long long>(time), static_cast<long long>(head));
    uint32_t any = mask | (mask >> 1);
    any |= any >> 2;
    for (uint32_t nibbles = _pext_u32(any, 0x11111111u); nibbles != 0; nibbles &= nibbles - 1) {
        const unsigned k = static_cast<unsigned>(std::countr_zero(nibbles)) * 4;
        const uint32_t b = (mask >> k) & 0xF;
        const __m128i at = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kNibblePositions.at[b]));
        const __m256i from = _mm256_add_epi64(base, _mm256_set_epi64x(0, k, 0, k));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_add_epi64(from, _mm256_cvtepu8_epi64(at)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2),
                            _mm256_add_epi64(from, _mm256_cvtepu8_epi64(_mm_srli_si128(at, 4))));
        out += std::popcount(b);
    }
#endif
    return out;
}

// The events of a mask at consecutive x from `head` (x in its low bits): eight slots are written
// for every byte of the mask, the set ones first, and `out` moves on by the events.
inline Event2D* expandMask(Event2D* out, uint32_t mask, uint64_t head, uint64_t time)
{
#if defined(__SSE2__)
    const __m128i base = _mm_set_epi64x(static_cast<long long>(time), static_cast<long long>(head));
    for (unsigned k = 0; k < 32; k += 8) {
        const uint32_t b = (mask >> k) & 0xFF;
        if (b == 0) continue;
        const uint8_t* const at = kBitPositions.at[b];
        const __m128i shift = _mm_add_epi64(base, _mm_cvtsi32_si128(static_cast<int>(k)));
        for (unsigned j = 0; j < 8; ++j) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_add_epi64(shift, _mm_cvtsi32_si128(at[j])));
        }
        out += popcount32(b);
    }
#else
    for (; mask != 0; mask &= mask - 1, ++out) store(out, head + static_cast<uint32_t>(std::countr_zero(mask)), time);
#endif
    return out;
}

// Wide: EVT 2.1. Its 64-bit word lies in the file as two little-endian 32-bit halves, bits 63..32
// first (the type, time, x and y), then bits 31..0 (the mask), as IMX636 sensors write it.
template <bool Wide>
class Evt2xDecoder final : public Decoder {
public:
    static constexpr size_t kUnit = Wide ? 8 : 4;

    Evt2xDecoder(uint16_t width, uint16_t height) : Decoder(kOutSlack), width_(width), height_(height) {}

    uint32_t decodeRange(const uint8_t* begin, const uint8_t* end) override
    {
        uint64_t count = 0;
        if (emitsEvents()) run<Mode::Emit, false>(begin, end, 0, count);
        else run<Mode::Count, false>(begin, end, 0, count);
        return static_cast<uint32_t>(count);
    }
    uint32_t decodeBuffer(const std::vector<uint8_t>& buffer) override
    {
        return decodeRange(buffer.data(), buffer.data() + buffer.size());
    }
    void scanRange(const uint8_t* begin, const uint8_t* end) override
    {
        uint64_t count = 0;
        run<Mode::Scan, false>(begin, end, 0, count);
    }
    const uint8_t* scanUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t) override
    {
        uint64_t count = 0;
        return run<Mode::Scan, true>(begin, end, t, count);
    }
    const uint8_t* countUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t, uint64_t& count) override
    {
        return run<Mode::Count, true>(begin, end, t, count);
    }
    uint64_t getLastTimestamp() override { return timeKnown_ ? base() : 0; }
    void setTimestamp(const uint64_t& timestamp) override
    {
        epoch_ = timestamp & ~kTimeMask;
        high_ = static_cast<uint32_t>((timestamp & kTimeMask) >> kLowBits);
        timeKnown_ = true;
        pending_ = 0;
    }
    uint8_t getRawUnitSize() override { return kUnit; }
    uint64_t droppedOutOfGeometry() const override { return droppedGeometry_; }
    uint64_t droppedUnknownAddress() const override { return droppedUnknown_; }

private:
    enum class Mode { Scan, Count, Emit };

    uint64_t base() const { return epoch_ | (uint64_t{high_} << kLowBits); }

    void onTimeHigh(uint32_t high)
    {
        // A TIME_HIGH far below the last one is the 34-bit time wrapping; a small step back is a
        // fault in the stream and is taken as it comes.
        if (timeKnown_ && high < high_ && high_ - high > (kHighMask >> 1)) epoch_ += kTimeMask + 1;
        high_ = high;
        timeKnown_ = true;
    }

    void flush(Event2D*& out) { out = flushOutput(out); }

    // Whole words of [p, end); stops after the first word once which the time is at least `t` when
    // Until. Returns where it stopped.
    template <Mode M, bool Until>
    const uint8_t* words(const uint8_t* p, const uint8_t* end, uint64_t t, uint64_t& count)
    {
        if constexpr (Until) {
            if (timeKnown_ && base() >= t && p + kUnit <= end) {
                // Already there: the first word is the one after which it is.
                const uint8_t* const stop = p + kUnit;
                words<M, false>(p, stop, 0, count);
                return stop;
            }
        }
        Event2D* out = nullptr;
        if constexpr (M == Mode::Emit) out = openOutput();
        const uint32_t width = width_, height = height_;
        uint64_t timeBase = timeKnown_ ? base() : 0;
        for (; p + kUnit <= end; p += kUnit) {
            if constexpr (M != Mode::Scan) {
                // Events and TIME_HIGH words go through the fast run; it stops at any other word, or
                // after the word that brings the time to `t`.
                if (timeKnown_) {
                    bool reached = false;
                    p = fastRun<M, Until>(p, end, out, count, t, reached);
                    timeBase = base();
                    if (reached) break;
                    if (p + kUnit > end) break;
                }
            }
            const uint32_t hi = load32(p);
            const uint32_t type = hi >> 28;
            if (type <= CD_ON) {
                if constexpr (M == Mode::Scan) continue;
                const uint32_t x = (hi >> 11) & 0x7FF, y = hi & 0x7FF;
                if constexpr (!Wide) {
                    if (!timeKnown_) {
                        ++droppedUnknown_;
                        continue;
                    }
                    const bool on = x < width && y < height;
                    droppedGeometry_ += !on;
                    if constexpr (M == Mode::Count) {
                        count += on;
                    } else {
                        store(out, headOf(x, y, type), timeBase | ((hi >> 22) & 0x3F));
                        out += on;
                        count += on;
                    }
                } else {
                    uint32_t mask = load32(p + 4);
                    if (!timeKnown_) {
                        droppedUnknown_ += static_cast<uint64_t>(popcount32(mask));
                        continue;
                    }
                    // Pixels past the sensor's edge (or a row below it) are dropped.
                    const uint32_t keep = y >= height || x >= width ? 0u
                                          : width - x >= 32         ? ~0u
                                                                    : (1u << (width - x)) - 1;
                    droppedGeometry_ += static_cast<uint64_t>(popcount32(mask & ~keep));
                    mask &= keep;
                    const auto n = static_cast<uint64_t>(popcount32(mask));
                    count += n;
                    if constexpr (M == Mode::Emit) {
                        const uint64_t head = headOf(x, y, type);
                        const uint64_t time = timeBase | ((hi >> 22) & 0x3F);
                        if (mask == ~0u) {
                            for (uint32_t i = 0; i < 32; ++i) store(out + i, head + i, time);
                        } else {
                            for (Event2D* o = out; mask != 0; mask &= mask - 1, ++o) {
                                store(o, head + static_cast<uint32_t>(std::countr_zero(mask)), time);
                            }
                        }
                        out += n;
                    }
                }
                if constexpr (M == Mode::Emit) {
                    if (out >= outMark_) flush(out);
                }
                continue;
            }
            if (type == TIME_HIGH) {
                onTimeHigh(hi & kHighMask);
                timeBase = base();
                if constexpr (Until) {
                    if (timeBase >= t) {
                        p += kUnit;
                        break;
                    }
                }
            } else if (type == EXT_TRIGGER) {
                if constexpr (M != Mode::Scan) {
                    if (triggerCallback_ && timeKnown_) {
                        if constexpr (M == Mode::Emit) flush(out);  // the events before it reach the caller first
                        // EVT 2.0 has the channel in bits 12..8 and the edge in bit 0; EVT 2.1 the same
                        // bits of its upper half.
                        triggerCallback_(EventTriggerIn(static_cast<int16_t>((hi >> 8) & 0x1F),
                                                        static_cast<int16_t>(hi & 1), timeBase | ((hi >> 22) & 0x3F)));
                    }
                }
            }
            // OTHERS, CONTINUED and reserved words carry nothing we read.
        }
        if constexpr (M == Mode::Emit) closeOutput(out);
        return p;
    }

    // Event and TIME_HIGH words from `p` while the time is known, without a branch per word on the
    // common ones; stops at the first other word (trigger, vendor, reserved) or at `end`.
    template <Mode M, bool Until>
    const uint8_t* fastRun(const uint8_t* p, const uint8_t* const end, Event2D*& out, uint64_t& count, uint64_t t,
                           bool& reached)
    {
        const uint32_t width = width_, height = height_;
        uint64_t epoch = epoch_;
        uint32_t high = high_;
        uint64_t n = 0, dropped = 0;
        Event2D* o = out;
        bool rare = false;
        while (!rare && !reached && p + kUnit <= end) {
            if constexpr (M == Mode::Count && !Wide) {
                if (hasAvx2_) p = countRunAvx2(p, end, epoch, high, n, dropped, Until ? t : UINT64_MAX);
            }
            const size_t words = std::min<size_t>(kBlockWords, static_cast<size_t>(end - p) / kUnit);
            const uint8_t* const blockEnd = p + words * kUnit;
            if constexpr (M == Mode::Emit && !Until) {
                if (hasAvx2_) {
                    if constexpr (Wide) p = emitRunWideAvx2(p, blockEnd, epoch, high, n, dropped, o);
                    else p = emitRunAvx2(p, blockEnd, epoch, high, n, dropped, o);
                }
            }
            for (; p < blockEnd; p += kUnit) {
                const uint32_t hi = load32(p);
                const uint32_t type = hi >> 28;
                const bool isEvent = type <= CD_ON;
                const bool isHigh = type == TIME_HIGH;
                if (!isEvent && !isHigh) {
                    rare = true;
                    break;
                }
                const uint32_t h = hi & kHighMask;
                // A TIME_HIGH far below the last one is the 34-bit time wrapping.
                const bool wrap = isHigh & (h < high) & (high - h > (kHighMask >> 1));
                epoch += static_cast<uint64_t>(wrap) << kTimeBits;
                high = isHigh ? h : high;
                if constexpr (Until) {
                    if (isHigh && (epoch | (uint64_t{high} << kLowBits)) >= t) {
                        p += kUnit;
                        reached = true;
                        break;
                    }
                }
                const uint32_t x = (hi >> 11) & 0x7FF, y = hi & 0x7FF;
                const uint64_t time = epoch | (uint64_t{high} << kLowBits) | ((hi >> 22) & 0x3F);
                if constexpr (!Wide) {
                    const bool on = isEvent & (x < width) & (y < height);
                    dropped += isEvent & !on;
                    n += on;
                    if constexpr (M == Mode::Emit) {
                        store(o, headOf(x, y, type & 1), time);
                        o += on;
                    }
                } else {
                    if (!isEvent) continue;
                    uint32_t mask = load32(p + 4);
                    const uint32_t keep = y >= height || x >= width ? 0u
                                          : width - x >= 32         ? ~0u
                                                                    : (1u << (width - x)) - 1;
                    if (keep != ~0u) {
                        dropped += popcount32(mask & ~keep);
                        mask &= keep;
                    }
                    if constexpr (M == Mode::Emit) {
                        Event2D* const next = hasAvx2_ ? expandMaskAvx2(o, mask, headOf(x, y, type), time)
                                                       : expandMask(o, mask, headOf(x, y, type), time);
                        n += static_cast<uint64_t>(next - o);
                        o = next;
                    } else {
                        n += popcount32(mask);
                    }
                }
            }
            if constexpr (M == Mode::Emit) {
                if (o >= outMark_) {
                    out = o;
                    flush(out);
                    o = out;
                }
            }
        }
        out = o;
        epoch_ = epoch;
        high_ = high;
        count += n;
        droppedGeometry_ += dropped;
        return p;
    }

    // Completes a word split by the previous call, then the whole words, then keeps the rest.
    template <Mode M, bool Until>
    const uint8_t* run(const uint8_t* begin, const uint8_t* end, uint64_t t, uint64_t& count)
    {
        if (!begin || end <= begin) return end;
        if (pending_ > 0) {
            if constexpr (Until) {
                if (timeKnown_ && base() >= t) return begin;  // nothing to do before the first unit
            }
            const size_t take = std::min<size_t>(kUnit - pending_, static_cast<size_t>(end - begin));
            std::memcpy(pendingBytes_ + pending_, begin, take);
            pending_ += take;
            begin += take;
            if (pending_ < kUnit) return end;
            pending_ = 0;
            const uint8_t* const stop = words<M, Until>(pendingBytes_, pendingBytes_ + kUnit, t, count);
            if (Until && stop == pendingBytes_ + kUnit && timeKnown_ && base() >= t) return begin;
        }
        const size_t whole = static_cast<size_t>(end - begin) / kUnit * kUnit;
        const uint8_t* const stop = words<M, Until>(begin, begin + whole, t, count);
        if (stop != begin + whole) return stop;
        // Reached at the last whole word: the bytes after it are for the caller to hand in again.
        if (Until && timeKnown_ && base() >= t) return stop;
        if (begin + whole != end) {
            pending_ = static_cast<size_t>(end - (begin + whole));
            std::memcpy(pendingBytes_, begin + whole, pending_);
        }
        return end;
    }

    // EVT 2.0 counting, eight words a step: events are counted from the lane masks, and a step's
    // TIME_HIGH words only leave their last value, as long as none steps back, none reaches `t` and
    // every word is an event or a TIME_HIGH. Otherwise the step is left to the word-by-word loop.
    // Returns where it stopped.
    ORVANE_EVT2_AVX2 const uint8_t* countRunAvx2(const uint8_t* p, const uint8_t* const end, uint64_t epoch,
                                                 uint32_t& high, uint64_t& n, uint64_t& dropped, uint64_t t) const
    {
#if ORVANE_EVT2_X86
        const __m256i two = _mm256_set1_epi32(2), eight = _mm256_set1_epi32(static_cast<int>(TIME_HIGH));
        const __m256i xMax = _mm256_set1_epi32(static_cast<int>(width_)), yMax = _mm256_set1_epi32(static_cast<int>(height_));
        const __m256i bits11 = _mm256_set1_epi32(0x7FF), highBits = _mm256_set1_epi32(static_cast<int>(kHighMask));
        for (; p + 32 <= end; p += 32) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const __m256i type = _mm256_srli_epi32(v, 28);
            const __m256i isEvent = _mm256_cmpgt_epi32(two, type);
            const __m256i isHigh = _mm256_cmpeq_epi32(type, eight);
            if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(isEvent, isHigh))) != 0xFF) break;
            uint32_t last = high;
            if (_mm256_movemask_ps(_mm256_castsi256_ps(isHigh)) != 0) {
                // Running maximum of the TIME_HIGH values from the one carried in: the words are in
                // order exactly when each TIME_HIGH equals the maximum up to it.
                const __m256i highs = _mm256_and_si256(_mm256_and_si256(v, highBits), isHigh);
                __m256i m = _mm256_max_epi32(highs, _mm256_slli_si256(highs, 4));
                m = _mm256_max_epi32(m, _mm256_slli_si256(m, 8));
                m = _mm256_max_epi32(m, _mm256_and_si256(_mm256_permutevar8x32_epi32(m, _mm256_set1_epi32(3)),
                                                         _mm256_setr_epi32(0, 0, 0, 0, -1, -1, -1, -1)));
                m = _mm256_max_epi32(m, _mm256_set1_epi32(static_cast<int>(high)));
                const __m256i inOrder = _mm256_or_si256(_mm256_cmpeq_epi32(m, highs), _mm256_xor_si256(isHigh, _mm256_set1_epi32(-1)));
                if (_mm256_movemask_ps(_mm256_castsi256_ps(inOrder)) != 0xFF) break;
                last = static_cast<uint32_t>(_mm256_extract_epi32(m, 7));
                if ((epoch | (uint64_t{last} << kLowBits)) >= t) break;
            }
            const __m256i x = _mm256_and_si256(_mm256_srli_epi32(v, 11), bits11);
            const __m256i y = _mm256_and_si256(v, bits11);
            const __m256i on =
                _mm256_and_si256(isEvent, _mm256_and_si256(_mm256_cmpgt_epi32(xMax, x), _mm256_cmpgt_epi32(yMax, y)));
            const unsigned onMask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(on)));
            const unsigned eventMask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(isEvent)));
            n += static_cast<uint64_t>(std::popcount(onMask));
            dropped += static_cast<uint64_t>(std::popcount(eventMask & ~onMask));
            high = last;
        }
#endif
        return p;
    }

    // EVT 2.0 decoding into events, eight words a step: the TIME_HIGH in force at each word is the
    // running maximum (the step is left to the word-by-word loop unless its TIME_HIGH words are in
    // order), the events on the sensor are packed to the front by a permutation, and all eight slots
    // are written (the next step overwrites the unused ones).
    ORVANE_EVT2_AVX2 const uint8_t* emitRunAvx2(const uint8_t* p, const uint8_t* const end, uint64_t epoch,
                                                uint32_t& high, uint64_t& n, uint64_t& dropped, Event2D*& out) const
    {
#if ORVANE_EVT2_X86
        const __m256i two = _mm256_set1_epi32(2), eight = _mm256_set1_epi32(static_cast<int>(TIME_HIGH));
        const __m256i xMax = _mm256_set1_epi32(static_cast<int>(width_)), yMax = _mm256_set1_epi32(static_cast<int>(height_));
        const __m256i bits11 = _mm256_set1_epi32(0x7FF), highBits = _mm256_set1_epi32(static_cast<int>(kHighMask));
        const __m256i upper = _mm256_setr_epi32(0, 0, 0, 0, -1, -1, -1, -1), ones = _mm256_set1_epi32(-1);
        const __m256i one32 = _mm256_set1_epi32(1), low6 = _mm256_set1_epi32(0x3F);
        const __m256i epochHi = _mm256_set1_epi32(static_cast<int>(epoch >> 32));
        Event2D* o = out;
        for (; p + 32 <= end; p += 32) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const __m256i type = _mm256_srli_epi32(v, 28);
            const __m256i isEvent = _mm256_cmpgt_epi32(two, type);
            const __m256i isHigh = _mm256_cmpeq_epi32(type, eight);
            if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(isEvent, isHigh))) != 0xFF) break;
            const __m256i highs = _mm256_and_si256(_mm256_and_si256(v, highBits), isHigh);
            __m256i m = _mm256_max_epi32(highs, _mm256_slli_si256(highs, 4));
            m = _mm256_max_epi32(m, _mm256_slli_si256(m, 8));
            m = _mm256_max_epi32(m, _mm256_and_si256(_mm256_permutevar8x32_epi32(m, _mm256_set1_epi32(3)), upper));
            m = _mm256_max_epi32(m, _mm256_set1_epi32(static_cast<int>(high)));
            const __m256i inOrder = _mm256_or_si256(_mm256_cmpeq_epi32(m, highs), _mm256_xor_si256(isHigh, ones));
            if (_mm256_movemask_ps(_mm256_castsi256_ps(inOrder)) != 0xFF) break;

            const __m256i x = _mm256_and_si256(_mm256_srli_epi32(v, 11), bits11);
            const __m256i y = _mm256_and_si256(v, bits11);
            const __m256i on =
                _mm256_and_si256(isEvent, _mm256_and_si256(_mm256_cmpgt_epi32(xMax, x), _mm256_cmpgt_epi32(yMax, y)));
            const unsigned onMask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(on)));
            const unsigned eventMask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(isEvent)));
            // The two 32-bit halves of each event's first 8 bytes (x | y << 16, polarity) and of its
            // time (epoch | TIME_HIGH << 6 | low 6 bits; the epoch's low 34 bits are 0), packed.
            const __m256i order = _mm256_load_si256(reinterpret_cast<const __m256i*>(kLaneOrder.at[onMask]));
            const __m256i xy = _mm256_permutevar8x32_epi32(_mm256_or_si256(x, _mm256_slli_epi32(y, 16)), order);
            const __m256i pol = _mm256_permutevar8x32_epi32(_mm256_and_si256(type, one32), order);
            const __m256i tlo = _mm256_permutevar8x32_epi32(
                _mm256_or_si256(_mm256_slli_epi32(m, kLowBits), _mm256_and_si256(_mm256_srli_epi32(v, 22), low6)), order);
            const __m256i thi = _mm256_permutevar8x32_epi32(_mm256_or_si256(_mm256_srli_epi32(m, 32 - kLowBits), epochHi), order);
            const __m256i headA = _mm256_unpacklo_epi32(xy, pol), headB = _mm256_unpackhi_epi32(xy, pol);  // 0 1 4 5, 2 3 6 7
            const __m256i timeA = _mm256_unpacklo_epi32(tlo, thi), timeB = _mm256_unpackhi_epi32(tlo, thi);
            const __m256i e04 = _mm256_unpacklo_epi64(headA, timeA), e15 = _mm256_unpackhi_epi64(headA, timeA);
            const __m256i e26 = _mm256_unpacklo_epi64(headB, timeB), e37 = _mm256_unpackhi_epi64(headB, timeB);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), _mm256_permute2x128_si256(e04, e15, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 2), _mm256_permute2x128_si256(e26, e37, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 4), _mm256_permute2x128_si256(e04, e15, 0x31));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 6), _mm256_permute2x128_si256(e26, e37, 0x31));
            const auto got = static_cast<unsigned>(std::popcount(onMask));
            o += got;
            n += got;
            dropped += static_cast<uint64_t>(std::popcount(eventMask & ~onMask));
            high = static_cast<uint32_t>(_mm256_extract_epi32(m, 7));
        }
        out = o;
#endif
        return p;
    }

    // EVT 2.1 decoding into events with AVX2 (the masks expanded by expandMaskAvx2), word by word:
    // the loop of fastRun compiled for AVX2. Stops at a word other than an event or a TIME_HIGH.
    ORVANE_EVT2_AVX2 const uint8_t* emitRunWideAvx2(const uint8_t* p, const uint8_t* const end, uint64_t& epoch,
                                                    uint32_t& high, uint64_t& n, uint64_t& dropped, Event2D*& out) const
    {
        const uint32_t width = width_, height = height_;
        Event2D* o = out;
        for (; p + kUnit <= end; p += kUnit) {
            const uint32_t hi = load32(p);
            const uint32_t type = hi >> 28;
            if (type == TIME_HIGH) {
                const uint32_t h = hi & kHighMask;
                if (h < high && high - h > (kHighMask >> 1)) epoch += kTimeMask + 1;
                high = h;
                continue;
            }
            if (type > CD_ON) break;
            const uint32_t x = (hi >> 11) & 0x7FF, y = hi & 0x7FF;
            uint32_t mask = load32(p + 4);
            const uint32_t keep = y >= height || x >= width ? 0u
                                  : width - x >= 32         ? ~0u
                                                            : (1u << (width - x)) - 1;
            if (keep != ~0u) {
                dropped += static_cast<uint64_t>(std::popcount(mask & ~keep));
                mask &= keep;
            }
            const uint64_t time = epoch | (uint64_t{high} << kLowBits) | ((hi >> 22) & 0x3F);
            if ((mask & (mask - 1)) == 0) {
                // One event (or none): the common word between the rows of a busy scene.
                store(o, headOf(x, y, type) + static_cast<uint32_t>(std::countr_zero(mask | 0x80000000u)), time);
                n += mask != 0;
                o += mask != 0;
                continue;
            }
            Event2D* const next = expandMaskAvx2(o, mask, headOf(x, y, type), time);
            n += static_cast<uint64_t>(next - o);
            o = next;
        }
        out = o;
        return p;
    }

    const uint16_t width_;
    const uint16_t height_;
    const bool hasAvx2_ = cpuHasAvx2();
    uint64_t epoch_ = 0;  // time bits 63..34 (wrap count << 34)
    uint32_t high_ = 0;   // the last TIME_HIGH payload
    bool timeKnown_ = false;
    uint8_t pendingBytes_[8] = {};
    size_t pending_ = 0;
    uint64_t droppedGeometry_ = 0;
    uint64_t droppedUnknown_ = 0;
};

}  // namespace

std::unique_ptr<Decoder> makeEvt2Decoder(uint16_t width, uint16_t height)
{
    return std::make_unique<Evt2xDecoder<false>>(width, height);
}

std::unique_ptr<Decoder> makeEvt21Decoder(uint16_t width, uint16_t height)
{
    return std::make_unique<Evt2xDecoder<true>>(width, height);
}

}  // namespace orvane
