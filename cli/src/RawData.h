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
    std::string format = "EVT 3.0";     // as users know it
    std::string decoderFormat = "EVT3";  // the decoder's name for it
    std::vector<uint8_t> data;           // the words after the header
};

// Reads the whole file, its header through the driver's parser. Throws the reason (a
// RecordingFailure, or std::runtime_error) on failure.
RawData loadRawData(const std::string& path);

}  // namespace orvane::cli
