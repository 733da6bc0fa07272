#include "ExportOutput.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "orvane/base/Logger.h"

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

}  // namespace orvane::exportio
