// DataToVideoConverter writes a sequence of images as an H.264 video (an mp4 file when the name ends
// in ".mp4") and converts single NV12 images to BGR for display. Event video export feeds it BGR24
// images, the fusion camera's APS recording feeds it NV12 images with their own presentation times,
// and the fusion camera's live view uses nv12ToRGB. One converter serves one file and is driven by one
// thread at a time (the exporting caller's thread or a record thread); callers share it by shared_ptr.
//
// Encoding order: setConverterFrameSize, setConverterFmt, initVideoConverter, any number of
// rgbToVideo or nv12ToViedo, flushAndCloseVideo. Every call returns 0 on success and -1 on failure
// with an error line in the log; nothing throws. A file is complete only once flushAndCloseVideo has
// returned 0; a failed initialisation or flush removes what it wrote.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace orvane {

// Pixel formats in FFmpeg's own numbering, the values the callers pass.
enum VideoPixelFormat : int32_t {
    VIDEO_PIX_FMT_YUV420P = 0,
    VIDEO_PIX_FMT_BGR24 = 3,
    VIDEO_PIX_FMT_NV12 = 23,
};

// Metadata key under which a fusion recording keeps the DVS time (µs) of its first APS frame, so that
// replay can line frames up with events (frame time in the file + this offset = DVS time).
inline constexpr char kVideoDvsOffsetKey[] = "dvs_offset_us";

class DataToVideoConverter {
public:
    // Time between two frames stamped by the converter itself at the default 30 frames per second, in µs.
    static constexpr int64_t kFramePeriodUs = 33333;

    DataToVideoConverter();
    ~DataToVideoConverter();  // frees what is left, without finishing an unflushed file
    DataToVideoConverter(const DataToVideoConverter&) = delete;
    DataToVideoConverter& operator=(const DataToVideoConverter&) = delete;

    // Builds the scaler from the sizes in effect now (source size and format to destination size
    // and format, nearest-neighbour sampling).
    void setConverterFmt(int32_t srcFmt, int32_t dstFmt);
    // Only stores the sizes (default 3840 x 2160 both); call setConverterFmt afterwards.
    void setConverterFrameSize(int32_t srcHeight, int32_t srcWidth, int32_t dstHeight, int32_t dstWidth);

    // Creates the file, the H.264 encoder (time base 1/1000000, 30 fps unless set, no B-frames, 60 Mbit/s) and
    // writes the container header.
    int initVideoConverter(std::string path);

    // One tightly packed BGR24 image of the source size, stamped with the next time in sequence
    // (0, 33333, 66666 ... µs at 30 fps).
    int rgbToVideo(const uint8_t* image);

    // One NV12 image of the source size (luma plane, then interleaved chroma, both with stride = width)
    // stamped with `pts` in µs, or with the next time in sequence when `pts` is -1. Explicit times must
    // increase; the sequence continues one frame period after the last time used.
    int nv12ToViedo(const uint8_t* image, int64_t pts);

    // Converts one NV12 image of the source size into `bgr` (destination size, stride = width x 3).
    // Needs only setConverterFrameSize and setConverterFmt(NV12, BGR24).
    int nv12ToRGB(const uint8_t* nv12, uint8_t* bgr);

    // For the next initVideoConverter: frames per second (1 to 240; default 30), which sets the
    // period of the times the converter stamps itself (1000000 / fps µs). False when out of range.
    bool setFrameRate(int fps);

    // The encoder's speed preset for the next initVideoConverter ("ultrafast" ... "veryslow"); empty
    // keeps the encoder's default ("medium"). Live recordings at 3840x2160 need "ultrafast" to keep
    // up with 30 frames per second on two cores.
    void setEncoderPreset(const std::string& preset);

    // For the next initVideoConverter: write the mp4 as fragments of `frames` frames (a key frame
    // each), each on the disk once it is complete, so that a process that dies leaves a video that
    // plays up to its last fragment. Metadata must then be set before the first frame. 0: one
    // ordinary mp4, readable only once flushAndCloseVideo has written its trailer.
    void setFragmentFrames(int32_t frames);

    // Drains the encoder, writes the trailer and closes the file; then frees the FFmpeg objects.
    int flushAndCloseVideo();

    // A text tag stored in the file's metadata (mp4: a "mdta" key), e.g. kVideoDvsOffsetKey. May be
    // called before initVideoConverter or at any time before flushAndCloseVideo; an empty value removes
    // the key.
    void setMetadata(const std::string& key, const std::string& value);

    // The system's reason (an errno value: ENOSPC, EFBIG ...) for the first write to the file that
    // failed since initVideoConverter; 0 when none did.
    int writeError() const;

    // Presentation time (µs) the next frame gets when none is given.
    int64_t nextPts() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace orvane
