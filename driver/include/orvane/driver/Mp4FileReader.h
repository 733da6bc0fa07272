// Mp4FileReader: the ApsFileReader for mp4 files, such as the APS video of a fusion recording or any
// mp4 holding an H.264 stream. Frames are decoded one at a time into one BGR24 buffer owned by the
// reader: a frame's `data` stays valid until the same reader decodes its next frame.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "orvane/driver/ApsFileReader.h"

namespace orvane {

class Mp4FileReader : public ApsFileReader {
public:
    explicit Mp4FileReader(std::string path);
    ~Mp4FileReader() override;
    Mp4FileReader(const Mp4FileReader&) = delete;
    Mp4FileReader& operator=(const Mp4FileReader&) = delete;

    bool loadFile() override;
    bool getTimeStamps(std::vector<uint64_t>& timestamps) override;
    bool getNextFrame(ApsFrame& frame) override;
    bool getNFrame(int32_t n, ApsFrame& frame) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace orvane
