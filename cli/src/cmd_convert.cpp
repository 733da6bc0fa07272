// orvane convert: a time range of a recording into the kind of file its output's extension names,
// through the driver's exporters: .raw (a cut, in the source's encoding), .h5/.hdf5, .csv, .mp4.
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "Command.h"
#include "OpenRecording.h"
#include "RangeCommand.h"
#include "orvane/driver/Exporter.h"

namespace orvane::cli {
namespace {

std::string kindsList()
{
    std::string out;
    bool hdf5 = false;
    for (const auto& e : makeExporters()) {
        out += (out.empty() ? "" : ", ") + e->extension();
        if (e->name() == "hdf5") {
            out += ", .hdf5";
            hdf5 = true;
        }
    }
    return hdf5 ? out : out + " (this build has no HDF5)";
}

int run(const Args& args)
{
    const std::string& in = args.positional()[0];
    const std::string& out = args.positional()[1];
    std::unique_ptr<Exporter> exporter = makeExporterFor(out);
    if (!exporter) throw UsageError{"OUT must end in one of " + kindsList()};
    // The kind's own options (a video's --fps and --speed); any other kind refuses them.
    for (const char* option : {"fps", "speed"}) {
        const auto value = args.value(option);
        std::string error;
        if (value && !exporter->setOption(option, *value, error)) throw UsageError{error};
    }
    quietReaderLog();
    OpenedRecording rec = openRecording(in);
    std::error_code ec;
    if (std::filesystem::equivalent(in, out, ec)) throw std::runtime_error("'" + out + "' is the input recording");
    const TimeRange range = rangeFromArgs(args, *rec.reader);
    checkOutputCreatable(out);

    const InterruptHandlers handlers;
    const bool tty = isatty(2);
    int shown = -1;
    const std::string what = "convert to " + exporter->name();
    const ExportProgress progress = [&](double f) {
        const int pct = static_cast<int>(f * 100);
        if (!tty || pct == shown) return;
        shown = pct;
        std::fprintf(stderr, "\r%s %3d%%", what.c_str(), pct);
        std::fflush(stderr);
    };
    if (!std::getenv("ORVANE_LOG_LEVEL")) Logger::Instance().setMinLevel(static_cast<LogLevelType>(LOG_LEVEL_ERROR + 1));
    RecordingError failed;
    try {
        failed = exporter->run(*rec.reader, {range.start, range.end}, out, progress, &interrupted);
    } catch (const std::exception& e) {
        failed = {RecordingError::Kind::Io, e.what(), 0};
    }
    if (tty && shown >= 0) std::fputs(failed ? "\r\033[K" : "\n", stderr);
    if (failed) throw RecordingFailure(failed.kind, what + " failed: " + failed.message);
    std::printf("%s: %s, %" PRIu64 " to %" PRIu64 " us, %ju bytes\n", out.c_str(), exporter->name().c_str(),
                range.start, range.end, static_cast<uintmax_t>(std::filesystem::file_size(out)));
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND(
    "convert",
    "the events from --start up to --end (default: the whole recording) into the kind OUT's "
    "extension names: .raw (a cut, in the recording's own encoding), .h5 or .hdf5 (HDF5 "
    "datasets), .csv (x,y,p,t lines), .mp4 (H.264 video; --fps 1 to 240, default 30, and --speed "
    "0.001 to 100, default 1, the recording's seconds per second of video)",
    {{"FILE.raw", "the recording"}, {"OUT", "the output; its extension picks the kind"}},
    {{"start", Option::Kind::Count, "US", "from this time (us; default: the recording's start)"},
     {"end", Option::Kind::Count, "US", "up to this time (us; default: the recording's end)"},
     {"fps", Option::Kind::Text, "N", "frames per second of a video"},
     {"speed", Option::Kind::Text, "X", "recording seconds per second of a video"}},
    run);

}  // namespace orvane::cli
