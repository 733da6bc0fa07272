// Cutting a time range into a new recording and exporting it as video: not built yet.
#include "orvane/base/Logger.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane {

bool RawFileReader::extractEventData(uint64_t, uint64_t, std::string)
{
    ORVANE_LOG_ERROR("extractEventData: not available yet");
    return false;
}

bool RawFileReader::exportEventDataToVideo(uint64_t, uint64_t, std::string)
{
    ORVANE_LOG_ERROR("exportEventDataToVideo: not available yet");
    return false;
}

}  // namespace orvane
