// orvane info: what a recording holds, read through the driver's reader (building its index the
// first time); for many recordings (files and folders), one line each and a summary.
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "Batch.h"
#include "Command.h"
#include "OpenRecording.h"

namespace orvane::cli {
namespace {

// What info tells of one recording.
struct Info {
    std::string path;
    const char* format = "";
    uint64_t bytes = 0, start = 0, end = 0, events = 0, firstT = 0, lastT = 0, offSensor = 0;
    unsigned width = 0, height = 0;
    const char* index = "";
    std::string indexPath;
    double openMs = 0;
};

Info infoOf(const std::string& path)
{
    OpenedRecording rec = openRecording(path);
    RawFileReader& r = *rec.reader;
    Info i;
    i.path = path;
    r.getStartTimeStamp(i.start);
    r.getEndTimeStamp(i.end);
    r.getMaxEvents(i.events);
    i.bytes = std::filesystem::file_size(path);
    // The first and the last event, for the time the events themselves span.
    const auto first = r.getNEventsGivenStartEvent(0, 1);
    i.firstT = first->empty() ? i.start : first->front().timestamp;
    const auto last = r.getNEventsGivenStartEvent(i.events - 1, 1);
    i.lastT = last->empty() ? i.end : last->front().timestamp;
    i.format = r.formatName();
    i.width = r.getWidth();
    i.height = r.getHeight();
    i.offSensor = r.offSensorEvents();
    i.index = r.indexReused() ? "reused" : "built";
    i.indexPath = r.getIndexPath();
    i.openMs = rec.openMs;
    return i;
}

// The JSON object's fields, without the closing brace.
std::string jsonFields(const Info& i)
{
    char buf[640];
    std::snprintf(buf, sizeof buf,
                  ",\"format\":\"%s\",\"bytes\":%" PRIu64 ",\"width\":%u,\"height\":%u,\"start_us\":%" PRIu64
                  ",\"end_us\":%" PRIu64 ",\"duration_us\":%" PRIu64 ",\"first_event_us\":%" PRIu64
                  ",\"last_event_us\":%" PRIu64 ",\"events\":%" PRIu64 ",\"off_sensor_events\":%" PRIu64
                  ",\"index\":\"%s\",\"open_ms\":%.1f",
                  i.format, i.bytes, i.width, i.height, i.start, i.end, i.end - i.start, i.firstT, i.lastT, i.events,
                  i.offSensor, i.index, i.openMs);
    return "{\"path\":" + jsonString(i.path) + buf;
}

int runOne(const std::string& path, bool json, bool quiet)
{
    // Progress for people at a terminal; scripts get only the result or the one error line.
    if (!json && !quiet && isatty(2) && !std::filesystem::exists(RawFileReader(path).getIndexPath())) {
        std::fprintf(stderr, "indexing %s...\n", path.c_str());
    }
    const Info i = infoOf(path);
    if (json) {
        std::printf("%s}\n", jsonFields(i).c_str());
        return 0;
    }
    std::printf("file         %s\n", path.c_str());
    std::printf("format       %s\n", i.format);
    std::printf("bytes        %" PRIu64 "\n", i.bytes);
    std::printf("geometry     %ux%u\n", i.width, i.height);
    std::printf("start        %" PRIu64 " us\n", i.start);
    std::printf("end          %" PRIu64 " us\n", i.end);
    std::printf("duration     %" PRIu64 " us (%.3f s)\n", i.end - i.start, static_cast<double>(i.end - i.start) / 1e6);
    std::printf("first event  %" PRIu64 " us\n", i.firstT);
    std::printf("last event   %" PRIu64 " us\n", i.lastT);
    std::printf("events       %" PRIu64 "\n", i.events);
    std::printf("off sensor   %" PRIu64 " (outside %ux%u: not read)\n", i.offSensor, i.width, i.height);
    std::printf("index        %s (%s) in %.1f ms\n", i.index, i.indexPath.c_str(), i.openMs);
    return 0;
}

int run(const Args& args)
{
    quietReaderLog();
    const bool json = args.has("json");
    BatchOptions options = batchOptionsFrom(args);
    if (!isBatch(args.positional())) return runOne(args.positional()[0], json, options.quiet);

    options.verb = "read";
    BatchJob job;
    job.run = [json](const BatchInput& in, const std::function<void(double)>&, const std::atomic<bool>&) {
        const Info i = infoOf(in.path);
        JobResult r;
        r.events = i.events;
        r.durationUs = i.end - i.start;
        if (json) {
            r.line = jsonFields(i) + ",\"error\":null}";
        } else {
            char buf[256];
            std::snprintf(buf, sizeof buf, ": %s, %ux%u, %" PRIu64 " events, %.3f s, %" PRIu64 " bytes, index %s",
                          i.format, i.width, i.height, i.events, static_cast<double>(r.durationUs) / 1e6, i.bytes,
                          i.index);
            r.line = in.path + buf;
        }
        return r;
    };
    job.failedLine = [json](const BatchInput& in, const JobResult& failed) {
        if (json) return "{\"path\":" + jsonString(in.path) + jsonFailure(failed) + "}";
        return in.path + ": failed: " + failed.reason;
    };
    return runBatch(collectInputs(args.positional()), options, job);
}

std::vector<Option> infoOptions()
{
    std::vector<Option> o{{"json", Option::Kind::Flag, "", "one JSON object (with several: one per line)"}};
    for (Option& b : batchOptions()) o.push_back(std::move(b));
    return o;
}

}  // namespace

ORVANE_CLI_COMMAND(
    "info",
    "encoding, size, geometry, time range, event count and index state of a recording; or a "
    "line each for many",
    {{"PATH", "a recording, or several, or folders (searched for .raw files)", true}}, infoOptions(), run,
    "With one FILE.raw: its details, one per line. With several paths or a folder: one line "
    "per recording (with --json one JSON object per line, with \"error\" set for a file that "
    "cannot be read), then a summary (on stderr with --json); the exit status is not 0 when one "
    "failed.",
    "FILE.raw | PATH...");

}  // namespace orvane::cli
