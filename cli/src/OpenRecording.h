// Opening a recording for the commands that read one: every failure becomes one line (thrown as
// std::runtime_error, which main prints), with the reader's own messages kept off the terminal.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "orvane/base/Logger.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane::cli {

struct OpenedRecording {
    std::unique_ptr<RawFileReader> reader;
    double openMs = 0;
};

// Information lines and warnings of the reader (a read clipped at the end) stay quiet unless the
// user asked for a log level.
inline void quietReaderLog()
{
    if (!std::getenv("ORVANE_LOG_LEVEL")) Logger::Instance().setMinLevel(LOG_LEVEL_ERROR);
}

// `allowEmpty`: a recording without events is a failure unless the caller can use one.
inline OpenedRecording openRecording(const std::string& path, bool allowEmpty = false)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw std::runtime_error("'" + path + "': no such file");
    if (!std::filesystem::is_regular_file(path, ec)) throw std::runtime_error("'" + path + "' is not a file");
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".raw") != 0) {
        throw std::runtime_error("'" + path + "' is not a .raw recording");
    }
    // The reader says only that it could not open the file: ask the system why.
    if (const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); fd < 0) {
        throw std::runtime_error("cannot open '" + path + "': " + std::strerror(errno));
    } else {
        ::close(fd);
    }
    OpenedRecording r;
    r.reader = std::make_unique<RawFileReader>(path);
    std::ostringstream captured;  // "Error : detected non-EVT3 input file" and the like
    std::streambuf* const saved = std::cerr.rdbuf(captured.rdbuf());
    bool loaded = false;
    const auto t0 = std::chrono::steady_clock::now();
    try {
        loaded = r.reader->loadFile();
    } catch (const std::invalid_argument& e) {
        std::cerr.rdbuf(saved);
        throw std::runtime_error("'" + path + "': malformed number in the header (" + e.what() + ")");
    } catch (const std::out_of_range& e) {
        std::cerr.rdbuf(saved);
        const std::string what = e.what();
        if (what.find("geometry") != std::string::npos) throw std::runtime_error("'" + path + "': " + what);
        throw std::runtime_error("'" + path + "': number out of range in the header (" + what + ")");
    } catch (const std::exception& e) {
        std::cerr.rdbuf(saved);
        throw std::runtime_error("'" + path + "': " + e.what());
    }
    std::cerr.rdbuf(saved);
    r.openMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (!loaded) {
        if (captured.str().find("non-EVT3") != std::string::npos) {
            throw std::runtime_error("'" + path + "' is not an EVT 3.0 recording");
        }
        throw std::runtime_error("cannot open '" + path + "'");
    }
    uint64_t events = 0;
    r.reader->getMaxEvents(events);
    if (events == 0 && !allowEmpty) throw std::runtime_error("'" + path + "' holds no events");
    return r;
}

}  // namespace orvane::cli
