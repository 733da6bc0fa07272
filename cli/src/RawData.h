// Loading a raw recording's event bytes into memory, for the benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::cli {

struct RawData {
    uint64_t headerBytes = 0;
    uint16_t width = 1280;
    uint16_t height = 720;
    std::vector<uint8_t> data;  // the EVT 3.0 words after the header
};

// Reads the whole file; the header ends at "% end" or at the first line not starting with "%".
// Throws std::runtime_error with a one-line reason on failure.
RawData loadRawData(const std::string& path);

}  // namespace orvane::cli
