// orvane bench sim: how fast the simulated event sensor makes its stream on one core (the scene
// at a chosen rate, or a replayed recording), beside the decoder's rate on the same stream.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "Command.h"
#include "orvane/hal/Decoder.h"
#include "orvane/hal/Simulator.h"

namespace orvane::cli {
namespace {

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int run(const Args& args)
{
    const double rate = static_cast<double>(args.u64("rate").value_or(100'000'000));
    const uint64_t streamUs = args.u64("seconds").value_or(2) * 1'000'000;
    const std::string replay = args.value("replay").value_or("");
    std::vector<uint8_t> stream;
    const auto t0 = std::chrono::steady_clock::now();
    const uint64_t made = sim::produceUnpaced(rate, streamUs, stream, replay);
    const double produceS = seconds(t0);
    auto decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
    uint64_t decoded = 0;
    decoder->setEventsStreamHandleCallback([&](const Event2D* b, const Event2D* e) { decoded += static_cast<uint64_t>(e - b); });
    const auto t1 = std::chrono::steady_clock::now();
    for (size_t off = 0; off < stream.size(); off += 131072)
        decoder->decodeRange(stream.data() + off, stream.data() + std::min(stream.size(), off + 131072));
    const double decodeS = seconds(t1);
    const uint64_t events = made ? made : decoded;
    std::printf("source      %s\n", replay.empty() ? "scene" : replay.c_str());
    std::printf("stream      %.1f s of sensor time, %llu events, %.1f MB\n", streamUs / 1e6,
                static_cast<unsigned long long>(events), stream.size() / 1e6);
    std::printf("simulator   %.1f M events/s (%.3f s)\n", events / produceS / 1e6, produceS);
    std::printf("decoder     %.1f M events/s (%.3f s)  baseline\n", decoded / decodeS / 1e6, decodeS);
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND(
    "bench sim", "the simulated sensor's production rate on one core beside the decoder's rate on its stream",
    {},
    {{"rate", Option::Kind::Count, "EV_PER_S", "events per second (default 100 M)"},
     {"seconds", Option::Kind::Count, "S", "seconds of sensor time (default 2)"},
     {"replay", Option::Kind::Text, "FILE.raw", "replay this recording's events instead of the scene"}},
    run);

}  // namespace orvane::cli
