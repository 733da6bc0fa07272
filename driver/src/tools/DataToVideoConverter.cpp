#include "orvane/driver/DataToVideoConverter.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <vector>

#include "FfmpegPtr.h"
#include "orvane/base/Logger.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace orvane {

static_assert(static_cast<int>(VIDEO_PIX_FMT_YUV420P) == static_cast<int>(AV_PIX_FMT_YUV420P));
static_assert(static_cast<int>(VIDEO_PIX_FMT_BGR24) == static_cast<int>(AV_PIX_FMT_BGR24));
static_assert(static_cast<int>(VIDEO_PIX_FMT_NV12) == static_cast<int>(AV_PIX_FMT_NV12));

namespace {

constexpr AVRational kTimeBase{1, 1000000};
constexpr int64_t kBitRate = 60000000;
constexpr int kFrameAlign = 32;

}  // namespace

struct DataToVideoConverter::Impl {
    ffmpeg::OutputFormatContextPtr output;
    ffmpeg::CodecContextPtr encoderContext;
    AVStream* stream = nullptr;        // owned by `output`
    const AVCodec* encoder = nullptr;  // static description
    ffmpeg::SwsContextPtr scaler;
    ffmpeg::FramePtr encoderFrame;
    ffmpeg::FramePtr sourceFrame;
    ffmpeg::PacketPtr packet;
    ffmpeg::DictionaryPtr pendingMetadata;  // set before the output context exists

    int32_t srcFmt = 0;
    int32_t dstFmt = 0;
    int32_t dstWidth = 3840;
    int32_t dstHeight = 2160;
    int32_t srcWidth = 3840;
    int32_t srcHeight = 2160;

    // What the scaler was built from, so that a size changed after setConverterFmt never makes it
    // read or write outside the frames.
    int32_t scalerKey[6] = {};

    // 64-bit: a 32-bit counter wraps after 2^31 µs, about 35.8 minutes of video.
    int64_t frameCounter = 0;
    int fps = 30;
    int64_t framePeriodUs = kFramePeriodUs;
    int64_t lastPts = -1;

    std::string preset;  // empty: the encoder's default
    int32_t fragmentFrames = 0;  // 0: not fragmented

    std::string path;
    bool fileOpen = false;     // the output file exists because we created it
    bool writeFailed = false;  // a packet could not be written: the file would miss frames
    int writeErrno = 0;        // the system's reason of the first write that failed

    void noteWriteError(int ret)
    {
        // FFmpeg's I/O errors are the system's errno values, negated.
        if (writeErrno == 0) writeErrno = ret < 0 && -ret < 4096 ? -ret : EIO;
    }

    // nv12ToRGB without scaling goes through planar YUV: swscale has a fast path from YUV420P to
    // BGR24 but none from NV12, and the two steps take a third of the time of one (4K: ~4.5 ms
    // instead of ~14 ms), with bytes within 2 of the direct conversion.
    ffmpeg::SwsContextPtr toPlanar, planarToRgb;
    std::vector<uint8_t> planar;
    int32_t planarKey[3] = {};

    bool ready() const { return output && encoderContext && encoderFrame && sourceFrame && packet; }

    bool planarCurrent()
    {
        const int32_t key[3] = {srcWidth, srcHeight, dstFmt};
        if (toPlanar && planarToRgb && std::equal(std::begin(key), std::end(key), planarKey)) return true;
        std::copy(std::begin(key), std::end(key), planarKey);
        toPlanar.reset(sws_getContext(srcWidth, srcHeight, AV_PIX_FMT_NV12, srcWidth, srcHeight, AV_PIX_FMT_YUV420P,
                                      SWS_POINT, nullptr, nullptr, nullptr));
        planarToRgb.reset(sws_getContext(srcWidth, srcHeight, AV_PIX_FMT_YUV420P, srcWidth, srcHeight,
                                         static_cast<AVPixelFormat>(dstFmt), SWS_POINT, nullptr, nullptr, nullptr));
        planar.resize(static_cast<size_t>(srcWidth) * srcHeight * 3 / 2);
        return toPlanar && planarToRgb;
    }

    void buildScaler()
    {
        scaler.reset(sws_getContext(srcWidth, srcHeight, static_cast<AVPixelFormat>(srcFmt), dstWidth,
                                    dstHeight, static_cast<AVPixelFormat>(dstFmt), SWS_POINT, nullptr,
                                    nullptr, nullptr));
        const int32_t key[6] = {srcWidth, srcHeight, srcFmt, dstWidth, dstHeight, dstFmt};
        std::copy(std::begin(key), std::end(key), scalerKey);
        if (!scaler)
            ORVANE_LOG_ERROR("Could not create the scaler from format %d to format %d.", srcFmt, dstFmt);
    }

    bool scalerCurrent()
    {
        const int32_t key[6] = {srcWidth, srcHeight, srcFmt, dstWidth, dstHeight, dstFmt};
        if (scaler && std::equal(std::begin(key), std::end(key), scalerKey)) return true;
        buildScaler();
        return scaler != nullptr;
    }

    void freeAll()
    {
        sourceFrame.reset();
        encoderFrame.reset();
        packet.reset();
        encoderContext.reset();
        output.reset();  // closes the file if still open
        stream = nullptr;
        scaler.reset();
    }

    // Drops an output that cannot be completed: closes it and removes the file, so that nothing
    // that looks like a video is left behind.
    void abandon()
    {
        const bool created = fileOpen;
        freeAll();
        fileOpen = false;
        if (created) {
            std::error_code ec;
            // Only a regular file we created: a path such as /dev/null must survive.
            if (std::filesystem::is_regular_file(path, ec)) std::filesystem::remove(path, ec);
        }
    }

    void writePacket()
    {
        // FFmpeg leaves the duration at 0 with this time base, and the mp4 edit list then cuts the
        // last frame: give every packet one frame period.
        if (packet->duration <= 0) packet->duration = framePeriodUs;
        av_packet_rescale_ts(packet.get(), encoderContext->time_base, stream->time_base);
        packet->stream_index = stream->index;
        const int ret = av_interleaved_write_frame(output.get(), packet.get());
        if (ret < 0) {
            ORVANE_LOG_ERROR("Write frame to file failed! (%s)", ffmpeg::errorText(ret).c_str());
            writeFailed = true;
            noteWriteError(ret);
        }
        av_packet_unref(packet.get());
    }

    // Sends one frame and writes what the encoder has ready.
    int encode(AVFrame* frame)
    {
        int ret = avcodec_send_frame(encoderContext.get(), frame);
        if (ret < 0) {
            ORVANE_LOG_ERROR("Error sending a frame for encoding (%s)", ffmpeg::errorText(ret).c_str());
            return -1;
        }
        const bool failedBefore = writeFailed;
        for (;;) {
            ret = avcodec_receive_packet(encoderContext.get(), packet.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
            if (ret < 0) {
                ORVANE_LOG_ERROR("Error during encoding (%s)", ffmpeg::errorText(ret).c_str());
                return -1;
            }
            writePacket();
        }
        return (writeFailed && !failedBefore) ? -1 : 0;
    }
};

DataToVideoConverter::DataToVideoConverter() : d_(std::make_unique<Impl>())
{
    ffmpeg::installLogBridge();
}

DataToVideoConverter::~DataToVideoConverter() = default;

void DataToVideoConverter::setConverterFmt(int32_t srcFmt, int32_t dstFmt)
{
    d_->srcFmt = srcFmt;
    d_->dstFmt = dstFmt;
    d_->buildScaler();
}

void DataToVideoConverter::setConverterFrameSize(int32_t srcHeight, int32_t srcWidth, int32_t dstHeight,
                                                 int32_t dstWidth)
{
    d_->srcHeight = srcHeight;
    d_->srcWidth = srcWidth;
    d_->dstHeight = dstHeight;
    d_->dstWidth = dstWidth;
}

namespace {

// A frame of that format and size with its own pixel buffer; logs and answers false on failure.
bool allocateFrame(ffmpeg::FramePtr& frame, int format, int width, int height)
{
    frame.reset(av_frame_alloc());
    if (!frame) {
        ORVANE_LOG_ERROR("Could not allocate video frame");
        return false;
    }
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), kFrameAlign) < 0) {
        ORVANE_LOG_ERROR("Could not allocate the video frame data");
        return false;
    }
    return true;
}

}  // namespace

int DataToVideoConverter::initVideoConverter(std::string path)
{
    Impl& d = *d_;
    if (d.output) {
        ORVANE_LOG_ERROR("Video converter already writes %s.", d.path.c_str());
        return -1;
    }
    d.path = std::move(path);
    d.writeFailed = false;
    d.writeErrno = 0;

    AVFormatContext* output = nullptr;
    if (avformat_alloc_output_context2(&output, nullptr, nullptr, d.path.c_str()) < 0 || !output) {
        ORVANE_LOG_ERROR("Failed to create output context.");
        return -1;
    }
    d.output.reset(output);

    d.encoder = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!d.encoder) {
        ORVANE_LOG_ERROR("H.264 encoder not found.");
        d.abandon();
        return -1;
    }

    // Subsampled chroma needs sizes that divide evenly; the encoder would refuse them anyway, but only
    // after allocating (and, in libx264, leaking) its state.
    const AVPixFmtDescriptor* dstDesc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(d.dstFmt));
    if (!dstDesc || d.dstWidth <= 0 || d.dstHeight <= 0 ||
        (d.dstWidth & ((1 << dstDesc->log2_chroma_w) - 1)) ||
        (d.dstHeight & ((1 << dstDesc->log2_chroma_h) - 1))) {
        ORVANE_LOG_ERROR("Cannot encode %dx%d frames of pixel format %d.", d.dstWidth, d.dstHeight, d.dstFmt);
        d.abandon();
        return -1;
    }

    d.stream = avformat_new_stream(output, nullptr);
    d.encoderContext.reset(avcodec_alloc_context3(d.encoder));
    if (!d.stream || !d.encoderContext) {
        ORVANE_LOG_ERROR("Could not allocate the video stream.");
        d.abandon();
        return -1;
    }
    AVCodecContext* ctx = d.encoderContext.get();
    ctx->width = d.dstWidth;
    ctx->height = d.dstHeight;
    ctx->pix_fmt = static_cast<AVPixelFormat>(d.dstFmt);
    ctx->time_base = kTimeBase;
    ctx->framerate = AVRational{d.fps, 1};
    ctx->max_b_frames = 0;
    ctx->bit_rate = kBitRate;
    // The mp4 muxer wants the parameter sets in the stream header rather than in the first packet.
    if (output->oformat->flags & AVFMT_GLOBALHEADER) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (d.fragmentFrames > 0) ctx->gop_size = d.fragmentFrames;  // a fragment starts at each key frame
    if (!d.preset.empty() && av_opt_set(ctx->priv_data, "preset", d.preset.c_str(), 0) < 0) {
        ORVANE_LOG_WARNING("The H.264 encoder has no preset \"%s\"; its default is used.", d.preset.c_str());
    }
    int ret = avcodec_open2(ctx, d.encoder, nullptr);
    if (ret < 0) {
        // An encoder that did not open would refuse every frame: say so now.
        ORVANE_LOG_ERROR("Could not open the H.264 encoder for %dx%d: %s", d.dstWidth, d.dstHeight,
                         ffmpeg::errorText(ret).c_str());
        d.abandon();
        return -1;
    }
    if (avcodec_parameters_from_context(d.stream->codecpar, ctx) < 0) {
        ORVANE_LOG_ERROR("Could not copy the encoder parameters to the stream.");
        d.abandon();
        return -1;
    }
    d.stream->time_base = ctx->time_base;

    if (!(output->oformat->flags & AVFMT_NOFILE)) {
        ret = avio_open(&output->pb, d.path.c_str(), AVIO_FLAG_WRITE);
        if (ret < 0) {
            ORVANE_LOG_ERROR("Failed to open output file: %s. (%s)", d.path.c_str(),
                             ffmpeg::errorText(ret).c_str());
            d.abandon();
            return -1;
        }
        d.fileOpen = true;
    }

    // Custom keys such as kVideoDvsOffsetKey survive in mp4 only as "mdta" tags. The mp4 muxer writes
    // its metadata with the trailer, so tags set after this point still reach the file.
    // The movie time scale (1/1000 by default) rounds the edit list that places a first frame
    // stamped later than 0: keep it in microseconds too.
    if (output->oformat->priv_class) {
        av_opt_set(output->priv_data, "movflags", "+use_metadata_tags", 0);
        av_opt_set_int(output->priv_data, "movie_timescale", kTimeBase.den, 0);
        if (d.fragmentFrames > 0) {
            // The movie header goes out with the first fragment (delay_moov), by when the caller
            // has set the metadata its first frame needs; each fragment reaches the file at once.
            av_opt_set(output->priv_data, "movflags", "+frag_keyframe+empty_moov+delay_moov+default_base_moof", 0);
            output->flags |= AVFMT_FLAG_FLUSH_PACKETS;
        }
    }
    if (d.pendingMetadata) {
        AVDictionary* pending = d.pendingMetadata.release();
        av_dict_copy(&output->metadata, pending, 0);
        av_dict_free(&pending);
    }

    ret = avformat_write_header(output, nullptr);
    if (ret < 0) {
        ORVANE_LOG_ERROR("Failed to write video header. (%s)", ffmpeg::errorText(ret).c_str());
        d.abandon();
        return -1;
    }

    if (!allocateFrame(d.encoderFrame, d.dstFmt, d.dstWidth, d.dstHeight) ||
        !allocateFrame(d.sourceFrame, d.srcFmt, d.srcWidth, d.srcHeight)) {
        d.abandon();
        return -1;
    }

    d.packet.reset(av_packet_alloc());
    if (!d.packet || !d.scalerCurrent()) {
        if (!d.packet) ORVANE_LOG_ERROR("Could not allocate the video packet.");
        d.abandon();
        return -1;
    }
    d.packet->stream_index = 0;
    return 0;
}

int DataToVideoConverter::rgbToVideo(const uint8_t* image)
{
    Impl& d = *d_;
    if (d.srcFmt != AV_PIX_FMT_BGR24) {
        ORVANE_LOG_ERROR("Sws scale fmt is not AV_PIX_FMT_BGR24");
        return -1;
    }
    if (!d.ready() || !image) {
        ORVANE_LOG_ERROR("Video converter is not initialised or the image is missing.");
        return -1;
    }
    AVFrame* src = d.sourceFrame.get();
    AVFrame* dst = d.encoderFrame.get();
    // The encoder may still hold a reference to the last frame's buffers.
    if (av_frame_make_writable(src) < 0 || av_frame_make_writable(dst) < 0) {
        ORVANE_LOG_ERROR("Could not allocate the video frame data");
        return -1;
    }
    // Row by row: the input is tightly packed, the frame's rows are padded to the alignment.
    av_image_copy_plane(src->data[0], src->linesize[0], image, d.srcWidth * 3, d.srcWidth * 3, d.srcHeight);
    sws_scale(d.scaler.get(), src->data, src->linesize, 0, d.srcHeight, dst->data, dst->linesize);

    dst->pts = d.frameCounter;
    d.lastPts = d.frameCounter;
    d.frameCounter += d.framePeriodUs;
    return d.encode(dst);
}

int DataToVideoConverter::nv12ToViedo(const uint8_t* image, int64_t pts)
{
    Impl& d = *d_;
    if (d.srcFmt != AV_PIX_FMT_NV12) {
        ORVANE_LOG_ERROR("Sws scale fmt is not AV_PIX_FMT_NV12");
        return -1;
    }
    if (!d.ready() || !image) {
        ORVANE_LOG_ERROR("Video converter is not initialised or the image is missing.");
        return -1;
    }
    const int64_t time = pts == -1 ? d.frameCounter : pts;
    // The container stores times in decode order and refuses one that does not increase; refusing it
    // here keeps the file intact instead of failing in the muxer.
    if (time < 0 || time <= d.lastPts) {
        ORVANE_LOG_ERROR("Presentation time %lld is not after the previous frame's (%lld).",
                         static_cast<long long>(time), static_cast<long long>(d.lastPts));
        return -1;
    }
    AVFrame* src = d.sourceFrame.get();
    AVFrame* dst = d.encoderFrame.get();
    if (av_frame_make_writable(src) < 0 || av_frame_make_writable(dst) < 0) {
        ORVANE_LOG_ERROR("Could not allocate the video frame data");
        return -1;
    }
    const uint8_t* planes[4] = {image, image + static_cast<size_t>(d.srcWidth) * d.srcHeight, nullptr,
                                nullptr};
    const int strides[4] = {d.srcWidth, d.srcWidth, 0, 0};
    av_image_copy(src->data, src->linesize, planes, strides, AV_PIX_FMT_NV12, d.srcWidth, d.srcHeight);
    sws_scale(d.scaler.get(), src->data, src->linesize, 0, d.srcHeight, dst->data, dst->linesize);

    src->pts = time;
    dst->pts = time;
    d.lastPts = time;
    // Whether the time was given or not, the sequence goes on one frame period after it.
    d.frameCounter = time + d.framePeriodUs;
    return d.encode(dst);
}

int DataToVideoConverter::nv12ToRGB(const uint8_t* nv12, uint8_t* bgr)
{
    Impl& d = *d_;
    if (!nv12 || !bgr || d.srcFmt != AV_PIX_FMT_NV12 ||
        (d.dstFmt != AV_PIX_FMT_BGR24 && d.dstFmt != AV_PIX_FMT_RGB24) || !d.scalerCurrent()) {
        ORVANE_LOG_ERROR("nv12ToRGB needs an NV12 to BGR24 converter and two images.");
        return -1;
    }
    const size_t luma = static_cast<size_t>(d.srcWidth) * d.srcHeight;
    const uint8_t* src[4] = {nv12, nv12 + luma, nullptr, nullptr};
    const int srcStride[4] = {d.srcWidth, d.srcWidth, 0, 0};
    uint8_t* dst[4] = {bgr, nullptr, nullptr, nullptr};
    const int dstStride[4] = {d.dstWidth * 3, 0, 0, 0};
    const bool sameSize = d.srcWidth == d.dstWidth && d.srcHeight == d.dstHeight;
    const bool evenSize = d.srcWidth % 2 == 0 && d.srcHeight % 2 == 0;
    if (sameSize && evenSize && d.planarCurrent()) {
        uint8_t* const y = d.planar.data();
        uint8_t* planes[4] = {y, y + luma, y + luma + luma / 4, nullptr};
        const int planeStride[4] = {d.srcWidth, d.srcWidth / 2, d.srcWidth / 2, 0};
        sws_scale(d.toPlanar.get(), src, srcStride, 0, d.srcHeight, planes, planeStride);
        const uint8_t* planarSrc[4] = {planes[0], planes[1], planes[2], nullptr};
        sws_scale(d.planarToRgb.get(), planarSrc, planeStride, 0, d.srcHeight, dst, dstStride);
        return 0;
    }
    sws_scale(d.scaler.get(), src, srcStride, 0, d.srcHeight, dst, dstStride);
    return 0;
}

int DataToVideoConverter::flushAndCloseVideo()
{
    Impl& d = *d_;
    if (!d.ready()) {
        ORVANE_LOG_ERROR("Video converter is not initialised.");
        return -1;
    }
    AVCodecContext* ctx = d.encoderContext.get();
    av_packet_unref(d.packet.get());
    bool draining = false;
    for (;;) {
        const int ret = avcodec_receive_packet(ctx, d.packet.get());
        if (ret == AVERROR(EAGAIN) && !draining) {
            draining = true;
            avcodec_send_frame(ctx, nullptr);
            continue;
        }
        if (ret == AVERROR_EOF) break;
        if (ret < 0) {
            ORVANE_LOG_ERROR("Error receiving packet from encoder. (%s)", ffmpeg::errorText(ret).c_str());
            d.abandon();
            return -1;
        }
        d.writePacket();
    }

    int ret = av_write_trailer(d.output.get());
    if (ret < 0) {
        ORVANE_LOG_ERROR("Failed to write video trailer. (%s)", ffmpeg::errorText(ret).c_str());
        d.noteWriteError(ret);
    }
    if (d.fileOpen) {
        // Closing flushes the last buffered bytes: a full disk shows here at the latest.
        const int closed = avio_closep(&d.output->pb);
        if (closed < 0) {
            ORVANE_LOG_ERROR("Failed to close %s. (%s)", d.path.c_str(), ffmpeg::errorText(closed).c_str());
            d.noteWriteError(closed);
            ret = closed;
        }
    }
    if (ret < 0 || d.writeFailed) {
        ORVANE_LOG_ERROR("Video %s is incomplete and was removed.", d.path.c_str());
        d.abandon();
        return -1;
    }
    d.fileOpen = false;
    ORVANE_LOG_INFO("Video created successfully");
    d.freeAll();
    return 0;
}

int DataToVideoConverter::writeError() const
{
    return d_->writeErrno;
}

bool DataToVideoConverter::setFrameRate(int fps)
{
    if (fps < 1 || fps > 240) return false;
    d_->fps = fps;
    d_->framePeriodUs = fps == 30 ? kFramePeriodUs : 1000000 / fps;
    return true;
}

void DataToVideoConverter::setEncoderPreset(const std::string& preset)
{
    d_->preset = preset;
}

void DataToVideoConverter::setFragmentFrames(int32_t frames)
{
    d_->fragmentFrames = frames > 0 ? frames : 0;
}

void DataToVideoConverter::setMetadata(const std::string& key, const std::string& value)
{
    Impl& d = *d_;
    const char* text = value.empty() ? nullptr : value.c_str();
    if (d.output) {
        av_dict_set(&d.output->metadata, key.c_str(), text, 0);
        return;
    }
    AVDictionary* dict = d.pendingMetadata.release();
    av_dict_set(&dict, key.c_str(), text, 0);
    d.pendingMetadata.reset(dict);
}

int64_t DataToVideoConverter::nextPts() const
{
    return d_->frameCounter;
}

}  // namespace orvane
