#include <cstdarg>
#include <cstring>
#include <mutex>

#include "FfmpegPtr.h"
#include "orvane/base/Logger.h"

extern "C" {
#include <libavutil/log.h>
}

namespace orvane::ffmpeg {

namespace {

void forward(void* avcl, int level, const char* format, va_list args)
{
    LogLevelType ours;
    if (level <= AV_LOG_ERROR) {
        ours = LOG_LEVEL_ERROR;
    } else if (level <= AV_LOG_WARNING) {
        ours = LOG_LEVEL_WARNING;
    } else if (level <= AV_LOG_INFO) {
        ours = LOG_LEVEL_DETAIL;
    } else {
        return;  // verbose and debug output is FFmpeg's own business
    }
    Logger& logger = Logger::Instance();
    if (!logger.isEnabled(ours)) return;
    // FFmpeg may build one line from several calls; each piece becomes its own message.
    thread_local int printPrefix = 1;
    char line[1024];
    av_log_format_line2(avcl, level, format, args, line, sizeof(line), &printPrefix);
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = '\0';
    if (length > 0) logger.log_(ours, __FILE__, __LINE__, "%s", line);
}

}  // namespace

void installLogBridge()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(forward); });
}

}  // namespace orvane::ffmpeg
