// Index files that lie. A small recording is made once and indexed; each input then edits its
// index (byte edits at offsets it gives, or its own bytes as the whole index), the CRC is computed
// again so that the loader gets past it to the records, and the recording is opened. Whatever the
// index says, the recording must open and read back exactly as decoded.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
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
    // An index taken as it is may still be wrong in ways no check without a scan can see; reads
    // must then stay within the file and end. One rebuilt (or the good one) gives the recording.
    if (!reader.indexReused() || index == rec.goodIndex) {
        if (readAll(reader) != rec.events) std::abort();
    } else {
        readAll(reader);
        for (uint64_t k = 0; k <= max; k += 257) reader.getNEventsGivenStartEvent(k, 3);
        uint64_t start = 0, end = 0;
        reader.getStartTimeStamp(start);
        reader.getEndTimeStamp(end);
        for (uint64_t t = start; t <= end && t - start < 100000000; t += std::max<uint64_t>(1, (end - start) / 17)) {
            reader.getNTimeEventsGivenStartTimeStamp(t, 5000);
        }
    }
    return 0;
}
