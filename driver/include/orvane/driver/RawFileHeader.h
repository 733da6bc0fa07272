// What a raw file's "%" header says, read by the same parser the reader uses, for tools that look
// at a recording's words themselves (the benchmarks) without loading it.
#pragma once

#include <cstdint>
#include <string>

#include "orvane/driver/RecordingError.h"

namespace orvane {

struct RawFileHeaderInfo {
    uint64_t dataStart = 0;  // offset of the first data byte
    uint16_t width = 1280;
    uint16_t height = 720;
    std::string format;         // as users know it: "EVT 3.0", "EVT 2.0", "EVT 2.1"
    std::string decoderFormat;  // the HAL decoder's name for it: "EVT3", "EVT2", "EVT21"
};

// Kind::None and `out` filled, or the reason the file is not a recording Orvane reads.
RecordingError readRawFileHeader(const std::string& path, RawFileHeaderInfo& out);

}  // namespace orvane
