// What orvane cut and orvane export share: the --start/--end range checked against the recording
// (one clear line for each mistake), progress on a terminal, and the reader's own error message as
// the one failure line instead of its log.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "Command.h"
#include "OpenRecording.h"

namespace orvane::cli {

struct TimeRange {
    uint64_t start = 0, end = 0;
};

// Without options: the whole recording (a range to the end time takes the recording to its end).
inline TimeRange rangeFromArgs(const Args& args, RawFileReader& reader)
{
    uint64_t first = 0, last = 0;
    reader.getStartTimeStamp(first);
    reader.getEndTimeStamp(last);
    TimeRange r{args.u64("start").value_or(first), args.u64("end").value_or(last)};
    if (r.start < first) {
        throw std::runtime_error("--start " + std::to_string(r.start) + " is before the recording's start (" +
                                 std::to_string(first) + " us)");
    }
    if (r.end > last) {
        throw std::runtime_error("--end " + std::to_string(r.end) + " is after the recording's end (" +
                                 std::to_string(last) + " us)");
    }
    if (r.start >= r.end) {
        throw std::runtime_error("--start " + std::to_string(r.start) + " must be below --end " +
                                 std::to_string(r.end));
    }
    return r;
}

// Fails with the system's reason when nothing can be created where `out` goes, so that the
// failure is not blamed on the input later.
inline void checkOutputCreatable(const std::string& out)
{
    std::error_code ec;
    if (std::filesystem::is_directory(out, ec)) throw std::runtime_error("cannot create '" + out + "': it is a folder");
    const std::filesystem::path dir = std::filesystem::path(out).parent_path();
    std::string probe = ((dir.empty() ? std::filesystem::path(".") : dir) / ".orvane-probe-XXXXXX").string();
    const int fd = mkstemp(probe.data());
    if (fd < 0) throw std::runtime_error("cannot create '" + out + "': " + std::strerror(errno));
    ::close(fd);
    std::remove(probe.c_str());
}

// Set by SIGINT (Ctrl-C) and SIGTERM while a cut or an export runs: the reader sees it between
// pieces, stops and removes its part file.
inline std::atomic<bool> interrupted{false};

extern "C" inline void onInterrupt(int)
{
    interrupted.store(true);
}

// The handlers for the time of one job; the defaults again afterwards, so that a second Ctrl-C
// outside a job ends the process as usual.
struct InterruptHandlers {
    struct sigaction previousInt {}, previousTerm {};
    InterruptHandlers()
    {
        interrupted = false;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt);
        sigaction(SIGTERM, &action, &previousTerm);
    }
    ~InterruptHandlers()
    {
        sigaction(SIGINT, &previousInt, nullptr);
        sigaction(SIGTERM, &previousTerm, nullptr);
    }
    InterruptHandlers(const InterruptHandlers&) = delete;
    InterruptHandlers& operator=(const InterruptHandlers&) = delete;
};

// Runs `op` with a percentage on stderr when that is a terminal. On failure throws the reader's
// reason, so the user sees one line that says what went wrong. Ctrl-C cancels it.
inline void runWithProgress(RawFileReader& reader, const char* what, const std::function<bool()>& op)
{
    const InterruptHandlers handlers;
    reader.setCancelFlag(&interrupted);
    const bool tty = isatty(2);
    int shown = -1;
    reader.setProgressCallback([&](double f) {
        const int pct = static_cast<int>(f * 100);
        if (!tty || pct == shown) return;
        shown = pct;
        std::fprintf(stderr, "\r%s %3d%%", what, pct);
        std::fflush(stderr);
    });
    // Errors the reader logs are in its reason: keep them off the terminal.
    if (!std::getenv("ORVANE_LOG_LEVEL")) Logger::Instance().setMinLevel(static_cast<LogLevelType>(LOG_LEVEL_ERROR + 1));
    bool ok = false;
    std::string thrown;
    try {
        ok = op();
    } catch (const std::exception& e) {
        thrown = e.what();
    }
    if (!std::getenv("ORVANE_LOG_LEVEL")) Logger::Instance().setMinLevel(LOG_LEVEL_ERROR);
    reader.setProgressCallback(nullptr);
    reader.setCancelFlag(nullptr);
    if (tty && shown >= 0) std::fputs(ok ? "\n" : "\r\033[K", stderr);
    const RecordingError& reason = reader.lastError();
    if (ok) return;
    if (reason) throw RecordingFailure(reason.kind, std::string(what) + " failed: " + reason.message);
    throw std::runtime_error(std::string(what) + " failed" + (thrown.empty() ? "" : ": " + thrown));
}

}  // namespace orvane::cli
