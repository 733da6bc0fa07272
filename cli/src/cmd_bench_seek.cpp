// orvane bench seek: random seekTime calls each followed by a 33 333 µs read, beside the same
// reads taken one after another without seeking (what the read alone costs).
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <random>
#include <vector>

#include "Command.h"
#include "OpenRecording.h"

namespace orvane::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t kSpanUs = 33333;

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
    return v[i];
}

int run(const Args& args)
{
    const uint64_t n = std::max<uint64_t>(1, args.u64("n").value_or(1000));
    quietReaderLog();
    OpenedRecording rec = openRecording(args.positional()[0]);
    RawFileReader& r = *rec.reader;
    uint64_t start = 0, end = 0;
    r.getStartTimeStamp(start);
    r.getEndTimeStamp(end);

    std::mt19937_64 rng(args.u64("seed").value_or(1));
    std::vector<double> seekMs, readMs;
    uint64_t events = 0;
    for (uint64_t i = 0; i < n; ++i) {
        const uint64_t t = start + rng() % (end - start + 1);
        const auto t0 = Clock::now();
        if (!r.seekTime(t)) throw std::runtime_error("seekTime(" + std::to_string(t) + ") failed");
        events += r.getNTimeEvents(kSpanUs)->size();
        const auto t1 = Clock::now();
        seekMs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    // Baseline: consecutive spans from the start, no seek between them.
    r.seekTime(start);
    uint64_t baseEvents = 0;
    for (uint64_t i = 0; i < n && !r.reachedEndOfEvents(); ++i) {
        const auto t0 = Clock::now();
        baseEvents += r.getNTimeEvents(kSpanUs)->size();
        const auto t1 = Clock::now();
        readMs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::printf("file           %s (%.3f s, %" PRIu64 " random points)\n", args.positional()[0].c_str(),
                static_cast<double>(end - start) / 1e6, n);
    std::printf("seek + read    median %.3f ms, p99 %.3f ms (%.0f events per read)\n", percentile(seekMs, 0.5),
                percentile(seekMs, 0.99), static_cast<double>(events) / static_cast<double>(n));
    std::printf("baseline read  median %.3f ms, p99 %.3f ms (%.0f events per read, consecutive, no seek)\n",
                percentile(readMs, 0.5), percentile(readMs, 0.99),
                static_cast<double>(baseEvents) / static_cast<double>(std::max<size_t>(1, readMs.size())));
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND(
    "bench seek",
    "median and 99th percentile of a random seekTime plus a 33 333 us read, beside the read alone",
    {{"FILE.raw", "the recording"}},
    {{"n", Option::Kind::Count, "N", "random points (default 1000)"},
     {"seed", Option::Kind::Count, "S", "of the random points"}},
    run);

}  // namespace orvane::cli
