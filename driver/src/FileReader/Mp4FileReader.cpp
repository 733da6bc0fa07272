#include "orvane/driver/Mp4FileReader.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <thread>

#include "FfmpegPtr.h"
#include "orvane/base/Logger.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace orvane {

namespace {

constexpr AVPixelFormat kOutputFormat = AV_PIX_FMT_BGR24;
constexpr AVRational kMicroseconds{1, 1000000};

int64_t packetTime(const AVPacket& packet)
{
    if (packet.pts != AV_NOPTS_VALUE) return packet.pts;
    return packet.dts != AV_NOPTS_VALUE ? packet.dts : 0;
}

// One per core, up to four: more only holds more 4K pictures in memory.
int decoderThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 4u));
}

}  // namespace

struct Mp4FileReader::Impl {
    std::string path;
    std::vector<uint64_t> timestamps;  // stream time base, one per video packet in file order

    ffmpeg::InputFormatContextPtr format;
    int32_t streamIndex = -1;
    AVStream* stream = nullptr;  // owned by `format`
    const AVCodec* decoder = nullptr;
    ffmpeg::CodecContextPtr decoderContext;
    ffmpeg::SwsContextPtr scaler;

    // One BGR24 image, rows packed without padding, reused for every frame.
    ffmpeg::BufferPtr image;
    uint8_t* outData[4] = {};
    int outLinesize[4] = {};
    int outWidth = 0;
    int outHeight = 0;

    ffmpeg::PacketPtr packet;
    ffmpeg::FramePtr decoded;
    int64_t decodedPts = AV_NOPTS_VALUE;  // stream time base, of the picture in `image`

    bool draining = false;  // end of file reached: the decoder hands out what it still holds
    bool pending = false;   // a lookup stopped before the decoder was emptied

    bool ready() const { return format && decoderContext && image && packet && decoded; }

    void reset()
    {
        scaler.reset();
        decoderContext.reset();
        decoder = nullptr;
        decoded.reset();
        packet.reset();
        image.reset();
        format.reset();
        stream = nullptr;
        streamIndex = -1;
        timestamps.clear();
        draining = false;
        pending = false;
    }

    // Converts the decoded frame into the image buffer and describes it in `out`.
    bool deliver(ApsFrame& out)
    {
        AVFrame* f = decoded.get();
        decodedPts = f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp;
        // Cached: rebuilt only if a stream changes size or format mid-way, which would otherwise make
        // the scaler read outside the frame.
        scaler.reset(sws_getCachedContext(scaler.release(), f->width, f->height,
                                          static_cast<AVPixelFormat>(f->format), outWidth, outHeight,
                                          kOutputFormat, SWS_BICUBIC, nullptr, nullptr, nullptr));
        const bool converted =
            scaler && sws_scale(scaler.get(), f->data, f->linesize, 0, f->height, outData, outLinesize) > 0;
        av_frame_unref(f);
        if (!converted) return false;
        out.data = image.get();
        out.size = static_cast<uint32_t>(outWidth) * static_cast<uint32_t>(outHeight) * 3u;
        // Exact integer rescaling: the double product time x (num / den) x 1000000 truncates
        // 99999 µs to 99998, and a lookup by index would then miss the frame.
        const int64_t us =
            decodedPts == AV_NOPTS_VALUE ? 0 : av_rescale_q(decodedPts, stream->time_base, kMicroseconds);
        out.timestamp = us < 0 ? 0 : static_cast<uint64_t>(us);
        return true;
    }

    // Takes one decoded frame if the decoder has one. 1: taken, 0: none ready, -1: conversion failed.
    // A lookup (`target`) converts only the picture it looks for and passes over the others.
    int receiveOne(ApsFrame& out, const int64_t* target = nullptr)
    {
        if (avcodec_receive_frame(decoderContext.get(), decoded.get()) < 0) return 0;
        if (target) {
            const AVFrame* f = decoded.get();
            const int64_t pts = f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp;
            if (pts != *target) {
                decodedPts = pts;
                av_frame_unref(decoded.get());
                return 1;
            }
        }
        return deliver(out) ? 1 : -1;
    }

    // One reading step. With `target`, stops at the picture whose stream time equals it (`hit`).
    bool step(ApsFrame& out, const int64_t* target, bool& hit)
    {
        hit = false;
        if (pending) {
            const int got = receiveOne(out, target);
            if (got < 0) return false;
            if (got > 0) {
                hit = target && decodedPts == *target;
                return true;
            }
            pending = false;
        }
        if (!draining) {
            if (av_read_frame(format.get(), packet.get()) >= 0) {
                bool ok = true;
                if (packet->stream_index == streamIndex &&
                    avcodec_send_packet(decoderContext.get(), packet.get()) == 0) {
                    for (;;) {
                        const int got = receiveOne(out, target);
                        if (got <= 0) {
                            ok = got == 0;
                            break;
                        }
                        if (target && decodedPts == *target) {
                            hit = true;
                            pending = true;  // more pictures of this packet are read next time
                            break;
                        }
                    }
                }
                av_packet_unref(packet.get());
                return ok;
            }
            // End of file: a decoder that reorders or delays still holds the last pictures.
            draining = true;
            avcodec_send_packet(decoderContext.get(), nullptr);
        }
        const int got = receiveOne(out, target);
        if (got <= 0) return false;
        hit = target && decodedPts == *target;
        return true;
    }

    bool seek(int64_t time)
    {
        if (av_seek_frame(format.get(), streamIndex, time, AVSEEK_FLAG_BACKWARD) < 0) {
            ORVANE_LOG_ERROR("Seek frame failed!");
            return false;
        }
        if (decoderContext) avcodec_flush_buffers(decoderContext.get());
        draining = false;
        pending = false;
        return true;
    }
};

Mp4FileReader::Mp4FileReader(std::string path) : d_(std::make_unique<Impl>())
{
    d_->path = std::move(path);
    ffmpeg::installLogBridge();
}

Mp4FileReader::~Mp4FileReader() = default;

bool Mp4FileReader::loadFile()
{
    Impl& d = *d_;
    d.reset();
    metadata.clear();
    width = 0;
    height = 0;

    // avformat_open_input frees the context itself on failure: hand it over only on success.
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, d.path.c_str(), nullptr, nullptr) < 0) return false;
    d.format.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return false;

    // The last video stream; a cover picture is a video stream too, but not the video.
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* s = raw->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            d.streamIndex = static_cast<int32_t>(i);
    }
    if (d.streamIndex < 0) {
        ORVANE_LOG_ERROR("No video stream in %s.", d.path.c_str());
        return false;
    }
    d.stream = raw->streams[d.streamIndex];
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (static_cast<int32_t>(i) != d.streamIndex) raw->streams[i]->discard = AVDISCARD_ALL;

    const int w = d.stream->codecpar->width;
    const int h = d.stream->codecpar->height;
    if (w <= 0 || h <= 0 || w > std::numeric_limits<uint16_t>::max() ||
        h > std::numeric_limits<uint16_t>::max()) {
        ORVANE_LOG_ERROR("Video stream of %s has an unusable size %dx%d.", d.path.c_str(), w, h);
        return false;
    }
    width = static_cast<uint16_t>(w);
    height = static_cast<uint16_t>(h);
    d.outWidth = w;
    d.outHeight = h;

    d.decoded.reset(av_frame_alloc());
    d.packet.reset(av_packet_alloc());
    const int imageSize = av_image_get_buffer_size(kOutputFormat, w, h, 1);
    if (imageSize > 0) d.image.reset(static_cast<uint8_t*>(av_malloc(static_cast<size_t>(imageSize))));
    if (!d.decoded || !d.packet || !d.image ||
        av_image_fill_arrays(d.outData, d.outLinesize, d.image.get(), kOutputFormat, w, h, 1) < 0) {
        ORVANE_LOG_ERROR("Could not allocate the frame buffers for %s.", d.path.c_str());
        return false;
    }

    // List the frame times from the packets alone (no decoding).
    int64_t earliest = 0;
    while (av_read_frame(raw, d.packet.get()) >= 0) {
        if (d.packet->stream_index == d.streamIndex) {
            const int64_t t = packetTime(*d.packet);
            earliest = std::min(earliest, t);
            d.timestamps.push_back(static_cast<uint64_t>(t));
        }
        av_packet_unref(d.packet.get());
    }

    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(raw->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
        metadata[tag->key] = tag->value;

    // A video without frames has nothing to rewind to.
    if (!d.timestamps.empty() && !d.seek(earliest)) return false;

    d.decoder = avcodec_find_decoder(d.stream->codecpar->codec_id);
    if (!d.decoder) {
        ORVANE_LOG_ERROR("No decoder for the video of %s.", d.path.c_str());
        return false;
    }
    d.decoderContext.reset(avcodec_alloc_context3(d.decoder));
    if (!d.decoderContext || avcodec_parameters_to_context(d.decoderContext.get(), d.stream->codecpar) < 0) {
        ORVANE_LOG_ERROR("Could not set up the decoder for %s.", d.path.c_str());
        return false;
    }
    d.decoderContext->pkt_timebase = d.stream->time_base;
    // One core alone does not keep 4K replay at 30 frames per second: decode on the decoder's own
    // threads (frame threads hand pictures out a few packets later, which reading allows for).
    d.decoderContext->thread_count = decoderThreads();
    d.decoderContext->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    const int ret = avcodec_open2(d.decoderContext.get(), d.decoder, nullptr);
    if (ret < 0) {
        // A decoder that did not open would silently yield no frame at all.
        ORVANE_LOG_ERROR("Could not open the decoder for %s: %s", d.path.c_str(),
                         ffmpeg::errorText(ret).c_str());
        d.decoderContext.reset();
        return false;
    }
    const AVPixelFormat decodedFormat = d.decoderContext->pix_fmt;
    if (decodedFormat != AV_PIX_FMT_NONE) {
        d.scaler.reset(sws_getContext(d.decoderContext->width, d.decoderContext->height, decodedFormat, w, h,
                                      kOutputFormat, SWS_BICUBIC, nullptr, nullptr, nullptr));
    }
    return true;
}

bool Mp4FileReader::getTimeStamps(std::vector<uint64_t>& timestamps)
{
    timestamps = d_->timestamps;
    return true;
}

bool Mp4FileReader::getNextFrame(ApsFrame& frame)
{
    if (!d_->ready()) return false;
    bool hit = false;
    return d_->step(frame, nullptr, hit);
}

bool Mp4FileReader::getNFrame(int32_t n, ApsFrame& frame)
{
    Impl& d = *d_;
    if (n < 0 || static_cast<size_t>(n) >= d.timestamps.size())
        throw std::out_of_range("Mp4FileReader::getNFrame: frame index out of range");
    if (!d.ready()) return false;
    // Compared in the stream's own time base, so that the lookup works whatever time base the file
    // uses (the entries are stream times, the frames carry microseconds).
    const int64_t target = static_cast<int64_t>(d.timestamps[static_cast<size_t>(n)]);
    if (!d.seek(target)) return false;
    ApsFrame local{};
    bool hit = false;
    while (d.step(local, &target, hit)) {
        if (hit) {
            local.fallTimestamp = 0;
            frame = local;
            return true;
        }
    }
    return false;
}

}  // namespace orvane
