// orvane cut: a time range of a recording as a new recording (our header, then the range's words as
// they are), through the reader's extractEventData.
#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "Command.h"
#include "OpenRecording.h"
#include "RangeCommand.h"

namespace orvane::cli {
namespace {

int run(const Args& args)
{
    const std::string& in = args.positional()[0];
    const std::string& out = args.positional()[1];
    if (out.size() < 4 || out.compare(out.size() - 4, 4, ".raw") != 0)
        throw UsageError{"OUT must end in .raw"};
    quietReaderLog();
    OpenedRecording rec = openRecording(in);
    std::error_code ec;
    if (std::filesystem::equivalent(in, out, ec))
        throw std::runtime_error("'" + out + "' is the input recording");
    const TimeRange range = rangeFromArgs(args, *rec.reader);
    checkOutputCreatable(out);
    runWithProgress(*rec.reader, "cut",
                    [&] { return rec.reader->extractEventData(range.start, range.end, out); });
    std::printf("%s: %" PRIu64 " to %" PRIu64 " us, %ju bytes\n", out.c_str(), range.start, range.end,
                static_cast<uintmax_t>(std::filesystem::file_size(out)));
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND("cut",
                   "the events from --start up to --end (default: the whole recording) as a new recording",
                   {{"FILE.raw", "the recording"}, {"OUT.raw", "the new recording"}},
                   {{"start", Option::Kind::Count, "US",
                     "from this time (us; default: the recording's start)"},
                    {"end", Option::Kind::Count, "US", "up to this time (us; default: the recording's end)"}},
                   run);

}  // namespace orvane::cli
