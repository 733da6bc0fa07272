// Google Benchmark of the viewer's event frame accumulator: addEvents over real-looking event
// streams beside a plain loop that writes the same pixels (no lock, no colour choice). Inputs: the
// simulated camera's scene at 10 M events/s and the 1280 x 720 reference recording, decoded as the
// display loops receive them, in 33 ms windows.
//   orvane_bench_accumulator [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <QImage>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "EventFrameAccumulator.h"
#include "orvane/hal/Decoder.h"
#include "orvane/hal/Simulator.h"

using orvane::Event2D;

namespace {

std::vector<Event2D> decode(const std::vector<uint8_t>& data)
{
    auto decoder = orvane::DecoderFactory::createUniqueDecoder(orvane::RawEventStreamFormat("EVT3;height=720;width=1280"));
    std::vector<Event2D> out;
    decoder->setEventsStreamHandleCallback([&out](const Event2D* b, const Event2D* e) { out.insert(out.end(), b, e); });
    decoder->decodeRange(data.data(), data.data() + data.size());
    return out;
}

const std::vector<Event2D>& sceneEvents()
{
    static const std::vector<Event2D> events = [] {
        std::vector<uint8_t> data;
        orvane::sim::produceUnpaced(10'000'000, 1'000'000, data);  // one second of the scene
        return decode(data);
    }();
    return events;
}

const std::vector<Event2D>& recordingEvents()
{
    static const std::vector<Event2D> events = [] {
        std::ifstream in(std::filesystem::path(ORVANE_SHARED_DATA_DIR) / "eccodecs_evt3_trigger.raw", std::ios::binary);
        std::string line;
        while (in && in.peek() == '%' && std::getline(in, line) && line != "% end") {
        }
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return decode(data);
    }();
    return events;
}

const std::vector<Event2D>& input(int which)
{
    return which == 0 ? sceneEvents() : recordingEvents();
}

// 33 ms windows, as one picture's worth.
template <typename Paint>
void windows(const std::vector<Event2D>& events, Paint&& paint)
{
    size_t from = 0;
    while (from < events.size()) {
        const uint64_t end = events[from].timestamp + 33333;
        size_t to = from;
        while (to < events.size() && events[to].timestamp < end)
            ++to;
        paint(events.data() + from, events.data() + to);
        from = to;
    }
}

void BM_AddEvents(benchmark::State& state)
{
    const auto& events = input(int(state.range(0)));
    EventFrameAccumulator acc;
    QImage frame;
    for (auto _ : state) {
        windows(events, [&](const Event2D* b, const Event2D* e) { acc.addEvents(b, e); });
        benchmark::ClobberMemory();
    }
    acc.takeFrame(frame);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(events.size()));
    state.SetLabel(state.range(0) == 0 ? "scene 10 Mev/s" : "reference recording");
}

// The baseline: the same pixel writes into a plain buffer, one colour, no bounds test, no lock.
void BM_PlainPixelLoop(benchmark::State& state)
{
    const auto& events = input(int(state.range(0)));
    std::vector<uint32_t> pixels(1280 * 720, EventFrameAccumulator::kBackground);
    for (auto _ : state) {
        windows(events, [&](const Event2D* b, const Event2D* e) {
            for (const Event2D* p = b; p != e; ++p)
                pixels[size_t(p->y) * 1280 + p->x] = EventFrameAccumulator::kOnColour;
        });
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(events.size()));
    state.SetLabel(state.range(0) == 0 ? "scene 10 Mev/s" : "reference recording");
}

// A whole picture's hand-over: take (copy out, grey refill) and the conversion the GUI does.
void BM_TakeFrame(benchmark::State& state)
{
    EventFrameAccumulator acc;
    const auto& events = sceneEvents();
    const size_t window = std::min<size_t>(events.size(), 333'333);
    for (auto _ : state) {
        acc.addEvents(events.data(), events.data() + window);
        QImage frame;
        acc.takeFrame(frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

}  // namespace

BENCHMARK(BM_PlainPixelLoop)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddEvents)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TakeFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
