// orvane export: a time range of a recording as an H.264 video, one frame per slice of speed x
// 1000000 / fps us (33 333 us by default) whose accumulation window holds events (quiet stretches
// are left out), through the video exporter and its look options; many recordings into a folder of
// videos.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "Command.h"
#include "ExportCommand.h"
#include "OpenRecording.h"
#include "RangeCommand.h"
#include "orvane/driver/Exporter.h"
#include "orvane/driver/Mp4FileReader.h"

namespace orvane::cli {
namespace {

std::unique_ptr<Exporter> videoExporter()
{
    for (auto& e : makeExporters()) {
        if (e->name() == "video") return std::move(e);
    }
    throw std::runtime_error("this build has no video export");
}

// The video exporter's own options, as flags of export.
const std::vector<Option>& videoFlags()
{
    static const std::vector<Option> flags = [] {
        std::vector<std::unique_ptr<Exporter>> video;
        video.push_back(videoExporter());
        return exporterFlags(video);
    }();
    return flags;
}

std::unique_ptr<Exporter> configuredVideo(const Args& args)
{
    std::unique_ptr<Exporter> e = videoExporter();
    applyExporterFlags(args, videoFlags(), *e);
    return e;
}

int run(const Args& args)
{
    if (args.has("out")) {
        configuredVideo(args);  // a bad option is a usage error before anything runs
        return runFolderExport(
            args, [&] { return configuredVideo(args); }, ".mp4", "exported");
    }
    std::error_code ec;
    if (args.positional().size() != 2 || std::filesystem::is_directory(args.positional()[0], ec)) {
        throw UsageError{"expects FILE.raw and OUT.mp4; several recordings or folders take --out DIR"};
    }
    const std::string& in = args.positional()[0];
    const std::string& out = args.positional()[1];
    if (out.size() < 4 || out.compare(out.size() - 4, 4, ".mp4") != 0)
        throw UsageError{"OUT must end in .mp4"};
    const std::unique_ptr<Exporter> exporter = configuredVideo(args);
    quietReaderLog();
    OpenedRecording rec = openRecording(in);
    const TimeRange range = rangeFromArgs(args, *rec.reader);
    checkOutputCreatable(out);
    runExport(*exporter, *rec.reader, range, out, "export", args.has("quiet"));
    Mp4FileReader video(out);
    std::vector<uint64_t> frames;
    if (video.loadFile()) video.getTimeStamps(frames);
    std::printf("%s: %zu frames, %ux%u, %s fps (%" PRIu64 " to %" PRIu64 " us of the recording)\n",
                out.c_str(), frames.size(), rec.reader->getWidth(), rec.reader->getHeight(),
                args.value("fps").value_or("30").c_str(), range.start, range.end);
    return 0;
}

std::vector<Option> exportFlags()
{
    std::vector<Option> o{{"start", Option::Kind::Count, "US", "from this time (us; default: the recording's start)"},
                          {"end", Option::Kind::Count, "US", "up to this time (us; default: the recording's end)"}};
    for (const Option& f : videoFlags()) o.push_back(f);
    for (Option& f : folderExportFlags()) o.push_back(std::move(f));
    return o;
}

}  // namespace

ORVANE_CLI_COMMAND(
    "export",
    "the events from --start up to --end (default: the whole recording) as an H.264 video, "
    "one frame per 33 333 us (at the default --fps and --speed) that holds events, painted as "
    "--mode and --theme say; or many recordings into a folder of videos",
    {{"PATH", "FILE.raw and OUT.mp4; or recordings and folders (searched for .raw files) with --out", true}},
    exportFlags(), run,
    "Many recordings: orvane export PATH... --out DIR makes a video of every recording named "
    "or found under a folder named, -j at a time: a file named goes to DIR/NAME.mp4, one "
    "found in a folder to the same path below DIR as below that folder. One line per recording "
    "(--json: one JSON object per line), then a summary with each failure's reason; the exit "
    "status is not 0 when one failed. Ctrl-C stops every job and leaves no part file.",
    "FILE.raw OUT.mp4 | PATH...");

}  // namespace orvane::cli
