// Owning handles for the FFmpeg objects the driver uses, declared once so that no code path frees
// them by hand, and the one place where FFmpeg error codes become text. Private to the driver: no
// public header may include this (FFmpeg stays a private dependency).
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace orvane::ffmpeg {

struct FormatInputDeleter {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};

// An output context owns its AVIOContext only while the file is open; closing the file is part of
// releasing the context, so that an abandoned output never leaks a descriptor.
struct FormatOutputDeleter {
    void operator()(AVFormatContext* ctx) const
    {
        if (ctx->oformat && !(ctx->oformat->flags & AVFMT_NOFILE)) avio_closep(&ctx->pb);
        avformat_free_context(ctx);
    }
};

struct CodecContextDeleter {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

struct SwsContextDeleter {
    void operator()(SwsContext* ctx) const { sws_freeContext(ctx); }
};

struct DictionaryDeleter {
    void operator()(AVDictionary* dict) const { av_dict_free(&dict); }
};

struct BufferDeleter {
    void operator()(uint8_t* data) const { av_free(data); }
};

using InputFormatContextPtr = std::unique_ptr<AVFormatContext, FormatInputDeleter>;
using OutputFormatContextPtr = std::unique_ptr<AVFormatContext, FormatOutputDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryDeleter>;
using BufferPtr = std::unique_ptr<uint8_t, BufferDeleter>;

// Sends FFmpeg's own messages (libx264's banner, demuxer warnings) through our logger instead of
// straight to stderr: its information lines become detail, its warnings and errors keep their level.
// Process-wide and idempotent; every converter and reader calls it before using FFmpeg.
void installLogBridge();

// FFmpeg's own text for an error code, for log lines.
inline std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

}  // namespace orvane::ffmpeg
