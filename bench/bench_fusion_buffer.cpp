// Cost of the fusion camera's event side, beside baselines measured in the same run:
//   accumulation: fusion-buffer counting of decoded events (bounds check, cap, increment under one
//     lock per range) against a plain increment loop over the same indices;
//   hand-over: one rising trigger edge (file the buffer, take and zero the next) against a memset
//     of the same 3.7 MB.
//
//   orvane_bench_fusion [--events N] [--edges N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "FusionProbe.h"

namespace orvane {
namespace {

double secondsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int run(size_t eventCount, int edges)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> x(0, 1279), y(0, 719), p(0, 1);
    std::vector<Event2D> events(eventCount);
    for (size_t i = 0; i < eventCount; ++i)
        events[i] = Event2D(static_cast<uint16_t>(x(rng)), static_cast<uint16_t>(y(rng)), static_cast<uint8_t>(p(rng)), i);
    constexpr size_t kRange = 16384;  // about what one decoded 128 KiB buffer holds

    test::FusionProbe probe;
    auto t0 = std::chrono::steady_clock::now();
    for (size_t at = 0; at < eventCount; at += kRange) {
        const size_t n = std::min(kRange, eventCount - at);
        probe.events(events.data() + at, events.data() + at + n);
    }
    const double fusion = secondsSince(t0);

    std::vector<uint16_t> plain(2 * 1280 * 720, 0);
    t0 = std::chrono::steady_clock::now();
    for (const Event2D& e : events) ++plain[(FusionCameraPrivate::fusionIndex(e.x, e.y, e.polarity)) % plain.size()];
    const double baseline = secondsSince(t0);
    volatile uint16_t sink = plain[12345];
    (void)sink;

    t0 = std::chrono::steady_clock::now();
    for (int i = 1; i <= edges; ++i) {
        probe.edge(1, static_cast<uint64_t>(i) * 33333);
        std::shared_ptr<std::vector<uint16_t>> out;
        probe.getFusionEvents(out, static_cast<uint64_t>(i) * 33333);  // as the viewer takes each frame's
    }
    const double handOver = secondsSince(t0) / edges;
    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < edges; ++i) {
        std::memset(plain.data(), i & 1, plain.size() * sizeof(uint16_t));
        sink = plain[static_cast<size_t>(i) % plain.size()];
    }
    const double memsetTime = secondsSince(t0) / edges;

    std::printf("fusion accumulation: %7.1f M events/s   baseline plain increment loop: %7.1f M events/s  (ratio %.2f)\n",
                eventCount / fusion / 1e6, eventCount / baseline / 1e6, baseline / fusion);
    std::printf("fusion hand-over:    %7.3f ms per edge  baseline memset 3.7 MB:        %7.3f ms  (30 fps budget 33.3 ms)\n",
                handOver * 1e3, memsetTime * 1e3);
    return 0;
}

}  // namespace
}  // namespace orvane

int main(int argc, char** argv)
{
    size_t events = 50'000'000;
    int edges = 300;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--events") events = std::strtoull(argv[i + 1], nullptr, 10);
        else if (flag == "--edges") edges = std::atoi(argv[i + 1]);
    }
    if (events == 0 || edges <= 0) {
        std::fprintf(stderr, "usage: orvane_bench_fusion [--events N] [--edges N]\n");
        return 2;
    }
    return orvane::run(events, edges);
}
