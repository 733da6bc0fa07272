// The one logger of the process. Any thread may call log_(); each message is formatted first and
// then written with a single write, so lines from different threads never interleave.
// What is kept is chosen at run time: ORVANE_LOG_LEVEL (1 detail .. 4 error, or a level name;
// default 2, information and above) and ORVANE_LOG_FILE (append to a file instead of stderr).
#pragma once

#include <mutex>
#include <string>

namespace orvane {

enum LogLevelType : int {
    LOG_LEVEL_DETAIL = 1,
    LOG_LEVEL_INFO = 2,
    LOG_LEVEL_WARNING = 3,
    LOG_LEVEL_ERROR = 4,
};

class Logger {
public:
    static Logger& Instance();

    // printf-style; never throws. `file` is the calling source file (its base name is written).
    void log_(LogLevelType level, const char* file, int line, const char* format, ...)
        __attribute__((format(printf, 5, 6)));

    bool isEnabled(LogLevelType level) const { return level >= minLevel_; }

    // For tests and tools: change what is kept and where it goes. An empty path means stderr.
    void setMinLevel(LogLevelType level) { minLevel_ = level; }
    bool setOutputFile(const std::string& path);

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

private:
    Logger();
    ~Logger();

    std::mutex mutex_;  // guards fd_ changes; writes themselves are single write() calls
    int fd_ = 2;
    bool ownsFd_ = false;
    LogLevelType minLevel_ = LOG_LEVEL_INFO;
};

// While one lives, the text of each error logged on the constructing thread is kept in it, whatever
// the log level lets through: a caller that turns a failed operation into an exception or a status
// line gives the library's own reason. Captures nest; the innermost one receives.
class LogErrorCapture {
public:
    LogErrorCapture();
    ~LogErrorCapture();
    LogErrorCapture(const LogErrorCapture&) = delete;
    LogErrorCapture& operator=(const LogErrorCapture&) = delete;

    // The last error's message (without time, level and source), or empty.
    const std::string& lastError() const { return last_; }

private:
    friend class Logger;
    std::string last_;
    LogErrorCapture* previous_ = nullptr;
};

}  // namespace orvane

#define ORVANE_LOG(level, ...) ::orvane::Logger::Instance().log_((level), __FILE__, __LINE__, __VA_ARGS__)
#define ORVANE_LOG_DETAIL(...) ORVANE_LOG(::orvane::LOG_LEVEL_DETAIL, __VA_ARGS__)
#define ORVANE_LOG_INFO(...) ORVANE_LOG(::orvane::LOG_LEVEL_INFO, __VA_ARGS__)
#define ORVANE_LOG_WARNING(...) ORVANE_LOG(::orvane::LOG_LEVEL_WARNING, __VA_ARGS__)
#define ORVANE_LOG_ERROR(...) ORVANE_LOG(::orvane::LOG_LEVEL_ERROR, __VA_ARGS__)
