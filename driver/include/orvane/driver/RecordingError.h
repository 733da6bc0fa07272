// Why opening, cutting or exporting a recording failed, as a value the front ends show directly
// (the CLI prints the message, Python raises the exception the kind stands for, the viewer shows it
// in a toast). The message is one sentence that names the file.
#pragma once

#include <string>

namespace orvane {

struct RecordingError {
    enum class Kind {
        None,               // no failure
        NotFound,           // the file or a folder on its path does not exist
        NoPermission,       // the file (or the output's folder) may not be read (written)
        UnsupportedFormat,  // the header names an encoding we do not read; the message names it
        BadHeader,          // the header cannot be read (a malformed number, two encodings)
        BadGeometry,        // the sensor size is outside what the encodings address
        NotEventData,       // a file without header whose words fit no encoding
        NoEvents,           // the recording holds no events
        BadRange,           // a cut or export range the recording does not cover, or holds nothing of
        Io,                 // reading or writing failed; the message has the system's reason
        Cancelled,          // a cut or export stopped by its cancel flag; it left no file
    };

    Kind kind = Kind::None;
    std::string message;
    int errnum = 0;  // the system's error number when one caused it (NotFound, NoPermission, Io)

    explicit operator bool() const { return kind != Kind::None; }
};

}  // namespace orvane
