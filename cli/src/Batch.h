// Many recordings in one command (orvane info, convert, export): the files and folders named are
// expanded to the recordings under them and run as jobs, a few at a time. Each job's line is printed
// in the order of the inputs, a progress bar runs on a terminal, and a summary ends the run with
// every failure's reason. A failing file does not stop the others; Ctrl-C (SIGINT) or SIGTERM stops
// them all, and what they were writing is removed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Command.h"
#include "orvane/driver/RecordingError.h"

namespace orvane::cli {

struct BatchInput {
    std::string path;
    // Its path below the folder it was found in ("day1/a.raw"); a file named directly: its name.
    std::string relative;
    uint64_t bytes = 0;
};

// Files as named (whatever their extension: the user chose them); folders recursively, taking the
// files whose name ends in .raw in any letter case, sorted by path, leaving out part files of
// unfinished jobs and anything under `skipFolder` (the outputs' folder when it lies inside an
// input folder). A name given twice, or a file named and also found in a folder named, is taken
// once. A name that does not exist stays in the list, so that its job fails with the reader's
// reason like any other file. None found at all is a failure (RecordingFailure, NotFound): a
// mistyped folder should not pass for an empty data set.
std::vector<BatchInput> collectInputs(const std::vector<std::string>& named, const std::string& skipFolder = "");

// Whether the named paths are a batch: more than one, or a folder.
bool isBatch(const std::vector<std::string>& named);

struct JobResult {
    RecordingError::Kind failed = RecordingError::Kind::None;
    std::string reason;  // when failed
    std::string line;    // printed on standard output (without newline) when not empty
    uint64_t events = 0;
    uint64_t durationUs = 0;
};

// A job runs in a process of its own (forked: it sees what the caller set up, and whatever it
// changes stays there). It calls `progress` with the share done (0 to 1) as it goes, so that the bar
// counts bytes within a file; `cancel` is the flag Ctrl-C sets, for the job to hand to what it runs.
// A job may throw RecordingFailure or any std::exception: the file fails with that reason; a job
// that crashes fails its file alone. `failedLine` makes the line of a failed file.
struct BatchJob {
    std::function<JobResult(const BatchInput& input, const std::function<void(double)>& progress,
                            const std::atomic<bool>& cancel)>
        run;
    std::function<std::string(const BatchInput& input, const JobResult& failed)> failedLine;
    // Called when the process of a job ended without its result (killed, crashed), with its id:
    // to remove what it left (optional).
    std::function<void(const BatchInput& input, int pid)> lost;
};

struct BatchOptions {
    unsigned jobs = 1;
    bool quiet = false;  // no progress bar even on a terminal
    bool json = false;   // lines are JSON objects: the summary goes to standard error
    std::string verb;    // "read", "converted": for the summary
};

// -j/--jobs and -q/--quiet, for the commands that run batches.
std::vector<Option> batchOptions();
// Their values (-j default: the cores), with --json.
BatchOptions batchOptionsFrom(const Args& args);

// Runs every input's job and prints the summary. The exit status: 0 when all succeeded, 130 when
// cancelled, else that of the failures' kind when they all share one, else 1.
int runBatch(const std::vector<BatchInput>& inputs, const BatchOptions& options, const BatchJob& job);

// The text of a JSON string (quotes and escapes).
std::string jsonString(const std::string& s);
// A failure's kind as JSON and scripts name it: "not_found", "bad_header", ...
const char* kindName(RecordingError::Kind kind);
// A failed file's JSON fields after "path": ,"error":...,"error_kind":... (no braces).
std::string jsonFailure(const JobResult& failed);

}  // namespace orvane::cli
