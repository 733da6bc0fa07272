// The fast index build. The bookmark positions depend only on the stream's time, which only
// TIME_HIGH and TIME_LOW words move: a scan of the mapped file reads those words directly (most
// 8-word blocks hold nothing but repeats of the current TIME_HIGH, events and TIME_LOW words below
// the next bookmark's time, and are passed in one step). The event counts come from the decoder,
// on both cores: the first half of the bookmarks from the data start, the second half resumed at
// its first bookmark exactly as a seek resumes there.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "RawFileReaderInternal.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#define ORVANE_SCAN_SSE2 1
#endif

namespace orvane {

namespace {

constexpr uint32_t kTimeLow = 0x6, kTimeHigh = 0x8, kAddrY = 0x0;
// How far back from a bookmark the row is looked for (as the seeks do).
constexpr uint64_t kRowSearchBytes = 1 << 20;
// Below this much data one thread counts all.
constexpr uint64_t kSplitBytes = 8 << 20;

// The decoder's time state, word for word as the decoder keeps it.
struct TimeState {
    uint64_t time = 0;
    uint64_t epoch = 0;
    uint32_t high = 0;
    bool known = false;
    bool behind = false;  // after a TIME_HIGH stepping back, until the stream is back

    uint64_t highBase() const { return epoch | (uint64_t{high} << 12); }
    void timeHigh(uint32_t h)
    {
        if (known) {
            const uint32_t forward = (h - high) & 0xFFF;
            if (forward == 0) {
                behind = false;
                return;
            }
            if (forward >= 0x800) {
                behind = true;
                return;
            }
            if (h < high) epoch += uint64_t{1} << 24;
        }
        high = h;
        time = highBase();
        known = true;
        behind = false;
    }
    void timeLow(uint32_t l)
    {
        if (known && !behind) time = highBase() | l;
    }
    // One word; true when it moved the time.
    bool word(uint16_t w)
    {
        const uint32_t type = w >> 12;
        if (type == kTimeHigh) {
            timeHigh(w & 0xFFF);
            return true;
        }
        if (type == kTimeLow) {
            timeLow(w & 0xFFF);
            return true;
        }
        return false;
    }
};

inline uint16_t wordAt(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

struct MappedFile {
    const uint8_t* data = nullptr;
    size_t size = 0;
    explicit MappedFile(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_size > 0) {
            void* addr = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (addr != MAP_FAILED) {
                data = static_cast<const uint8_t*>(addr);
                size = static_cast<size_t>(st.st_size);
                ::madvise(addr, size, MADV_SEQUENTIAL);
            }
        }
        ::close(fd);
    }
    ~MappedFile()
    {
        if (data) ::munmap(const_cast<uint8_t*>(data), size);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
};

// Scans [p, end) (whole words) for the first word after which the time is at least `target`;
// returns the end of that word, or `end` with the state at the end.
const uint8_t* scanTo(TimeState& s, const uint8_t* p, const uint8_t* end, uint64_t target)
{
#if ORVANE_SCAN_SSE2
    const __m128i typeMask = _mm_set1_epi16(static_cast<short>(0xF000));
    const __m128i highType = _mm_set1_epi16(static_cast<short>(kTimeHigh << 12));
    const __m128i lowType = _mm_set1_epi16(static_cast<short>(kTimeLow << 12));
    const __m128i lowBits = _mm_set1_epi16(0x0FFF);
    const __m128i signFlip = _mm_set1_epi16(static_cast<short>(0x8000));
    while (end - p >= 16) {
        // A block passes in one step when the time is known and not behind, its TIME_HIGH words
        // all repeat the current one, and no TIME_LOW brings the time to the target.
        if (!s.known || s.behind) break;
        const uint64_t base = s.highBase();
        if (base >= target) break;
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i type = _mm_and_si128(v, typeMask);
        const __m128i isHigh = _mm_cmpeq_epi16(type, highType);
        const __m128i isLow = _mm_cmpeq_epi16(type, lowType);
        const __m128i sameHigh = _mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>((kTimeHigh << 12) | s.high)));
        if (_mm_movemask_epi8(_mm_andnot_si128(sameHigh, isHigh)) != 0) {
            // A new TIME_HIGH: this block word by word.
            for (const uint8_t* const stop = p + 16; p < stop; p += 2) {
                if (s.word(wordAt(p)) && s.time >= target) return p + 2;
            }
            continue;
        }
        const int lows = _mm_movemask_epi8(isLow);
        if (lows != 0) {
            if (target - base <= 0xFFF) {
                // Near the target: does any TIME_LOW of the block reach it? (unsigned 16-bit compare
                // by flipping the sign bit)
                const __m128i need = _mm_set1_epi16(static_cast<short>((target - base) ^ 0x8000));
                const __m128i low = _mm_xor_si128(_mm_and_si128(v, lowBits), signFlip);
                const __m128i below = _mm_cmplt_epi16(low, need);
                if (_mm_movemask_epi8(_mm_andnot_si128(below, isLow)) != 0) {
                    for (const uint8_t* const stop = p + 16; p < stop; p += 2) {
                        if (s.word(wordAt(p)) && s.time >= target) return p + 2;
                    }
                    continue;
                }
            }
            // The last TIME_LOW of the block sets the time.
            const int last = (31 - __builtin_clz(static_cast<unsigned>(lows))) / 2;
            s.timeLow(wordAt(p + 2 * last) & 0xFFF);
        }
        p += 16;
    }
#endif
    for (; end - p >= 2; p += 2) {
        if (s.word(wordAt(p)) && s.time >= target) return p + 2;
    }
    return end;
}

// Where counting may resume at `mark` with a decoder in a straight decode's state: the bookmark
// at or before the last ADDR_Y before it (the row is then known), as the seeks do.
bool resumeFrom(const RawFileReader::Bookmark* marks, size_t index, const uint8_t* data, uint64_t data_start,
                size_t& from)
{
    const uint64_t pos = marks[index].file_pos;
    const uint64_t limit = pos - std::min(pos - data_start, kRowSearchBytes);
    uint64_t at = pos;
    bool found = false;
    while (!found && at >= limit + 2) {
        at -= 2;
        found = (data[at + 1] >> 4) == kAddrY;
    }
    if (!found) return false;
    size_t i = index;
    while (i > 0 && marks[i].file_pos > at) --i;
    from = i;
    return true;
}

}  // namespace

bool RawFileReader::fastIndexScan(BookmarkRule& rule)
{
    const MappedFile file(raw_path);
    if (!file.data || file.size != file_size || data_start > file_size) return false;
    const uint8_t* const data = file.data;
    const uint8_t* const begin = data + data_start;
    const uint8_t* const whole_end = begin + (file_size - data_start) / 2 * 2;

    // Time: where the bookmarks go. A large file is scanned in two halves at once. The second half
    // starts knowing nothing; from its first TIME_HIGH on it keeps the time as the decoder would but
    // for the count of 24-bit wraps before it, which the first half gives once it has read up to
    // that word (and shown that the word meant the same there).
    TimeState s;
    const bool split_scan = file_size - data_start >= kSplitBytes && std::thread::hardware_concurrency() > 1;
    const uint8_t* const mid = split_scan ? begin + (whole_end - begin) / 4 * 2 : whole_end;
    struct Candidate {
        uint64_t pos, time;
    };
    std::vector<Candidate> later;
    TimeState second_state;
    const uint8_t* second_sync = whole_end;  // just after the second half's first TIME_HIGH
    std::thread second_scan;
    if (split_scan) {
        second_scan = std::thread([&] {
            TimeState& t = second_state;
            second_sync = scanTo(t, mid, whole_end, 1);
            if (!t.known) return;
            // Candidates as a bookmark scan from there would place them (new maxima, 2 ms and
            // min_bookmark_bytes apart); the merge keeps those that fit after the first half.
            Candidate last{static_cast<uint64_t>(second_sync - data), t.time};
            uint64_t max_time = t.time;
            for (const uint8_t* p = second_sync; p < whole_end;) {
                const uint64_t target = std::max(last.time + bookmark_period_us, max_time + 1);
                p = scanTo(t, p, whole_end, target);
                if (t.time < target) break;
                max_time = t.time;
                const uint64_t pos = static_cast<uint64_t>(p - data) - 2;
                if (pos < last.pos + min_bookmark_bytes) continue;
                last = Candidate{pos, t.time};
                later.push_back(last);
            }
        });
    }
    auto scanFirst = [&](const uint8_t* from, const uint8_t* to) {
        for (const uint8_t* p = from; p < to;) {
            const uint64_t target = rule.nextTarget();
            p = scanTo(s, p, to, target);
            if (s.time < target) return to;
            rule.offer(static_cast<uint64_t>(p - data) - 2, s.time, 0);
        }
        return to;
    };
    scanFirst(begin, mid);
    if (split_scan) {
        second_scan.join();
        const TimeState& t = second_state;
        // Up to the second half's first TIME_HIGH, and check it left both in the same state.
        scanFirst(mid, second_sync);
        const bool same = t.known && s.known && !s.behind && !t.behind && s.high == t.high &&
                          (s.time & 0xFFFFFF) == (t.time & 0xFFFFFF) && second_sync < whole_end;
        if (!same) {
            scanFirst(second_sync, whole_end);
        } else {
            const uint64_t wraps = s.epoch;  // the second half counted from 0
            // Every time before the junction is below its TIME_HIGH's range end: a candidate is a
            // new maximum of the whole stream only past that.
            rule.max_time = std::max(rule.max_time, s.highBase() + 0xFFF);
            for (const Candidate& c : later) rule.offer(c.pos, c.time + wraps, 0);
            s = t;
            s.epoch += wraps;
            s.time += wraps;
        }
    }
    rule.close(file_size, s.time, 0);
    BookmarkList& marks = rule.marks;
    if (marks.size() < 2) {
        // Nothing told the time, or too short to split: the decoder counts it at once.
        auto counter = makeReaderDecoder();
        marks.back().event_count = marks.size() == 1 ? 0 : counter->decodeRange(begin, data + file_size);
        return true;
    }

    // Counts: segment i runs from bookmark i - 1 to bookmark i.
    auto countSegments = [&](Decoder& d, size_t first, size_t last, uint64_t base) {
        uint64_t total = base;
        for (size_t i = first; i <= last; ++i) {
            total += d.decodeRange(data + marks[i - 1].file_pos, data + marks[i].file_pos);
            marks[i].event_count = total;
        }
        return total;
    };
    const size_t n = marks.size();
    size_t split = n / 2, from = 0;
    const bool parallel = file_size - data_start >= kSplitBytes && split > 1 &&
                          resumeFrom(marks.data(), split, data, data_start, from) &&
                          std::thread::hardware_concurrency() > 1;
    if (!parallel) {
        auto counter = makeReaderDecoder();
        countSegments(*counter, 1, n - 1, 0);
        return true;
    }
    // The second half first counts relative to its start, then moves up by the first half's total.
    std::thread second([&] {
        auto d = makeReaderDecoder();
        if (from > 0) d->setTimestamp(marks[from].timestamp);
        d->scanRange(data + marks[from].file_pos, data + marks[split].file_pos);
        countSegments(*d, split + 1, n - 1, 0);
    });
    auto counter = makeReaderDecoder();
    const uint64_t first_total = countSegments(*counter, 1, split, 0);
    second.join();
    for (size_t i = split + 1; i < n; ++i) marks[i].event_count += first_total;
    return true;
}

}  // namespace orvane
