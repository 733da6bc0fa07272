// The bookmark index: one scan of the recording ties timestamps (at least bookmark_period_us
// apart) to byte positions and event counts; the result is kept beside the recording, protected by
// a CRC-8, and read back on later loads while it still matches the recording.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <thread>

#include "RawFileReaderInternal.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

namespace {

constexpr size_t kRecordBytes = 29;  // key, file_pos, reserved, timestamp, 32-bit event_count
// An index with at least this many records is read and checked on both cores.
constexpr size_t kParallelRecords = 1 << 13;

// CRC-8 (polynomial 0x07, MSB first, no reflection, init 0, no final XOR), eight bytes a step:
// table k holds the CRC of a byte followed by k zero bytes.
struct Crc8Tables {
    std::array<std::array<uint8_t, 256>, 8> t{};
    Crc8Tables()
    {
        for (unsigned i = 0; i < 256; ++i) {
            uint8_t c = static_cast<uint8_t>(i);
            for (int b = 0; b < 8; ++b) c = static_cast<uint8_t>((c & 0x80) ? (c << 1) ^ 0x07 : c << 1);
            t[0][i] = c;
        }
        for (size_t k = 1; k < 8; ++k)
            for (unsigned i = 0; i < 256; ++i) t[k][i] = t[0][t[k - 1][i]];
    }
};

const Crc8Tables& crcTables()
{
    static const Crc8Tables tables;
    return tables;
}

uint8_t crc8Serial(uint8_t crc, const uint8_t* p, size_t n)
{
    const auto& t = crcTables().t;
    for (; n >= 8; n -= 8, p += 8) {
        crc = t[7][crc ^ p[0]] ^ t[6][p[1]] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^
              t[0][p[7]];
    }
    for (; n > 0; --n, ++p) crc = t[0][crc ^ *p];
    return crc;
}

// The CRC register after `zeros` more zero bytes: the byte step on zeros is a fixed map of the
// 256 register values, raised to that power by squaring.
uint8_t appendZeros(uint8_t crc, uint64_t zeros)
{
    using Map = std::array<uint8_t, 256>;
    auto compose = [](const Map& a, const Map& b) {
        Map c;
        for (unsigned i = 0; i < 256; ++i) c[i] = a[b[i]];
        return c;
    };
    Map result;
    for (unsigned i = 0; i < 256; ++i) result[i] = static_cast<uint8_t>(i);
    Map step = crcTables().t[0];
    for (; zeros; zeros >>= 1) {
        if (zeros & 1) result = compose(step, result);
        step = compose(step, step);
    }
    return result[crc];
}

// Runs f(begin, end) over [0, n) in two halves at once when n is at least `min_parallel` and the
// machine has a second core; the halves share nothing but what f reads.
template <typename F>
void inHalves(size_t n, size_t min_parallel, F&& f)
{
    if (n < min_parallel || std::thread::hardware_concurrency() < 2) {
        f(size_t{0}, n);
        return;
    }
    const size_t mid = n / 2;
    std::thread second([&] { f(mid, n); });
    f(size_t{0}, mid);
    second.join();
}

// Large inputs as four independent streams in one loop (the lookups of one step do not wait for
// the previous step), joined by linearity: crc(A B) = crc(A followed by |B| zeros) ^ crc(B).
uint8_t crc8Streams(const uint8_t* p, size_t n)
{
    if (n < (1 << 16)) return crc8Serial(0, p, n);
    const auto& t = crcTables().t;
    const size_t quarter = n / 4 / 8 * 8;
    const uint8_t* q[4] = {p, p + quarter, p + 2 * quarter, p + 3 * quarter};
    uint8_t c[4] = {0, 0, 0, 0};
    for (size_t off = 0; off < quarter; off += 8) {
        for (int s = 0; s < 4; ++s) {
            const uint8_t* b = q[s] + off;
            c[s] = t[7][c[s] ^ b[0]] ^ t[6][b[1]] ^ t[5][b[2]] ^ t[4][b[3]] ^ t[3][b[4]] ^ t[2][b[5]] ^
                   t[1][b[6]] ^ t[0][b[7]];
        }
    }
    c[3] = crc8Serial(c[3], p + 4 * quarter, n - 4 * quarter);
    const uint64_t last = n - 3 * quarter;
    uint8_t crc = c[0];
    crc = appendZeros(crc, quarter) ^ c[1];
    crc = appendZeros(crc, quarter) ^ c[2];
    crc = appendZeros(crc, last) ^ c[3];
    return crc;
}

// A whole index is checked on both cores: crc(A B) = crc(A followed by |B| zeros) ^ crc(B).
uint8_t crc8Of(const uint8_t* p, size_t n)
{
    uint8_t halves[2] = {0, 0};
    size_t first = n;
    inHalves(n, 256 << 10, [&](size_t b, size_t e) {
        halves[b == 0 ? 0 : 1] = crc8Streams(p + b, e - b);
        if (b != 0) first = b;
    });
    return first == n ? halves[0] : static_cast<uint8_t>(appendZeros(halves[0], n - first) ^ halves[1]);
}

// Maps `path` whole; nullptr when it cannot be opened. `size` is set whenever the size is known.
std::unique_ptr<MappedIndex> mapIndex(const std::string& path, uint64_t max_bytes, uint64_t& size, bool& opened)
{
    opened = false;
    size = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    opened = true;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 0) {
        ::close(fd);
        return nullptr;
    }
    size = static_cast<uint64_t>(st.st_size);
    auto m = std::make_unique<MappedIndex>();
    if (size == 0 || size > max_bytes) {
        ::close(fd);
        return m;
    }
    void* addr = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (addr == MAP_FAILED) return nullptr;
    m->data = static_cast<const uint8_t*>(addr);
    m->size = size;
    return m;
}

// The index is little-endian, as is every host we build for.
template <typename T>
T getLe(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

// The 64-bit count after `previous` whose low 32 bits are `stored`: counts never decrease.
uint64_t unwrapCount(uint64_t previous, uint32_t stored)
{
    return previous + static_cast<uint32_t>(stored - static_cast<uint32_t>(previous));
}

}  // namespace

MappedIndex::~MappedIndex()
{
    if (data) ::munmap(const_cast<uint8_t*>(data), size);
}

uint8_t RawFileReader::crc8(const std::vector<uint8_t>& data)
{
    return crc8Of(data.data(), data.size());
}

namespace {

// Keys of the text part beyond the three every reader of the format knows. Their values are
// decimal like the others, so such a reader parses and ignores them; without them we rebuild.
constexpr char kMtimeKey[] = "raw_mtime_ns";
constexpr char kEdgesKey[] = "raw_edges_hash";
// Indexes without it counted events with a fixed sensor size: they are rebuilt.
constexpr char kOffSensorKey[] = "off_sensor_events";
constexpr size_t kMaxIndexText = 4096;

// FNV-1a over 64-bit words (bytes of a short tail one by one): quick, and any changed byte in the
// hashed ranges changes it.
uint64_t hashBytes(uint64_t h, const uint8_t* p, size_t n)
{
    constexpr uint64_t kPrime = 0x100000001b3ull;
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * kPrime;
    }
    for (; n > 0; --n, ++p) h = (h ^ *p) * kPrime;
    return h;
}

// Largest index a recording of `data_bytes` event bytes can have: the text part, N, one record
// per bookmark (at most one per kMinBookmarkBytes of data, plus the first and the closing one) and
// the CRC.
uint64_t maxIndexBytesFor(uint64_t data_bytes)
{
    return kMaxIndexText + 8 + kRecordBytes * (data_bytes / RawFileReader::min_bookmark_bytes + 2) + 1;
}

// Writes the index: text part, N, records as they come, CRC. N and the CRC are only known at the
// end: N is patched in place, and the CRC of the whole file is joined from the CRC of the part
// before the records and that of the records (CRC-8 with initial 0 is linear).
class IndexWriter {
public:
    IndexWriter(const std::string& path, const std::string& text) : out_(path, std::ios::binary | std::ios::trunc)
    {
        head_.assign(text.begin(), text.end());
        head_.push_back(0);
        head_.resize(head_.size() + 8, 0);
        if (out_.is_open()) out_.write(reinterpret_cast<const char*>(head_.data()), static_cast<std::streamsize>(head_.size()));
        buffer_.resize(kFlushBytes + kRecordBytes);
    }
    bool opened() const { return out_.is_open(); }
    void add(const RawFileReader::Bookmark& b)
    {
        // Little-endian fields copied in place: this runs once per bookmark, about a million times
        // for a half-hour recording.
        uint8_t* const r = buffer_.data() + fill_;
        const uint32_t count = static_cast<uint32_t>(b.event_count);  // the file keeps 32 bits
        std::memcpy(r, &b.timestamp, 8);  // the key
        std::memcpy(r + 8, &b.file_pos, 8);
        r[16] = b.reserved;
        std::memcpy(r + 17, &b.timestamp, 8);
        std::memcpy(r + 25, &count, 4);
        fill_ += kRecordBytes;
        ++count_;
        if (fill_ >= kFlushBytes) flush();
    }
    // False when anything could not be written.
    bool finish()
    {
        flush();
        for (size_t i = 0; i < 8; ++i) head_[head_.size() - 8 + i] = static_cast<uint8_t>(count_ >> (8 * i));
        const uint8_t crc = appendZeros(crc8Of(head_.data(), head_.size()), record_bytes_) ^ records_crc_;
        out_.put(static_cast<char>(crc));
        out_.seekp(static_cast<std::streamoff>(head_.size() - 8));
        out_.write(reinterpret_cast<const char*>(head_.data() + head_.size() - 8), 8);
        out_.close();
        return static_cast<bool>(out_);
    }

private:
    static constexpr size_t kFlushBytes = 1 << 20;
    void flush()
    {
        if (fill_ == 0) return;
        records_crc_ = static_cast<uint8_t>(appendZeros(records_crc_, fill_) ^ crc8Streams(buffer_.data(), fill_));
        record_bytes_ += fill_;
        out_.write(reinterpret_cast<const char*>(buffer_.data()), static_cast<std::streamsize>(fill_));
        fill_ = 0;
    }

    std::ofstream out_;
    std::vector<uint8_t> head_;
    std::vector<uint8_t> buffer_;
    size_t fill_ = 0;
    uint64_t count_ = 0;
    uint64_t record_bytes_ = 0;
    uint8_t records_crc_ = 0;
};

}  // namespace

RawFileReader::ContentKey RawFileReader::contentKey() const
{
    ContentKey key;
    struct stat st {};
    const int fd = ::open(raw_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return key;
    if (::fstat(fd, &st) == 0) {
        key.mtime_ns = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull + static_cast<uint64_t>(st.st_mtim.tv_nsec);
    }
    // The first and the last 64 KiB of the data: where a recording is most likely to differ from
    // another of the same size.
    constexpr uint64_t kEdge = 65536;
    std::vector<uint8_t> buf(kEdge);
    uint64_t h = 0xcbf29ce484222325ull;
    const uint64_t data_bytes = file_size - data_start;
    const uint64_t ranges[2][2] = {{data_start, std::min(kEdge, data_bytes)},
                                   {file_size - std::min(kEdge, data_bytes), std::min(kEdge, data_bytes)}};
    for (const auto& r : ranges) {
        const ssize_t got = ::pread(fd, buf.data(), r[1], static_cast<off_t>(r[0]));
        if (got > 0) h = hashBytes(h, buf.data(), static_cast<size_t>(got));
    }
    ::close(fd);
    key.edges_hash = h;
    return key;
}

std::string RawFileReader::indexText() const
{
    return "max_byte:" + std::to_string(static_cast<int64_t>(file_size)) + "\nsensor_width:" + std::to_string(width) +
           "\nsensor_height:" + std::to_string(height) + "\n" + kMtimeKey + ":" + std::to_string(content_key.mtime_ns) +
           "\n" + kEdgesKey + ":" + std::to_string(content_key.edges_hash) + "\n" + kOffSensorKey + ":" +
           std::to_string(off_sensor_events) + "\n";
}

void RawFileReader::BookmarkRule::offer(uint64_t pos, uint64_t t, uint64_t count)
{
    if (marks.empty()) {
        // The first time told: the first bookmark, at the first data byte, so that a recording
        // shorter than one bookmark period still reads from its start.
        marks.push_back(Bookmark{data_start, 0, t, 0});
        max_time = t;
        return;
    }
    if (t <= max_time) return;
    max_time = t;
    const Bookmark& last = marks.back();
    if (t < last.timestamp + bookmark_period_us || pos < last.file_pos + min_bookmark_bytes) return;
    marks.push_back(Bookmark{pos, 0, t, count});
}

uint64_t RawFileReader::BookmarkRule::nextTarget() const
{
    if (marks.empty()) return 1;  // time 0 means "not told yet"
    return std::max(marks.back().timestamp + bookmark_period_us, max_time + 1);
}

void RawFileReader::BookmarkRule::close(uint64_t end_pos, uint64_t last_time, uint64_t total)
{
    if (marks.empty()) {
        // No time was ever told, so nothing decodes: one bookmark at the end of the data.
        marks.push_back(Bookmark{end_pos, 0, last_time, 0});
        return;
    }
    // Keys stay unique and ascending even when the stream's time ends a little below a bookmark
    // (a late TIME_LOW stepping back) or never moved.
    marks.push_back(Bookmark{end_pos, 0, std::max(last_time, marks.back().timestamp + 1), total});
}

void RawFileReader::initBookmark()
{
    chunk_buffer.resize(read_chunk_size);
    cur_event_num = 0;
    content_key = contentKey();

    BookmarkRule rule;
    rule.data_start = data_start;
    // ORVANE_INDEX_DECODER_SCAN makes the decoder build it alone (tests compare the two builds).
    if (std::getenv("ORVANE_INDEX_DECODER_SCAN") || !fastIndexScan(rule)) {
        rule.marks.clear();
        rule.max_time = 0;
        decoderIndexScan(rule);
    }
    bookmarks = std::move(rule.marks);
    writeIndex();
}

void RawFileReader::decoderIndexScan(BookmarkRule& rule)
{
    // A second decoder counts events while the reader's own scans time, so one read of the file
    // serves both. Both start fresh, as a read from the first byte does.
    auto counter = makeDecoder();
    decoder = makeDecoder();

    const uint64_t unit = decoder->getRawUnitSize();
    uint64_t total = 0;
    uint64_t counted_to = data_start;
    uint64_t pos = data_start;
    input_stream.clear();
    input_stream.seekg(static_cast<std::streamoff>(data_start));
    for (;;) {
        chunk_buffer.resize(read_chunk_size);
        input_stream.read(reinterpret_cast<char*>(chunk_buffer.data()), static_cast<std::streamsize>(read_chunk_size));
        const size_t n = static_cast<size_t>(input_stream.gcount());
        if (n == 0) break;
        chunk_buffer.resize(n);
        const uint64_t chunk_pos = pos;
        const uint8_t* const begin = chunk_buffer.data();
        const uint8_t* const whole_end = begin + (n / unit) * unit;
        const uint8_t* p = begin;
        while (p < whole_end) {
            const uint64_t target = rule.nextTarget();
            p = decoder->scanUntilTimestamp(p, whole_end, target);
            const uint64_t t = decoder->getLastTimestamp();
            if (t < target) break;
            const uint64_t unit_pos = chunk_pos + static_cast<uint64_t>(p - begin) - unit;
            total += counter->decodeRange(begin + (counted_to - chunk_pos), begin + (unit_pos - chunk_pos));
            counted_to = unit_pos;
            rule.offer(unit_pos, t, total);
        }
        if (whole_end != begin + n) decoder->scanRange(whole_end, begin + n);
        total += counter->decodeRange(begin + (counted_to - chunk_pos), begin + n);
        pos += n;
        counted_to = pos;
    }
    rule.close(pos, decoder->getLastTimestamp(), total);
    off_sensor_events = counter->droppedOutOfGeometry();
}

void RawFileReader::writeIndex()
{
    // Written under a temporary name and renamed, so a crash never leaves a half index behind.
    const std::string part_path = index_path + ".part";
    serializeBookmarkMap(bookmarks, part_path);
    std::error_code ec;
    if (!std::filesystem::exists(part_path, ec)) return;
    std::filesystem::rename(part_path, index_path, ec);
    if (ec) {
        ORVANE_LOG_ERROR("Failed to write index file '%s': %s", index_path.c_str(), ec.message().c_str());
        std::filesystem::remove(part_path, ec);
    }
}

void RawFileReader::serializeBookmarkMap(const BookmarkList& marks, const std::string& path)
{
    IndexWriter writer(path, indexText());
    if (!writer.opened()) {
        // A folder we may not write to (a shared, read-only one) is normal: the index stays in memory.
        ORVANE_LOG_INFO("Index not saved: cannot write '%s' (%s)", path.c_str(), std::strerror(errno));
        return;
    }
    for (const Bookmark& b : marks) writer.add(b);
    if (!writer.finish()) {
        ORVANE_LOG_ERROR("Failed to write index file '%s'", path.c_str());
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
}

bool RawFileReader::checkBookmarksFromFile(const std::string& path)
{
    index_map.reset();
    uint64_t size = 0;
    bool opened = false;
    std::unique_ptr<MappedIndex> map = mapIndex(path, maxIndexBytesFor(file_size - data_start), size, opened);
    if (!opened || !map) {
        std::cerr << "Error opening file for reading!" << std::endl;
        return false;
    }
    if (size > maxIndexBytesFor(file_size - data_start)) return false;  // more than the recording can justify
    if (size == 0) {
        std::cerr << "The file content is insufficient to perform CRC validation!" << std::endl;
        return false;
    }
    const uint8_t* const data = map->data;
    if (crc8Of(data, size - 1) != data[size - 1]) {
        ORVANE_LOG_INFO("The file has changed");
        return false;
    }

    const uint8_t* const zero = std::find(data, data + std::min<uint64_t>(size, kMaxIndexText), uint8_t{0});
    const std::string text(data, zero);
    uint64_t max_byte = 0, sensor_width = 0, sensor_height = 0, mtime = 0, edges = 0;
    bool has_mtime = false, has_edges = false, has_off_sensor = false;
    uint64_t off_sensor = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t stop = text.find('\n', start);
        if (stop == std::string::npos) stop = text.size();
        const std::string line = text.substr(start, stop - start);
        const size_t colon = line.find(':');
        if (colon == std::string::npos) break;
        const std::string key = line.substr(0, colon);
        const std::string digits = line.substr(colon + 1);
        // A value that is not a plain decimal is a damaged index, to be rebuilt, not an error.
        if (digits.empty() || digits.size() > 20 || digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        errno = 0;
        const uint64_t value = std::strtoull(digits.c_str(), nullptr, 10);
        if (errno == ERANGE) return false;
        if (key == "max_byte") max_byte = value;
        else if (key == "sensor_width") sensor_width = value;
        else if (key == "sensor_height") sensor_height = value;
        else if (key == kMtimeKey) has_mtime = true, mtime = value;
        else if (key == kEdgesKey) has_edges = true, edges = value;
        else if (key == kOffSensorKey) has_off_sensor = true, off_sensor = value;
        start = stop + 1;
    }
    if (max_byte != file_size || sensor_width != width || sensor_height != height) return false;
    // A recording rewritten in place with the same size: its content key differs.
    content_key = contentKey();
    if (!has_mtime || !has_edges || mtime != content_key.mtime_ns || edges != content_key.edges_hash) return false;
    if (!has_off_sensor) return false;
    off_sensor_events = off_sensor;
    index_map = std::move(map);  // the load reads these same bytes
    return true;
}

bool RawFileReader::loadBookmarksFromFile(const std::string& path)
{
    std::unique_ptr<MappedIndex> map = std::move(index_map);
    if (!map) {
        uint64_t file_bytes = 0;
        bool opened = false;
        map = mapIndex(path, maxIndexBytesFor(file_size - data_start), file_bytes, opened);
        if (!map || !map->data) {
            ORVANE_LOG_ERROR("Error opening file for reading!");
            return false;
        }
    }
    const uint8_t* const data = map->data;
    const size_t size = map->size;
    const uint8_t* const zero = std::find(data, data + size, uint8_t{0});
    if (zero == data + size) return false;
    const size_t at = static_cast<size_t>(zero - data) + 1 + 8;
    if (at > size) return false;
    const int64_t n = getLe<int64_t>(data + at - 8);
    // Exactly N records and the CRC: anything else is not an index we wrote.
    if (n <= 0 || static_cast<uint64_t>(n) != (size - at - 1) / kRecordBytes || (size - at - 1) % kRecordBytes != 0) {
        return false;
    }

    // Read on both cores for a long recording. Each half widens its 32-bit counts from its own first
    // one; the second half then moves up by the wraps before it.
    BookmarkList marks(static_cast<size_t>(n));
    bool keys_ok[2] = {true, true};
    inHalves(marks.size(), kParallelRecords, [&](size_t begin, size_t end) {
        uint64_t previous_count = 0;
        for (size_t i = begin; i < end; ++i) {
            const uint8_t* p = data + at + i * kRecordBytes;
            Bookmark& b = marks[i];
            b.file_pos = getLe<uint64_t>(p + 8);
            b.reserved = p[16];
            b.timestamp = getLe<uint64_t>(p + 17);
            const uint32_t stored = getLe<uint32_t>(p + 25);
            if (b.timestamp != getLe<uint64_t>(p)) keys_ok[begin == 0 ? 0 : 1] = false;  // lookups go by key
            b.event_count = i == begin ? stored : unwrapCount(previous_count, stored);
            previous_count = b.event_count;
        }
    });
    if (!keys_ok[0] || !keys_ok[1]) return false;
    if (marks.size() >= kParallelRecords) {
        const size_t mid = marks.size() / 2;
        const uint64_t wraps = unwrapCount(marks[mid - 1].event_count, static_cast<uint32_t>(marks[mid].event_count)) -
                               marks[mid].event_count;
        if (wraps != 0) {
            for (size_t i = mid; i < marks.size(); ++i) marks[i].event_count += wraps;
        }
    }
    if (!bookmarksPlausible(marks)) return false;
    bookmarks = std::move(marks);
    return true;
}

bool RawFileReader::bookmarksPlausible(const BookmarkList& marks) const
{
    if (marks.empty()) return false;
    const Bookmark& first = marks.front();
    const Bookmark& last = marks.back();
    // The first at the first data byte with no event before it, the last at the end of the data;
    // only a stream that never told its time has the single closing bookmark.
    if (last.file_pos != file_size) return false;
    if (marks.size() == 1) return first.event_count == 0;
    if (first.file_pos != data_start || first.event_count != 0) return false;
    // No more bookmarks than the data and the time span allow.
    const uint64_t data_bytes = file_size - data_start;
    if (marks.size() > data_bytes / min_bookmark_bytes + 2) return false;
    if ((last.timestamp - std::min(last.timestamp, first.timestamp)) / bookmark_period_us + 2 < marks.size()) return false;
    // Each bookmark: time grows by at most one 24-bit wrap per two words (a key beyond that lies);
    // keys rise, positions do not fall and stay in the file; counts do not fall and grow by at most
    // 12 events per 2-byte word.
    bool ok[2] = {true, true};
    inHalves(marks.size(), kParallelRecords, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const Bookmark& b = marks[i];
            bool good = (b.timestamp >> 24) <= (b.file_pos - data_start) / 2 + 2;
            if (i > 0) {
                const Bookmark& a = marks[i - 1];
                good = good && b.timestamp > a.timestamp && b.file_pos >= a.file_pos && b.file_pos <= file_size &&
                       b.event_count >= a.event_count && b.event_count - a.event_count <= (b.file_pos - a.file_pos) * 6;
            }
            if (!good) {
                ok[begin == 0 ? 0 : 1] = false;
                return;
            }
        }
    });
    return ok[0] && ok[1];
}

bool RawFileReader::getRawFileBookmark(uint64_t timestamp, Bookmark& out)
{
    const auto it = std::lower_bound(bookmarks.begin(), bookmarks.end(), timestamp,
                                     [](const Bookmark& b, uint64_t t) { return b.timestamp < t; });
    if (it == bookmarks.end()) return false;
    if (it->timestamp == timestamp) {
        out = *it;
        return true;
    }
    if (it == bookmarks.begin()) return false;
    out = *std::prev(it);
    return true;
}

bool RawFileReader::getRawFileBookmarkByNEvents(uint64_t eventNum, Bookmark& out)
{
    if (bookmarks.empty() || bookmarks.back().event_count < eventNum) return false;
    if (eventNum == 0) {
        out = bookmarks.front();
        return true;
    }
    // The first bookmark entered for the greatest count below eventNum.
    auto byCount = [](const Bookmark& b, uint64_t k) { return b.event_count < k; };
    const auto it = std::lower_bound(bookmarks.begin(), bookmarks.end(), eventNum, byCount);
    if (it == bookmarks.begin()) return false;
    out = *std::lower_bound(bookmarks.begin(), it, std::prev(it)->event_count, byCount);
    return true;
}

}  // namespace orvane
