// orvane bench export: frames per second of a video export (the recording's own size, the export's
// encoder settings), beside the 30 fps the video plays at and beside the reading alone; and the cut's
// byte rate beside a plain copy of the same file.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "Command.h"
#include "OpenRecording.h"
#include "orvane/driver/Mp4FileReader.h"

namespace orvane::cli {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

int run(const Args& args)
{
    const std::string& path = args.positional()[0];
    const uint64_t rounds = std::max<uint64_t>(1, args.u64("rounds").value_or(2));
    quietReaderLog();
    if (!std::getenv("ORVANE_LOG_LEVEL"))
        Logger::Instance().setMinLevel(LOG_LEVEL_ERROR);  // no end-of-file notes
    OpenedRecording rec = openRecording(path);
    RawFileReader& r = *rec.reader;
    uint64_t start = 0, end = 0;
    r.getStartTimeStamp(start);
    r.getEndTimeStamp(end);
    const auto dir = std::filesystem::temp_directory_path() /
                     ("orvane-bench-export-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    struct Cleanup {
        std::filesystem::path dir;
        ~Cleanup()
        {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    } cleanup{dir};

    // The reading alone: the same 33 333 us slices, counted.
    double readS = 1e30;
    uint64_t frames = 0;
    for (uint64_t i = 0; i < rounds; ++i) {
        frames = 0;
        const auto t0 = Clock::now();
        r.seekTime(start);
        for (uint64_t t = start; t < end && !r.reachedEndOfEvents(); t += 33333)
            frames += !r.getNTimeEvents(33333)->empty();
        readS = std::min(readS, secondsSince(t0));
    }

    const std::string mp4 = (dir / "bench.mp4").string();
    double exportS = 1e30;
    for (uint64_t i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        if (!r.exportEventDataToVideo(start, end, mp4)) throw std::runtime_error("the export failed");
        exportS = std::min(exportS, secondsSince(t0));
    }
    Mp4FileReader video(mp4);
    std::vector<uint64_t> times;
    if (video.loadFile()) video.getTimeStamps(times);
    if (times.size() != frames) {
        throw std::runtime_error("the video has " + std::to_string(times.size()) + " frames, the slices " +
                                 std::to_string(frames));
    }

    // Cut of the whole recording beside a plain copy, both from the page cache.
    const double bytes = static_cast<double>(std::filesystem::file_size(path));
    double copyS = 1e30, streamS = 1e30, cutS = 1e30;
    std::vector<char> piece(1 << 20);
    for (uint64_t i = 0; i < rounds + 1; ++i) {
        const auto target = dir / "copy.raw";
        std::filesystem::remove(target);
        auto t0 = Clock::now();
        std::filesystem::copy_file(path, target);
        copyS = std::min(copyS, secondsSince(t0));
        t0 = Clock::now();
        {
            std::ifstream from(path, std::ios::binary);
            std::ofstream to(dir / "stream.raw", std::ios::binary | std::ios::trunc);
            while (from.read(piece.data(), static_cast<std::streamsize>(piece.size())) || from.gcount() > 0) {
                to.write(piece.data(), from.gcount());
            }
        }
        streamS = std::min(streamS, secondsSince(t0));
        t0 = Clock::now();
        if (!r.extractEventData(start, end, (dir / "cut.raw").string()))
            throw std::runtime_error("the cut failed");
        cutS = std::min(cutS, secondsSince(t0));
    }

    const double fps = static_cast<double>(frames) / exportS;
    std::printf("file          %s (%ux%u, %.3f s, %.1f MB)\n", path.c_str(), r.getWidth(), r.getHeight(),
                static_cast<double>(end - start) / 1e6, bytes / 1e6);
    std::printf("export        %" PRIu64
                " frames in %.3f s: %.1f frames/s = %.2f x real time (the video plays at 30 fps)\n",
                frames, exportS, fps, fps / 30.0);
    std::printf("reading only  %.1f slices/s (the same slices decoded, nothing rendered or encoded)\n",
                static_cast<double>(frames) / readS);
    std::printf("cut           %.0f MB/s (whole recording)\n", bytes / cutS / 1e6);
    std::printf("plain copy    %.0f MB/s (the same file read and written in 1 MiB pieces, as the cut does)\n",
                bytes / streamS / 1e6);
    std::printf("kernel copy   %.0f MB/s (the same file, std::filesystem::copy_file)\n", bytes / copyS / 1e6);
    return 0;
}

}  // namespace

ORVANE_CLI_COMMAND(
    "bench export",
    "frames per second of a video export beside the 30 fps it plays at; the cut's rate beside a "
    "plain file copy",
    {{"FILE.raw", "the recording"}},
    {{"rounds", Option::Kind::Count, "N", "exports of each kind (default 2)"}}, run);

}  // namespace orvane::cli
