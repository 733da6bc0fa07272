// orvane info: what a recording holds, read through the driver's reader (building its index the
// first time).
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "Command.h"
#include "OpenRecording.h"

namespace orvane::cli {
namespace {

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            continue;
        }
        out += c;
    }
    return out + "\"";
}

int run(const Args& args)
{
    const std::string& path = args.positional()[0];
    quietReaderLog();
    const bool json = args.has("json");
    // Progress for people at a terminal; scripts get only the result or the one error line.
    if (!json && isatty(2) && !std::filesystem::exists(RawFileReader(path).getIndexPath())) {
        std::fprintf(stderr, "indexing %s...\n", path.c_str());
    }
    OpenedRecording rec = openRecording(path);
    RawFileReader& r = *rec.reader;
    uint64_t start = 0, end = 0, events = 0;
    r.getStartTimeStamp(start);
    r.getEndTimeStamp(end);
    r.getMaxEvents(events);
    const uint64_t bytes = std::filesystem::file_size(path);
    // The first and the last event, for the time the events themselves span.
    const auto first = r.getNEventsGivenStartEvent(0, 1);
    const uint64_t firstT = first->empty() ? start : first->front().timestamp;
    const auto last = r.getNEventsGivenStartEvent(events - 1, 1);
    const uint64_t lastT = last->empty() ? end : last->front().timestamp;
    const char* index = r.indexReused() ? "reused" : "built";

    if (json) {
        std::printf("{\"path\":%s,\"format\":\"%s\",\"bytes\":%" PRIu64 ",\"width\":%u,\"height\":%u,\"start_us\":%" PRIu64
                    ",\"end_us\":%" PRIu64 ",\"duration_us\":%" PRIu64 ",\"first_event_us\":%" PRIu64
                    ",\"last_event_us\":%" PRIu64 ",\"events\":%" PRIu64 ",\"off_sensor_events\":%" PRIu64 ",\"index\":\"%s\",\"open_ms\":%.1f}\n",
                    jsonString(path).c_str(), r.formatName(), bytes, r.getWidth(), r.getHeight(), start, end, end - start, firstT,
                    lastT, events, r.offSensorEvents(), index, rec.openMs);
        return 0;
    }
    std::printf("file         %s\n", path.c_str());
    std::printf("format       %s\n", r.formatName());
    std::printf("bytes        %" PRIu64 "\n", bytes);
    std::printf("geometry     %ux%u\n", r.getWidth(), r.getHeight());
    std::printf("start        %" PRIu64 " us\n", start);
    std::printf("end          %" PRIu64 " us\n", end);
    std::printf("duration     %" PRIu64 " us (%.3f s)\n", end - start, static_cast<double>(end - start) / 1e6);
    std::printf("first event  %" PRIu64 " us\n", firstT);
    std::printf("last event   %" PRIu64 " us\n", lastT);
    std::printf("events       %" PRIu64 "\n", events);
    std::printf("off sensor   %" PRIu64 " (outside %ux%u: not read)\n", r.offSensorEvents(), r.getWidth(), r.getHeight());
    std::printf("index        %s (%s) in %.1f ms\n", index, r.getIndexPath().c_str(), rec.openMs);
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND("info", "encoding, size, geometry, time range, event count and index state of a recording",
                   {{"FILE.raw", "the recording"}}, {{"json", Option::Kind::Flag, "", "one JSON object"}},
                   run);

}  // namespace orvane::cli
