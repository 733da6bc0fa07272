// The exporters that write from the reader's own state: the raw cut (a byte-exact copy of the range
// in the source's encoding) and the H.264 video. Their writing lives with the reader
// (RawFileReaderExport.cpp); these hold the output's part file around it.
#pragma once

#include "orvane/driver/Exporter.h"

namespace orvane {

class RawCutExporter : public Exporter {
public:
    std::string name() const override { return "raw"; }
    std::string extension() const override { return ".raw"; }
    RecordingError run(RawFileReader& reader, ExportRange range, const std::string& output,
                       const ExportProgress& progress, const std::atomic<bool>* cancel) override;
};

// One frame per slice of the recording that holds events (quiet stretches make none); a slice is
// speed x 1000000 / fps us of the recording.
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
};

}  // namespace orvane
