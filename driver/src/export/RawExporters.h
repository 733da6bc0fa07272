// The exporters that write from the reader's own state: the raw cut (a byte-exact copy of the range
// in the source's encoding) and the H.264 video. Their writing lives with the reader
// (RawFileReaderExport.cpp); these hold the output's part file around it.
#pragma once

#include "orvane/driver/Exporter.h"
#include "orvane/driver/FrameRenderer.h"

namespace orvane {

namespace exportio {
// What the video writing needs to know: the frame rate, the slice of recording time between two
// frames, the time each frame's events accumulate over (ending at the frame's time) and the picture.
struct VideoLook {
    int fps = 30;
    uint64_t sliceUs = 33333;
    uint64_t accumulationUs = 33333;
    RenderSettings render;
};
}  // namespace exportio

// An EVT 3.0 source is copied byte for byte behind the state words a decoder needs; any other
// encoding is decoded and its events and trigger edges written again as EVT 3.0, the encoding every
// tool reads (unless keepEncoding, as `cut` asks: then the copy is in the source's own encoding).
class RawCutExporter : public Exporter {
public:
    std::string name() const override { return "raw"; }
    std::string extension() const override { return ".raw"; }
    RecordingError run(RawFileReader& reader, ExportRange range, const std::string& output,
                       const ExportProgress& progress, const std::atomic<bool>* cancel) override;
    bool keepEncoding = false;
};

namespace exportio {
class PartFile;
class Progress;
// The range's events and trigger edges, decoded and encoded again as EVT 3.0 into `part`, behind
// our header. The times keep their place within EVT 3.0's 2^24 us (whole wraps of it are dropped,
// as a cut's are).
RecordingError rewriteAsEvt3(RawFileReader& reader, ExportRange range, PartFile& part, const Progress& progress);
}  // namespace exportio

// One frame per slice of the recording (speed x 1000000 / fps us) whose accumulation window (the
// accumulation_us before the frame's time) holds events; quiet stretches make none. In accumulation
// mode a frame paints the events of its window, so windows longer than a slice overlap and shorter
// ones leave gaps; the time surface paints every event up to the frame, fading by time_constant_us.
class VideoExporter : public Exporter {
public:
    std::string name() const override { return "video"; }
    std::string extension() const override { return ".mp4"; }
    std::vector<ExportOption> options() const override;
    bool setOption(const std::string& name, const std::string& value, std::string& error) override;
    RecordingError run(RawFileReader& reader, ExportRange range, const std::string& output,
                       const ExportProgress& progress, const std::atomic<bool>* cancel) override;
    int fps = 30;
    double speed = 1.0;
    uint64_t accumulationUs = 0;  // 0: one slice
    RenderSettings render;

    // The settings the writing uses, the defaults worked out.
    exportio::VideoLook look() const;
};

}  // namespace orvane
