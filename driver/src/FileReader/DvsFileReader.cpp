#include "orvane/driver/DvsFileReader.h"

#include "orvane/driver/RawFileReader.h"

namespace orvane {

std::unique_ptr<DvsFileReader> DvsFileReader::createFileReader(std::string path)
{
    // Everything from the last dot on, so "d.raw/x" has the extension ".raw/x" and is refused.
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return nullptr;
    if (path.compare(dot, std::string::npos, ".raw") != 0) return nullptr;
    return std::make_unique<RawFileReader>(std::move(path));
}

}  // namespace orvane
