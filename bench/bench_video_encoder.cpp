// Speed of the H.264 encoder as event video export drives it: 1280x720 BGR24 frames (grey with the
// two event colours, as exported slices look) through DataToVideoConverter with its fixed settings,
// printed beside the real-time rate of 30 frames per second.
//
//   orvane_bench_video_encoder [--frames N] [--density PERCENT] [--out FILE.mp4]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "orvane/base/Logger.h"
#include "orvane/driver/DataToVideoConverter.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr double kRealTimeFps = 30.0;

// Frames like the export renders them: background 112, events of either polarity at random pixels.
std::vector<std::vector<uint8_t>> makeFrames(int distinct, double density)
{
    std::vector<std::vector<uint8_t>> frames;
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    const auto events = static_cast<size_t>(density * kWidth * kHeight);
    for (int f = 0; f < distinct; ++f) {
        std::vector<uint8_t> image(static_cast<size_t>(kWidth) * kHeight * 3, 112);
        for (size_t e = 0; e < events; ++e) {
            const size_t pixel = (next() >> 8) % (static_cast<size_t>(kWidth) * kHeight);
            const bool on = next() & 0x10000;
            const uint8_t bgr[3] = {uint8_t(on ? 180 : 51), uint8_t(on ? 188 : 61), uint8_t(on ? 191 : 64)};
            std::memcpy(&image[pixel * 3], bgr, 3);
        }
        frames.push_back(std::move(image));
    }
    return frames;
}

}  // namespace

int main(int argc, char** argv)
{
    int frames = 300;
    double density = 0.01;  // the real recordings hold 0.2 .. 2% event pixels per slice
    std::string out = (std::filesystem::temp_directory_path() / "orvane_bench_video.mp4").string();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc) {
            frames = std::atoi(argv[++i]);
        } else if (arg == "--density" && i + 1 < argc) {
            density = std::atof(argv[++i]) / 100.0;
        } else if (arg == "--out" && i + 1 < argc) {
            out = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--frames N] [--density PERCENT] [--out FILE.mp4]\n", argv[0]);
            return 2;
        }
    }
    if (frames <= 0) frames = 1;
    orvane::Logger::Instance().setMinLevel(orvane::LOG_LEVEL_WARNING);

    const auto images = makeFrames(30, density);
    orvane::DataToVideoConverter converter;
    converter.setConverterFrameSize(kHeight, kWidth, kHeight, kWidth);
    converter.setConverterFmt(orvane::VIDEO_PIX_FMT_BGR24, orvane::VIDEO_PIX_FMT_YUV420P);

    const auto start = std::chrono::steady_clock::now();
    if (converter.initVideoConverter(out) != 0) {
        std::fprintf(stderr, "cannot create %s\n", out.c_str());
        return 1;
    }
    for (int f = 0; f < frames; ++f) {
        if (converter.rgbToVideo(images[f % images.size()].data()) != 0) {
            std::fprintf(stderr, "encoding failed at frame %d\n", f);
            return 1;
        }
    }
    if (converter.flushAndCloseVideo() != 0) {
        std::fprintf(stderr, "finishing %s failed\n", out.c_str());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double fps = frames / seconds;
    const auto bytes = std::filesystem::file_size(out);
    std::filesystem::remove(out);

    std::printf(
        "video encode %dx%d BGR24 -> H.264 (60 Mbit/s, no B-frames), %d frames, %.1f%% event pixels\n",
        kWidth, kHeight, frames, density * 100.0);
    std::printf("  encoder:   %8.1f frames/s  (%.2f s, %.1f MB)\n", fps, seconds, bytes / 1e6);
    std::printf("  baseline:  %8.1f frames/s  (real time of a 30 fps recording)\n", kRealTimeFps);
    std::printf("  ratio:     %8.2f x real time\n", fps / kRealTimeFps);
    return 0;
}
