// Arbitrary bytes as a raw recording: the "%" header parser, the index built over whatever follows,
// and a few reads and seeks. Loading may refuse the file (false, or the header's number errors), but
// never crash, hang or hand out an event off the sensor it reports.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "FuzzFiles.h"
#include "orvane/driver/RawFileReader.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::inputFile("in.raw", data, size);
    RawFileReader reader(path);
    std::remove(reader.getIndexPath().c_str());  // built from these bytes, not reused
    bool loaded = false;
    try {
        loaded = reader.loadFile();
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
    if (!loaded) return 0;
    if (reader.getWidth() < 1 || reader.getWidth() > 2048 || reader.getHeight() < 1 || reader.getHeight() > 2048) {
        std::abort();
    }
    uint64_t start = 0, end = 0, max = 0;
    reader.getStartTimeStamp(start);
    reader.getEndTimeStamp(end);
    reader.getMaxEvents(max);
    if (end < start) std::abort();
    uint64_t seen = 0;
    while (reader.getCurrentPosEventNum() < max) {
        const auto part = reader.getNEvents(4096);
        if (part->empty()) break;
        seen += part->size();
    }
    if (seen != max) std::abort();  // the index's count and the reads disagree
    reader.seekTime(start + (end - start) / 2);
    reader.getNTimeEvents(1000);
    reader.seekNEvents(max / 2);
    reader.getNEvents(10);
    return 0;
}
