// What the file fuzz targets share: a private folder for the files each input becomes, and a
// quiet library log (the inputs are mostly broken files, each of which would be logged).
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "orvane/base/Logger.h"

namespace orvane::fuzz {

// One folder per process under the temporary directory ($TMPDIR, which scripts/fuzz.sh points into
// the build folder and empties), made on first use and reused by every input: the readers under
// test take paths, so each input is written to a file there.
inline const std::string& workDir()
{
    static const std::string dir = [] {
        Logger::Instance().setMinLevel(static_cast<LogLevelType>(LOG_LEVEL_ERROR + 1));
        const std::filesystem::path d = std::filesystem::temp_directory_path() / ("orvane-fuzz-" + std::to_string(::getpid()));
        std::error_code ec;
        std::filesystem::create_directories(d, ec);
        if (ec) std::abort();
        return d.string();
    }();
    return dir;
}

inline void writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// The input as the file `name` in the work folder; returns its path.
inline std::string inputFile(const char* name, const uint8_t* data, size_t size)
{
    const std::string path = workDir() + "/" + name;
    writeFile(path, data, size);
    return path;
}

}  // namespace orvane::fuzz
