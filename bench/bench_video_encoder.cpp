// Speed of the H.264 encoder with its fixed settings, printed beside the real-time rate of 30 frames
// per second. By default as event video export drives it: 1280x720 BGR24 frames (grey with the two
// event colours at random pixels, as exported slices look). With --fusion as the fusion camera's APS
// recording drives it: 3840x2160 NV12 frames of a moving gradient with noise.
//
//   orvane_bench_video_encoder [--frames N] [--density PERCENT] [--fusion] [--out FILE.mp4]
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

constexpr double kRealTimeFps = 30.0;

uint32_t nextRandom(uint32_t& seed)
{
    return seed = seed * 1664525u + 1013904223u;
}

// Export frames: background 112, events of either polarity at random pixels.
std::vector<std::vector<uint8_t>> makeEventFrames(int width, int height, int distinct, double density)
{
    std::vector<std::vector<uint8_t>> frames;
    uint32_t seed = 12345;
    const size_t pixels = static_cast<size_t>(width) * height;
    const auto events = static_cast<size_t>(density * pixels);
    for (int f = 0; f < distinct; ++f) {
        std::vector<uint8_t> image(pixels * 3, 112);
        for (size_t e = 0; e < events; ++e) {
            const size_t pixel = (nextRandom(seed) >> 8) % pixels;
            const bool on = nextRandom(seed) & 0x10000;
            const uint8_t bgr[3] = {uint8_t(on ? 180 : 51), uint8_t(on ? 188 : 61), uint8_t(on ? 191 : 64)};
            std::memcpy(&image[pixel * 3], bgr, 3);
        }
        frames.push_back(std::move(image));
    }
    return frames;
}

// APS frames: a gradient that moves from frame to frame, sensor-like noise, neutral chroma.
std::vector<std::vector<uint8_t>> makeNv12Frames(int width, int height, int distinct)
{
    std::vector<std::vector<uint8_t>> frames;
    uint32_t seed = 6789;
    const size_t luma = static_cast<size_t>(width) * height;
    for (int f = 0; f < distinct; ++f) {
        std::vector<uint8_t> image(luma * 3 / 2, 128);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image[static_cast<size_t>(y) * width + x] =
                    static_cast<uint8_t>((x + y + 8 * f) / 24 + (nextRandom(seed) >> 29));
        frames.push_back(std::move(image));
    }
    return frames;
}

}  // namespace

int main(int argc, char** argv)
{
    int frames = 0;
    double density = 0.01;  // the real recordings hold about 0.2 .. 2% event pixels per slice
    bool fusion = false;
    std::string out = (std::filesystem::temp_directory_path() / "orvane_bench_video.mp4").string();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc) {
            frames = std::atoi(argv[++i]);
        } else if (arg == "--density" && i + 1 < argc) {
            density = std::atof(argv[++i]) / 100.0;
        } else if (arg == "--fusion") {
            fusion = true;
        } else if (arg == "--out" && i + 1 < argc) {
            out = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--frames N] [--density PERCENT] [--fusion] [--out FILE.mp4]\n",
                         argv[0]);
            return 2;
        }
    }
    if (frames <= 0) frames = fusion ? 30 : 300;
    orvane::Logger::Instance().setMinLevel(orvane::LOG_LEVEL_WARNING);

    const int width = fusion ? 3840 : 1280;
    const int height = fusion ? 2160 : 720;
    const auto images =
        fusion ? makeNv12Frames(width, height, 10) : makeEventFrames(width, height, 30, density);
    orvane::DataToVideoConverter converter;
    converter.setConverterFrameSize(height, width, height, width);
    converter.setConverterFmt(fusion ? orvane::VIDEO_PIX_FMT_NV12 : orvane::VIDEO_PIX_FMT_BGR24,
                              orvane::VIDEO_PIX_FMT_YUV420P);

    const auto start = std::chrono::steady_clock::now();
    if (converter.initVideoConverter(out) != 0) {
        std::fprintf(stderr, "cannot create %s\n", out.c_str());
        return 1;
    }
    for (int f = 0; f < frames; ++f) {
        const uint8_t* image = images[f % images.size()].data();
        if ((fusion ? converter.nv12ToViedo(image, -1) : converter.rgbToVideo(image)) != 0) {
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

    if (fusion) {
        std::printf("video encode %dx%d NV12 -> H.264 (60 Mbit/s, no B-frames), %d frames\n", width, height,
                    frames);
    } else {
        std::printf(
            "video encode %dx%d BGR24 -> H.264 (60 Mbit/s, no B-frames), %d frames, %.2f%% event pixels\n",
            width, height, frames, density * 100.0);
    }
    std::printf("  encoder:   %8.1f frames/s  (%.2f s, %.1f MB)\n", fps, seconds, bytes / 1e6);
    std::printf("  baseline:  %8.1f frames/s  (real time of a 30 fps recording)\n", kRealTimeFps);
    std::printf("  ratio:     %8.2f x real time\n", fps / kRealTimeFps);
    return 0;
}
