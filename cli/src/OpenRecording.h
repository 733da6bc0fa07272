// Opening a recording for the commands that read one: a failure becomes one line on stderr with
// the reader's own reason, and an exit status that tells the reason's kind (see exitStatusFor).
#pragma once

#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "orvane/base/Logger.h"
#include "orvane/driver/RawFileReader.h"

namespace orvane::cli {

// A failure with the driver's reason; main prints the message and exits with exitStatusFor(kind).
struct RecordingFailure : std::runtime_error {
    RecordingFailure(const RecordingError& e) : std::runtime_error(e.message), kind(e.kind) {}
    RecordingFailure(RecordingError::Kind k, const std::string& message) : std::runtime_error(message), kind(k) {}
    RecordingError::Kind kind;
};

// 3 not found, 4 no permission, 5 not a recording Orvane reads (its encoding, header, geometry or
// data), 6 no events, 130 cancelled (Ctrl-C, SIGTERM), 1 anything else (2 is a usage error).
inline int exitStatusFor(RecordingError::Kind kind)
{
    using Kind = RecordingError::Kind;
    switch (kind) {
    case Kind::NotFound: return 3;
    case Kind::NoPermission: return 4;
    case Kind::UnsupportedFormat:
    case Kind::BadHeader:
    case Kind::BadGeometry:
    case Kind::NotEventData: return 5;
    case Kind::NoEvents: return 6;
    case Kind::Cancelled: return 130;  // as a shell tells a command ended by Ctrl-C
    default: return 1;
    }
}

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
    OpenedRecording r;
    r.reader = std::make_unique<RawFileReader>(path);
    const auto t0 = std::chrono::steady_clock::now();
    const RecordingError error = r.reader->open();
    r.openMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (error && !(allowEmpty && error.kind == RecordingError::Kind::NoEvents)) throw RecordingFailure(error);
    return r;
}

}  // namespace orvane::cli
