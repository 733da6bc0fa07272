#include "orvane/driver/RunDeflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#ifdef ORVANE_WITH_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif

namespace orvane {

namespace {

constexpr int kMaxBits = 15;       // of a literal/length or distance code
constexpr int kMaxLengthBits = 7;  // of a code length code
constexpr int kEndOfBlock = 256;
constexpr size_t kMaxStored = 65535;  // bytes in one stored block

// Match lengths 3..258 as their symbol (257..285) and extra bits.
struct LengthCode {
    uint16_t symbol;
    uint8_t extraBits;
    uint8_t extra;
};

constexpr std::array<LengthCode, 259> makeLengthCodes()
{
    constexpr uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    constexpr uint8_t bits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::array<LengthCode, 259> codes{};
    for (int s = 0; s < 29; ++s) {
        for (int e = 0; e < (1 << bits[s]); ++e) {
            const int length = base[s] + e;
            // 258 has its own symbol (285); 284 stops at 257.
            if (length <= 258 && (length < 258 || s == 28))
                codes[static_cast<size_t>(length)] = {static_cast<uint16_t>(257 + s), bits[s],
                                                      static_cast<uint8_t>(e)};
        }
    }
    return codes;
}
constexpr std::array<LengthCode, 259> kLength = makeLengthCodes();

uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Walks a plane as literals and runs: a byte repeated four times or more is the byte once, then
// matches at distance 1 (3 to 258 bytes each) for the rest, and up to two literals to finish.
template <typename Literal, typename Match>
void parse(const uint8_t* p, size_t n, Literal&& literal, Match&& match)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    size_t i = 0;
    while (i < n) {
        if (i + 11 <= n) {
            // Eight literals at once when no run of four starts among them: byte k of x is 0
            // exactly where one starts at i + k.
            const uint64_t a = load64(p + i);
            const uint64_t x = (a ^ load64(p + i + 1)) | (a ^ load64(p + i + 2)) | (a ^ load64(p + i + 3));
            if (((x - kOnes) & ~x & kHighs) == 0) {
                for (size_t k = 0; k < 8; ++k) literal(p[i + k]);
                i += 8;
                continue;
            }
        }
        const uint8_t v = p[i];
        if (i + 4 > n || load32(p + i) != v * 0x01010101u) {
            literal(v);
            ++i;
            continue;
        }
        size_t r = 4;
        const uint64_t all = v * kOnes;
        while (i + r + 8 <= n && load64(p + i + r) == all) r += 8;
        while (i + r < n && p[i + r] == v) ++r;
        literal(v);
        size_t rest = r - 1;
        while (rest >= 3) {
            // Never leave 1 or 2 behind a 258: they would have to be literals.
            const size_t len = rest > 260 ? 258 : rest > 258 ? rest - 3 : rest;
            match(len);
            rest -= len;
        }
        for (; rest; --rest) literal(v);
        i += r;
    }
}

// Code lengths for `n` symbols from their frequencies, none longer than `maxBits` (a complete
// code whenever two symbols or more are used; a single one gets length 1).
void huffmanLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths)
{
    std::fill(lengths, lengths + n, 0);
    std::array<int, 288> symbols{};
    int m = 0;
    for (int s = 0; s < n; ++s) {
        if (freq[s]) symbols[static_cast<size_t>(m++)] = s;
    }
    if (m == 0) return;
    if (m == 1) {
        lengths[symbols[0]] = 1;
        return;
    }
    std::sort(symbols.begin(), symbols.begin() + m,
              [&](int a, int b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });
    // Huffman's tree with two queues: the leaves in rising frequency, and the inner nodes, which
    // are made in rising frequency too. Node k < m is leaf k; inner nodes follow.
    std::array<uint64_t, 2 * 288> weight{};
    std::array<int, 2 * 288> parent{};
    for (int k = 0; k < m; ++k) weight[static_cast<size_t>(k)] = freq[symbols[static_cast<size_t>(k)]];
    int leaf = 0, inner = m, next = m;
    auto smallest = [&] {
        if (leaf < m &&
            (inner >= next || weight[static_cast<size_t>(leaf)] <= weight[static_cast<size_t>(inner)]))
            return leaf++;
        return inner++;
    };
    for (; next < 2 * m - 1; ++next) {
        const int a = smallest(), b = smallest();
        weight[static_cast<size_t>(next)] = weight[static_cast<size_t>(a)] + weight[static_cast<size_t>(b)];
        parent[static_cast<size_t>(a)] = parent[static_cast<size_t>(b)] = next;
    }
    std::array<int, 2 * 288> depth{};
    for (int k = 2 * m - 3; k >= 0; --k)
        depth[static_cast<size_t>(k)] = depth[static_cast<size_t>(parent[static_cast<size_t>(k)])] + 1;
    // How many codes of each length; those past the limit go to it, then codes move down from
    // shorter lengths until the code is complete again (the sum of 2^-length is 1).
    std::array<uint32_t, 2 * 288> count{};
    for (int k = 0; k < m; ++k)
        ++count[static_cast<size_t>(std::min(depth[static_cast<size_t>(k)], 2 * 288 - 1))];
    for (size_t l = static_cast<size_t>(maxBits) + 1; l < count.size(); ++l) {
        count[static_cast<size_t>(maxBits)] += count[l];
        count[l] = 0;
    }
    uint64_t total = 0;
    for (int l = 1; l <= maxBits; ++l) total += uint64_t{count[static_cast<size_t>(l)]} << (maxBits - l);
    while (total > (uint64_t{1} << maxBits)) {
        --count[static_cast<size_t>(maxBits)];
        for (int l = maxBits - 1; l > 0; --l) {
            if (count[static_cast<size_t>(l)]) {
                --count[static_cast<size_t>(l)];
                count[static_cast<size_t>(l) + 1] += 2;
                break;
            }
        }
        --total;
    }
    // The longest codes to the rarest symbols.
    int k = 0;
    for (int l = maxBits; l >= 1; --l) {
        for (uint32_t c = 0; c < count[static_cast<size_t>(l)]; ++c)
            lengths[symbols[static_cast<size_t>(k++)]] = static_cast<uint8_t>(l);
    }
}

// Canonical codes for the lengths, bit-reversed: deflate sends a code's first bit first, and the
// writer below fills bytes from their lowest bit.
void canonicalCodes(const uint8_t* lengths, int n, uint16_t* codes)
{
    std::array<uint16_t, kMaxBits + 2> count{}, next{};
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    count[0] = 0;
    uint16_t code = 0;
    for (int l = 1; l <= kMaxBits; ++l) {
        code = static_cast<uint16_t>((code + count[static_cast<size_t>(l) - 1]) << 1);
        next[static_cast<size_t>(l)] = code;
    }
    for (int s = 0; s < n; ++s) {
        const int l = lengths[s];
        if (!l) continue;
        uint16_t c = next[static_cast<size_t>(l)]++, reversed = 0;
        for (int b = 0; b < l; ++b, c >>= 1) reversed = static_cast<uint16_t>((reversed << 1) | (c & 1));
        codes[s] = reversed;
    }
}

// Fills bytes from their lowest bit. Each put stores the eight bytes at the write position whole
// and moves on by the bytes completed, so it never branches; it may write up to 8 bytes past the
// stream's end (the bound leaves room for them).
class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : out_(out) {}
    // Up to 56 bits in all before the next flush.
    void add(uint32_t value, int n)
    {
        bits_ |= uint64_t{value} << count_;
        count_ += n;
    }
    void flush()
    {
        std::memcpy(out_, &bits_, 8);
        out_ += count_ >> 3;
        bits_ = (count_ & ~7) == 64 ? 0 : bits_ >> (count_ & ~7);
        count_ &= 7;
    }
    void put(uint32_t value, int n)
    {
        add(value, n);
        flush();
    }
    // Pads to a whole byte.
    void align()
    {
        count_ = (count_ + 7) & ~7;
        flush();
    }
    void bytes(const uint8_t* p, size_t n)
    {
        if (n == 0) return;  // an empty stored block may come with no data pointer at all
        std::memcpy(out_, p, n);
        out_ += n;
    }
    uint8_t* position() const { return out_; }

private:
    uint8_t* out_;
    uint64_t bits_ = 0;
    int count_ = 0;
};

void storedBlocks(BitWriter& w, const uint8_t* p, size_t n, bool last)
{
    do {
        const size_t len = std::min(n, kMaxStored);
        n -= len;
        w.put(last && n == 0 ? 1 : 0, 1);
        w.put(0, 2);
        w.align();
        const uint8_t header[4] = {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8),
                                   static_cast<uint8_t>(~len), static_cast<uint8_t>(~len >> 8)};
        w.bytes(header, 4);
        w.bytes(p, len);
        p += len;
    } while (n > 0);
}

size_t storedBits(size_t n)
{
    return (n / kMaxStored + 1) * (5 * 8 + 8);  // header, lengths, alignment at most
}

// A plane's literals (0-255) and matches (256 + length), made by the counting pass and sent by
// the writing one. One per thread: planes are coded on several at once.
thread_local std::vector<uint16_t> t_tokens;

// One plane as a block with its own codes (or stored, when that is no larger).
void plane(BitWriter& w, const uint8_t* p, size_t n, bool last)
{
    std::array<uint32_t, 286> freq{};
    uint32_t matches = 0;
    uint64_t extraBits = 0;
    if (t_tokens.size() < n) t_tokens.resize(n);
    uint16_t* token = t_tokens.data();
    parse(
        p, n,
        [&](uint8_t v) {
            ++freq[v];
            *token++ = v;
        },
        [&](size_t len) {
            ++freq[kLength[len].symbol];
            extraBits += kLength[len].extraBits;
            ++matches;
            *token++ = static_cast<uint16_t>(256 + len);
        });
    const uint16_t* const tokensEnd = token;
    freq[kEndOfBlock] = 1;
    std::array<uint8_t, 286> lengths{};
    huffmanLengths(freq.data(), 286, kMaxBits, lengths.data());
    int nlit = 286;
    while (nlit > 257 && lengths[static_cast<size_t>(nlit) - 1] == 0) --nlit;
    // One distance code, 1 bit long: distance 1, the only one used.
    const uint8_t distLength = 1;

    // The code lengths, zeros in runs (17: 3-10, 18: 11-138), as a sequence of code length codes.
    std::array<uint8_t, 287> all{};
    std::copy(lengths.begin(), lengths.begin() + nlit, all.begin());
    all[static_cast<size_t>(nlit)] = distLength;
    const int nall = nlit + 1;
    struct LengthSymbol {
        uint8_t symbol, extra;
    };
    std::array<LengthSymbol, 287> seq{};
    int nseq = 0;
    std::array<uint32_t, 19> lfreq{};
    for (int i = 0; i < nall;) {
        if (all[static_cast<size_t>(i)] == 0) {
            int r = 1;
            while (i + r < nall && all[static_cast<size_t>(i + r)] == 0 && r < 138) ++r;
            if (r >= 11) {
                seq[static_cast<size_t>(nseq++)] = {18, static_cast<uint8_t>(r - 11)};
                ++lfreq[18];
                i += r;
                continue;
            }
            if (r >= 3) {
                seq[static_cast<size_t>(nseq++)] = {17, static_cast<uint8_t>(r - 3)};
                ++lfreq[17];
                i += r;
                continue;
            }
        }
        seq[static_cast<size_t>(nseq++)] = {all[static_cast<size_t>(i)], 0};
        ++lfreq[all[static_cast<size_t>(i)]];
        ++i;
    }
    // The code length code must be complete: with a single symbol in use, a second joins it.
    if (std::count_if(lfreq.begin(), lfreq.end(), [](uint32_t f) { return f != 0; }) < 2)
        lfreq[lfreq[0] ? 1 : 0] = 1;
    std::array<uint8_t, 19> llengths{};
    huffmanLengths(lfreq.data(), 19, kMaxLengthBits, llengths.data());
    std::array<uint16_t, 19> lcodes{};
    canonicalCodes(llengths.data(), 19, lcodes.data());
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int nclen = 19;
    while (nclen > 4 && llengths[kOrder[nclen - 1]] == 0) --nclen;

    // The block's size coded, to store the plane instead when that is about as small.
    uint64_t bits = 3 + 5 + 5 + 4 + 3 * static_cast<uint64_t>(nclen);
    for (int i = 0; i < nseq; ++i) {
        const auto& s = seq[static_cast<size_t>(i)];
        bits += llengths[s.symbol] + (s.symbol == 16 ? 2 : s.symbol == 17 ? 3 : s.symbol == 18 ? 7 : 0);
    }
    for (int s = 0; s < 286; ++s)
        bits += uint64_t{freq[static_cast<size_t>(s)]} * lengths[static_cast<size_t>(s)];
    bits += extraBits + uint64_t{matches} * distLength;
    // Stored also when coding would gain under 1/64: sending the codes of a plane of noise costs
    // more time than those bytes are worth.
    if (bits >= uint64_t{n} * 8 - uint64_t{n} / 8) {
        storedBlocks(w, p, n, last);
        return;
    }

    std::array<uint16_t, 286> codes{};
    canonicalCodes(lengths.data(), 286, codes.data());
    w.put(last ? 1 : 0, 1);
    w.put(2, 2);  // dynamic codes
    w.put(static_cast<uint32_t>(nlit - 257), 5);
    w.put(0, 5);  // one distance code
    w.put(static_cast<uint32_t>(nclen - 4), 4);
    for (int i = 0; i < nclen; ++i) w.put(llengths[kOrder[i]], 3);
    for (int i = 0; i < nseq; ++i) {
        const auto& s = seq[static_cast<size_t>(i)];
        w.put(lcodes[s.symbol], llengths[s.symbol]);
        if (s.symbol == 17) w.put(s.extra, 3);
        if (s.symbol == 18) w.put(s.extra, 7);
    }
    // Every token as the bits it is sent as: a literal's code; a match's length code, its extra
    // bits and the distance code (0, one bit).
    struct Sent {
        uint32_t bits;
        uint32_t n;
    };
    std::array<Sent, 256 + 259> sent{};
    for (int v = 0; v < 256; ++v) sent[static_cast<size_t>(v)] = {codes[static_cast<size_t>(v)], lengths[static_cast<size_t>(v)]};
    for (size_t len = 3; len <= 258; ++len) {
        const LengthCode& c = kLength[len];
        const uint32_t l = lengths[c.symbol];
        sent[256 + len] = {codes[c.symbol] | uint32_t{c.extra} << l, l + c.extraBits + distLength};
    }
    // Two tokens between flushes: 7 bits held plus two of at most 21 fit in the 64.
    const uint16_t* t = t_tokens.data();
    for (; tokensEnd - t >= 2; t += 2) {
        w.add(sent[t[0]].bits, static_cast<int>(sent[t[0]].n));
        w.add(sent[t[1]].bits, static_cast<int>(sent[t[1]].n));
        w.flush();
    }
    if (t != tokensEnd) w.put(sent[*t].bits, static_cast<int>(sent[*t].n));
    w.put(codes[kEndOfBlock], lengths[kEndOfBlock]);
}

uint32_t adler32Of(const uint8_t* p, size_t n)
{
#ifdef ORVANE_WITH_LIBDEFLATE
    return libdeflate_adler32(1, p, n);
#else
    uLong a = adler32(0L, Z_NULL, 0);
    for (size_t done = 0; done < n;) {
        const auto step = static_cast<uInt>(std::min<size_t>(n - done, 1u << 30));
        a = adler32(a, p + done, step);
        done += step;
    }
    return static_cast<uint32_t>(a);
#endif
}

}  // namespace

size_t runDeflateBound(size_t n, size_t plane)
{
    plane = std::max<size_t>(plane, 1);
    const size_t planes = n / plane + 1;
    return 2 + n + planes * (storedBits(plane) / 8 + 2) + 4 + 8;
}

size_t runDeflate(const uint8_t* in, size_t n, size_t planeSize, uint8_t* out)
{
    planeSize = std::max<size_t>(planeSize, 1);
    BitWriter w(out);
    w.put(0x78, 8);  // deflate, 32 KiB window
    w.put(0x01, 8);  // no dictionary, fastest; (0x78 << 8 | 0x01) is a multiple of 31
    if (n == 0) storedBlocks(w, in, 0, true);
    for (size_t at = 0; at < n; at += planeSize) {
        const size_t len = std::min(planeSize, n - at);
        plane(w, in + at, len, at + len == n);
    }
    w.align();
    const uint32_t a = adler32Of(in, n);
    const uint8_t check[4] = {static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16),
                              static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
    w.bytes(check, 4);
    return static_cast<size_t>(w.position() - out);
}

}  // namespace orvane
