// Google Benchmark of the EVT 3.0 decoder, each implementation and mode beside the baseline: a plain
// loop writing as many Event2D into the same reused buffer. Inputs: the two real recordings of the
// shared data folder (when present) and a dense encoded stream (vector words), decoded in
// 131072-byte chunks as readers and cameras hand them over.
//   orvane_decoder_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "orvane/hal/Evt3Decoder.h"
#include "orvane/hal/Evt3Encoder.h"

using namespace orvane;

namespace {

constexpr size_t kChunkBytes = 131072;

struct Input {
    std::vector<uint8_t> data;
    uint16_t width = 1280, height = 720;
    std::vector<uint64_t> chunkEvents;  // per chunk, for the baseline
    uint64_t events = 0;
};

std::vector<uint8_t> readData(const std::string& name)
{
    std::ifstream in(std::filesystem::path(ORVANE_SHARED_DATA_DIR) / name, std::ios::binary);
    std::string line;
    while (in && in.peek() == '%' && std::getline(in, line) && line != "% end") {
    }
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> denseData()
{
    std::mt19937 rng(7);
    std::vector<Event2D> events;
    for (uint64_t t = 1000; events.size() < 4'000'000; ++t) {
        const size_t from = events.size();
        for (int r = 0; r < 8; ++r) {
            const uint16_t y = static_cast<uint16_t>(rng() % 720);
            const uint16_t x0 = static_cast<uint16_t>(rng() % 1000);
            const uint8_t p = static_cast<uint8_t>(rng() & 1);
            for (uint16_t x = x0; x < x0 + 240; ++x)
                if (rng() % 10 != 0) events.emplace_back(x, y, p, t);
        }
        std::sort(events.begin() + static_cast<std::ptrdiff_t>(from), events.end(),
                  [](const Event2D& a, const Event2D& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
        events.erase(std::unique(events.begin() + static_cast<std::ptrdiff_t>(from), events.end(),
                                 [](const Event2D& a, const Event2D& b) { return a.x == b.x && a.y == b.y; }),
                     events.end());
    }
    return encodeEvt3(events);
}

template <typename F>
void forEachChunk(const Input& in, F&& f)
{
    for (size_t off = 0; off < in.data.size(); off += kChunkBytes)
        f(in.data.data() + off, in.data.data() + std::min(in.data.size(), off + kChunkBytes));
}

const Input& input(int which)
{
    static std::vector<Input> inputs = [] {
        std::vector<Input> v(3);
        v[0].data = readData("eccodecs_evt3_trigger.raw");
        v[1].data = readData("ecpy_test_events_1.raw");
        v[1].width = 640;
        v[1].height = 480;
        v[2].data = denseData();
        for (auto& in : v) {
            Evt3Decoder d(in.width, in.height);
            forEachChunk(in, [&](const uint8_t* b, const uint8_t* e) { in.chunkEvents.push_back(d.decodeRange(b, e)); });
            for (uint64_t n : in.chunkEvents) in.events += n;
        }
        return v;
    }();
    return inputs[static_cast<size_t>(which)];
}

void report(benchmark::State& state, const Input& in)
{
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * in.events));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.data.size()));
    state.counters["bytes_per_event"] = static_cast<double>(in.data.size()) / static_cast<double>(in.events);
}

// Decode through the public interface into a reused buffer drained per chunk.
void decodeEmit(benchmark::State& state, Evt3Decoder::Isa isa)
{
    const Input& in = input(static_cast<int>(state.range(0)));
    if (in.data.empty()) return state.SkipWithError("recording not found");
    if (Evt3Decoder(1280, 720, isa).isa() != isa) return state.SkipWithError("this CPU does not run that path");
    std::vector<Event2D> sink;
    sink.reserve(*std::max_element(in.chunkEvents.begin(), in.chunkEvents.end()));
    for (auto _ : state) {
        Evt3Decoder d(in.width, in.height, isa);
        Decoder& decoder = d;
        decoder.setEventsStreamHandleCallback([&sink](const Event2D* b, const Event2D* e) { sink.insert(sink.end(), b, e); });
        forEachChunk(in, [&](const uint8_t* b, const uint8_t* e) {
            sink.clear();
            decoder.decodeRange(b, e);
        });
        benchmark::DoNotOptimize(sink.data());
    }
    report(state, in);
}

// Without an events callback the decoder only counts (index builds).
void decodeCount(benchmark::State& state, Evt3Decoder::Isa isa)
{
    const Input& in = input(static_cast<int>(state.range(0)));
    if (in.data.empty()) return state.SkipWithError("recording not found");
    if (Evt3Decoder(1280, 720, isa).isa() != isa) return state.SkipWithError("this CPU does not run that path");
    for (auto _ : state) {
        Evt3Decoder d(in.width, in.height, isa);
        uint64_t n = 0;
        forEachChunk(in, [&](const uint8_t* b, const uint8_t* e) { n += d.decodeRange(b, e); });
        benchmark::DoNotOptimize(n);
    }
    report(state, in);
}

// The baseline: per chunk, the same number of Event2D written by a plain loop into the same buffer.
void baselineWrite(benchmark::State& state)
{
    const Input& in = input(static_cast<int>(state.range(0)));
    if (in.data.empty()) return state.SkipWithError("recording not found");
    std::vector<Event2D> sink;
    sink.reserve(*std::max_element(in.chunkEvents.begin(), in.chunkEvents.end()));
    for (auto _ : state) {
        uint64_t i = 0;
        for (const uint64_t n : in.chunkEvents) {
            sink.clear();
            for (const uint64_t stop = i + n; i < stop; ++i)
                sink.emplace_back(static_cast<uint16_t>(i & 1023), static_cast<uint16_t>(i & 511),
                                  static_cast<uint8_t>(i & 1), i);
            benchmark::DoNotOptimize(sink.data());
            benchmark::ClobberMemory();
        }
    }
    report(state, in);
}

// Arguments: 0 the 1280x720 recording, 1 the 640x480 one, 2 the dense stream.
BENCHMARK(baselineWrite)->DenseRange(0, 2);
BENCHMARK_CAPTURE(decodeEmit, avx2, Evt3Decoder::Isa::Avx2)->DenseRange(0, 2);
BENCHMARK_CAPTURE(decodeEmit, scalar, Evt3Decoder::Isa::Scalar)->DenseRange(0, 2);
BENCHMARK_CAPTURE(decodeCount, avx2, Evt3Decoder::Isa::Avx2)->DenseRange(0, 2);
BENCHMARK_CAPTURE(decodeCount, scalar, Evt3Decoder::Isa::Scalar)->DenseRange(0, 2);

}  // namespace

BENCHMARK_MAIN();
