#include "orvane/driver/DvsFileReader.h"

#include <exception>
#include <string>

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

RecordingError DvsFileReader::open()
{
    using Kind = RecordingError::Kind;
    try {
        if (!loadFile()) {
            if (const RecordingError& reason = lastError()) return reason;
            return RecordingError{Kind::Io, "the recording could not be loaded", 0};
        }
        uint64_t count = 0;
        if (getMaxEvents(count) && count == 0) return RecordingError{Kind::NoEvents, "the recording holds no events", 0};
    } catch (const std::exception& e) {
        return RecordingError{Kind::Io, std::string("the recording could not be loaded: ") + e.what(), 0};
    }
    return {};
}

const RecordingError& DvsFileReader::lastError() const
{
    static const RecordingError none;
    return none;
}

}  // namespace orvane
