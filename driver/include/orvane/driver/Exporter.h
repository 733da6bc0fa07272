// An exporter writes a time range of a loaded recording into a file of its kind: a raw cut, an
// H.264 video, CSV lines, HDF5 datasets. Every one writes under a part name beside the output and
// renames it into place when complete; a failure or a cancel leaves no file. The CLI, Python and the
// viewer list the exporters instead of naming each job. run() is called on the exporting thread and
// holds the reader for its duration (no other thread may read it meanwhile).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orvane/driver/RecordingError.h"

namespace orvane {

class RawFileReader;

// [start_us, end_us) of the recording's time, as a read of it gives: from the first event at or past
// the start to the first at or past the end; an end at the recording's end time takes all to its end.
struct ExportRange {
    uint64_t start_us = 0;
    uint64_t end_us = 0;
};

// Called now and then with the share done (0 to 1), and once with 1 after a success.
using ExportProgress = std::function<void(double)>;

// Names are words with underscores ("accumulation_us"): Python keywords as they are, CLI flags with
// dashes (--accumulation-us).
struct ExportOption {
    std::string name;                  // "fps"
    std::string description;           // one line for --help and dialogs, without the default
    std::string defaultValue;          // as setOption takes it; empty when the default is worked out
                                       // from other options (the description says how)
    std::vector<std::string> choices;  // the only values taken, when the option is one of a few words
};

class Exporter {
public:
    virtual ~Exporter() = default;

    // A short name users type ("raw", "video", "csv", "hdf5").
    virtual std::string name() const = 0;
    // The output's usual extension, with its dot (".raw").
    virtual std::string extension() const = 0;
    // Whether `path` names an output of this kind (by its extension).
    virtual bool accepts(const std::string& path) const;
    // The options setOption takes; none by default.
    virtual std::vector<ExportOption> options() const { return {}; }
    // False with `error` set for an unknown option or a bad value.
    virtual bool setOption(const std::string& name, const std::string& value, std::string& error);

    // Writes the range into `output`. `cancel` (may be null) is looked at between pieces; once true the
    // job stops and fails with Kind::Cancelled. Kind::None on success. A failure to read the input may
    // also be thrown (as the reader's reads throw); no file is left then either.
    virtual RecordingError run(RawFileReader& reader, ExportRange range, const std::string& output,
                               const ExportProgress& progress, const std::atomic<bool>* cancel) = 0;
};

// One of each exporter this build has, in a stable order (HDF5 only when built with it).
std::vector<std::unique_ptr<Exporter>> makeExporters();
// The exporter whose kind `path` names by its extension; null when none does.
std::unique_ptr<Exporter> makeExporterFor(const std::string& path);

}  // namespace orvane
