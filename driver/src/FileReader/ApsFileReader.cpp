#include "orvane/driver/ApsFileReader.h"

#include "orvane/driver/Mp4FileReader.h"

namespace orvane {

ApsFileReader::~ApsFileReader() = default;

std::unique_ptr<ApsFileReader> ApsFileReader::createFileReader(std::string path)
{
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.compare(dot, std::string::npos, ".mp4") != 0) return nullptr;
    return std::make_unique<Mp4FileReader>(std::move(path));
}

std::string ApsFileReader::getMetadata(const std::string& key) const
{
    const auto it = metadata.find(key);
    return it == metadata.end() ? std::string() : it->second;
}

}  // namespace orvane
