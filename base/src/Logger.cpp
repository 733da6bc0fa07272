#include "orvane/base/Logger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <string_view>

namespace orvane {
namespace {

const char* levelName(LogLevelType level)
{
    switch (level) {
    case LOG_LEVEL_DETAIL: return "DETAIL";
    case LOG_LEVEL_INFO: return "INFO";
    case LOG_LEVEL_WARNING: return "WARNING";
    case LOG_LEVEL_ERROR: return "ERROR";
    }
    return "LOG";
}

LogLevelType parseLevel(const char* text)
{
    if (!text || !*text) return LOG_LEVEL_INFO;
    const std::string_view v(text);
    if (v == "1" || v == "detail" || v == "debug") return LOG_LEVEL_DETAIL;
    if (v == "2" || v == "info") return LOG_LEVEL_INFO;
    if (v == "3" || v == "warning" || v == "warn") return LOG_LEVEL_WARNING;
    if (v == "4" || v == "error") return LOG_LEVEL_ERROR;
    if (v == "5" || v == "off" || v == "none") return static_cast<LogLevelType>(5);
    return LOG_LEVEL_INFO;
}

const char* baseName(const char* path)
{
    if (!path) return "?";
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

void writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // logging never fails its caller
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

thread_local LogErrorCapture* currentCapture = nullptr;

}  // namespace

LogErrorCapture::LogErrorCapture() : previous_(currentCapture)
{
    currentCapture = this;
}

LogErrorCapture::~LogErrorCapture()
{
    currentCapture = previous_;
}

Logger& Logger::Instance()
{
    static Logger logger;
    return logger;
}

Logger::Logger()
{
    minLevel_ = parseLevel(std::getenv("ORVANE_LOG_LEVEL"));
    if (const char* file = std::getenv("ORVANE_LOG_FILE"); file && *file) setOutputFile(file);
}

Logger::~Logger()
{
    if (ownsFd_) ::close(fd_);
}

bool Logger::setOutputFile(const std::string& path)
{
    int fd = 2;
    if (!path.empty()) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) return false;
    }
    std::lock_guard lock(mutex_);
    if (ownsFd_) ::close(fd_);
    fd_ = fd;
    ownsFd_ = fd != 2;
    return true;
}

void Logger::log_(LogLevelType level, const char* file, int line, const char* format, ...)
{
    if (!format) return;
    if (level >= LOG_LEVEL_ERROR && currentCapture) {
        va_list args;
        va_start(args, format);
        char buf[1024];
        const int n = std::vsnprintf(buf, sizeof buf, format, args);
        va_end(args);
        if (n >= 0) currentCapture->last_.assign(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
    }
    if (level < minLevel_) return;

    char stackBuf[1024];
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);
    int prefix = std::snprintf(stackBuf, sizeof stackBuf, "%02d:%02d:%02d.%03ld [%s] %s:%d: ",
                               local.tm_hour, local.tm_min, local.tm_sec, ts.tv_nsec / 1000000,
                               levelName(level), baseName(file), line);
    if (prefix < 0) return;
    if (static_cast<size_t>(prefix) >= sizeof stackBuf) prefix = sizeof stackBuf - 1;

    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const size_t room = sizeof stackBuf - static_cast<size_t>(prefix);
    const int body = std::vsnprintf(stackBuf + prefix, room, format, args);
    va_end(args);

    std::string heap;
    const char* text = stackBuf;
    size_t size = 0;
    if (body < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(body) + 1 < room) {
        stackBuf[prefix + body] = '\n';
        size = static_cast<size_t>(prefix + body + 1);
    } else {
        // Long message: format again into a buffer of the right size.
        heap.resize(static_cast<size_t>(prefix + body + 1));
        std::memcpy(heap.data(), stackBuf, static_cast<size_t>(prefix));
        std::vsnprintf(heap.data() + prefix, static_cast<size_t>(body) + 1, format, copy);
        heap.back() = '\n';
        text = heap.data();
        size = heap.size();
    }
    va_end(copy);

    // One write per message keeps messages whole; the lock keeps the descriptor alive meanwhile.
    std::lock_guard lock(mutex_);
    writeAll(fd_, text, size);
}

}  // namespace orvane
