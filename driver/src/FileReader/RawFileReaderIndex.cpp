// The bookmark index: one scan of the recording ties timestamps (at least bookmark_period_us
// apart) to byte positions and event counts; the result is kept beside the recording, protected by
// a CRC-8, and read back on later loads while it still matches the recording.
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

uint8_t crc8Of(const uint8_t* p, size_t n)
{
    static const Crc8Tables tables;
    const auto& t = tables.t;
    uint8_t crc = 0;
    for (; n >= 8; n -= 8, p += 8) {
        crc = t[7][crc ^ p[0]] ^ t[6][p[1]] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^
              t[0][p[7]];
    }
    for (; n > 0; --n, ++p) crc = t[0][crc ^ *p];
    return crc;
}

template <typename T>
void putLe(std::vector<uint8_t>& out, T value)
{
    for (size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
}

template <typename T>
T getLe(const uint8_t* p)
{
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v |= uint64_t{p[i]} << (8 * i);
    return static_cast<T>(v);
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
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        std::cerr << "Error opening file for reading!" << std::endl;
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > max_index_bytes) return false;
    in.seekg(0, std::ios::beg);
    std::vector<uint8_t> content(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(content.data()), size);
    content.resize(static_cast<size_t>(in.gcount()));
    if (content.empty()) {
        std::cerr << "The file content is insufficient to perform CRC validation!" << std::endl;
        return false;
    }
    if (crc8Of(content.data(), content.size() - 1) != content.back()) {
        ORVANE_LOG_INFO("The file has changed");
        return false;
    }

    const auto zero = std::find(content.begin(), content.end(), uint8_t{0});
    const std::string text(content.begin(), zero);
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
    return max_byte == file_size && sensor_width == width && sensor_height == height;
}

bool RawFileReader::loadBookmarksFromFile(const std::string& path)
{
    std::vector<uint8_t> content;
    if (!readWholeFile(path, content)) {
        ORVANE_LOG_ERROR("Error opening file for reading!");
        return false;
    }
    const auto zero = std::find(content.begin(), content.end(), uint8_t{0});
    size_t at = zero == content.end() ? content.size() : static_cast<size_t>(zero - content.begin()) + 1;
    int64_t n = 0;
    if (at + 8 <= content.size()) {
        n = getLe<int64_t>(content.data() + at);
        at += 8;
    }
    // Never more records than the file holds.
    const uint64_t available = (content.size() - std::min(at, content.size())) / kRecordBytes;
    const uint64_t count = n <= 0 ? 0 : std::min<uint64_t>(static_cast<uint64_t>(n), available);

    struct Record {
        uint64_t key;
        Bookmark mark;
        uint32_t stored_count;
    };
    std::vector<Record> records;
    records.reserve(count);
    bool sorted = true;
    for (uint64_t i = 0; i < count; ++i, at += kRecordBytes) {
        const uint8_t* p = content.data() + at;
        Record r{getLe<uint64_t>(p), Bookmark{getLe<uint64_t>(p + 8), p[16], getLe<uint64_t>(p + 17), 0},
                 getLe<uint32_t>(p + 25)};
        if (!records.empty() && r.key <= records.back().key) sorted = false;
        records.push_back(r);
    }
    if (!sorted) {
        // A later record with an equal key replaces the earlier one.
        std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) { return a.key < b.key; });
        std::vector<Record> unique;
        for (const Record& r : records) {
            if (!unique.empty() && unique.back().key == r.key) unique.back() = r;
            else unique.push_back(r);
        }
        records = std::move(unique);
    }

    BookmarkList marks;
    marks.reserve(records.size());
    uint64_t previous_count = 0;
    uint64_t previous_pos = data_start;
    for (const Record& r : records) {
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
