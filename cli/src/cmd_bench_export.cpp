// orvane bench export: frames per second of a video export (the recording's own size, the export's
// encoder settings), beside the 30 fps the video plays at and beside the reading alone; the cut's
// byte rate beside a plain copy of the same file; and the HDF5 export's events per second, with and
// without compression, beside reading the same events alone, with the export's peak memory.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "Command.h"
#include "OpenRecording.h"
#include "orvane/driver/Exporter.h"
#include "orvane/driver/Mp4FileReader.h"

namespace orvane::cli {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// A video of the whole recording beside reading the same slices alone.
void benchVideo(RawFileReader& r, uint64_t start, uint64_t end, uint64_t rounds, const std::filesystem::path& dir)
{
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

    const double fps = static_cast<double>(frames) / exportS;
    std::printf("export        %" PRIu64
                " frames in %.3f s: %.1f frames/s = %.2f x real time (the video plays at 30 fps)\n",
                frames, exportS, fps, fps / 30.0);
    std::printf("reading only  %.1f slices/s (the same slices decoded, nothing rendered or encoded)\n",
                static_cast<double>(frames) / readS);
}

// A cut of the whole recording beside plain copies of the file, all from the page cache.
void benchCut(RawFileReader& r, const std::string& path, uint64_t start, uint64_t end, uint64_t rounds,
              const std::filesystem::path& dir)
{
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

    std::printf("cut           %.0f MB/s (whole recording)\n", bytes / cutS / 1e6);
    std::printf("plain copy    %.0f MB/s (the same file read and written in 1 MiB pieces, as the cut does)\n",
                bytes / streamS / 1e6);
    std::printf("kernel copy   %.0f MB/s (the same file, std::filesystem::copy_file)\n", bytes / copyS / 1e6);
}

// The process's peak resident memory (VmHWM) in MB; resetPeakMemory starts a new peak from what is
// resident now (Linux; without it the peak covers the whole run, which the printout then says).
double peakMemoryMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

bool resetPeakMemory()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

// The HDF5 export of the whole recording, each compression in turn, beside a read of all its events.
void benchHdf5(RawFileReader& r, uint64_t start, uint64_t end, uint64_t rounds, const std::filesystem::path& dir)
{
    if (!makeExporterFor("x.h5")) {
        std::printf("hdf5          not in this build\n");
        return;
    }
    double readS = 1e30;
    uint64_t events = 0;
    for (uint64_t i = 0; i < rounds; ++i) {
        events = 0;
        const auto t0 = Clock::now();
        r.seekTime(start);
        while (r.readNEvents(65536, [&](const Event2D* b, const Event2D* e) { events += static_cast<uint64_t>(e - b); }) == 65536) {
        }
        readS = std::min(readS, secondsSince(t0));
    }
    const double readRate = static_cast<double>(events) / readS;
    std::printf("hdf5 reading  %.1f M events/s (%" PRIu64 " events read in pieces of 65536, nothing written)\n",
                readRate / 1e6, events);
    // What the disk takes: as many bytes as the uncompressed datasets hold (13 per event), written
    // in pieces of 2 MiB into a new file, as the export's chunks are.
    double writeS = 1e30;
    {
        std::vector<char> piece(2 << 20, 1);
        const double total = 13.0 * static_cast<double>(events);
        for (uint64_t i = 0; i < rounds; ++i) {
            const auto t0 = Clock::now();
            std::ofstream to(dir / "plain.bin", std::ios::binary | std::ios::trunc);
            for (double done = 0; done < total; done += static_cast<double>(piece.size()))
                to.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            to.close();
            writeS = std::min(writeS, secondsSince(t0));
            std::filesystem::remove(dir / "plain.bin");
        }
        std::printf("hdf5 writing  %.1f M events/s (their 13 bytes each written alone in 2 MiB pieces, %.0f MB/s)\n",
                    static_cast<double>(events) / writeS / 1e6, total / writeS / 1e6);
    }
    const std::string out = (dir / "bench.h5").string();
    for (const char* compression : {"none", "deflate"}) {
        auto exporter = makeExporterFor(out);
        std::string error;
        const bool hasOption = exporter->setOption("compression", compression, error);
        if (!hasOption && std::string(compression) != "deflate") continue;  // a build without the option
        double best = 1e30, peak = 0;
        const bool peakOfExport = resetPeakMemory();
        for (uint64_t i = 0; i < rounds; ++i) {
            // Each round makes a new file, as converting a recording does: renamed over the last
            // round's, the file system would first start writing it to the disk (ext4 does, to
            // keep replaced files safe), and deleting one whose pages are being written waits for
            // the disk, which is not the export's time.
            std::filesystem::remove(out);
            const auto t0 = Clock::now();
            const RecordingError e = exporter->run(r, {start, end}, out, nullptr, nullptr);
            if (e) throw std::runtime_error("the HDF5 export failed: " + e.message);
            best = std::min(best, secondsSince(t0));
            peak = std::max(peak, peakMemoryMb());
        }
        const double rate = static_cast<double>(events) / best;
        std::printf("hdf5 %-8s %.1f M events/s = %.2f x reading, %.1f MB file, peak memory %.0f MB%s\n", compression,
                    rate / 1e6, rate / readRate, static_cast<double>(std::filesystem::file_size(out)) / 1e6, peak,
                    peakOfExport ? "" : " (of the whole run)");
    }
}

int run(const Args& args)
{
    const std::string& path = args.positional()[0];
    const uint64_t rounds = std::max<uint64_t>(1, args.u64("rounds").value_or(2));
    const std::string only = args.value("only").value_or("video,cut,hdf5");
    auto wanted = [&](const char* kind) {
        std::stringstream list(only);
        for (std::string k; std::getline(list, k, ',');) {
            if (k == kind) return true;
        }
        return false;
    };
    if (!wanted("video") && !wanted("cut") && !wanted("hdf5"))
        throw UsageError{"--only takes video, cut and hdf5, separated by commas, not '" + only + "'"};
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

    const double bytes = static_cast<double>(std::filesystem::file_size(path));
    std::printf("file          %s (%ux%u, %.3f s, %.1f MB)\n", path.c_str(), r.getWidth(), r.getHeight(),
                static_cast<double>(end - start) / 1e6, bytes / 1e6);
    if (wanted("video")) benchVideo(r, start, end, rounds, dir);
    if (wanted("cut")) benchCut(r, path, start, end, rounds, dir);
    if (wanted("hdf5")) benchHdf5(r, start, end, rounds, dir);
    return 0;
}


}  // namespace

ORVANE_CLI_COMMAND(
    "bench export",
    "frames per second of a video export beside the 30 fps it plays at; the cut's rate beside a "
    "plain file copy; the HDF5 export's events per second beside reading them",
    {{"FILE.raw", "the recording"}},
    {{"rounds", Option::Kind::Count, "N", "exports of each kind (default 2)"},
     {"only", Option::Kind::Text, "KINDS", "the kinds to measure: video, cut, hdf5, separated by commas (default all)"}},
    run);

}  // namespace orvane::cli
