// Arbitrary bytes as an mp4 of APS frames: opening, the frame times and reading frames may fail,
// never crash or hang.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "FuzzFiles.h"
#include "orvane/driver/Mp4FileReader.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::inputFile("in.mp4", data, size);
    Mp4FileReader reader(path);
    if (!reader.loadFile()) return 0;
    std::vector<uint64_t> times;
    reader.getTimeStamps(times);
    ApsFrame frame;
    for (int i = 0; i < 4 && reader.getNextFrame(frame); ++i) {
    }
    if (!times.empty()) reader.getNFrame(static_cast<int32_t>(times.size() / 2), frame);
    // An index outside the list raises the standard out-of-range error, by contract.
    for (const int32_t n : {-1, static_cast<int32_t>(times.size())}) {
        try {
            reader.getNFrame(n, frame);
            std::abort();
        } catch (const std::out_of_range&) {
        }
    }
    return 0;
}
