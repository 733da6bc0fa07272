// orvane export: a time range of a recording as an H.264 video, one frame per 33 333 us slice that
// holds events (quiet stretches are left out), through the reader's exportEventDataToVideo.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "Command.h"
#include "OpenRecording.h"
#include "RangeCommand.h"
#include "orvane/driver/Mp4FileReader.h"

namespace orvane::cli {
namespace {

int run(const Args& args)
{
    const std::string& in = args.positional()[0];
    const std::string& out = args.positional()[1];
    if (out.size() < 4 || out.compare(out.size() - 4, 4, ".mp4") != 0)
        throw UsageError{"OUT must end in .mp4"};
    quietReaderLog();
    OpenedRecording rec = openRecording(in);
    const TimeRange range = rangeFromArgs(args, *rec.reader);
    checkOutputCreatable(out);
    runWithProgress(*rec.reader, "export",
                    [&] { return rec.reader->exportEventDataToVideo(range.start, range.end, out); });
    Mp4FileReader video(out);
    std::vector<uint64_t> frames;
    if (video.loadFile()) video.getTimeStamps(frames);
    std::printf("%s: %zu frames, %ux%u, 30 fps (%" PRIu64 " to %" PRIu64 " us of the recording)\n",
                out.c_str(), frames.size(), rec.reader->getWidth(), rec.reader->getHeight(), range.start,
                range.end);
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND("export",
                   "the events from --start up to --end (default: the whole recording) as an H.264 video, "
                   "one frame per 33 333 us that holds events",
                   {{"FILE.raw", "the recording"}, {"OUT.mp4", "the video"}},
                   {{"start", Option::Kind::Count, "US",
                     "from this time (us; default: the recording's start)"},
                    {"end", Option::Kind::Count, "US", "up to this time (us; default: the recording's end)"}},
                   run);

}  // namespace orvane::cli
