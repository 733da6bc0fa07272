// What the RawFileReader sources share and nobody else sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orvane {

// "'path'": how messages name a file.
inline std::string inQuotes(const std::string& path)
{
    return "'" + path + "'";
}

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

