// What fusion replay costs, each beside a baseline measured in the same run:
//   Mp4FileReader::getNextFrame over a recording of the simulated Tandem (3840 x 2160 H.264), in
//     frames per second, beside `ffmpeg -threads 2 -i X.mp4 -f null -` decoding the same file;
//   the frame builder replaying that recording, in pictures per second, beside its pace of 30;
//   OvFusionCameraDataProcessor::accumulateEvents, in events per second, beside a plain increment
//     loop over the same counter indices.
//
//   orvane_bench_fusion_replay [--mp4 FILE.mp4] [--frames N] [Google Benchmark flags]
// Without --mp4 the simulated Tandem records N frames (default 90) into a temporary folder first.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "OvFusionCameraDataProcessor.h"
#include "RawFileTestSupport.h"
#include "orvane/driver/DvsCameraManager.h"
#include "orvane/driver/FusionCamera.h"
#include "orvane/driver/Mp4FileReader.h"
#include "orvane/hal/CameraTool.h"
#include "orvane/hal/Simulator.h"

using namespace orvane;

namespace {

std::string g_mp4;
int g_frames = 90;
std::unique_ptr<test::TempDir> g_dir;

// Records `frames` frames of the simulated Tandem; returns the mp4's path (empty on failure).
std::string recordTandem(int frames)
{
    setenv("ORVANE_SIM_FAST_PAUSES", "1", 1);
    const std::string serial = "TD-BENCH";
    if (!sim::plug(sim::Model::Tandem, serial)) return {};
    g_dir = std::make_unique<test::TempDir>();
    const std::string base = g_dir->file("tandem");
    bool ok = false;
    {
        DvsCameraManager manager;
        manager.getCameraDescs();
        auto camera = manager.openFusionCamera(serial);
        if (camera) {
            camera->getTool(TOOL_TRIGGER_IN)->setParam("enable", true);
            std::atomic<int> seen{0};
            camera->addApsFrameCallback([&](const ApsFrame& f) { seen += f.timestamp != 0; });
            ok = camera->startRecording(base + ".raw", STREAM_BOTH) == 0 && camera->start(STREAM_BOTH) == 0;
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
            while (ok && seen.load() < frames && std::chrono::steady_clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            camera->stop(STREAM_BOTH);
            ok = camera->stopRecording(STREAM_BOTH) == 0 && ok;
        }
    }
    sim::unplug(serial);
    return ok ? base + ".mp4" : std::string();
}

size_t frameCount(const std::string& path)
{
    Mp4FileReader reader(path);
    std::vector<uint64_t> times;
    if (!reader.loadFile()) return 0;
    reader.getTimeStamps(times);
    return times.size();
}

void BM_Mp4ReaderGetNextFrame(benchmark::State& state)
{
    size_t frames = 0;
    for (auto _ : state) {
        Mp4FileReader reader(g_mp4);
        if (!reader.loadFile()) {
            state.SkipWithError("the mp4 does not load");
            return;
        }
        ApsFrame frame;
        uint64_t last = UINT64_MAX;
        const auto t0 = std::chrono::steady_clock::now();
        while (reader.getNextFrame(frame)) {
            if (frame.data && frame.timestamp != last) {
                last = frame.timestamp;
                ++frames;
            }
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        benchmark::DoNotOptimize(frame.data);
    }
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["frames"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
}

// The baseline: FFmpeg's own program decoding the same file on two threads, with no conversion.
void BM_FfmpegCliDecode(benchmark::State& state)
{
    const size_t frames = frameCount(g_mp4);
    const std::string command = "ffmpeg -v error -nostdin -threads 2 -i '" + g_mp4 + "' -f null -";
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed (not installed?)");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames * state.iterations()),
                                                        benchmark::Counter::kIsRate);
}

// The frame builder replaying the recording (its .raw beside the mp4) for three seconds with replay
// on: pictures per second, against the play loop's own pace of 30.
void BM_FusionReplay(benchmark::State& state)
{
    const std::string raw = g_mp4.substr(0, g_mp4.rfind('.')) + ".raw";
    for (auto _ : state) {
        OvFusionCameraDataProcessor processor;
        if (!processor.slotReadFusionFile(raw)) {
            state.SkipWithError("the recording does not load");
            return;
        }
        std::atomic<uint64_t> pictures{0};
        QObject::connect(&processor, &OvFusionCameraDataProcessor::signalFusionImage, &processor,
                         [&pictures] { ++pictures; }, Qt::DirectConnection);
        processor.slotSetReplayFlag(true);
        const auto t0 = std::chrono::steady_clock::now();
        processor.slotFusionFilePlayControl(true);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        processor.slotFusionFilePlayControl(false);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(seconds);
        state.counters["pictures_per_s"] = static_cast<double>(pictures.load()) / seconds;
    }
}

// Events as a busy scene spreads them: random pixels, both polarities, in decoded-buffer ranges.
const std::vector<Event2D>& sceneEvents()
{
    static const std::vector<Event2D> events = [] {
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> x(0, 1279), y(0, 719), p(0, 1);
        std::vector<Event2D> out(8u << 20);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = Event2D(static_cast<uint16_t>(x(rng)), static_cast<uint16_t>(y(rng)),
                             static_cast<uint8_t>(p(rng)), i);
        return out;
    }();
    return events;
}
constexpr size_t kRange = 16384;  // about what one decoded 128 KiB buffer holds

void BM_AccumulateEvents(benchmark::State& state)
{
    const std::vector<Event2D>& events = sceneEvents();
    OvFusionCameraDataProcessor processor;
    processor.slotSetViewerType(STREAM_DVS);
    for (auto _ : state) {
        for (size_t at = 0; at < events.size(); at += kRange) {
            const size_t n = std::min(kRange, events.size() - at);
            processor.accumulateEvents(events.data() + at, events.data() + at + n);
        }
    }
    state.counters["events_per_s"] = benchmark::Counter(static_cast<double>(events.size() * state.iterations()),
                                                        benchmark::Counter::kIsRate);
}

void BM_PlainIncrementLoop(benchmark::State& state)
{
    const std::vector<Event2D>& events = sceneEvents();
    std::vector<uint32_t> indices(events.size());
    for (size_t i = 0; i < events.size(); ++i) {
        const uint32_t column = (1280u - events[i].x) % 1280u;
        indices[i] = 2 * (events[i].y * 1280u + column) + events[i].polarity;
    }
    std::vector<uint16_t> counts(2 * 1280 * 720, 0);
    for (auto _ : state) {
        for (const uint32_t i : indices) ++counts[i];
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(counts.data());
    state.counters["events_per_s"] = benchmark::Counter(static_cast<double>(events.size() * state.iterations()),
                                                        benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--mp4") && i + 1 < argc) g_mp4 = argv[++i];
        else if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) g_frames = std::atoi(argv[++i]);
        else rest.push_back(argv[i]);
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (g_mp4.empty()) {
        std::fprintf(stderr, "Recording %d frames of the simulated Tandem...\n", g_frames);
        g_mp4 = recordTandem(g_frames);
        if (g_mp4.empty()) {
            std::fprintf(stderr, "Could not record from the simulated Tandem.\n");
            return 1;
        }
    }
    std::fprintf(stderr, "Video: %s, %zu frames\n", g_mp4.c_str(), frameCount(g_mp4));
    benchmark::RegisterBenchmark("Mp4FileReader::getNextFrame", BM_Mp4ReaderGetNextFrame)
        ->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("baseline: ffmpeg -threads 2 -f null", BM_FfmpegCliDecode)
        ->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("fusion replay (paced at 30 pictures/s)", BM_FusionReplay)
        ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("accumulateEvents", BM_AccumulateEvents)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("baseline: plain increment loop", BM_PlainIncrementLoop)->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_dir.reset();
    return 0;
}
