// What the RawFileReader sources share and nobody else sees.
#pragma once

#include <memory>

namespace orvane {

class Decoder;

// Every reader decodes with the same fixed geometry, whatever its header says.
inline constexpr char kReaderDecoderFormat[] = "EVT3;height=720;width=1280";

std::unique_ptr<Decoder> makeReaderDecoder();

}  // namespace orvane
