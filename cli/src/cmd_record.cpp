// orvane record: open a camera by serial, stream and record for some seconds, then report.
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <thread>

#include "Command.h"
#include "orvane/driver/DvsCamera.h"
#include "orvane/driver/DvsCameraManager.h"
#include "orvane/driver/DvsCameraPrivate.h"

namespace orvane::cli {
namespace {

int run(const std::vector<std::string>& argv)
{
    const Args args(argv, {"seconds"});
    if (!args.error().empty()) throw UsageError{args.error()};
    if (args.positional().size() != 2) throw UsageError{"expects SERIAL and OUT.raw"};
    const std::string& serial = args.positional()[0];
    const std::string& out = args.positional()[1];
    const double seconds = std::stod(args.value("seconds").value_or("5"));
    if (!(seconds > 0) || seconds > 86400) throw UsageError{"--seconds must be above 0"};

    DvsCameraManager manager;
    bool known = false;
    for (const auto& d : manager.getCameraDescs()) known |= d.serial == serial;
    if (!known) return fail("no camera with serial '" + serial + "' (see 'orvane cameras')");
    auto camera = manager.openCamera(serial);
    if (!camera) return fail("camera '" + serial + "' could not be opened");

    std::atomic<uint64_t> events{0};
    camera->addEventsStreamHandleCallback(
        [&events](const Event2D* b, const Event2D* e) { events += static_cast<uint64_t>(e - b); });
    try {
        if (camera->startRecording(out) != 0) return fail("recording could not start");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    camera->start();
    const auto t0 = std::chrono::steady_clock::now();
    const auto end = t0 + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::fprintf(stderr, "\rrecording %.1f / %.1f s, %" PRIu64 " events", elapsed, seconds, events.load());
        if (!camera->isConnected()) {
            std::fprintf(stderr, "\n");
            camera->stop();
            camera->stopRecording();
            return fail("camera '" + serial + "' was unplugged; the recording so far is in " + out);
        }
    }
    std::fprintf(stderr, "\n");
    camera->stop();
    const int stopped = camera->stopRecording();
    std::FILE* f = std::fopen(out.c_str(), "rb");
    long bytes = 0;
    if (f) {
        std::fseek(f, 0, SEEK_END);
        bytes = std::ftell(f);
        std::fclose(f);
    }
    const auto impl = std::dynamic_pointer_cast<DvsCameraPrivate>(camera);
    const uint64_t drops = impl ? impl->droppedBytes() : 0;
    std::printf("recorded %s: %" PRIu64 " events received, %ld bytes written, %" PRIu64 " bytes dropped by the device\n",
                out.c_str(), events.load(), bytes, drops);
    if (stopped != 0) return fail("the recording could not be written completely");
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND("record", "SERIAL OUT.raw --seconds S",
                   "record S seconds from a camera into a raw file; prints events received and bytes written", run);

}  // namespace orvane::cli
