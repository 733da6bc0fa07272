// What the file fuzz targets share: a private folder for the files each input becomes.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace orvane::fuzz {

// One folder per process, made on first use and reused by every input (the readers under test
// take paths, so each input is written to a file there).
inline const std::string& workDir()
{
    static const std::string dir = [] {
        std::string d = "/tmp/orvane-fuzz-" + std::to_string(::getpid());
        std::string cmd = "mkdir -p " + d;
        if (std::system(cmd.c_str()) != 0) std::abort();
        return d;
    }();
    return dir;
}

inline void writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace orvane::fuzz
