// The three encoding policies of the reader. EVT 3.0 keeps a row and a vector base besides the time,
// so resuming and cutting look back for the words that set them; EVT 2.0 and 2.1 carry everything
// but the time in each event word, so the time alone is their state.
#include <algorithm>
#include <array>
#include <cstring>

#include "RawFormat.h"
#include "RawHeader.h"
#include "RawFileReaderInternal.h"
#include "orvane/hal/Decoder.h"
#include "orvane/hal/EvtWords.h"

namespace orvane {

namespace {

// ---- EVT 3.0 -------------------------------------------------------------------------------------

// How far back from a bookmark the row is looked for; sensors repeat ADDR_Y far more often.
constexpr uint64_t kRowSearchBytes = 1 << 20;
constexpr uint64_t kRowSearchBlock = 4096;
constexpr uint64_t kBackScanBlock = 65536;

uint16_t evt3Word(uint32_t type, uint32_t payload)
{
    return static_cast<uint16_t>((type << 12) | (payload & 0xFFF));
}

void putWord16(std::vector<uint8_t>& out, size_t at, uint16_t w)
{
    out[at] = static_cast<uint8_t>(w & 0xFF);
    out[at + 1] = static_cast<uint8_t>(w >> 8);
}

// Whether the words copied so far use the decoder's row or vector base before setting it.
struct StateUse {
    bool rowDecided = false, rowNeeded = false;
    bool baseDecided = false, baseNeeded = false;

    bool decided() const { return rowDecided && baseDecided; }
    // `p` holds whole words (little-endian; the type is the top nibble of the second byte).
    void scan(const uint8_t* p, size_t n)
    {
        for (size_t at = 0; at < n && !decided();) {
            const size_t block_end = std::min(n, at + kScanBlock);
            if (rowDecided && !hasVectorWord(p + at, block_end - at)) {
                at = block_end;
                continue;
            }
            scanWords(p + at, block_end - at);
            at = block_end;
        }
    }

private:
    static constexpr size_t kScanBlock = 4096;

    // Once the row is decided only VECT_BASE_X, VECT_12 and VECT_8 (types 3 to 5) matter; most
    // streams have none, so whole blocks are passed over with a test the compiler vectorises.
    static bool hasVectorWord(const uint8_t* p, size_t n)
    {
        static_assert(evt3::VECT_BASE_X == 3 && evt3::VECT_12 == 4 && evt3::VECT_8 == 5);
        unsigned any = 0;
        for (size_t i = 1; i < n; i += 2) any |= static_cast<uint8_t>(p[i] - 0x30) < 0x30;
        return any != 0;
    }

    void scanWords(const uint8_t* p, size_t n)
    {
        for (size_t i = 1; i < n && !decided(); i += 2) {
            const uint32_t type = p[i] >> 4;
            if (type == evt3::ADDR_Y) {
                rowDecided = true;
            } else if (type == evt3::VECT_BASE_X) {
                baseDecided = true;
            } else if (type == evt3::ADDR_X || type == evt3::VECT_12 || type == evt3::VECT_8) {
                if (!rowDecided) rowDecided = rowNeeded = true;
                if (type != evt3::ADDR_X && !baseDecided) baseDecided = baseNeeded = true;
            }
        }
    }
};

// TIME_HIGH and TIME_LOW of the time at the cut's start, then the last ADDR_Y before it and a
// VECT_BASE_X at the vector base there, each only when the copied words use it before setting it
// themselves (otherwise a repeat of the TIME_HIGH, which changes nothing).
class Evt3CutPrefix final : public CutPrefix {
public:
    explicit Evt3CutPrefix(uint64_t start_time)
        : time_high_(evt3Word(evt3::TIME_HIGH, static_cast<uint32_t>(start_time >> 12))),
          time_low_(evt3Word(evt3::TIME_LOW, static_cast<uint32_t>(start_time)))
    {
    }
    size_t size() const override { return 8; }
    void see(const uint8_t* p, size_t n) override
    {
        if (!use_.decided()) use_.scan(p, n);
    }
    bool finish(const ReadBlock& read, uint64_t start_pos, uint64_t data_start, std::vector<uint8_t>& out) override
    {
        out.assign(8, 0);
        putWord16(out, 0, time_high_);
        putWord16(out, 2, time_low_);
        putWord16(out, 4, time_high_);
        putWord16(out, 6, time_high_);
        // The row and vector base a straight decode has at start_pos: the last ADDR_Y before it, and
        // the last VECT_BASE_X before it moved on by the vector words in between.
        constexpr uint64_t unit = 2;
        bool row_found = !use_.rowNeeded, base_found = !use_.baseNeeded;
        uint64_t base_advance = 0;
        for (uint64_t block_end = start_pos; block_end > data_start && !(row_found && base_found);) {
            const uint64_t block_begin = block_end - std::min(block_end - data_start, kBackScanBlock);
            const std::vector<uint8_t>* block = read(block_begin, block_end);
            if (!block) return false;
            const std::vector<uint8_t>& b = *block;
            for (uint64_t off = b.size(); off >= unit && !(row_found && base_found); off -= unit) {
                const uint16_t w = static_cast<uint16_t>(b[off - unit] | (b[off - unit + 1] << 8));
                const uint32_t type = w >> 12;
                if (type == evt3::ADDR_Y && !row_found) {
                    putWord16(out, 4, w);
                    row_found = true;
                } else if (!base_found) {
                    if (type == evt3::VECT_12) base_advance += 12;
                    if (type == evt3::VECT_8) base_advance += 8;
                    if (type == evt3::VECT_BASE_X) {
                        // Past 2047 every vector event lies off the sensor, as it does at 2047.
                        const uint64_t base = std::min<uint64_t>((w & 0x7FF) + base_advance, 0x7FF);
                        putWord16(out, 6, evt3Word(evt3::VECT_BASE_X, static_cast<uint32_t>(base) | (w & 0x800)));
                        base_found = true;
                    }
                }
            }
            block_end = block_begin;
        }
        return true;
    }

private:
    const uint16_t time_high_, time_low_;
    StateUse use_;
};

class Evt3Format final : public RawFormat {
public:
    RawEncoding encoding() const override { return RawEncoding::Evt3; }
    const char* name() const override { return "EVT 3.0"; }
    const char* evtValue() const override { return "3.0"; }
    const char* formatName() const override { return "EVT3"; }
    uint8_t unitSize() const override { return 2; }
    uint64_t eventLead() const override { return 0; }
    uint64_t eventLag() const override { return evt3::kTimeLowSpan; }
    bool makesEvents(const uint8_t* p) const override
    {
        const uint32_t type = p[1] >> 4;
        return type == evt3::ADDR_X || type == evt3::VECT_12 || type == evt3::VECT_8;
    }
    uint64_t stateScanStart(const ReadBlock& read, uint64_t pos, uint64_t data_start) const override
    {
        // The last ADDR_Y before the bookmark (and any VECT_BASE_X met on the way back): words are
        // aligned on data_start and tell their type by their top nibble.
        constexpr uint64_t unit = 2;
        const uint64_t aligned_end = data_start + (pos - data_start) / unit * unit;
        const uint64_t limit = aligned_end - std::min(aligned_end - data_start, kRowSearchBytes);
        uint64_t found = aligned_end;  // earliest word position the scan has to cover
        bool row_found = false;
        for (uint64_t block_end = aligned_end; block_end > limit && !row_found;) {
            const uint64_t block_begin =
                std::max(limit, block_end - std::min(block_end - limit, kRowSearchBlock));
            const std::vector<uint8_t>* block = read(block_begin, block_end);
            if (!block) return pos;
            const std::vector<uint8_t>& b = *block;
            for (uint64_t off = b.size(); off >= unit; off -= unit) {
                const uint32_t type = b[off - unit + 1] >> 4;
                if (type == evt3::VECT_BASE_X) found = block_begin + off - unit;
                if (type == evt3::ADDR_Y) {
                    found = std::min(found, block_begin + off - unit);
                    row_found = true;
                }
            }
            block_end = block_begin;
        }
        return row_found ? found : pos;
    }
    std::unique_ptr<CutPrefix> cutPrefix(uint64_t start_time) const override
    {
        return std::make_unique<Evt3CutPrefix>(start_time);
    }
};

// ---- EVT 2.0 and 2.1 -----------------------------------------------------------------------------

// One TIME_HIGH word of the time at the cut's start: every copied event word then decodes to its
// source time (modulo the 34-bit wrap).
class Evt2CutPrefix final : public CutPrefix {
public:
    Evt2CutPrefix(uint64_t start_time, size_t unit) : unit_(unit)
    {
        const uint32_t high = (evt2::TIME_HIGH << 28) |
                              static_cast<uint32_t>((start_time >> evt2::kLowBits) & ((1u << evt2::kHighBits) - 1));
        words_.assign(unit, 0);
        std::memcpy(words_.data(), &high, 4);  // little-endian hosts; EVT 2.1's mask half stays 0
    }
    size_t size() const override { return unit_; }
    void see(const uint8_t*, size_t) override {}
    bool finish(const ReadBlock&, uint64_t, uint64_t, std::vector<uint8_t>& out) override
    {
        out = words_;
        return true;
    }

private:
    size_t unit_;
    std::vector<uint8_t> words_;
};

template <RawEncoding E>
class Evt2Format final : public RawFormat {
public:
    static constexpr bool kWide = E == RawEncoding::Evt21;
    RawEncoding encoding() const override { return E; }
    const char* name() const override { return kWide ? "EVT 2.1" : "EVT 2.0"; }
    const char* evtValue() const override { return kWide ? "2.1" : "2.0"; }
    const char* formatName() const override { return kWide ? "EVT21" : "EVT2"; }
    uint8_t unitSize() const override { return kWide ? 8 : 4; }
    uint64_t eventLead() const override { return evt2::kLowSpan; }
    uint64_t eventLag() const override { return 0; }
    bool makesEvents(const uint8_t* p) const override { return (p[3] >> 4) <= evt2::CD_ON; }
    uint64_t stateScanStart(const ReadBlock&, uint64_t pos, uint64_t) const override { return pos; }
    std::unique_ptr<CutPrefix> cutPrefix(uint64_t start_time) const override
    {
        return std::make_unique<Evt2CutPrefix>(start_time, unitSize());
    }
};

// What the words of a sample look like read in one encoding.
struct Reading {
    size_t words = 0;
    size_t unused = 0;      // words of a type the encoding does not use
    size_t highs = 0;       // TIME_HIGH words after the first
    size_t slowHighs = 0;   // ... that stay at or climb a little above the one before
    size_t events = 0;      // (EVT 2.1) event words
    size_t aligned = 0;     // ... whose x is a multiple of 32

    double unusedShare() const { return words == 0 ? 0.0 : static_cast<double>(unused) / static_cast<double>(words); }
    // Sensors send TIME_HIGH words that climb slowly; random data does not.
    bool cadenceOk() const { return highs < 4 || slowHighs * 2 >= highs; }
};

uint32_t load32le(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

Reading readEvt3(const uint8_t* p, size_t n)
{
    Reading r;
    bool seen = false;
    uint32_t prev = 0;
    for (size_t i = 0; i + 2 <= n; i += 2, ++r.words) {
        const uint32_t w = uint32_t{p[i]} | uint32_t{p[i + 1]} << 8;
        const uint32_t type = w >> 12;
        // Types 0x1, 0x9, 0xB, 0xC and 0xD are reserved.
        r.unused += type == 0x1 || type == 0x9 || type == 0xB || type == 0xC || type == 0xD;
        if (type != evt3::TIME_HIGH) continue;
        const uint32_t h = w & 0xFFF;
        if (seen) {
            ++r.highs;
            r.slowHighs += ((h - prev) & 0xFFF) <= 16;
        }
        seen = true;
        prev = h;
    }
    return r;
}

// EVT 2.0 (`unit` 4) or EVT 2.1 (`unit` 8: the type in the first half of each word).
Reading readEvt2(const uint8_t* p, size_t n, size_t unit)
{
    Reading r;
    bool seen = false;
    uint32_t prev = 0;
    for (size_t i = 0; i + unit <= n; i += unit, ++r.words) {
        const uint32_t w = load32le(p + i);
        const uint32_t type = w >> 28;
        const bool used = type <= evt2::CD_ON || type == evt2::TIME_HIGH || type == evt2::EXT_TRIGGER ||
                          type == evt2::OTHERS || type == evt2::CONTINUED;
        r.unused += !used;
        if (type <= evt2::CD_ON) {
            ++r.events;
            r.aligned += ((w >> 11) & 31) == 0;
        }
        if (type != evt2::TIME_HIGH) continue;
        const uint32_t h = w & ((1u << evt2::kHighBits) - 1);
        if (seen) {
            ++r.highs;
            r.slowHighs += ((h - prev) & ((1u << evt2::kHighBits) - 1)) <= (1u << 16);
        }
        seen = true;
        prev = h;
    }
    return r;
}

// Words of types an encoding does not use: more than this share and the data is not in it.
constexpr double kMaxUnusedShare = 0.10;

}  // namespace

const RawFormat* RawFormat::sniff(const uint8_t* data, size_t size, unsigned& unused_percent)
{
    size = std::min(size, kSniffBytes);
    const Reading r3 = readEvt3(data, size), r2 = readEvt2(data, size, 4), r21 = readEvt2(data, size, 8);
    auto fits = [](const Reading& r) { return r.unusedShare() <= kMaxUnusedShare && r.cadenceOk(); };
    unused_percent = static_cast<unsigned>(
        std::min({r3.unusedShare(), r2.unusedShare(), r21.unusedShare()}) * 100.0 + 0.5);
    // Zeros and the like fit every encoding: EVT 3.0, as files without header always were.
    if (fits(r3) && r3.unusedShare() <= r2.unusedShare()) return &evt3();
    // EVT 2.0 read as EVT 2.1 fits too (its odd words are taken for masks), but its x are not
    // multiples of 32; EVT 2.1 read as EVT 2.0 mostly fits where masks are sparse.
    if (fits(r21) && r21.events > 0 && r21.aligned * 10 >= r21.events * 9) return &evt21();
    if (fits(r2)) return &evt2();
    if (fits(r3)) return &evt3();
    return nullptr;
}

std::unique_ptr<Decoder> RawFormat::makeDecoder(uint16_t width, uint16_t height) const
{
    const std::string text = std::string(formatName()) + ";height=" + std::to_string(height) +
                             ";width=" + std::to_string(width);
    return DecoderFactory::createUniqueDecoder(RawEventStreamFormat(text));
}

std::string RawFormat::header(const std::string& date, unsigned width, unsigned height) const
{
    return rawFileHeader(date, width, height, evtValue(), formatName());
}

const RawFormat& RawFormat::evt3()
{
    static const Evt3Format f;
    return f;
}

const RawFormat& RawFormat::evt2()
{
    static const Evt2Format<RawEncoding::Evt2> f;
    return f;
}

const RawFormat& RawFormat::evt21()
{
    static const Evt2Format<RawEncoding::Evt21> f;
    return f;
}

const RawFormat& RawFormat::of(RawEncoding encoding)
{
    switch (encoding) {
    case RawEncoding::Evt2: return evt2();
    case RawEncoding::Evt21: return evt21();
    case RawEncoding::Evt3: break;
    }
    return evt3();
}

}  // namespace orvane
