// orvane dump: the events of a recording through the reader's public reads, as x,y,p,t lines or
// as a summary.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "Command.h"
#include "OpenRecording.h"

namespace orvane::cli {
namespace {

constexpr uint64_t kBatchEvents = 1 << 16;
constexpr uint64_t kBatchUs = 10000;

struct Summary {
    uint64_t events = 0, on = 0;
    Event2D first, last;
};

class CsvOut {
public:
    CsvOut() { std::fputs("x,y,p,t\n", stdout); }
    void add(const Event2D& e)
    {
        char line[64];
        const int n = std::snprintf(line, sizeof line, "%u,%u,%u,%" PRIu64 "\n", e.x, e.y, e.polarity ? 1u : 0u,
                                    e.timestamp);
        std::fwrite(line, 1, static_cast<size_t>(n), stdout);
    }
};

int run(const Args& args)
{
    const auto startOpt = args.u64("start");
    const auto duration = args.u64("duration");
    const auto count = args.u64("count");
    if (duration && count) throw UsageError{"--duration and --count exclude each other"};
    const bool csv = args.has("csv");
    quietReaderLog();
    OpenedRecording rec = openRecording(args.positional()[0]);
    RawFileReader& r = *rec.reader;
    uint64_t startTs = 0, endTs = 0, max = 0;
    r.getStartTimeStamp(startTs);
    r.getEndTimeStamp(endTs);
    r.getMaxEvents(max);

    Summary s;
    std::unique_ptr<CsvOut> out;
    if (csv) out = std::make_unique<CsvOut>();
    auto take = [&](const std::vector<Event2D>& events) {
        for (const Event2D& e : events) {
            if (s.events == 0) s.first = e;
            ++s.events;
            s.on += e.polarity != 0;
            if (out) out->add(e);
        }
        if (!events.empty()) s.last = events.back();
    };

    const uint64_t from = std::max(startOpt.value_or(startTs), startTs);
    bool any = true;
    if (from > endTs) {
        any = false;  // nothing at or after the start
    } else if (!r.seekTime(from)) {
        throw std::runtime_error("cannot seek to " + std::to_string(from) + " us");
    }
    if (any && duration) {
        const uint64_t base = startOpt.value_or(startTs);
        // The span asked for, however large.
        const uint64_t stop = base > UINT64_MAX - *duration ? UINT64_MAX : base + *duration;
        while (!r.reachedEndOfEvents() && r.getCurrentPosTimeStamp() < stop) {
            const uint64_t t = r.getCurrentPosTimeStamp();
            const auto events = r.getNTimeEvents(std::min(kBatchUs, stop - t));
            if (!events->empty()) {
                take(*events);
                continue;
            }
            // Nothing in this stretch: the next event decides where to go on, so the loop follows
            // the data rather than stepping through empty time.
            if (r.getCurrentPosEventNum() >= max || r.reachedEndOfEvents()) break;
            const auto next = r.getNEvents(1);
            if (next->empty() || next->front().timestamp >= stop) break;
            take(*next);
        }
    } else if (any) {
        uint64_t left = count.value_or(UINT64_MAX);
        while (left > 0 && r.getCurrentPosEventNum() < max) {
            const uint64_t n = std::min({kBatchEvents, left, max - r.getCurrentPosEventNum()});
            const auto events = r.getNEvents(n);
            if (events->empty()) break;
            take(*events);
            left -= events->size();
        }
    }
    if (csv) return 0;

    std::printf("events       %" PRIu64 " (%" PRIu64 " ON, %" PRIu64 " OFF)\n", s.events, s.on, s.events - s.on);
    if (s.events) {
        std::printf("first event  x %u y %u p %u t %" PRIu64 "\n", s.first.x, s.first.y, s.first.polarity ? 1u : 0u,
                    s.first.timestamp);
        std::printf("last event   x %u y %u p %u t %" PRIu64 "\n", s.last.x, s.last.y, s.last.polarity ? 1u : 0u,
                    s.last.timestamp);
    }
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND("dump",
                   "events of a recording from a time on, for a span or a count (default: all), as x,y,p,t "
                   "lines or a summary",
                   {{"FILE.raw", "the recording"}},
                   {{"start", Option::Kind::Count, "US", "from the first event at or past this time (us)"},
                    {"duration", Option::Kind::Count, "US", "for this span of time (us; excludes --count)"},
                    {"count", Option::Kind::Count, "N", "this many events (excludes --duration)"},
                    {"csv", Option::Kind::Flag, "", "the events as x,y,p,t lines instead of a summary"}},
                   run);

}  // namespace orvane::cli
