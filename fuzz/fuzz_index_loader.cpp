// Index files that lie. A small recording is made once and indexed; each input then edits its
// index (byte edits at offsets it gives, or its own bytes as the whole index), the CRC is computed
// again so that the loader gets past it to the records, and the recording is opened. Whatever the
// index says, the recording must open and read back exactly as decoded.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "FuzzFiles.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"
#include "orvane/hal/Evt3Encoder.h"

using namespace orvane;

namespace {

uint8_t crc8(const uint8_t* p, size_t n)
{
    uint8_t c = 0;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int b = 0; b < 8; ++b) c = static_cast<uint8_t>((c & 0x80) ? (c << 1) ^ 0x07 : c << 1);
    }
    return c;
}

struct Recording {
    std::string path, index;
    std::vector<uint8_t> goodIndex;
    std::vector<Event2D> events;
};

std::vector<Event2D> readAll(RawFileReader& reader)
{
    std::vector<Event2D> all;
    uint64_t max = 0;
    reader.getMaxEvents(max);
    reader.seekNEvents(0);
    while (reader.getCurrentPosEventNum() < max) {
        const auto part = reader.getNEvents(2048);
        if (part->empty()) break;
        all.insert(all.end(), part->begin(), part->end());
    }
    return all;
}

const Recording& recording()
{
    static const Recording rec = [] {
        Recording r;
        r.path = fuzz::workDir() + "/rec.raw";
        std::vector<Event2D> events;
        uint64_t t = 3000000;
        for (uint32_t i = 0; i < 3000; ++i) {
            t += (i * 7919) % 97;
            events.emplace_back(static_cast<uint16_t>((i * 31) % 1280), static_cast<uint16_t>((i * 17) % 720),
                                static_cast<uint8_t>(i & 1), t);
        }
        Evt3Encoder::Options options;
        options.timeHighPeriodUs = 16;
        const std::vector<uint8_t> data = encodeEvt3(events, {}, options);
        const std::string header = "% evt 3.0\n% end\n";
        std::vector<uint8_t> file(header.begin(), header.end());
        file.insert(file.end(), data.begin(), data.end());
        fuzz::writeFile(r.path, file.data(), file.size());
        RawFileReader reader(r.path);
        if (!reader.loadFile()) std::abort();
        r.index = reader.getIndexPath();
        r.events = readAll(reader);
        if (r.events.size() != events.size()) std::abort();
        std::ifstream in(r.index, std::ios::binary);
        r.goodIndex.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return r;
    }();
    return rec;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Recording& rec = recording();
    std::vector<uint8_t> index;
    if (size > 0 && data[0] == 0xFF) {
        index.assign(data + 1, data + size);  // the input is the index
    } else if (size > 0 && data[0] == 0xFE) {
        // Quadruples (record, field, delta, spare) that move one field of one record a little: the
        // plausible lies (a position off by a byte or a word, a count or a time off by a few) that
        // only a look at the data can catch.
        index.assign(rec.goodIndex.begin(), rec.goodIndex.end() - 1);
        const size_t body = static_cast<size_t>(std::find(index.begin(), index.end(), uint8_t{0}) - index.begin()) + 9;
        const size_t records = (index.size() - body) / 29;
        for (size_t i = 1; i + 3 < size && records > 0; i += 4) {
            uint8_t* r = index.data() + body + (data[i] % records) * 29;
            const int delta = static_cast<int8_t>(data[i + 2]);
            auto nudge = [delta](uint8_t* p, size_t bytes) {
                uint64_t v = 0;
                std::memcpy(&v, p, bytes);
                v += static_cast<uint64_t>(static_cast<int64_t>(delta));
                std::memcpy(p, &v, bytes);
            };
            switch (data[i + 1] % 3) {
            case 0: nudge(r + 8, 8); break;  // position
            case 1: nudge(r, 8), nudge(r + 17, 8); break;  // time, with its key
            default: nudge(r + 25, 4); break;  // count
            }
        }
    } else {
        // Triples (offset low, offset high, value) written over the good index, without its CRC.
        index.assign(rec.goodIndex.begin(), rec.goodIndex.end() - 1);
        for (size_t i = 1; i + 2 < size; i += 3) {
            const size_t at = (static_cast<size_t>(data[i]) | static_cast<size_t>(data[i + 1]) << 8) % index.size();
            index[at] = data[i + 2];
        }
    }
    index.push_back(crc8(index.data(), index.size()));
    fuzz::writeFile(rec.index, index.data(), index.size());

    RawFileReader reader(rec.path);
    if (!reader.loadFile()) std::abort();
    uint64_t max = 0;
    reader.getMaxEvents(max);
    // The index is checked against the data where it is used, so whatever it says, reads from
    // the start and reads by count give exactly the recording's events. Reads by time must stay
    // within the file and end.
    if (max != rec.events.size() || readAll(reader) != rec.events) std::abort();
    for (uint64_t k = 0; k < max; k += 257) {
        const auto part = reader.getNEventsGivenStartEvent(k, 3);
        const size_t n = std::min<size_t>(3, rec.events.size() - k);
        if (part->size() != n || !std::equal(part->begin(), part->end(), rec.events.begin() + static_cast<long>(k)))
            std::abort();
    }
    uint64_t start = 0, end = 0;
    reader.getStartTimeStamp(start);
    reader.getEndTimeStamp(end);
    for (uint64_t t = start; t <= end && t - start < 100000000; t += std::max<uint64_t>(1, (end - start) / 17)) {
        reader.getNTimeEventsGivenStartTimeStamp(t, 5000);
    }
    return 0;
}
