// Cost per frame of the fusion camera's APS path at 3840x2160, beside a memcpy of the same bytes and
// the 30 fps budget: NV12 -> BGR24 for the live view, the NV12 copy handed to the record thread, and
// the H.264 encode through DataToVideoConverter. With --experiments also libx264 presets and thread
// counts, and swscale variants, called directly (the converter itself is left as it is).
// Every figure is the median of the rounds with the spread (min-max); CPU is the process CPU time per
// frame, so that CPU / 2 cores shows what a frame costs the machine as a whole.
//
//   orvane_bench_aps [--frames N] [--rounds N] [--experiments]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "orvane/base/Logger.h"
#include "orvane/driver/DataToVideoConverter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;
constexpr size_t kLuma = static_cast<size_t>(kWidth) * kHeight;
constexpr size_t kNv12Bytes = kLuma * 3 / 2;  // 12,441,600
constexpr size_t kBgrBytes = kLuma * 3;       // 24,883,200
constexpr double kBudgetMs = 1000.0 / 30.0;

using Frames = std::vector<std::vector<uint8_t>>;

// A panning gradient, four textured rectangles moving at their own speeds and a little sensor noise,
// so that no two frames are alike and motion search has real work.
Frames makeFrames(int count)
{
    Frames frames(count, std::vector<uint8_t>(kNv12Bytes));
    uint32_t seed = 4711;
    for (int f = 0; f < count; ++f) {
        uint8_t* y = frames[f].data();
        uint8_t* uv = y + kLuma;
        for (int row = 0; row < kHeight; ++row)
            for (int col = 0; col < kWidth; ++col) {
                seed = seed * 1664525u + 1013904223u;
                y[static_cast<size_t>(row) * kWidth + col] =
                    static_cast<uint8_t>(16 + (col + 3 * f) * 160 / (kWidth + 300) + row / 40 + (seed >> 30));
            }
        for (size_t i = 0; i < kLuma / 2; i += 2) {
            uv[i] = static_cast<uint8_t>(96 + i % kWidth * 32 / kWidth);
            uv[i + 1] = static_cast<uint8_t>(160 - i / kWidth * 64 / kHeight);
        }
        for (int r = 0; r < 4; ++r) {
            const int w = 320 + 160 * r, h = 240 + 90 * r;
            const int x0 = ((200 + 700 * r) + (6 + 5 * r) * f) % (kWidth - w) & ~1;
            const int y0 = ((150 + 400 * r) + (3 + 2 * r) * f) % (kHeight - h) & ~1;
            for (int row = y0; row < y0 + h; ++row)
                for (int col = x0; col < x0 + w; ++col)
                    y[static_cast<size_t>(row) * kWidth + col] =
                        ((col - x0) ^ (row - y0)) & (8 << r) ? 220 : 40;
            for (int row = y0 / 2; row < (y0 + h) / 2; ++row)
                std::memset(uv + static_cast<size_t>(row) * kWidth + x0, 60 + 40 * r, w);
        }
    }
    return frames;
}

struct Row {
    std::string name;
    std::vector<double> wall, cpu;  // ms per frame, one per round
    std::string note;
};
std::vector<Row> rows;

// Runs `work` (which handles `frames` frames) and adds its cost per frame to the row `name`.
Row& measure(const std::string& name, int frames, const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();  // CPU time of all threads of the process
    work();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto row = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.name == name; });
    if (row == rows.end()) row = rows.insert(rows.end(), Row{name, {}, {}, {}});
    row->wall.push_back(wall * 1000.0 / frames);
    row->cpu.push_back(static_cast<double>(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC / frames);
    return *row;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// One image from `inFmt` to `outFmt` (both tightly packed) by one scaler per band of rows, each band
// in its own thread.
void convert(const std::vector<SwsContext*>& bands, const uint8_t* in, AVPixelFormat inFmt, uint8_t* out,
             AVPixelFormat outFmt)
{
    const int bandHeight = kHeight / static_cast<int>(bands.size());
    auto one = [&](size_t b) {
        uint8_t *src[4], *dst[4];
        int srcStride[4], dstStride[4];
        av_image_fill_arrays(src, srcStride, in, inFmt, kWidth, kHeight, 1);
        av_image_fill_arrays(dst, dstStride, out, outFmt, kWidth, kHeight, 1);
        for (int p = 0; p < 4; ++p) {  // planes after the first are the 4:2:0 chroma: half the rows
            const size_t skip = b * bandHeight / (p ? 2 : 1);
            if (src[p]) src[p] += skip * srcStride[p];
            if (dst[p]) dst[p] += skip * dstStride[p];
        }
        sws_scale(bands[b], src, srcStride, 0, bandHeight, dst, dstStride);
    };
    std::vector<std::thread> helpers;
    for (size_t b = 1; b < bands.size(); ++b) helpers.emplace_back(one, b);
    one(0);
    for (auto& t : helpers) t.join();
}

std::vector<SwsContext*> makeBands(int count, AVPixelFormat inFmt, AVPixelFormat outFmt, int flags)
{
    std::vector<SwsContext*> bands;
    for (int b = 0; b < count; ++b)
        bands.push_back(sws_getContext(kWidth, kHeight / count, inFmt, kWidth, kHeight / count, outFmt, flags,
                                       nullptr, nullptr, nullptr));
    return bands;
}

// Stream rate of `bytes` holding `frames` frames at 30 fps.
std::string megabits(double bytes, int frames)
{
    return std::to_string(static_cast<int>(bytes * 8.0 * 30.0 / frames / 1e6 + 0.5)) + " Mbit/s";
}

struct EncoderSetup {
    std::string name;
    int threads;         // -1: leave FFmpeg's default
    const char* preset;  // nullptr: leave the wrapper's default
    const char* tune;
};

// The converter's encode (NV12 copied into a frame, SWS_POINT to YUV420P, H.264 with time base 1/1e6,
// 30 fps, no B-frames, 60 Mbit/s) with `setup` applied on top; packets are counted, not muxed.
std::string encodeDirect(const Frames& frames, int count, const EncoderSetup& setup)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = kWidth;
    ctx->height = kHeight;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = {1, 1000000};
    ctx->framerate = {30, 1};
    ctx->max_b_frames = 0;
    ctx->bit_rate = 60000000;
    ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (setup.threads >= 0) ctx->thread_count = setup.threads;
    if (setup.preset) av_opt_set(ctx->priv_data, "preset", setup.preset, 0);
    if (setup.tune) av_opt_set(ctx->priv_data, "tune", setup.tune, 0);
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return "could not open the encoder";
    }
    SwsContext* scaler = sws_getContext(kWidth, kHeight, AV_PIX_FMT_NV12, kWidth, kHeight, AV_PIX_FMT_YUV420P,
                                        SWS_POINT, nullptr, nullptr, nullptr);
    auto newFrame = [](AVPixelFormat format) {
        AVFrame* frame = av_frame_alloc();
        std::tie(frame->format, frame->width, frame->height) = std::tuple(format, kWidth, kHeight);
        av_frame_get_buffer(frame, 32);
        return frame;
    };
    AVFrame* src = newFrame(AV_PIX_FMT_NV12);
    AVFrame* dst = newFrame(AV_PIX_FMT_YUV420P);
    AVPacket* packet = av_packet_alloc();
    size_t bytes = 0;
    auto drain = [&] {
        for (; avcodec_receive_packet(ctx, packet) == 0; av_packet_unref(packet))
            bytes += static_cast<size_t>(packet->size);
    };
    for (int f = 0; f < count; ++f) {
        const uint8_t* image = frames[f % frames.size()].data();
        const uint8_t* planes[4] = {image, image + kLuma, nullptr, nullptr};
        const int strides[4] = {kWidth, kWidth, 0, 0};
        av_frame_make_writable(src);
        av_frame_make_writable(dst);
        av_image_copy(src->data, src->linesize, planes, strides, AV_PIX_FMT_NV12, kWidth, kHeight);
        sws_scale(scaler, src->data, src->linesize, 0, kHeight, dst->data, dst->linesize);
        dst->pts = f * 33333LL;
        avcodec_send_frame(ctx, dst);
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    const std::string note = megabits(bytes, count);
    av_packet_free(&packet);
    av_frame_free(&src);
    av_frame_free(&dst);
    sws_freeContext(scaler);
    avcodec_free_context(&ctx);
    return note;
}

}  // namespace

int main(int argc, char** argv)
{
    int frames = 60;
    int rounds = 3;
    bool experiments = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--experiments")
            experiments = true;
        else if ((arg == "--frames" || arg == "--rounds") && i + 1 < argc)
            (arg == "--frames" ? frames : rounds) = std::max(1, std::atoi(argv[++i]));
        else
            return std::fprintf(stderr, "usage: %s [--frames N] [--rounds N] [--experiments]\n", argv[0]), 2;
    }
    orvane::Logger::Instance().setMinLevel(orvane::LOG_LEVEL_WARNING);
    const Frames images = makeFrames(frames);
    const std::string out = (std::filesystem::temp_directory_path() / "orvane_bench_aps.mp4").string();
    std::vector<uint8_t> bgr(kBgrBytes), scratch(kBgrBytes), chunk;
    orvane::DataToVideoConverter view;
    view.setConverterFrameSize(kHeight, kWidth, kHeight, kWidth);
    view.setConverterFmt(orvane::VIDEO_PIX_FMT_NV12, orvane::VIDEO_PIX_FMT_BGR24);

    const std::vector<EncoderSetup> setups = {
        {"(a) defaults, as the converter", -1, nullptr, nullptr},
        {"(b) defaults, thread_count 0 (auto)", 0, nullptr, nullptr},
        {"(c) veryfast", -1, "veryfast", nullptr},
        {"(c3) veryfast, auto, zerolatency", 0, "veryfast", "zerolatency"},
        {"(c4) superfast, threads auto", 0, "superfast", nullptr},
        {"(d) ultrafast", -1, "ultrafast", nullptr},
        {"(d1) ultrafast, 1 thread", 1, "ultrafast", nullptr},
        {"(e) ultrafast, threads auto", 0, "ultrafast", nullptr},
        {"(e2) ultrafast, auto, zerolatency", 0, "ultrafast", "zerolatency"},
    };
    struct ScalerSetup {
        std::string name;
        AVPixelFormat out;
        bool viaYuv420p;  // two steps: swscale has a fast unscaled path from YUV420P to BGR24, none from NV12
        int flags, threads;
    };
    const std::vector<ScalerSetup> scalers = {
        {"NV12->BGR24 SWS_POINT", AV_PIX_FMT_BGR24, false, SWS_POINT, 1},
        {"NV12->BGR24 SWS_FAST_BILINEAR", AV_PIX_FMT_BGR24, false, SWS_FAST_BILINEAR, 1},
        {"NV12->BGR24 SWS_BILINEAR", AV_PIX_FMT_BGR24, false, SWS_BILINEAR, 1},
        {"NV12->BGR24 SWS_POINT, 2 threads", AV_PIX_FMT_BGR24, false, SWS_POINT, 2},
        {"NV12->YUV420P->BGR24 SWS_POINT", AV_PIX_FMT_BGR24, true, SWS_POINT, 1},
        {"NV12->YUV420P->BGR24 SWS_POINT, 2 threads", AV_PIX_FMT_BGR24, true, SWS_POINT, 2},
        {"NV12->YUV420P SWS_POINT (encoder input)", AV_PIX_FMT_YUV420P, false, SWS_POINT, 1},
    };
    std::vector<uint8_t> reference(kBgrBytes);  // the converter's picture of the last frame
    view.nv12ToRGB(images[frames - 1].data(), reference.data());

    for (int round = 0; round < rounds; ++round) {
        std::fprintf(stderr, "round %d of %d\n", round + 1, rounds);
        measure("memcpy 12.4 MB (NV12 bytes)", frames, [&] {
            for (int f = 0; f < frames; ++f) std::memcpy(scratch.data(), images[f].data(), kNv12Bytes);
        });
        measure("memcpy 24.9 MB (BGR24 bytes)", frames, [&] {
            for (int f = 0; f < frames; ++f) {
                std::memcpy(scratch.data(), images[f].data(), kNv12Bytes);
                std::memcpy(scratch.data() + kNv12Bytes, images[(f + 1) % frames].data(), kNv12Bytes);
            }
        });
        measure("nv12ToRGB (converter as now)", frames, [&] {
            for (int f = 0; f < frames; ++f) view.nv12ToRGB(images[f].data(), bgr.data());
        });
        measure("NV12 copy into reused vector", frames, [&] {
            for (int f = 0; f < frames; ++f) chunk.assign(images[f].begin(), images[f].end());
        });
        bool encoded = true;
        Row& encode = measure("nv12ToViedo encode (converter as now)", frames, [&] {
            orvane::DataToVideoConverter encoder;
            encoder.setConverterFrameSize(kHeight, kWidth, kHeight, kWidth);
            encoder.setConverterFmt(orvane::VIDEO_PIX_FMT_NV12, orvane::VIDEO_PIX_FMT_YUV420P);
            encoded = encoder.initVideoConverter(out) == 0;
            for (int f = 0; encoded && f < frames; ++f)
                encoded = encoder.nv12ToViedo(images[f].data(), f * 33333LL) == 0;
            encoded = encoded && encoder.flushAndCloseVideo() == 0;
        });
        if (!encoded) {
            std::fprintf(stderr, "encoding %s failed\n", out.c_str());
            return 1;
        }
        encode.note = megabits(std::filesystem::file_size(out), frames);
        std::filesystem::remove(out);
        if (!experiments) continue;
        for (const ScalerSetup& s : scalers) {
            const AVPixelFormat mid = s.viaYuv420p ? AV_PIX_FMT_YUV420P : s.out;
            auto first = makeBands(s.threads, AV_PIX_FMT_NV12, mid, s.flags);
            auto second =
                s.viaYuv420p ? makeBands(s.threads, mid, s.out, s.flags) : std::vector<SwsContext*>{};
            Row& row = measure("  sws " + s.name, frames, [&] {
                for (int f = 0; f < frames; ++f) {
                    convert(first, images[f].data(), AV_PIX_FMT_NV12,
                            s.viaYuv420p ? scratch.data() : bgr.data(), mid);
                    if (s.viaYuv420p) convert(second, scratch.data(), mid, bgr.data(), s.out);
                }
            });
            int diff = 0;
            for (size_t i = 0; s.out == AV_PIX_FMT_BGR24 && i < kBgrBytes; ++i)
                diff = std::max(diff, std::abs(reference[i] - bgr[i]));
            if (s.out == AV_PIX_FMT_BGR24)
                row.note = "largest byte difference to nv12ToRGB: " + std::to_string(diff);
            first.insert(first.end(), second.begin(), second.end());
            for (SwsContext* c : first) sws_freeContext(c);
        }
        for (const EncoderSetup& s : setups) {
            std::string note;
            measure("  x264 " + s.name, frames, [&] { note = encodeDirect(images, frames, s); }).note = note;
        }
    }

    std::printf("APS path at %dx%d, %d frames x %d rounds, %u cores; median (min-max) per frame\n", kWidth,
                kHeight, frames, rounds, std::thread::hardware_concurrency());
    std::printf("%-46s %22s %8s %7s %7s  %s\n", "operation", "wall ms/frame", "frames/s", "CPU ms", "budget",
                "output");
    std::printf("%-46s %7.1f %14s %8.1f %7s %6.0f%%\n", "baseline: 30 fps budget", kBudgetMs, "", 30.0, "",
                100.0);
    for (const Row& r : rows) {
        const double m = median(r.wall);
        const auto [low, high] = std::minmax_element(r.wall.begin(), r.wall.end());
        std::printf("%-46s %7.1f (%5.1f-%6.1f) %8.1f %7.1f %6.0f%%  %s\n", r.name.c_str(), m, *low, *high,
                    1000.0 / m, median(r.cpu), 100.0 * m / kBudgetMs, r.note.c_str());
    }
    return 0;
}
