#include "ExportOutput.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "FileSizeSignal.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane::exportio {

std::string partPathFor(const std::string& path)
{
    const std::filesystem::path p(path);
    return path + ".part" + std::to_string(::getpid()) + p.extension().string();
}

void removeStalePartFiles(const std::string& path)
{
    const std::filesystem::path p(path);
    const std::string prefix = p.filename().string() + ".part", ext = p.extension().string();
    std::error_code ec;
    const std::filesystem::path dir = p.parent_path().empty() ? std::filesystem::path(".") : p.parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= prefix.size() + ext.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - ext.size(), ext.size(), ext) != 0) {
            continue;
        }
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - ext.size());
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(digits));
        if (pid == ::getpid() || pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        std::error_code removed;
        if (std::filesystem::remove(entry.path(), removed))
            ORVANE_LOG_INFO("Removed %s, left by a process that is gone", entry.path().c_str());
    }
}

RecordingError cancelledError(const std::string& what, const std::string& out)
{
    return {RecordingError::Kind::Cancelled, what + " into '" + out + "' cancelled; no file was left", 0};
}

RecordingError::Kind outputErrorKind(int err)
{
    if (err == ENOENT || err == ENOTDIR) return RecordingError::Kind::NotFound;
    if (err == EACCES || err == EPERM || err == EROFS) return RecordingError::Kind::NoPermission;
    return RecordingError::Kind::Io;
}

RecordingError ioError(const std::string& what)
{
    const int err = errno;
    return {RecordingError::Kind::Io, what + (err != 0 ? std::string(": ") + std::strerror(err) : ""), err};
}

void removeQuietly(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

PartFile::PartFile(std::string output) : output_(std::move(output)), part_(partPathFor(output_))
{
    ignoreFileSizeSignal();
    removeStalePartFiles(output_);
}

PartFile::~PartFile()
{
    if (!committed_) removeQuietly(part_);
}

RecordingError PartFile::commit()
{
    std::error_code ec;
    std::filesystem::rename(part_, output_, ec);
    if (ec) {
        ORVANE_LOG_ERROR("Failed to open output file: %s.", output_.c_str());
        removeQuietly(part_);
        return {outputErrorKind(ec.value()), "cannot write '" + output_ + "': " + ec.message(), ec.value()};
    }
    committed_ = true;
    return {};
}

RecordingError forEachEvent(RawFileReader& reader, ExportRange range, const std::string& output,
                            const Progress& progress,
                            const std::function<void(const Event2D*, const Event2D*)>& sink)
{
    constexpr uint64_t kPiece = 65536;
    uint64_t first = 0, last = 0;
    reader.getStartTimeStamp(first);
    reader.getEndTimeStamp(last);
    if (range.start_us > range.end_us || range.start_us > last || range.end_us < first) {
        return {RecordingError::Kind::BadRange,
                "the range " + std::to_string(range.start_us) + " to " + std::to_string(range.end_us) +
                    " us is not in '" + reader.getPath() + "' (it runs from " + std::to_string(first) + " to " +
                    std::to_string(last) + " us)",
                0};
    }
    const bool to_end = range.end_us >= last;
    // Before the start a seek moves nothing: the time before it has no events anyway.
    if (!reader.seekTime(std::max(range.start_us, first))) {
        return {RecordingError::Kind::BadRange, "cannot seek to " + std::to_string(range.start_us) + " us", 0};
    }
    const double span = range.end_us > range.start_us ? static_cast<double>(range.end_us - range.start_us) : 1.0;
    bool done = false;
    uint64_t reached = range.start_us;
    while (!done) {
        const uint64_t got = reader.readNEvents(kPiece, [&](const Event2D* b, const Event2D* e) {
            if (done || b == e) return;
            const Event2D* stop = to_end ? e : std::find_if(b, e, [&](const Event2D& ev) {
                return ev.timestamp >= range.end_us;
            });
            if (stop != b) {
                sink(b, stop);
                reached = std::max(reached, (stop - 1)->timestamp);
            }
            if (stop != e) done = true;
        });
        if (got < kPiece) break;
        progress(std::min(1.0, static_cast<double>(reached - std::min(reached, range.start_us)) / span));
        if (progress.cancelled()) return cancelledError("the export", output);
    }
    if (progress.cancelled()) return cancelledError("the export", output);
    return {};
}

void forEachTrigger(RawFileReader& reader, ExportRange range,
                    const std::function<void(const std::vector<EventTriggerIn>&)>& sink)
{
    constexpr uint64_t kWindow = 10000000;
    uint64_t last = 0;
    reader.getEndTimeStamp(last);
    // The end of the recording is in the range when the range reaches it.
    const uint64_t end = range.end_us >= last ? last + 1 : range.end_us;
    std::vector<EventTriggerIn> window;
    for (uint64_t t = range.start_us; t < end;) {
        const uint64_t to = end - t > kWindow ? t + kWindow : end;
        window.clear();
        if (reader.getTriggerEvents(t, to, window) && !window.empty()) sink(window);
        t = to;
    }
}

}  // namespace orvane::exportio
