// orvane bench record: records a busy simulated camera for some seconds and tells whether it kept
// up (events received, bytes the device dropped) and how the recorder wrote (number and sizes of
// its writes), beside the disk's own rate for the same bytes written in one go.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "Command.h"
#include "orvane/driver/DvsCamera.h"
#include "orvane/driver/DvsCameraManager.h"
#include "orvane/hal/Simulator.h"

namespace orvane::cli {
namespace {

constexpr char kSerial[] = "BENCH-REC";

// Writes `bytes` to `path` in 10 MiB writes and syncs: the disk's rate for a recording's bytes.
double diskRate(const std::string& path, uint64_t bytes)
{
    std::vector<char> block(10 << 20, 'x');
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (uint64_t done = 0; done < bytes;) {
        const ssize_t n = ::write(fd, block.data(), std::min<uint64_t>(block.size(), bytes - done));
        if (n <= 0) break;
        done += static_cast<uint64_t>(n);
    }
    ::fsync(fd);
    ::close(fd);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::filesystem::remove(path);
    return s > 0 ? bytes / s / 1e6 : 0;
}

int run(const Args& args)
{
    const std::string out = args.positional()[0];
    const uint64_t rate = args.u64("rate").value_or(10'000'000);
    const uint64_t seconds = args.u64("seconds").value_or(5);
    if (rate == 0 || seconds == 0) throw UsageError{"--rate and --seconds need values above 0"};

    sim::DeviceOptions options;
    options.eventRate = static_cast<double>(rate);
    if (!sim::plug(sim::Model::Kestrel, kSerial, options)) return fail("the simulated camera could not be plugged");
    DvsCameraManager manager;
    manager.getCameraDescs();
    const std::shared_ptr<DvsCamera> camera = manager.openCamera(kSerial);
    if (!camera) return fail("the simulated camera could not be opened");
    std::atomic<uint64_t> events{0};
    camera->addEventsStreamHandleCallback(
        [&events](const Event2D* b, const Event2D* e) { events += static_cast<uint64_t>(e - b); });
    try {
        if (camera->startRecording(out) != 0) return fail("the recording could not start");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    camera->start();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    camera->stop();
    const auto t0 = std::chrono::steady_clock::now();
    const int stopped = camera->stopRecording();
    const double stopMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const CameraStatistics stats = camera->statistics();
    const uint64_t dropped = stats.droppedBytes;
    const double mbps = stats.recordedBytes / static_cast<double>(seconds) / 1e6;

    std::printf("camera      simulated, %" PRIu64 " M events/s asked, %" PRIu64 " s\n", rate / 1'000'000, seconds);
    std::printf("received    %" PRIu64 " events (%.1f M/s), %" PRIu64 " bytes dropped by the device\n", events.load(),
                events.load() / static_cast<double>(seconds) / 1e6, dropped);
    std::printf("recorded    %" PRIu64 " bytes (%.1f MB/s) in %" PRIu64 " writes: smallest %" PRIu64
                " B, largest %" PRIu64 " B, mean %.0f B; stop (last chunk, sync) %.0f ms\n",
                stats.recordedBytes, mbps, stats.recordingWrites, stats.smallestWrite, stats.largestWrite,
                stats.recordingWrites ? stats.recordedBytes / static_cast<double>(stats.recordingWrites) : 0.0, stopMs);
    std::printf("disk        %.1f MB/s for the same bytes in 10 MiB writes with a sync  baseline\n",
                diskRate(out + ".disk", stats.recordedBytes));
    if (stopped != 0) return fail("the recording could not be written completely");
    return dropped == 0 ? 0 : 1;
}

}  // namespace

ORVANE_CLI_COMMAND(
    "bench record",
    "records a simulated camera (default 10 M events/s, 5 s): events, drops and the recorder's "
    "writes, beside the disk's rate",
    {{"OUT.raw", "the recording to write"}},
    {{"rate", Option::Kind::Count, "EV_PER_S", "events per second of the simulated camera"},
     {"seconds", Option::Kind::Count, "S", "seconds to record"}},
    run);

}  // namespace orvane::cli
