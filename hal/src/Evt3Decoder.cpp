#include "orvane/hal/Evt3Decoder.h"
#include "orvane/hal/EvtWords.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define ORVANE_EVT3_X86 1
// Only the functions marked so are built for AVX2 and only called after the CPU check; the rest of
// the library (and every inline function it shares with other files) stays portable.
#define ORVANE_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2,lzcnt,popcnt")))
#else
#define ORVANE_EVT3_X86 0
#endif

namespace orvane {
namespace {

// The output is handed on once it reaches its fill mark; each step writes at most kOutSlack events
// past the mark (a block of 32 vector words), so no store inside a step needs a bounds check.
constexpr size_t kBlockWords = 32;
// How far ahead of the words being decoded the paths into events ask for the input.
constexpr size_t kPrefetchBytes = 1024;
constexpr size_t kOutSlack = kBlockWords * 12;

// The word types, as everywhere else in the project.
using namespace evt3;

// Past any sensor width; vector bases saturate here so that no run of vector words can wrap back.
constexpr uint32_t kBaseCeiling = 0x10000;

inline uint32_t loadWord(const uint8_t* p)
{
    uint16_t w;
    std::memcpy(&w, p, 2);
    return w;  // raw files and the decoder are little-endian, as is every host we build for
}

// Event2D as two 64-bit halves: x | y << 16 | polarity << 32 (padding zero), then the timestamp.
inline void storeEvent(Event2D* out, uint64_t low, uint64_t time)
{
    std::memcpy(reinterpret_cast<char*>(out), &low, 8);
    std::memcpy(reinterpret_cast<char*>(out) + 8, &time, 8);
}

bool scalarForced()
{
    const char* v = std::getenv("ORVANE_EVT3_SCALAR");
    return v && *v && std::strcmp(v, "0") != 0;
}

inline uint32_t lowestBit(uint64_t m)  // m != 0
{
    return static_cast<uint32_t>(__builtin_ctzll(m));
}

// m != 0. Fast is true where the build has a one-cycle LZCNT; elsewhere the bit scan (BSR on older
// x86 targets) is slow on some CPUs, and the exponent of the nearest double says the same for m below
// 2^53, as block masks are.
template <bool Fast>
inline uint32_t highestBit(uint64_t m)
{
    if constexpr (Fast) {
        return static_cast<uint32_t>(63 - __builtin_clzll(m));
    } else {
        return static_cast<uint32_t>((std::bit_cast<uint64_t>(static_cast<double>(m)) >> 52) - 1023);
    }
}

// What the block path needs to know of 32 words, one bit per word.
struct Masks {
    uint32_t x;     // ADDR_X
    uint32_t e;     // ADDR_X, VECT_BASE_X, VECT_12, VECT_8: the words taken one by one
    uint32_t y;     // ADDR_Y
    uint32_t l;     // TIME_LOW
    uint32_t stop;  // EXT_TRIGGER, and TIME_HIGH other than the current one
    uint32_t xOn;   // words whose bits 10..0 are below the sensor width (an ADDR_X on the sensor)
    uint32_t yOn;   // words whose bits 10..0 are below the sensor height (an ADDR_Y on the sensor)
};

// Bits 10..0 of a word, compared with a sensor size, in the classifiers: sizes past 11 bits keep all.
inline uint32_t sizeLimit(uint32_t size)
{
    return std::min<uint32_t>(size, 0x800);
}

// Portable classification, four 16-bit words per 64-bit integer. A lane's type (0..15) is tested for
// zero by adding 15: bit 4 stays clear only for zero. One multiplication gathers the four bit-4 flags
// of a word into bits 52..55 (no two partial products meet, so nothing carries).
constexpr uint64_t kLanes = 0x0001000100010001;

inline uint64_t zeroTypeLanes(uint64_t d)  // d: four lanes below 16
{
    return ~(d + 15 * kLanes) & (16 * kLanes);
}

inline uint32_t gatherLanes(uint64_t flags)  // bit 4 of each lane -> bits 0..3
{
    return static_cast<uint32_t>((flags * 0x0001000200040008) >> 52) & 0xF;
}

[[maybe_unused]] inline Masks classifyPortable(const uint16_t* words, uint32_t highWord, uint32_t width, uint32_t height)
{
    Masks m{0, 0, 0, 0, 0, 0, 0};
    const uint64_t high = highWord * kLanes;
    for (uint32_t k = 0; k < kBlockWords / 4; ++k) {
        uint64_t v;
        std::memcpy(&v, words + 4 * k, 8);
        const uint64_t type = (v >> 12) & (0xF * kLanes);
        // Types 2..5 are the ones with (type + 14) & 12 == 0.
        const uint64_t e = zeroTypeLanes((type + 14 * kLanes) & (12 * kLanes));
        // Lanes that differ from the current TIME_HIGH word: bit 15 set after the add, moved to bit 4.
        const uint64_t diff = v ^ high;
        const uint64_t notHigh = (((((diff & (0x7FFF * kLanes)) + 0x7FFF * kLanes) | diff) >> 11) & (16 * kLanes));
        const uint64_t stop = (zeroTypeLanes(type ^ (TIME_HIGH * kLanes)) & notHigh) |
                              zeroTypeLanes(type ^ (EXT_TRIGGER * kLanes));
        const uint32_t shift = 4 * k;
        m.x |= gatherLanes(zeroTypeLanes(type ^ (ADDR_X * kLanes))) << shift;
        m.e |= gatherLanes(e) << shift;
        m.y |= gatherLanes(zeroTypeLanes(type)) << shift;
        m.l |= gatherLanes(zeroTypeLanes(type ^ (TIME_LOW * kLanes))) << shift;
        m.stop |= gatherLanes(stop) << shift;
    }
    for (uint32_t i = 0; i < kBlockWords; ++i) {
        m.xOn |= static_cast<uint32_t>((words[i] & 0x7FFu) < width) << i;
        m.yOn |= static_cast<uint32_t>((words[i] & 0x7FFu) < height) << i;
    }
    return m;
}

#if defined(__SSE2__)
// The portable classification where every CPU of the build has SSE2 (all x86-64): eight words a
// register; the 64-bit arithmetic above stays for other targets.
inline uint32_t packedBits(__m128i a, __m128i b, __m128i c, __m128i d)  // 4 x 8 lane masks -> 32 bits
{
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(a, b))) |
           (static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(c, d))) << 16);
}

inline Masks classifySse2(const uint16_t* words, uint32_t highWord, uint32_t width, uint32_t height)
{
    __m128i v[4], t[4];
    for (int i = 0; i < 4; ++i) {
        v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + 8 * i));
        t[i] = _mm_srli_epi16(v[i], 12);
    }
    const auto is = [&](int i, uint32_t type) { return _mm_cmpeq_epi16(t[i], _mm_set1_epi16(static_cast<short>(type))); };
    const __m128i high = _mm_set1_epi16(static_cast<short>(highWord));
    const __m128i one = _mm_set1_epi16(1), six = _mm_set1_epi16(6);
    __m128i e[4], stop[4];
    for (int i = 0; i < 4; ++i) {
        e[i] = _mm_and_si128(_mm_cmpgt_epi16(t[i], one), _mm_cmpgt_epi16(six, t[i]));
        stop[i] = _mm_or_si128(is(i, EXT_TRIGGER), _mm_andnot_si128(_mm_cmpeq_epi16(v[i], high), is(i, TIME_HIGH)));
    }
    Masks m;
    m.x = packedBits(is(0, ADDR_X), is(1, ADDR_X), is(2, ADDR_X), is(3, ADDR_X));
    m.y = packedBits(is(0, ADDR_Y), is(1, ADDR_Y), is(2, ADDR_Y), is(3, ADDR_Y));
    m.l = packedBits(is(0, TIME_LOW), is(1, TIME_LOW), is(2, TIME_LOW), is(3, TIME_LOW));
    m.e = packedBits(e[0], e[1], e[2], e[3]);
    m.stop = packedBits(stop[0], stop[1], stop[2], stop[3]);
    const __m128i w = _mm_set1_epi16(static_cast<short>(width)), h = _mm_set1_epi16(static_cast<short>(height));
    const __m128i bits = _mm_set1_epi16(0x7FF);
    __m128i xs[4], ys[4];
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_and_si128(v[i], bits);
        xs[i] = _mm_cmpgt_epi16(w, a);
        ys[i] = _mm_cmpgt_epi16(h, a);
    }
    m.xOn = packedBits(xs[0], xs[1], xs[2], xs[3]);
    m.yOn = packedBits(ys[0], ys[1], ys[2], ys[3]);
    return m;
}

// An event from the words TIME_LOW, ADDR_Y, ADDR_X at words[2..3], [4..5], [6..7] with SSE2: the
// words copied into both halves, put in place by two 16-bit shuffles, masked, the polarity bit turned
// into 0 or 1 by a minimum, the time's high bits added.
struct TripletSse2 {
    __m128i keep, clamp, high;
};

inline TripletSse2 makeTripletSse2(uint64_t highBase)
{
    return {_mm_setr_epi16(0x7FF, 0x7FF, 0x800, 0, 0xFFF, 0, 0, 0), _mm_setr_epi16(0x7FFF, 0x7FFF, 1, 0, 0x7FFF, 0, 0, 0),
            _mm_set_epi64x(static_cast<long long>(highBase), 0)};
}

inline void storeTripletSse2(Event2D* out, const uint8_t* words, const TripletSse2& c)
{
    const __m128i q = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(words));
    __m128i v = _mm_unpacklo_epi64(q, q);
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 2, 3));  // x, y, x (polarity), x
    v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(1, 1, 1, 1));  // the TIME_LOW word
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_min_epi16(_mm_and_si128(v, c.keep), c.clamp), c.high));
}
#endif

#if ORVANE_EVT3_X86
// Lane masks of words 0-7 | 16-23 and 8-15 | 24-31 -> 32 bits in word order (packing works per half).
ORVANE_TARGET_AVX2 inline uint32_t packedBits(__m256i a, __m256i b)
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(a, b)));
}

ORVANE_TARGET_AVX2 inline uint32_t bit(__m256i v)  // the top bit of each byte
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(v));
}

// The same with AVX2, 16 words a register.
ORVANE_TARGET_AVX2 inline Masks classifyAvx2(const uint16_t* words, uint32_t highWord, uint32_t width, uint32_t height)
{
    // Halves loaded crosswise so that the packing in packedBits keeps the word order.
    const __m128i* const w128 = reinterpret_cast<const __m128i*>(words);
    const __m256i a = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(w128)), _mm_loadu_si128(w128 + 2), 1);
    const __m256i b = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(w128 + 1)), _mm_loadu_si128(w128 + 3), 1);
    // Each word's type looked up in a table of class bits (one byte per word, in word order), then
    // one bit per class brought to the top of its byte for the byte mask.
    enum : uint8_t { kX = 1 << 7, kY = 1 << 6, kL = 1 << 5, kE = 1 << 4, kT = 1 << 3, kH = 1 << 2 };
    const __m128i classes = _mm_setr_epi8(kY, 0, static_cast<char>(kX | kE), kE, kE, kE, kL, 0, kH, 0, kT, 0, 0, 0, 0, 0);
    const __m256i table = _mm256_broadcastsi128_si256(classes);
    const __m256i types = _mm256_packus_epi16(_mm256_srli_epi16(a, 12), _mm256_srli_epi16(b, 12));
    const __m256i c = _mm256_shuffle_epi8(table, types);
    Masks m;
    m.x = bit(c);
    m.y = bit(_mm256_slli_epi16(c, 1));
    m.l = bit(_mm256_slli_epi16(c, 2));
    m.e = bit(_mm256_slli_epi16(c, 3));
    const uint32_t trigger = bit(_mm256_slli_epi16(c, 4)), timeHigh = bit(_mm256_slli_epi16(c, 5));
    const __m256i high = _mm256_set1_epi16(static_cast<short>(highWord));
    m.stop = trigger | (timeHigh & ~packedBits(_mm256_cmpeq_epi16(a, high), _mm256_cmpeq_epi16(b, high)));
    const __m256i w = _mm256_set1_epi16(static_cast<short>(width)), h = _mm256_set1_epi16(static_cast<short>(height));
    const __m256i bits = _mm256_set1_epi16(0x7FF);
    const __m256i xa = _mm256_and_si256(a, bits), xb = _mm256_and_si256(b, bits);
    m.xOn = packedBits(_mm256_cmpgt_epi16(w, xa), _mm256_cmpgt_epi16(w, xb));
    m.yOn = packedBits(_mm256_cmpgt_epi16(h, xa), _mm256_cmpgt_epi16(h, xb));
    return m;
}

// An event from the words TIME_LOW, ADDR_Y, ADDR_X at words[2..3], [4..5], [6..7]: the fields put in
// place by one byte shuffle, masked, the polarity bit (3 of byte 7) turned into 0 or 1 by a minimum,
// the time's high bits added. The constants are made once per run of blocks.
struct Triplet {
    __m128i order, keep, clamp, high;
};

ORVANE_TARGET_AVX2 inline Triplet makeTriplet(uint64_t highBase)
{
    return {_mm_setr_epi8(6, 7, 4, 5, 7, -1, -1, -1, 2, 3, -1, -1, -1, -1, -1, -1),
            _mm_setr_epi8(-1, 0x07, -1, 0x07, 0x08, 0, 0, 0, -1, 0x0F, 0, 0, 0, 0, 0, 0),
            _mm_setr_epi8(-1, -1, -1, -1, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1),
            _mm_set_epi64x(static_cast<long long>(highBase), 0)};
}

ORVANE_TARGET_AVX2 inline void storeTriplet(Event2D* out, const uint8_t* words, const Triplet& c)
{
    const __m128i q = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(words));
    const __m128i fields = _mm_min_epu8(_mm_and_si128(_mm_shuffle_epi8(q, c.order), c.keep), c.clamp);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(fields, c.high));
}
#endif

}  // namespace

bool Evt3Decoder::cpuHasAvx2()
{
#if ORVANE_EVT3_X86
    __builtin_cpu_init();
    // LZCNT is not a feature name both compilers know for __builtin_cpu_supports: ask CPUID.
    unsigned a = 0, b = 0, c = 0, d = 0;
    const bool lzcnt = __get_cpuid(0x80000001, &a, &b, &c, &d) && (c & (1u << 5));
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt") && lzcnt;
#else
    return false;
#endif
}

const char* Evt3Decoder::isaName(Isa isa)
{
    switch (isa) {
    case Isa::Auto: return "auto";
    case Isa::Scalar: return "scalar";
    case Isa::Avx2: return "avx2";
    case Isa::Reference: return "reference";
    }
    return "?";
}

Evt3Decoder::Evt3Decoder(uint16_t width, uint16_t height, Isa isa) : Decoder(kOutSlack), width_(width), height_(height)
{
    if (isa == Isa::Auto) {
        const char* named = std::getenv("ORVANE_EVT3_ISA");
        for (Isa i : {Isa::Scalar, Isa::Avx2, Isa::Reference}) {
            if (named && std::strcmp(named, isaName(i)) == 0) isa = i;
        }
        if (isa == Isa::Auto) isa = scalarForced() || !cpuHasAvx2() ? Isa::Scalar : Isa::Avx2;
    }
    if (isa == Isa::Avx2 && !cpuHasAvx2()) isa = Isa::Scalar;
    isa_ = isa;
}

void Evt3Decoder::setTimestamp(const uint64_t& timestamp)
{
    s_.time = timestamp;
    s_.epoch = timestamp & ~uint64_t{0xFFFFFF};
    s_.high = static_cast<uint32_t>((timestamp >> 12) & 0xFFF);
    s_.timeKnown = true;
    s_.rowKnown = false;
    s_.baseKnown = false;
    s_.highBehind = false;
    hasPendingByte_ = false;
}

uint32_t Evt3Decoder::decodeBuffer(const std::vector<uint8_t>& buffer)
{
    return decodeRange(buffer.data(), buffer.data() + buffer.size());
}

uint32_t Evt3Decoder::decodeRange(const uint8_t* begin, const uint8_t* end)
{
    if (emitsEvents()) return static_cast<uint32_t>(run<Mode::Emit>(begin, end));
    return static_cast<uint32_t>(run<Mode::Count>(begin, end));
}

void Evt3Decoder::scanRange(const uint8_t* begin, const uint8_t* end)
{
    run<Mode::Scan>(begin, end);
}

const uint8_t* Evt3Decoder::scanUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t)
{
    if (hasPendingByte_ || !begin || end <= begin) return Decoder::scanUntilTimestamp(begin, end, t);
    // Scan in blocks; a block that may have reached t is scanned again from its start, word by word.
    // Within a block the time can step back (TIME_LOW), so its end time alone does not tell; but it
    // never passed the block's last TIME_HIGH plus 4095 µs, since TIME_HIGH only grows.
    const uint8_t* p = begin;
    const uint8_t* const stop = begin + 2 * (static_cast<size_t>(end - begin) / 2);
    while (p < stop) {
        const size_t n = std::min<size_t>(256, static_cast<size_t>(stop - p) / 2);
        const State saved = s_;
        decodeWords<Mode::Scan>(p, p + 2 * n);
        if (!s_.timeKnown || s_.highBase() + 0xFFF < t) {
            p += 2 * n;
            continue;
        }
        s_ = saved;
        for (size_t i = 0; i < n; ++i, p += 2) {
            slowWord<Mode::Scan>(loadWord(p));
            if (s_.time >= t) return p + 2;
        }
    }
    return end;
}

void Evt3Decoder::flushOut()
{
    out_ = flushOutput(out_);
}

template <Evt3Decoder::Mode M>
uint64_t Evt3Decoder::run(const uint8_t* begin, const uint8_t* end)
{
    if (!begin || end <= begin) return 0;
    produced_ = 0;
    if constexpr (M == Mode::Emit) out_ = openOutput();
    if (hasPendingByte_) {
        // Complete the word split by the previous call.
        const uint8_t word[2] = {pendingByte_, *begin};
        hasPendingByte_ = false;
        decodeWords<M>(word, word + 2);
        ++begin;
    }
    const size_t bytes = static_cast<size_t>(end - begin);
    decodeWords<M>(begin, begin + (bytes & ~size_t{1}));
    if (bytes & 1) {
        hasPendingByte_ = true;
        pendingByte_ = end[-1];
    }
    if constexpr (M == Mode::Emit) {
        closeOutput(out_);
        produced_ += outTotal_;
    }
    return produced_;
}

// Decodes the whole words in [p, end). The fast paths take the common words once the time and the
// row are known; everything else (the first words after a start or a seek, TIME_HIGH changes,
// triggers, a stream behind its TIME_HIGH, vectors at the sensor's edge) goes word by word through
// slowWord.
template <Evt3Decoder::Mode M>
void Evt3Decoder::decodeWords(const uint8_t* p, const uint8_t* const end)
{
    const Isa isa = isa_;
    while (p != end) {
        if (s_.ready() && isa != Isa::Reference) {
            if (isa == Isa::Scalar) {
                p = blockRunPortable<M>(p, end);
            } else if constexpr (M == Mode::Emit) {
                p = emitRunAvx2(p, end);
            } else {
                p = blockRunAvx2<M>(p, end);
            }
            if (p == end) break;
        }
        if constexpr (M == Mode::Emit) {
            if (out_ >= outMark_) flushOut();
        }
        slowWord<M>(loadWord(p));
        p += 2;
    }
}

// One word of any type, on the members. Emit mode: at least 12 free slots in the output block.
template <Evt3Decoder::Mode M>
void Evt3Decoder::slowWord(uint32_t w)
{
    const uint32_t type = w >> 12;
    switch (type) {
    case VECT_12:
    case VECT_8: {
        const bool is12 = type == VECT_12;
        const uint32_t n = is12 ? 12 : 8;
        if constexpr (M != Mode::Scan) {
            const uint32_t mask = w & (is12 ? 0xFFF : 0xFF);
            const uint32_t base = s_.vectorBase;
            if (!(s_.timeKnown && s_.rowKnown && s_.baseKnown)) {
                droppedUnknown_ += static_cast<uint64_t>(std::popcount(mask));
            } else if (s_.highBehind) {
                droppedStepBack_ += static_cast<uint64_t>(std::popcount(mask));
            } else if (s_.row >= height_) {
                droppedOutOfGeometry_ += static_cast<uint64_t>(std::popcount(mask));
            } else if (M == Mode::Count && base + n <= width_) {
                produced_ += static_cast<uint64_t>(std::popcount(mask));  // all on the sensor
            } else {
                const uint64_t lowBase = base | (uint64_t{s_.row} << 16) | (uint64_t{s_.vectorPolarity} << 32);
                for (uint32_t i = 0; i < n; ++i) {
                    if (!((mask >> i) & 1)) continue;
                    if (base + i < width_) {
                        if constexpr (M == Mode::Emit) storeEvent(out_++, lowBase + i, s_.time);
                        else ++produced_;
                    } else {
                        ++droppedOutOfGeometry_;
                    }
                }
            }
        }
        s_.vectorBase = std::min(s_.vectorBase + n, kBaseCeiling);
        break;
    }
    case ADDR_X:
        if constexpr (M != Mode::Scan) {
            const uint32_t x = w & 0x7FF;
            if (!(s_.timeKnown && s_.rowKnown)) {
                ++droppedUnknown_;
            } else if (s_.highBehind) {
                ++droppedStepBack_;
            } else if (x < width_ && s_.row < height_) {
                if constexpr (M == Mode::Emit) {
                    storeEvent(out_++, x | (uint64_t{s_.row} << 16) | (uint64_t{(w >> 11) & 1} << 32), s_.time);
                } else {
                    ++produced_;
                }
            } else {
                ++droppedOutOfGeometry_;
            }
        }
        break;
    case ADDR_Y:
        s_.row = w & 0x7FF;
        s_.rowKnown = true;
        break;
    case TIME_LOW:
        // The time as encoded, also when it steps back a few µs (the sensor's readout order).
        if (s_.timeKnown && !s_.highBehind) s_.time = s_.highBase() | (w & 0xFFF);
        break;
    case TIME_HIGH: {
        const uint32_t h = w & 0xFFF;
        if (s_.timeKnown) {
            // Steps are taken modulo the 12-bit range: up to 2047 forward is time going on (a wrap
            // when h is below high), anything else a step back, also across the wrap.
            const uint32_t forward = (h - s_.high) & 0xFFF;
            if (forward == 0) {  // a repeat, or the stream back where it was before a step back
                s_.highBehind = false;
                break;
            }
            if (forward >= 0x800) {
                // A step back is a fault, not a loop: what follows has no trustworthy time, so it is
                // dropped until the stream is back at or past `high`.
                if (!s_.highBehind) ++highStepsBack_;
                s_.highBehind = true;
                break;
            }
            if (h < s_.high) s_.epoch += uint64_t{1} << 24;  // the 24-bit time wrapped
        }
        s_.high = h;
        s_.time = s_.highBase();
        s_.timeKnown = true;
        s_.highBehind = false;
        break;
    }
    case VECT_BASE_X:
        s_.vectorBase = w & 0x7FF;
        s_.vectorPolarity = (w >> 11) & 1;
        s_.baseKnown = true;
        break;
    case EXT_TRIGGER:
        if constexpr (M != Mode::Scan) {
            if (s_.timeKnown && s_.highBehind) {
                ++droppedStepBack_;
            } else if (s_.timeKnown && triggerCallback_) {
                // Events before the edge go out first, so consumers see stream order.
                if constexpr (M == Mode::Emit) flushOut();
                triggerCallback_(EventTriggerIn(static_cast<int16_t>((w >> 8) & 0xF), static_cast<int16_t>(w & 1),
                                                s_.time));
            }
        }
        break;
    default:  // CONTINUED, OTHERS and reserved words: nothing reads them
        break;
    }
}

// The state a fast path kept in registers, back on the members.
void Evt3Decoder::keepRunState(uint32_t row, uint64_t time, uint32_t base, uint32_t polarity, bool baseKnown, Event2D* out)
{
    s_.row = row;
    s_.time = time;
    s_.vectorBase = base;
    s_.vectorPolarity = polarity;
    s_.baseKnown = baseKnown;
    out_ = out;
}

// A vector word word by word from inside a fast path, whose row, time, vector state and output
// position live in its registers.
template <Evt3Decoder::Mode M>
void Evt3Decoder::slowVectorWord(uint32_t w, uint32_t row, uint64_t time, uint32_t& base, uint32_t polarity,
                                 bool baseKnown, Event2D*& out)
{
    keepRunState(row, time, base, polarity, baseKnown, out);
    slowWord<M>(w);
    base = s_.vectorBase;
    out = out_;
}

// The common words in blocks of 32: classify the block (one bit per word and kind), stop at the
// first word the block path does not take, then visit only the words that make events or set the
// vector base, in order. Each finds its row and time as the last ADDR_Y and TIME_LOW before it in
// the block (the highest bit of a mask), or those carried in, which sit in front of the block's words
// as if they were its first two. Words that only move the time or the row cost no more than their
// share of the classification; a TIME_LOW that steps back is simply the last one. Needs s_.ready().
template <Evt3Decoder::Mode M, bool Avx2>
__attribute__((always_inline)) inline const uint8_t* Evt3Decoder::blockRun(const uint8_t* p, const uint8_t* const end)
{
    const uint64_t highBase = s_.highBase();
    const uint32_t highWord = (TIME_HIGH << 12) | s_.high;
    const uint32_t width = width_, height = height_;
    const uint32_t widthLimit = sizeLimit(width), heightLimit = sizeLimit(height);
    uint32_t row = s_.row;
    uint32_t low = static_cast<uint32_t>(s_.time - highBase);
    uint32_t base = s_.vectorBase, polarity = s_.vectorPolarity;
    bool baseKnown = s_.baseKnown;
    Event2D* out = out_;
    uint64_t kept = 0, offSensor = 0;
#if ORVANE_EVT3_X86
    Triplet triplet{};
    if constexpr (Avx2 && M == Mode::Emit) triplet = makeTriplet(highBase);
#endif
#if defined(__SSE2__)
    const TripletSse2 tripletSse2 = makeTripletSse2(highBase);
#endif
    // [0]: the row carried in, [1]: the time's low bits carried in, then the block's words (and room
    // for an 8-byte read at the last one).
    uint16_t buf[2 + kBlockWords + 2] = {};

    while (p != end) {
        if constexpr (M == Mode::Emit) {
            if (out >= outMark_) {
                out_ = out;
                flushOut();
                out = out_;
            }
            // The words a few blocks ahead (a hint: it never faults, also past the end).
            __builtin_prefetch(p + kPrefetchBytes);
        }
        const size_t left = static_cast<size_t>(end - p) / 2;
        const uint32_t n = left < kBlockWords ? static_cast<uint32_t>(left) : static_cast<uint32_t>(kBlockWords);
        if (n == kBlockWords) {
            std::memcpy(buf + 2, p, 2 * kBlockWords);
        } else {
            std::memcpy(buf + 2, p, 2 * n);
            for (uint32_t i = n; i < kBlockWords; ++i) buf[2 + i] = OTHERS << 12;  // skipped
        }
        Masks m{};
        if constexpr (Avx2) {
#if ORVANE_EVT3_X86
            m = classifyAvx2(buf + 2, highWord, widthLimit, heightLimit);
#endif
        } else {
#if defined(__SSE2__)
            m = classifySse2(buf + 2, highWord, widthLimit, heightLimit);
#else
            m = classifyPortable(buf + 2, highWord, widthLimit, heightLimit);
#endif
        }
        const uint32_t taken = m.stop ? lowestBit(m.stop) : kBlockWords;
        const uint32_t k = std::min(taken, n);
        const uint32_t active = k == 32 ? ~0u : (1u << k) - 1;
        buf[0] = static_cast<uint16_t>(row);
        buf[1] = static_cast<uint16_t>(low);
        const uint64_t rows = (uint64_t{m.y & active} << 2) | 1;
        const uint64_t lows = (uint64_t{m.l & active} << 2) | 2;

        if constexpr (M != Mode::Scan) {
            uint32_t visit = m.e & active;
            Event2D* const blockOut = out;
            const uint64_t keptBefore = kept;
            if ((visit & ~m.x) == 0 && row < height && (m.y & active & ~m.yOn) == 0) {
                // Single events only and every row on the sensor, the common case of real recordings:
                // the events kept are known before any is written, so each goes to the next slot and
                // no store waits for the one before it.
                const uint32_t xs = visit;
                if constexpr (M == Mode::Emit) {
                    // Real sensors write TIME_LOW, ADDR_Y, ADDR_X for most events: for those the row and
                    // the time are the two words before, read with the event's own word in one load
                    // (lane 1 takes the time carried in, which sits just before lane 0).
                    // Lanes from 3 on, whose words i-3 .. i are read from the input in one 8-byte load
                    // (a read of the block copy would straddle the stores that made it).
                    const uint32_t simple = (m.y << 1) & (m.l << 2) & ~7u;
                    for (visit &= m.xOn; visit; visit &= visit - 1) {
                        const uint32_t i = lowestBit(visit);
                        if ((simple >> i) & 1) {
                            const uint8_t* const words = p + 2 * i - 6;
#if ORVANE_EVT3_X86
                            if constexpr (Avx2) {
                                storeTriplet(out++, words, triplet);
                                continue;
                            }
#endif
#if defined(__SSE2__)
                            storeTripletSse2(out++, words, tripletSse2);
#else
                            uint64_t q;
                            std::memcpy(&q, words, 8);
                            storeEvent(out++, ((q >> 48) & 0x7FF) | ((q >> 16) & (uint64_t{0x7FF} << 16)) | ((q >> 27) & (uint64_t{1} << 32)),
                                       highBase | ((q >> 16) & 0xFFF));
#endif
                            continue;
                        }
                        const uint64_t before = (uint64_t{4} << i) - 1;  // the carried slots and lanes 0..i-1
                        const uint32_t r = buf[highestBit<Avx2>(rows & before)] & 0x7FF;
                        const uint64_t t = highBase | (buf[highestBit<Avx2>(lows & before)] & 0xFFF);
                        const uint32_t w = buf[2 + i];
                        storeEvent(out++, (w & 0x7FF) | (uint64_t{r} << 16) | (uint64_t{w & 0x800} << 21), t);
                    }
                } else {
                    kept += static_cast<uint64_t>(std::popcount(visit & m.xOn));
                }
                if (xs & ~m.xOn) offSensor += static_cast<uint64_t>(std::popcount(xs & ~m.xOn));
            } else if ((visit & ~m.x) == 0) {
                // Single events only, some rows off the sensor.
                for (; visit; visit &= visit - 1) {
                    const uint32_t i = lowestBit(visit);
                    const uint64_t before = (uint64_t{4} << i) - 1;  // the carried slots and lanes 0..i-1
                    const uint32_t r = buf[highestBit<Avx2>(rows & before)] & 0x7FF;
                    const uint64_t t = highBase | (buf[highestBit<Avx2>(lows & before)] & 0xFFF);
                    const uint32_t w = buf[2 + i];
                    const uint32_t x = w & 0x7FF;
                    const bool ok = (x < width) & (r < height);
                    if constexpr (M == Mode::Emit) {
                        storeEvent(out, x | (uint64_t{r} << 16) | (uint64_t{w & 0x800} << 21), t);
                        out += ok;
                    } else {
                        kept += ok;
                    }
                }
                // Every ADDR_X not kept was off the sensor.
                if constexpr (M == Mode::Emit) kept += static_cast<uint64_t>(out - blockOut);
                offSensor += static_cast<uint64_t>(std::popcount(m.x & active)) - (kept - keptBefore);
            } else {
                // With every row on the sensor, whether an ADDR_X is kept is known from the masks.
                const bool rowsOn = row < height && (m.y & active & ~m.yOn) == 0;
                while (visit) {
                    const uint32_t i = lowestBit(visit);
                    visit &= visit - 1;
                    const uint32_t w = buf[2 + i];
                    const uint32_t type = w >> 12;
                    if (type == VECT_BASE_X) {
                        base = w & 0x7FF;
                        polarity = (w >> 11) & 1;
                        baseKnown = true;
                        continue;
                    }
                    const uint64_t before = (uint64_t{4} << i) - 1;
                    const uint32_t r = buf[highestBit<Avx2>(rows & before)] & 0x7FF;
                    const uint64_t t = highBase | (buf[highestBit<Avx2>(lows & before)] & 0xFFF);
                    if (type == ADDR_X) {
                        const uint32_t x = w & 0x7FF;
                        const bool ok = rowsOn ? ((m.xOn >> i) & 1) != 0 : (x < width) & (r < height);
                        if constexpr (M == Mode::Emit) {
                            storeEvent(out, x | (uint64_t{r} << 16) | (uint64_t{w & 0x800} << 21), t);
                            out += ok;
                        } else {
                            kept += ok;
                        }
                        offSensor += !ok;
                        continue;
                    }
                    uint32_t size = type == VECT_12 ? 12 : 8;
                    if (baseKnown && r < height && base + size <= width) {
                        // This word and the vector words right after it (same row, same time), while
                        // they stay on the sensor.
                        const uint64_t first = (uint64_t{r} << 16) | (uint64_t{polarity} << 32);
                        uint32_t lane = i, v = w;
                        for (;;) {
                            const uint32_t bits = v & (size == 12 ? 0xFFF : 0xFF);
                            if constexpr (M == Mode::Emit) {
#if defined(__SSE2__)
                                // Every candidate is written, the output advanced by its bit: no
                                // branch per event, and an 8-bit word's last four are never kept.
                                // One 16-byte store per candidate: stores limit dense vector data.
                                const __m128i event = _mm_set_epi64x(static_cast<long long>(t), static_cast<long long>(first | base));
                                for (uint32_t j = 0; j < 12; ++j) {
                                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_add_epi64(event, _mm_cvtsi32_si128(static_cast<int>(j))));
                                    out += (bits >> j) & 1;
                                }
#else
                                for (uint32_t j = 0; j < 12; ++j) {
                                    storeEvent(out, (first | base) + j, t);
                                    out += (bits >> j) & 1;
                                }
#endif
                            } else {
                                kept += static_cast<uint64_t>(std::popcount(bits));
                            }
                            base += size;
                            if (++lane >= k) break;
                            v = buf[2 + lane];
                            const uint32_t next = v >> 12;
                            if (next != VECT_12 && next != VECT_8) break;
                            size = next == VECT_12 ? 12 : 8;
                            if (base + size > width) break;
                        }
                        visit &= static_cast<uint32_t>(~((uint64_t{1} << lane) - 1));
                    } else {
                        // Unknown base, a row off the sensor or the right edge: word by word.
                        slowVectorWord<M>(w, r, t, base, polarity, baseKnown, out);
                    }
                }
            }
        } else {
            // A scan follows the vector base without making events.
            for (uint32_t visit = m.e & ~m.x & active; visit; visit &= visit - 1) {
                const uint32_t w = buf[2 + lowestBit(visit)];
                if ((w >> 12) == VECT_BASE_X) {
                    base = w & 0x7FF;
                    polarity = (w >> 11) & 1;
                    baseKnown = true;
                } else {
                    base = std::min(base + ((w >> 12) == VECT_12 ? 12 : 8), kBaseCeiling);
                }
            }
        }
        row = buf[highestBit<Avx2>(rows)] & 0x7FF;
        low = buf[highestBit<Avx2>(lows)] & 0xFFF;
        p += 2 * k;
        if (k < n) break;
    }
    keepRunState(row, highBase | low, base, polarity, baseKnown, out);
    if constexpr (M == Mode::Count) produced_ += kept;
    if constexpr (M != Mode::Scan) droppedOutOfGeometry_ += offSensor;
    return p;
}

template <Evt3Decoder::Mode M>
const uint8_t* Evt3Decoder::blockRunPortable(const uint8_t* p, const uint8_t* end)
{
    return blockRun<M, false>(p, end);
}

#if ORVANE_EVT3_X86
// The same code built for AVX2 CPUs, so that its bit scans are single instructions.
template <Evt3Decoder::Mode M>
ORVANE_TARGET_AVX2 const uint8_t* Evt3Decoder::blockRunAvx2(const uint8_t* p, const uint8_t* end)
{
    return blockRun<M, true>(p, end);
}
#else
template <Evt3Decoder::Mode M>
const uint8_t* Evt3Decoder::blockRunAvx2(const uint8_t* p, const uint8_t* end)
{
    return blockRun<M, false>(p, end);
}
#endif

#if ORVANE_EVT3_X86
namespace {

// Lane lists for packing the kept lanes of 8 together, one entry per 8-bit lane mask: the lanes of
// the set bits, in the slot order the event builders below store them from, so that their
// in-lane unpacks come out as consecutive events.
struct PackTables {
    uint8_t singles[256][8];  // slot s holds event 0, 2, 4, 6, 1, 3, 5, 7 (dword lanes)
    uint8_t vectors[256][8];  // byte k holds event 0, 2, 1, 3, 4, 6, 5, 7 (qword lanes, 4 at a time)
};

constexpr PackTables makePackTables()
{
    PackTables t{};
    constexpr uint8_t singleOrder[8] = {0, 2, 4, 6, 1, 3, 5, 7};
    constexpr uint8_t vectorOrder[8] = {0, 2, 1, 3, 4, 6, 5, 7};
    for (uint32_t m = 0; m < 256; ++m) {
        uint8_t lanes[8] = {};
        uint32_t k = 0;
        for (uint8_t i = 0; i < 8; ++i) {
            if ((m >> i) & 1) lanes[k++] = i;
        }
        for (uint32_t s = 0; s < 8; ++s) {
            t.singles[m][s] = lanes[singleOrder[s]];
            t.vectors[m][s] = lanes[vectorOrder[s]];
        }
    }
    return t;
}

alignas(64) constexpr PackTables kPack = makePackTables();

// Lanes 0..15 of a 32-lane slide: a load at kSlide + 32 - n sets lanes below n, one at kSlide + 16 - f
// sets lanes from f on.
alignas(32) constexpr int16_t kSlide[48] = {0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
                                            -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                            0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};

ORVANE_TARGET_AVX2 inline __m256i slideMask(const int16_t* at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// Lane i of the result is max(x[0..i]) over the 16 16-bit lanes.
ORVANE_TARGET_AVX2 inline __m256i prefixMaxAvx2(__m256i x)
{
    x = _mm256_max_epu16(x, _mm256_slli_si256(x, 2));
    x = _mm256_max_epu16(x, _mm256_slli_si256(x, 4));
    x = _mm256_max_epu16(x, _mm256_slli_si256(x, 8));
    const __m256i last = _mm256_shuffle_epi8(x, _mm256_set1_epi16(0x0F0E));  // lane 7 of each half
    return _mm256_max_epu16(x, _mm256_permute2x128_si256(last, last, 0x08));  // low half's into the high
}

// Writes the kept lanes of 8 (mask m) as events from `at` on: dwords of xy (x | y << 16) and of
// tp (time low | polarity << 16). Always writes 8 events: the count decides no branch (real data keeps
// 3 to 5 of 16 words, so a branch on more than 4 would often go wrong).
ORVANE_TARGET_AVX2 inline void storeSingles(Event2D* at, __m256i xy, __m256i tp, uint32_t m, __m256i highBase)
{
    const __m256i idx = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(kPack.singles[m])));
    const __m256i a = _mm256_permutevar8x32_epi32(xy, idx);
    const __m256i b = _mm256_permutevar8x32_epi32(tp, idx);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i polarity = _mm256_srli_epi32(b, 16);
    const __m256i low = _mm256_blend_epi16(b, zero, 0xAA);
    const __m256i q = _mm256_unpacklo_epi32(a, polarity);
    const __m256i t = _mm256_add_epi64(_mm256_unpacklo_epi32(low, zero), highBase);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), _mm256_unpacklo_epi64(q, t));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + 2), _mm256_unpackhi_epi64(q, t));
    const __m256i q2 = _mm256_unpackhi_epi32(a, polarity);
    const __m256i t2 = _mm256_add_epi64(_mm256_unpackhi_epi32(low, zero), highBase);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + 4), _mm256_unpacklo_epi64(q2, t2));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + 6), _mm256_unpackhi_epi64(q2, t2));
}

// Writes the events of up to 8 vector bits (m) at x = first's x + lane: always 8 events.
ORVANE_TARGET_AVX2 inline void storeVectorBits(Event2D* at, __m256i first, __m256i time, uint32_t m)
{
    const __m128i lanes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kPack.vectors[m]));
    const __m256i a = _mm256_add_epi64(_mm256_cvtepu8_epi64(lanes), first);
    const __m256i b = _mm256_add_epi64(_mm256_cvtepu8_epi64(_mm_srli_si128(lanes, 4)), first);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), _mm256_unpacklo_epi64(a, time));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + 2), _mm256_unpackhi_epi64(a, time));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + 4), _mm256_unpacklo_epi64(b, time));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + 6), _mm256_unpackhi_epi64(b, time));
}

// The ADDR_X lanes of 16 words v (isX), at most one in each dword (words 2j, 2j + 1), with their rows
// and times' low bits per lane: those on the sensor are packed and written from `at` as one group of
// eight dword lanes, from the odd word where that is the ADDR_X. Returns the events kept.
ORVANE_TARGET_AVX2 inline uint32_t storeSinglesOfPairs(Event2D* at, __m256i v, __m256i isX, __m256i rows, __m256i lows,
                                                       __m256i width, __m256i height, __m256i highBase)
{
    const __m256i x = _mm256_and_si256(v, _mm256_set1_epi16(0x7FF));
    const __m256i onSensor =
        _mm256_and_si256(isX, _mm256_and_si256(_mm256_cmpgt_epi16(width, x), _mm256_cmpgt_epi16(height, rows)));
    const __m256i pol = _mm256_srli_epi16(_mm256_slli_epi16(v, 4), 15);
    const __m256i odd = _mm256_srai_epi32(isX, 16);
    const __m256i xy = _mm256_blendv_epi8(_mm256_blend_epi16(x, _mm256_slli_epi32(rows, 16), 0xAA),
                                          _mm256_blend_epi16(_mm256_srli_epi32(x, 16), rows, 0xAA), odd);
    const __m256i tp = _mm256_blendv_epi8(_mm256_blend_epi16(lows, _mm256_slli_epi32(pol, 16), 0xAA),
                                          _mm256_blend_epi16(_mm256_srli_epi32(lows, 16), pol, 0xAA), odd);
    const uint32_t g = static_cast<uint32_t>(
        _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(onSensor, _mm256_slli_epi32(onSensor, 16)))));
    storeSingles(at, xy, tp, g, highBase);
    return static_cast<uint32_t>(std::popcount(g));
}

// storeSinglesOfPairs where every ADDR_X comes right after its ADDR_Y: its dword holds the pair (ADDR_Y,
// ADDR_X) either in v (ADDR_X odd) or in `before` (v one word later, ADDR_X even; the row carried in
// takes the place of the word before the first), so x and y come out of one blend and a swap.
// `limits` holds width | height << 16 per dword.
ORVANE_TARGET_AVX2 inline uint32_t storeSinglesAfterRows(Event2D* at, __m256i v, __m256i before, __m256i isX, __m256i lows,
                                                         __m256i limits, __m256i highBase)
{
    const __m256i odd = _mm256_srai_epi32(isX, 16);
    const __m256i pair = _mm256_blendv_epi8(before, v, odd);  // y | x << 16, with their flag bits
    const __m256i swap = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13, 2, 3, 0, 1, 6, 7, 4, 5, 10,
                                          11, 8, 9, 14, 15, 12, 13);
    const __m256i xy = _mm256_and_si256(_mm256_shuffle_epi8(pair, swap), _mm256_set1_epi32(0x07FF07FF));
    const __m256i low = _mm256_and_si256(_mm256_blendv_epi8(lows, _mm256_srli_epi32(lows, 16), odd), _mm256_set1_epi32(0xFFFF));
    const __m256i tp = _mm256_or_si256(low, _mm256_and_si256(_mm256_srli_epi32(pair, 11), _mm256_set1_epi32(0x10000)));
    // On the sensor: both halves below their limit (bit 31 after the and) and an ADDR_X in the dword.
    const __m256i below = _mm256_cmpgt_epi16(limits, xy);
    const __m256i kept = _mm256_and_si256(_mm256_and_si256(below, _mm256_slli_epi32(below, 16)), _mm256_or_si256(isX, _mm256_slli_epi32(isX, 16)));
    const uint32_t g = static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(kept)));
    storeSingles(at, xy, tp, g, highBase);
    return static_cast<uint32_t>(std::popcount(g));
}

}  // namespace

// Decoding into events with AVX2, no branch per event: 32 words a step where they are in the order
// real sensors write (below), else 16 words a step. A 16-word step stops at the first word it does not
// take (a vector word, a trigger, a TIME_HIGH other than the current one); vector runs are taken right
// here, the rest word by word by the caller. Each lane finds its row and its time's low bits in the
// words one or two lanes back where the order allows, else as a prefix maximum over keyed lanes (the
// latest ADDR_Y or TIME_LOW at or before it, else those carried in); the ADDR_X lanes on the sensor are
// packed together and widened into Event2D. The carried row and time follow in scalar registers, so
// steps do not wait on each other's vectors. Needs s_.ready(); fewer than 16 words at the end go
// through the block path.
ORVANE_TARGET_AVX2 const uint8_t* Evt3Decoder::emitRunAvx2(const uint8_t* p, const uint8_t* const end)
{
    const uint64_t highBase = s_.highBase();
    const uint32_t width = width_, height = height_;
    uint32_t row = s_.row;
    uint32_t low = static_cast<uint32_t>(s_.time - highBase);
    uint32_t base = s_.vectorBase, polarity = s_.vectorPolarity;
    bool baseKnown = s_.baseKnown;
    Event2D* out = out_;
    uint64_t offSensor2 = 0;  // twice the ADDR_X dropped off the sensor (byte masks count each lane twice)

    const __m256i zero = _mm256_setzero_si256();
    const __m256i highWord = _mm256_set1_epi16(static_cast<short>((TIME_HIGH << 12) | s_.high));
    const __m256i stopTypes = _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 0, 0, -1, -1, -1, 0, 0, -1, 0, -1, 0, 0, 0, 0, 0));
    const __m256i mask11 = _mm256_set1_epi16(0x7FF), mask12 = _mm256_set1_epi16(0xFFF), one = _mm256_set1_epi16(1);
    const __m256i typeL = _mm256_set1_epi16(TIME_LOW), typeX = _mm256_set1_epi16(ADDR_X);
    // Row lanes carry 1 + their lane in bits 15..11, so the maximum is the latest ADDR_Y and any beats
    // the row carried in (key 0); TIME_LOW lanes carry their lane in bits 15..12.
    const __m256i rowKey = _mm256_setr_epi16(1 << 11, 2 << 11, 3 << 11, 4 << 11, 5 << 11, 6 << 11, 7 << 11, 8 << 11,
                                             9 << 11, 10 << 11, 11 << 11, 12 << 11, 13 << 11, 14 << 11, 15 << 11,
                                             static_cast<short>(0x8000));
    const __m256i lowKey = _mm256_setr_epi16(0, 1 << 12, 2 << 12, 3 << 12, 4 << 12, 5 << 12, 6 << 12, 7 << 12,
                                             static_cast<short>(0x8000), static_cast<short>(0x9000),
                                             static_cast<short>(0xA000), static_cast<short>(0xB000),
                                             static_cast<short>(0xC000), static_cast<short>(0xD000),
                                             static_cast<short>(0xE000), static_cast<short>(0xF000));
    const __m256i widthV = _mm256_set1_epi16(static_cast<short>(sizeLimit(width)));
    const __m256i heightV = _mm256_set1_epi16(static_cast<short>(sizeLimit(height)));
    const __m256i highBaseV = _mm256_set1_epi64x(static_cast<long long>(highBase));
    const __m256i limits = _mm256_set1_epi32(static_cast<int>(sizeLimit(width) | (sizeLimit(height) << 16)));
    bool stopped = false;

    while (end - p >= 32) {
        if (out >= outMark_) {
            out_ = out;
            flushOut();
            out = out_;
        }
        // The words a few steps ahead: a prefetch hint never faults, so it may point past the end.
        _mm_prefetch(reinterpret_cast<const char*>(p) + kPrefetchBytes, _MM_HINT_T0);
        if (end - p >= 64) {
            // 32 words at once when they hold nothing but what real sensors write most: no stop, every
            // ADDR_X right after its ADDR_Y, its TIME_LOW right before that or none in the step, no two
            // ADDR_X in one dword. Masks of one bit per word; the second half reads its first rows and
            // times from the first half's last words.
            const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
            const __m256i t0 = _mm256_srli_epi16(v0, 12), t1 = _mm256_srli_epi16(v1, 12);
            const __m256i types = _mm256_permute4x64_epi64(_mm256_packus_epi16(t0, t1), 0xD8);
            const __m256i sameHigh = _mm256_permute4x64_epi64(
                _mm256_packs_epi16(_mm256_cmpeq_epi16(v0, highWord), _mm256_cmpeq_epi16(v1, highWord)), 0xD8);
            const uint32_t stop32 =
                static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_andnot_si256(sameHigh, _mm256_shuffle_epi8(stopTypes, types))));
            const uint32_t x = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(types, _mm256_set1_epi8(ADDR_X))));
            const uint32_t y = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(types, zero)));
            const uint32_t l = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(types, _mm256_set1_epi8(TIME_LOW))));
            const uint32_t other = stop32 | (x & ~(y << 1) & ~1u) | (x & (x >> 1) & 0x55555555u);
            if (other == 0) {
                const __m256i before0 = _mm256_permute2x128_si256(v0, v0, 0x08);  // [0 | v0 low half]
                const __m256i before1 = _mm256_permute2x128_si256(v1, v0, 0x03);  // [v0 high half | v1 low half]
                // Each lane's word before it, the row carried in before the first.
                const __m256i prev0 = _mm256_or_si256(_mm256_alignr_epi8(v0, before0, 14),
                                                      _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(row))));
                const __m256i prev1 = _mm256_alignr_epi8(v1, before1, 14);
                __m256i lows0, lows1;
                if (l && (x & ~(l << 2) & ~3u)) {  // (ADDR_Y is right before each ADDR_X here)
                    // Some ADDR_X has its TIME_LOW further back: the latest one at or before each lane,
                    // by a prefix maximum in each half; lanes before a half's first TIME_LOW take the
                    // time carried into it (for the second half, the first half's last).
                    const __m256i typeLow = _mm256_set1_epi16(TIME_LOW);
                    lows0 = prefixMaxAvx2(_mm256_and_si256(_mm256_cmpeq_epi16(t0, typeLow),
                                                           _mm256_or_si256(_mm256_and_si256(v0, mask12), lowKey)));
                    lows0 = _mm256_blendv_epi8(_mm256_set1_epi16(static_cast<short>(low)), _mm256_and_si256(lows0, mask12),
                                               slideMask(kSlide + 16 - std::min(_tzcnt_u32(l), 16u)));
                    const __m256i carried = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(lows0, _mm256_set1_epi32(7)),
                                                                _mm256_set1_epi16(0x0302));
                    lows1 = prefixMaxAvx2(_mm256_and_si256(_mm256_cmpeq_epi16(t1, typeLow),
                                                           _mm256_or_si256(_mm256_and_si256(v1, mask12), lowKey)));
                    lows1 = _mm256_blendv_epi8(carried, _mm256_and_si256(lows1, mask12),
                                               slideMask(kSlide + 16 - std::min(_tzcnt_u32(l >> 16), 16u)));
                } else if (l) {
                    lows0 = _mm256_and_si256(_mm256_or_si256(_mm256_alignr_epi8(v0, before0, 12),
                                                             _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(low * 0x10001)))),
                                             mask12);
                    lows1 = _mm256_and_si256(_mm256_alignr_epi8(v1, before1, 12), mask12);
                } else {
                    lows0 = lows1 = _mm256_set1_epi16(static_cast<short>(low));
                }
                uint32_t kept = storeSinglesAfterRows(out, v0, prev0, _mm256_cmpeq_epi16(t0, typeX), lows0, limits, highBaseV);
                kept += storeSinglesAfterRows(out + kept, v1, prev1, _mm256_cmpeq_epi16(t1, typeX), lows1, limits, highBaseV);
                out += kept;
                offSensor2 += 2 * (static_cast<uint64_t>(std::popcount(x)) - kept);
                const uint32_t lastY = loadWord(p + 2 * (31 - __builtin_clz(y | 1))) & 0x7FF;
                const uint32_t lastL = loadWord(p + 2 * (31 - __builtin_clz(l | 1))) & 0xFFF;
                row = y ? lastY : row;
                low = l ? lastL : low;
                p += 64;
                continue;
            }
        }
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i type = _mm256_srli_epi16(v, 12);
        // Bytes of the stop types in the low byte of each lane (the high byte looks up type 0).
        const uint32_t stopBits = static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_andnot_si256(_mm256_cmpeq_epi16(v, highWord), _mm256_shuffle_epi8(stopTypes, type))));
        const uint32_t n = _tzcnt_u32(stopBits) >> 1;  // 16 when nothing stops
        if (n == 0) {
            const uint32_t first = loadWord(p) >> 12;
            if (first != VECT_BASE_X && first != VECT_12 && first != VECT_8) {
                stopped = true;
                break;
            }
            // A run of vector words: same row, same time.
            const uint64_t time = highBase | low;
            const __m256i timeV = _mm256_set1_epi64x(static_cast<long long>(time));
            do {
                const uint32_t w = loadWord(p);
                const uint32_t t = w >> 12;
                if (t == VECT_BASE_X) {
                    base = w & 0x7FF;
                    polarity = (w >> 11) & 1;
                    baseKnown = true;
                } else if (t == VECT_12 || t == VECT_8) {
                    if (out >= outMark_) {
                        out_ = out;
                        flushOut();
                        out = out_;
                    }
                    const uint32_t size = t == VECT_12 ? 12 : 8;
                    if (baseKnown && row < height && base + size <= width) {
                        const __m256i firstV = _mm256_set1_epi64x(
                            static_cast<long long>(base | (uint64_t{row} << 16) | (uint64_t{polarity} << 32)));
                        const uint32_t bits = w & (size == 12 ? 0xFFF : 0xFF);
                        storeVectorBits(out, firstV, timeV, bits & 0xFF);
                        out += std::popcount(bits & 0xFF);
                        if (size == 12) {
                            storeVectorBits(out, _mm256_add_epi64(firstV, _mm256_set1_epi64x(8)), timeV, bits >> 8);
                            out += std::popcount(bits >> 8);
                        }
                        base += size;
                    } else {
                        // Unknown base, a row off the sensor or the right edge: word by word.
                        slowVectorWord<Mode::Emit>(w, row, time, base, polarity, baseKnown, out);
                    }
                } else {
                    break;
                }
                p += 2;
            } while (p != end);
            continue;
        }
        __m256i isY = _mm256_cmpeq_epi16(type, zero);
        __m256i isL = _mm256_cmpeq_epi16(type, typeL);
        __m256i isX = _mm256_cmpeq_epi16(type, typeX);
        if (stopBits) {  // only the lanes before the stop
            const __m256i active = slideMask(kSlide + 32 - n);
            isY = _mm256_and_si256(isY, active);
            isL = _mm256_and_si256(isL, active);
            isX = _mm256_and_si256(isX, active);
        }
        const uint32_t yBits = static_cast<uint32_t>(_mm256_movemask_epi8(isY));
        const uint32_t lBits = static_cast<uint32_t>(_mm256_movemask_epi8(isL));
        const uint32_t xBits = static_cast<uint32_t>(_mm256_movemask_epi8(isX));
        if (xBits) {
            // Rows and times are needed at the ADDR_X lanes only. Real sensors write ADDR_Y right before
            // ADDR_X, and TIME_LOW right before that or not in the step: then the words one and two lanes
            // back (or those carried in) are theirs, and no prefix is needed.
            const __m256i before = _mm256_permute2x128_si256(v, v, 0x08);  // [0 | low half]
            __m256i rows, lows;
            if ((xBits & ~(yBits << 2) & ~3u) == 0) {
                rows = _mm256_and_si256(_mm256_or_si256(_mm256_alignr_epi8(v, before, 14), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(row)))), mask11);
            } else {
                rows = prefixMaxAvx2(_mm256_and_si256(isY, _mm256_or_si256(_mm256_and_si256(v, mask11), rowKey)));
                rows = _mm256_and_si256(_mm256_max_epu16(rows, _mm256_set1_epi16(static_cast<short>(row))), mask11);
            }
            if (lBits == 0) {
                lows = _mm256_set1_epi16(static_cast<short>(low));
            } else if (((xBits & ~(lBits << 4) & ~0xFu) | (xBits & (lBits << 2))) == 0) {
                lows = _mm256_and_si256(_mm256_or_si256(_mm256_alignr_epi8(v, before, 12), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(low * 0x10001)))), mask12);
            } else {
                lows = prefixMaxAvx2(_mm256_and_si256(isL, _mm256_or_si256(_mm256_and_si256(v, mask12), lowKey)));
                // Lanes before the first TIME_LOW take the time carried in.
                lows = _mm256_blendv_epi8(_mm256_set1_epi16(static_cast<short>(low)), _mm256_and_si256(lows, mask12),
                                          slideMask(kSlide + 16 - (_tzcnt_u32(lBits) >> 1)));
            }
            const __m256i onSensor = _mm256_and_si256(
                isX, _mm256_and_si256(_mm256_cmpgt_epi16(widthV, _mm256_and_si256(v, mask11)), _mm256_cmpgt_epi16(heightV, rows)));
            const uint32_t onBits = static_cast<uint32_t>(_mm256_movemask_epi8(onSensor));
            offSensor2 += static_cast<uint64_t>(std::popcount(xBits ^ onBits));
            if ((xBits & (xBits >> 2) & 0x33333333u) == 0) {
                // No two ADDR_X share a dword (words 2j and 2j + 1), as ADDR_Y comes between them in real
                // streams: each dword lane makes at most one event, from its odd word where that is
                // the ADDR_X, so the 16 lanes are packed and widened as 8.
                out += storeSinglesOfPairs(out, v, isX, rows, lows, widthV, heightV, highBaseV);
            } else {
                // Lanes 0..7 and 8..15 as dwords, each group in word order: quarters 0, 2, 1, 3 first.
                const uint32_t groups = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(onSensor, zero)));
                const __m256i vq = _mm256_permute4x64_epi64(v, 0xD8);
                const __m256i rq = _mm256_permute4x64_epi64(rows, 0xD8);
                const __m256i lq = _mm256_permute4x64_epi64(lows, 0xD8);
                const __m256i xq = _mm256_and_si256(vq, mask11);
                const __m256i pq = _mm256_and_si256(_mm256_srli_epi16(vq, 11), one);
                const uint32_t g0 = groups & 0xFF, g1 = (groups >> 16) & 0xFF;
                storeSingles(out, _mm256_unpacklo_epi16(xq, rq), _mm256_unpacklo_epi16(lq, pq), g0, highBaseV);
                out += std::popcount(g0);
                storeSingles(out, _mm256_unpackhi_epi16(xq, rq), _mm256_unpackhi_epi16(lq, pq), g1, highBaseV);
                out += std::popcount(g1);
            }
        }
        // The row and time carried out: the last ADDR_Y and TIME_LOW of the step, if any.
        // Each lane has both bits of its byte pair in the masks: the highest is 2i + 1 for lane i (| 2
        // keeps an empty mask at lane 0).
        const uint32_t lastY = loadWord(p + 30 - __builtin_clz(yBits | 2)) & 0x7FF;
        const uint32_t lastL = loadWord(p + 30 - __builtin_clz(lBits | 2)) & 0xFFF;
        row = yBits ? lastY : row;
        low = lBits ? lastL : low;
        // A full step advances without waiting for the classification: the next load does not depend
        // on this one's words.
        if (__builtin_expect(stopBits == 0, 1)) {
            p += 32;
        } else {
            p += 2 * n;
        }
    }
    keepRunState(row, highBase | low, base, polarity, baseKnown, out);
    droppedOutOfGeometry_ += offSensor2 / 2;
    if (stopped || p == end) return p;
    return blockRunAvx2<Mode::Emit>(p, end);
}
#else
const uint8_t* Evt3Decoder::emitRunAvx2(const uint8_t* p, const uint8_t* end)
{
    return blockRun<Mode::Emit, false>(p, end);
}
#endif

// Counting up to a time lives in its own file and takes every other word from here.
template void Evt3Decoder::slowWord<Evt3Decoder::Mode::Count>(uint32_t);
template void Evt3Decoder::decodeWords<Evt3Decoder::Mode::Count>(const uint8_t*, const uint8_t*);

}  // namespace orvane
