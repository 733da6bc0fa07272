// orvane record: open a camera by serial, stream and record for some seconds, then report. A fusion
// camera records its events to OUT.raw and its frames to OUT.mp4 (same base name).
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "Command.h"
#include "orvane/driver/DvsCamera.h"
#include "orvane/driver/DvsCameraManager.h"
#include "orvane/driver/FusionCamera.h"
#include "orvane/driver/Mp4FileReader.h"
#include "orvane/hal/CameraTool.h"

namespace orvane::cli {
namespace {

uintmax_t fileSize(const std::string& path)
{
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// Sleeps through the recording, showing progress; false when the camera went away.
bool waitRecording(double seconds, const std::atomic<uint64_t>& events, const std::function<bool()>& connected)
{
    const auto t0 = std::chrono::steady_clock::now();
    const auto end = t0 + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::fprintf(stderr, "\rrecording %.1f / %.1f s, %" PRIu64 " events", elapsed, seconds, events.load());
        if (!connected()) {
            std::fprintf(stderr, "\n");
            return false;
        }
    }
    std::fprintf(stderr, "\n");
    return true;
}

int recordEventCamera(const std::shared_ptr<DvsCamera>& camera, const std::string& serial, const std::string& out,
                      double seconds)
{
    std::atomic<uint64_t> events{0};
    camera->addEventsStreamHandleCallback(
        [&events](const Event2D* b, const Event2D* e) { events += static_cast<uint64_t>(e - b); });
    try {
        if (camera->startRecording(out) != 0) return fail("recording could not start");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    camera->start();
    const bool stayed = waitRecording(seconds, events, [&] { return camera->isConnected(); });
    camera->stop();
    const int stopped = camera->stopRecording();
    if (!stayed) return fail("camera '" + serial + "' was unplugged; the recording so far is in " + out);
    const CameraStatistics stats = camera->statistics();
    const uint64_t drops = stats.droppedBytes;
    std::printf("recorded %s: %" PRIu64 " events received, %ju bytes written, %" PRIu64 " bytes dropped by the device\n",
                out.c_str(), events.load(), fileSize(out), drops);
    if (stopped != 0) {
        const std::string& reason = stats.recordingFailure;
        return fail("the recording could not be written completely" + (reason.empty() ? "" : ": " + reason));
    }
    return 0;
}

int recordFusionCamera(const std::shared_ptr<FusionCamera>& camera, const std::string& serial, const std::string& out,
                       double seconds)
{
    const std::filesystem::path base = std::filesystem::path(out).replace_extension();
    const std::string raw = base.string() + ".raw", mp4 = base.string() + ".mp4";
    // Frames are stamped with the trigger edges of their exposures: without them the video
    // cannot be lined up with the events.
    if (const auto trigger = camera->getTool(TOOL_TRIGGER_IN)) trigger->setParam("enable", true);

    std::atomic<uint64_t> events{0}, frames{0};
    camera->addEventsStreamHandleCallback(
        [&events](const Event2D* b, const Event2D* e) { events += static_cast<uint64_t>(e - b); });
    camera->addApsFrameCallback([&frames](const ApsFrame&) { ++frames; });
    if (camera->startRecording(out, STREAM_BOTH) != 0) return fail("recording could not start (see the log)");
    camera->start(STREAM_BOTH);
    const bool stayed = waitRecording(seconds, events, [&] { return camera->isConnected(); });
    camera->stop(STREAM_BOTH);
    const int stopped = camera->stopRecording(STREAM_BOTH);
    if (!stayed) return fail("camera '" + serial + "' was unplugged; the recording so far is in " + raw + " and " + mp4);

    // The camera keeps no mp4 without frames.
    Mp4FileReader video(mp4);
    std::vector<uint64_t> times;
    const bool readable = !std::filesystem::exists(mp4) || (video.loadFile() && video.getTimeStamps(times));
    const FusionCameraStatistics stats = camera->statistics();
    std::printf("recorded %s and %s: %" PRIu64 " events received, %ju bytes written, %" PRIu64
                " bytes dropped by the device\n",
                raw.c_str(), mp4.c_str(), events.load(), fileSize(raw), stats.droppedBytes);
    std::printf("%zu frames recorded of %" PRIu64 " received (%" PRIu64 " dropped: encoder behind, %" PRIu64
                " dropped by the device, %" PRIu64 " without a new trigger time)\n",
                times.size(), frames.load(), stats.apsFramesDropped, stats.apsFramesDroppedByDevice,
                stats.apsFramesRestamped);
    if (stopped != 0 || !readable) return fail("the recording could not be written completely");
    if (frames.load() > 0 && times.empty()) return fail("frames were received but none could be recorded");
    return 0;
}

int run(const Args& args)
{
    const std::string& serial = args.positional()[0];
    const std::string& out = args.positional()[1];
    const std::string secondsText = args.value("seconds").value_or("5");
    char* parsedEnd = nullptr;
    const double seconds = std::strtod(secondsText.c_str(), &parsedEnd);
    if (secondsText.empty() || *parsedEnd != '\0' || !(seconds > 0) || seconds > 86400) {
        throw UsageError{"--seconds needs a number of seconds above 0 (at most 86400), not '" + secondsText + "'"};
    }

    DvsCameraManager manager;
    bool known = false;
    for (const auto& d : manager.getCameraDescs()) known |= d.serial == serial;
    if (!known) return fail("no camera with serial '" + serial + "' (see 'orvane cameras')");
    // A recording is opened by its ".raw" name (a fusion camera names both its files from OUT's stem).
    if (auto camera = manager.openCamera(serial)) {
        const bool raw = out.size() >= 4 && out.compare(out.size() - 4, 4, ".raw") == 0;
        return recordEventCamera(camera, serial, raw ? out : out + ".raw", seconds);
    }
    if (auto fusion = manager.openFusionCamera(serial)) return recordFusionCamera(fusion, serial, out, seconds);
    return fail("camera '" + serial + "' could not be opened");
}

}  // namespace

ORVANE_CLI_COMMAND("record",
                   "record S seconds from a camera into a raw file (a fusion camera: OUT.raw and OUT.mp4); "
                   "prints events received, bytes written and frames recorded",
                   {{"SERIAL", "the camera (see 'orvane cameras')"}, {"OUT.raw", "the recording to write"}},
                   {{"seconds", Option::Kind::Text, "S", "seconds to record (default 5)"}}, run);

}  // namespace orvane::cli
