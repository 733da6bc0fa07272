// DvsFileReader is what the viewer, the cutter and the CLI replay event recordings through: load a
// file, then read its events by count or by time span and jump to an event number or a timestamp.
// createFileReader picks the implementation from the file name; RawFileReader reads raw files in
// EVT 3.0, 2.0 and 2.1, the encoding taken from the header (or the words) when it loads. A reader is
// used by one client thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orvane/driver/RecordingError.h"
#include "orvane/driver/Types.h"

namespace orvane {

class DvsFileReader {
public:
    virtual ~DvsFileReader() = default;

    // A RawFileReader when the text from the path's last "." on is exactly ".raw", otherwise empty.
    // Opens nothing: the caller calls loadFile and checks its result; loading picks the encoding's
    // policy from the header.
    static std::unique_ptr<DvsFileReader> createFileReader(std::string path);

    virtual bool loadFile() = 0;
    // Fixed at load (0 before); always true.
    virtual bool getStartTimeStamp(uint64_t& timestamp) = 0;
    virtual bool getEndTimeStamp(uint64_t& timestamp) = 0;
    virtual bool getMaxEvents(uint64_t& count) = 0;
    virtual bool reachedEndOfEvents() = 0;
    virtual bool seekTime(uint64_t timestamp) = 0;
    virtual bool seekNEvents(uint64_t eventNum) = 0;
    virtual uint64_t getCurrentPosTimeStamp() = 0;
    virtual uint64_t getCurrentPosEventNum() = 0;
    // The returned vector is the reader's own: the next read replaces its contents.
    virtual std::shared_ptr<std::vector<Event2D>> getNEvents(uint64_t n) = 0;
    virtual std::shared_ptr<std::vector<Event2D>> getNEventsGivenStartTimeStamp(uint64_t timestamp, uint64_t n) = 0;
    virtual std::shared_ptr<std::vector<Event2D>> getNEventsGivenStartEvent(uint64_t eventNum, uint64_t n) = 0;
    virtual std::shared_ptr<std::vector<Event2D>> getNTimeEvents(uint64_t durationUs) = 0;
    virtual std::shared_ptr<std::vector<Event2D>> getNTimeEventsGivenStartTimeStamp(uint64_t timestamp,
                                                                                    uint64_t durationUs) = 0;
    virtual std::shared_ptr<std::vector<Event2D>> getNTimeEventsGivenStartEvent(uint64_t eventNum,
                                                                                uint64_t durationUs) = 0;
    virtual bool extractEventData(uint64_t startTimestamp, uint64_t endTimestamp, std::string outPath) = 0;
    virtual bool exportEventDataToVideo(uint64_t startTimestamp, uint64_t endTimestamp, std::string outPath) = 0;
    virtual uint16_t getWidth() const = 0;
    virtual uint16_t getHeight() const = 0;

    // Loads as loadFile does, but never throws: the reason when the file cannot be replayed, a
    // recording without events included (Kind::NoEvents); Kind::None when it loaded with events.
    // By default from loadFile, getMaxEvents and lastError.
    virtual RecordingError open();
    // Why the last load, cut or export failed; Kind::None after a success (and always, for a
    // reader that keeps no reasons).
    virtual const RecordingError& lastError() const;
    // Cut and export call this on their own thread with the share of the work done (0 to 1), now
    // and then and once with 1 when they succeed; empty reports nothing. A reader that cannot tell
    // its progress never calls it.
    virtual void setProgressCallback(std::function<void(double)> callback) { (void)callback; }
    // A flag that cut and export look at between pieces (any thread may set it): once it is true
    // they stop, leave no file and fail with RecordingError::Kind::Cancelled. Null: none. The flag
    // must outlive the calls. A reader that cannot stop part-way ignores it.
    virtual void setCancelFlag(const std::atomic<bool>* flag) { (void)flag; }
};

}  // namespace orvane
