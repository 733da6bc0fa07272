// ApsFileReader reads the APS (frame camera) half of a fusion recording: the frames of a video file
// as BGR24 images with microsecond timestamps, one after the other or by index. The viewer's frame
// builder uses it beside the raw event reader, from its play thread; a reader is used by one thread at
// a time. createFileReader chooses the implementation from the file name.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "orvane/driver/Types.h"

namespace orvane {

class ApsFileReader {
public:
    virtual ~ApsFileReader();

    // An Mp4FileReader when the name ends in exactly ".mp4", otherwise empty. Opens nothing.
    static std::unique_ptr<ApsFileReader> createFileReader(std::string path);

    // Opens the file, lists the timestamps of its video frames and rewinds to the first frame.
    virtual bool loadFile() = 0;
    // Always true; `timestamps` becomes a copy of the frame times, in file order, in the video
    // stream's time base (µs for the files this system writes).
    virtual bool getTimeStamps(std::vector<uint64_t>& timestamps) = 0;
    // Decodes on from the current position. True when a packet was read: `frame` changes only when a
    // picture came out (recognise a new one by its timestamp). False at the end of the file.
    virtual bool getNextFrame(ApsFrame& frame) = 0;
    // The frame whose time is entry `n` of the timestamp list; throws std::out_of_range for an index
    // outside the list. Reading continues after that frame.
    virtual bool getNFrame(int32_t n, ApsFrame& frame) = 0;

    // Frame size from the video stream; meaningful after a successful loadFile.
    uint16_t getWidth() const { return width; }
    uint16_t getHeight() const { return height; }

    // A text tag of the file's metadata as loadFile found it (e.g. kVideoDvsOffsetKey of
    // DataToVideoConverter.h); empty when absent.
    std::string getMetadata(const std::string& key) const;

protected:
    uint16_t width = 0;
    uint16_t height = 0;
    std::map<std::string, std::string> metadata;
};

}  // namespace orvane
