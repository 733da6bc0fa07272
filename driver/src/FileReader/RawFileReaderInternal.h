// What the RawFileReader sources share and nobody else sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orvane {

class Decoder;

// Every reader decodes with the same fixed geometry, whatever its header says.
inline constexpr char kReaderDecoderFormat[] = "EVT3;height=720;width=1280";

std::unique_ptr<Decoder> makeReaderDecoder();

// A file mapped read-only, whole: the index is checked and parsed in place, without a copy.
struct MappedIndex {
    const uint8_t* data = nullptr;
    size_t size = 0;
    MappedIndex() = default;
    MappedIndex(const MappedIndex&) = delete;
    MappedIndex& operator=(const MappedIndex&) = delete;
    ~MappedIndex();
};

}  // namespace orvane

namespace orvane {

}  // namespace orvane
