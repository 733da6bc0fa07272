// What orvane convert and orvane export share: the exporters' own options as flags (made from each
// exporter's options(), so a new option is a new flag), one export with its progress on a terminal,
// and many recordings exported into a folder that mirrors the input folders.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Command.h"
#include "RangeCommand.h"
#include "orvane/driver/Exporter.h"

namespace orvane::cli {

// One flag per option name of `exporters` (an option two kinds share is one flag); each one's help
// names the kinds that take it when not all do.
std::vector<Option> exporterFlags(const std::vector<std::unique_ptr<Exporter>>& exporters);

// Sets on `exporter` every option of `flags` the user gave; UsageError for a value it refuses or an
// option its kind does not take.
void applyExporterFlags(const Args& args, const std::vector<Option>& flags, Exporter& exporter);

// Runs `exporter` on the range into `out`, with "WHAT NN%" on a terminal (unless `quiet`) and Ctrl-C
// cancelling it; a failure throws RecordingFailure "WHAT failed: <reason>". Leaves no file then.
void runExport(Exporter& exporter, RawFileReader& reader, TimeRange range, const std::string& out,
               const std::string& what, bool quiet);

// The flags of a run over many recordings into a folder: --out DIR, -j, -q.
std::vector<Option> folderExportFlags();

// Many recordings: every input (files, folders searched for .raw files) exported whole by an
// exporter `make` gives (its options already set), into --out DIR: a file named directly goes to
// DIR/NAME.EXT, one found under a folder named to the same path below DIR as below that folder,
// with `extension` for its own. One line per file (a JSON object with --json), then a summary that
// counts the files done as `verb` ("converted").
int runFolderExport(const Args& args, const std::function<std::unique_ptr<Exporter>()>& make,
                    const std::string& extension, const std::string& verb);

}  // namespace orvane::cli
