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
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "RawFileReaderInternal.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

namespace {

constexpr size_t kRecordBytes = 29;  // key, file_pos, reserved, timestamp, 32-bit event_count

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

// Large inputs as four independent streams in one loop (the lookups of one step do not wait for
// the previous step), joined by linearity: crc(A B) = crc(A followed by |B| zeros) ^ crc(B).
uint8_t crc8Of(const uint8_t* p, size_t n)
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

template <typename T>
void putLe(std::vector<uint8_t>& out, T value)
{
    for (size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
}

// The index is little-endian, as is every host we build for.
template <typename T>
T getLe(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    in.seekg(0, std::ios::beg);
    out.resize(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(out.data()), size);
    out.resize(static_cast<size_t>(in.gcount()));
    return true;
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

void RawFileReader::initBookmark()
{
    chunk_buffer.resize(read_chunk_size);
    cur_event_num = 0;

    // A second decoder counts events while the reader's own scans time, so one read of the file
    // serves both. It starts as a reader does after a seek to the start: time known, row unknown,
    // so its counts are exactly what reads from each bookmark will deliver.
    auto counter = makeReaderDecoder();
    counter->setTimestamp(0);

    const uint64_t unit = decoder->getRawUnitSize();
    BookmarkList marks;
    Bookmark candidate{data_start, 0, 0, 0};
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
            // Time 0 means "not told yet": the first time seen becomes the candidate's.
            const uint64_t target = candidate.timestamp == 0 ? 1 : candidate.timestamp + bookmark_period_us;
            p = decoder->scanUntilTimestamp(p, whole_end, target);
            const uint64_t t = decoder->getLastTimestamp();
            if (t < target) break;
            if (candidate.timestamp == 0) {
                candidate.timestamp = t;
                continue;
            }
            const uint64_t unit_pos = chunk_pos + static_cast<uint64_t>(p - begin) - unit;
            total += counter->decodeRange(begin + (counted_to - chunk_pos), begin + (unit_pos - chunk_pos));
            counted_to = unit_pos;
            marks.push_back(candidate);
            candidate = Bookmark{unit_pos, 0, t, total};
        }
        if (whole_end != begin + n) decoder->scanRange(whole_end, begin + n);
        total += counter->decodeRange(begin + (counted_to - chunk_pos), begin + n);
        pos += n;
        counted_to = pos;
    }
    // The closing bookmark stands at the end of the data. A recording shorter than one bookmark
    // period has only this one, where nothing is left to read, so its count is 0.
    const uint64_t last_time = decoder->getLastTimestamp();
    if (marks.empty() || marks.back().timestamp < last_time) {
        marks.push_back(Bookmark{pos, 0, last_time, marks.empty() ? 0 : total});
    }

    bookmarks = std::move(marks);
    count_to_time.clear();
    for (const Bookmark& b : bookmarks) {
        if (count_to_time.empty() || count_to_time.back().first < b.event_count) {
            count_to_time.emplace_back(b.event_count, b.timestamp);
        }
    }

    // Written under a temporary name and renamed, so a crash never leaves a half index behind.
    const std::string part_path = index_path + ".part";
    serializeBookmarkMap(bookmarks, part_path);
    std::vector<uint8_t> content;
    if (!readWholeFile(part_path, content)) {
        ORVANE_LOG_ERROR("Failed to open file");
        return;
    }
    const uint8_t crc = crc8(content);
    {
        std::ofstream out(part_path, std::ios::binary | std::ios::app);
        if (!out.is_open()) {
            ORVANE_LOG_ERROR("Failed to open file for writing");
            return;
        }
        out.put(static_cast<char>(crc));
        out.close();
        if (!out) {
            ORVANE_LOG_ERROR("Failed to write index file '%s'", part_path.c_str());
            std::error_code ec;
            std::filesystem::remove(part_path, ec);
            return;
        }
    }
    std::error_code ec;
    std::filesystem::rename(part_path, index_path, ec);
    if (ec) {
        ORVANE_LOG_ERROR("Failed to write index file '%s': %s", index_path.c_str(), ec.message().c_str());
        std::filesystem::remove(part_path, ec);
    }
}

void RawFileReader::serializeBookmarkMap(const BookmarkList& marks, const std::string& path)
{
    std::vector<uint8_t> out;
    out.reserve(64 + marks.size() * kRecordBytes);
    const std::string text = "max_byte:" + std::to_string(static_cast<int64_t>(file_size)) +
                             "\nsensor_width:" + std::to_string(width) + "\nsensor_height:" + std::to_string(height) +
                             "\n";
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    putLe<uint64_t>(out, marks.size());
    for (const Bookmark& b : marks) {
        putLe<uint64_t>(out, b.timestamp);  // the key
        putLe<uint64_t>(out, b.file_pos);
        out.push_back(b.reserved);
        putLe<uint64_t>(out, b.timestamp);
        putLe<uint32_t>(out, static_cast<uint32_t>(b.event_count));  // the file keeps 32 bits
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) {
        ORVANE_LOG_ERROR("Failed to open file for writing");
        return;
    }
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.close();
    if (!file) ORVANE_LOG_ERROR("Failed to write index file '%s'", path.c_str());
}

bool RawFileReader::checkBookmarksFromFile(const std::string& path)
{
    index_map.reset();
    uint64_t size = 0;
    bool opened = false;
    std::unique_ptr<MappedIndex> map = mapIndex(path, max_index_bytes, size, opened);
    if (!opened || !map) {
        std::cerr << "Error opening file for reading!" << std::endl;
        return false;
    }
    if (size > max_index_bytes) return false;
    if (size == 0) {
        std::cerr << "The file content is insufficient to perform CRC validation!" << std::endl;
        return false;
    }
    const uint8_t* const data = map->data;
    if (crc8Of(data, size - 1) != data[size - 1]) {
        ORVANE_LOG_INFO("The file has changed");
        return false;
    }

    const std::string text(data, std::find(data, data + size, uint8_t{0}));
    uint64_t max_byte = 0, sensor_width = 0, sensor_height = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t stop = text.find('\n', start);
        if (stop == std::string::npos) stop = text.size();
        const std::string line = text.substr(start, stop - start);
        const size_t colon = line.find(':');
        if (colon == std::string::npos) break;
        const std::string key = line.substr(0, colon);
        const uint64_t value = std::stoull(line.substr(colon + 1));
        if (key == "max_byte") max_byte = value;
        else if (key == "sensor_width") sensor_width = value;
        else if (key == "sensor_height") sensor_height = value;
        start = stop + 1;
    }
    const bool valid = max_byte == file_size && sensor_width == width && sensor_height == height;
    if (valid) index_map = std::move(map);  // the load reads these same bytes
    return valid;
}

bool RawFileReader::loadBookmarksFromFile(const std::string& path)
{
    std::unique_ptr<MappedIndex> map = std::move(index_map);
    if (!map) {
        uint64_t file_bytes = 0;
        bool opened = false;
        map = mapIndex(path, max_index_bytes, file_bytes, opened);
        if (!map) {
            ORVANE_LOG_ERROR("Error opening file for reading!");
            return false;
        }
    }
    const uint8_t* const data = map->data;
    const size_t size = map->size;
    const uint8_t* const zero = std::find(data, data + size, uint8_t{0});
    size_t at = zero == data + size ? size : static_cast<size_t>(zero - data) + 1;
    int64_t n = 0;
    if (at + 8 <= size) {
        n = getLe<int64_t>(data + at);
        at += 8;
    }
    // Never more records than the file holds.
    const uint64_t available = (size - std::min(at, size)) / kRecordBytes;
    const uint64_t count = n <= 0 ? 0 : std::min<uint64_t>(static_cast<uint64_t>(n), available);

    // Records in ascending key order, as we write them, are taken as they come; anything else is
    // ordered first (a later record with an equal key replacing the earlier one).
    struct Record {
        uint64_t key;
        Bookmark mark;
        uint32_t stored_count;
    };
    auto recordAt = [&](uint64_t i) {
        const uint8_t* p = data + at + i * kRecordBytes;
        return Record{getLe<uint64_t>(p), Bookmark{getLe<uint64_t>(p + 8), p[16], getLe<uint64_t>(p + 17), 0},
                      getLe<uint32_t>(p + 25)};
    };
    bool sorted = true;
    for (uint64_t i = 1; i < count && sorted; ++i) {
        const uint8_t* p = data + at + i * kRecordBytes;
        sorted = getLe<uint64_t>(p - kRecordBytes) < getLe<uint64_t>(p);
    }
    std::vector<Record> records;
    if (!sorted) {
        records.reserve(count);
        for (uint64_t i = 0; i < count; ++i) records.push_back(recordAt(i));
        std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) { return a.key < b.key; });
        std::vector<Record> unique;
        for (const Record& r : records) {
            if (!unique.empty() && unique.back().key == r.key) unique.back() = r;
            else unique.push_back(r);
        }
        records = std::move(unique);
    }
    const uint64_t total = sorted ? count : records.size();

    BookmarkList marks;
    marks.reserve(total);
    uint64_t previous_count = 0;
    uint64_t previous_pos = data_start;
    for (uint64_t i = 0; i < total; ++i) {
        const Record r = sorted ? recordAt(i) : records[i];
        Bookmark b = r.mark;
        // Lookups go by key; a record whose timestamp disagrees with its key is not ours.
        if (b.timestamp != r.key) return false;
        if (b.file_pos < previous_pos || b.file_pos > file_size) return false;
        b.event_count = marks.empty() ? r.stored_count : unwrapCount(previous_count, r.stored_count);
        if (marks.empty() && b.event_count != 0) return false;
        previous_count = b.event_count;
        previous_pos = b.file_pos;
        marks.push_back(b);
    }
    if (marks.empty()) return false;

    bookmarks = std::move(marks);
    count_to_time.clear();
    count_to_time.reserve(bookmarks.size());
    for (const Bookmark& b : bookmarks) {
        if (count_to_time.empty() || count_to_time.back().first < b.event_count) {
            count_to_time.emplace_back(b.event_count, b.timestamp);
        }
    }
    return true;
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
    const auto it = std::lower_bound(count_to_time.begin(), count_to_time.end(), eventNum,
                                     [](const std::pair<uint64_t, uint64_t>& e, uint64_t k) { return e.first < k; });
    if (it == count_to_time.end()) return false;
    if (eventNum == 0) {
        out = bookmarks.front();
        return true;
    }
    if (it == count_to_time.begin()) return false;
    return getRawFileBookmark(std::prev(it)->second, out);
}

}  // namespace orvane
