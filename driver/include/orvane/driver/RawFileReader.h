// RawFileReader replays a raw file: a "%" text header, then the camera's words up to the end of the
// file, in EVT 3.0, EVT 2.0 or EVT 2.1 as the header says (a policy per encoding holds what differs). Loading parses the header and builds (first time) or reloads (later) a bookmark index
// kept beside the file (x.raw -> x.ovmark.tmp) that ties timestamps to byte positions and event counts,
// so seeks decode at most a few milliseconds of recording. Reads decode one 128 KiB chunk at a time and
// carry the events that overshoot a request over to the next call. One client thread at a time; the
// mutex serialises the stream and the decoder between a reader thread and an exporting caller.
#pragma once

#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "orvane/driver/DvsFileReader.h"
#include "orvane/driver/RecordingError.h"
#include "orvane/types/EventSink.h"

namespace orvane {

class Decoder;
class DataToVideoConverter;
class RawFormat;
struct MappedIndex;
class RawCutExporter;
class VideoExporter;
namespace exportio {
class PartFile;
class Progress;
struct VideoLook;
}  // namespace exportio

class RawFileReader : public DvsFileReader {
public:
    // The least time between two bookmarks made by the index scan.
    static constexpr uint64_t bookmark_period_us = 2000;
    // The least data between two bookmarks: keeps the index well below the size of the recording
    // however fast a stream's time runs (a real sensor's 2 ms hold far more bytes).
    static constexpr uint64_t min_bookmark_bytes = 256;

    // A resumption point: decoding may restart at `file_pos` with the decoder's time set to
    // `timestamp`; `event_count` events lie between the first bookmark and `file_pos`. The index
    // file stores the count in 32 bits; in memory it is unwrapped to 64 bits.
    struct Bookmark {
        uint64_t file_pos = 0;
        uint8_t reserved = 0;
        uint64_t timestamp = 0;
        uint64_t event_count = 0;
    };

    explicit RawFileReader(std::string path);
    ~RawFileReader() override;
    RawFileReader(const RawFileReader&) = delete;
    RawFileReader& operator=(const RawFileReader&) = delete;

    bool loadFile() override;
    bool getStartTimeStamp(uint64_t& timestamp) override;
    bool getEndTimeStamp(uint64_t& timestamp) override;
    bool getMaxEvents(uint64_t& count) override;
    bool reachedEndOfEvents() override;
    bool seekTime(uint64_t timestamp) override;
    bool seekNEvents(uint64_t eventNum) override;
    uint64_t getCurrentPosTimeStamp() override;
    uint64_t getCurrentPosEventNum() override;
    std::shared_ptr<std::vector<Event2D>> getNEvents(uint64_t n) override;
    std::shared_ptr<std::vector<Event2D>> getNEventsGivenStartTimeStamp(uint64_t timestamp, uint64_t n) override;
    std::shared_ptr<std::vector<Event2D>> getNEventsGivenStartEvent(uint64_t eventNum, uint64_t n) override;
    std::shared_ptr<std::vector<Event2D>> getNTimeEvents(uint64_t durationUs) override;
    std::shared_ptr<std::vector<Event2D>> getNTimeEventsGivenStartTimeStamp(uint64_t timestamp,
                                                                            uint64_t durationUs) override;
    std::shared_ptr<std::vector<Event2D>> getNTimeEventsGivenStartEvent(uint64_t eventNum,
                                                                        uint64_t durationUs) override;
    bool extractEventData(uint64_t startTimestamp, uint64_t endTimestamp, std::string outPath) override;
    bool exportEventDataToVideo(uint64_t startTimestamp, uint64_t endTimestamp, std::string outPath) override;
    uint16_t getWidth() const override { return width; }
    uint16_t getHeight() const override { return height; }

    // Each failure names the file; DvsFileReader says what these do.
    RecordingError open() override;
    const RecordingError& lastError() const override { return last_error; }
    // Non-empty once a read found the data ending before the size the recording had when opened
    // (it was cut short while open): what went wrong, naming the file. Reads then give what is left.
    const std::string& shrinkMessage() const { return shrink_message; }
    // The recording's path as given to the constructor.
    const std::string& getPath() const { return raw_path; }
    // The encoding of the loaded file as users know it: "EVT 3.0", "EVT 2.0" or "EVT 2.1".
    const char* formatName() const;
    // Events the file places outside its sensor (the header's geometry): never handed out, counted
    // here (and not in getMaxEvents).
    uint64_t offSensorEvents() const { return off_sensor_events; }

    // Where the index of this file lives: the path with its last ".raw" replaced by ".ovmark.tmp",
    // or, for a path without ".raw", the path with ".ovmark.tmp" appended (never the input itself).
    const std::string& getIndexPath() const { return index_path; }
    // After a successful load: true when the index file was reused, false when it was built.
    bool indexReused() const { return index_reused; }

    // As getNEvents(n) from the same position, but the events go to `sink` in ranges as they are
    // decoded (borrowed for the call), not into the reader's vector: for callers that keep events
    // in storage of their own. Fewer than n at the end, without a warning. Returns the count. After
    // a sink that throws, seek before reading on.
    uint64_t readNEvents(uint64_t n, const std::function<void(const Event2D*, const Event2D*)>& sink);

    // Reading into the caller's storage without a copy: the decoder writes the events straight into
    // the rooms the sink gives, so a large read makes each event once, where the caller keeps it, and
    // nothing zero-fills the storage first. The same events and position afterwards as getNEvents(n)
    // from the same position (fewer at the end, without a warning); returns the count. Events decoded
    // past the read are carried over, as getNEvents carries them. A sink may give rooms of any size
    // (small ones cost a copy of what lands in them). After a sink that throws, seek before reading on.
    uint64_t readNEvents(uint64_t n, EventSink& sink);
    // The same into a span the caller owns: up to out.size() events from its start.
    uint64_t readNEvents(std::span<Event2D> out);
    // As getNTimeEvents(durationUs), the same checks, warnings, events and position afterwards, into
    // the sink; returns the count. A sink that cannot grow and runs out of room ends the read early:
    // the events it could not take are carried over to the next read.
    uint64_t readNTimeEvents(uint64_t durationUs, EventSink& sink);

    // The trigger edges with a time in [startTimestamp, endTimestamp), in stream order, appended to
    // `out`. Leaves the read position where it was. False when the range holds no data of the file.
    bool getTriggerEvents(uint64_t startTimestamp, uint64_t endTimestamp, std::vector<EventTriggerIn>& out);

    // Cut and export report their progress and look at the cancel flag (DvsFileReader says how).
    void setProgressCallback(std::function<void(double)> callback) override { progress_callback = std::move(callback); }
    void setCancelFlag(const std::atomic<bool>* flag) override { cancel_flag = flag; }

private:
    // The two exporters that write from the reader's own state (the cut copies words as they are).
    friend class RawCutExporter;
    friend class VideoExporter;
    bool writeCut(uint64_t startTimestamp, uint64_t endTimestamp, exportio::PartFile& part,
                  const exportio::Progress& progress);
    bool writeVideo(uint64_t startTimestamp, uint64_t endTimestamp, const exportio::VideoLook& look,
                    exportio::PartFile& part, const exportio::Progress& progress);

    using BookmarkList = std::vector<Bookmark>;  // ascending, unique timestamps

    bool readAndDecodeEvents(const std::function<bool()>& done);
    // The checks and clipping that open a read by time: false when it hands out nothing (the
    // warning logged, the position set); else the first time not to hand out, whether the read
    // runs through the end, and cur_timestamp advanced by the duration.
    bool startTimeRead(uint64_t durationUs, uint64_t& limit, bool& to_end);
    // Reads into `sink` the next `n` events, or (by_time) those before the first at or past `limit`
    // in stream order (all when to_end); the leftovers first. Returns the count; counters untouched.
    uint64_t readInto(EventSink& sink, uint64_t n, bool by_time, uint64_t limit, bool to_end, uint64_t& last_time);
    // The time of the next event a read would hand out, decoding ahead as far as needed (what it
    // decodes is carried over); false at the end of the data.
    bool nextEventTime(uint64_t& timestamp);
    // Paints the events over a mid-grey width x height BGR24 image; leaves it as it is when empty.
    void eventsToRgbData(std::shared_ptr<std::vector<Event2D>> events, std::vector<uint8_t>& image);

    // Decides where bookmarks go while a scan walks the data: the first when the time is first told,
    // then one at each unit whose time is a new maximum at least bookmark_period_us past the last
    // bookmark and min_bookmark_bytes after it, and the closing one at the end of the data.
    struct BookmarkRule {
        uint64_t data_start = 0;
        BookmarkList marks;
        uint64_t max_time = 0;
        // The least time at which a unit can take a bookmark.
        uint64_t nextTarget() const;
        // A unit at `pos` after which the time is `t`, with `count` events before it.
        void offer(uint64_t pos, uint64_t t, uint64_t count);
        void close(uint64_t end_pos, uint64_t last_time, uint64_t total);
    };
    // What identifies the recording's content cheaply (kept in the index's text part).
    struct ContentKey {
        uint64_t mtime_ns = 0;
        uint64_t edges_hash = 0;
    };
    ContentKey contentKey() const;
    std::string indexText() const;

    void initBookmark();
    // The fast build (one pass counting up to each bookmark, the file read ahead on a second core);
    // false when the file could not be read whole, and the decoder's build then does it alone.
    bool fastIndexScan(BookmarkRule& rule);
    void decoderIndexScan(BookmarkRule& rule);
    void writeIndex();
    void serializeBookmarkMap(const BookmarkList& marks, const std::string& path);
    // False when the records break the index's invariants (the index is then rebuilt).
    bool loadBookmarksFromFile(const std::string& path);
    bool bookmarksPlausible(const BookmarkList& marks) const;
    bool checkBookmarksFromFile(const std::string& path);
    // An index read from its file is a cache and is checked against the data where it is used:
    // the segment from bookmark `i` to the next must hold the events their counts say and end at
    // the next one's time. Each segment is checked once, when first used. Caller holds mutex.
    bool segmentAgrees(size_t i);
    // Builds the index anew from the data after a check found the one read from its file wrong
    // (logged with `why`); the recording's range and count are taken from the new one. Caller
    // holds mutex.
    void rebuildIndex(const std::string& why);
    // Checks the segment a seek starts at (from `mark`); false after it was wrong and the index was
    // built anew (the caller then looks its bookmark up again). Takes mutex.
    bool seekSegmentAgrees(const Bookmark& mark);
    void takeRangeFromBookmarks();
    static uint8_t crc8(const std::vector<uint8_t>& data);
    bool getRawFileBookmark(uint64_t timestamp, Bookmark& out);
    bool getRawFileBookmarkByNEvents(uint64_t eventNum, Bookmark& out);

    // Where decoding can restart with the decoder in exactly the state a straight decode of the
    // file has at `pos`: set the time to `scan_timestamp`, scan [scan_from, pos) for the row and
    // vector base, then decode on from `pos`.
    struct Resume {
        uint64_t pos = 0;
        uint64_t scan_from = 0;
        uint64_t scan_timestamp = 0;
    };
    Resume resumePointFor(const Bookmark& mark);
    // Seeks the stream to `from` and reads up to one chunk (not past `to`) into chunk_buffer;
    // false when nothing was read. Caller holds mutex.
    bool readChunkAt(uint64_t from, uint64_t to);
    // Brings the decoder to `r.pos` (time and row state restored), then runs it over [r.pos, to)
    // without producing events; returns the number of events in that range. Caller holds mutex.
    uint64_t replayTo(const Resume& r, uint64_t to);
    void setEventsDelivered(bool on);
    // Makes the decoder resume at `pos` with time `timestamp` (a bookmark's); at the data start,
    // a fresh decoder.
    void restartDecoderAt(uint64_t pos, uint64_t timestamp);
    // Moves the read position to `pos` with no events carried over. Caller holds mutex.
    void positionAt(uint64_t pos, uint64_t event_num, uint64_t timestamp);

    // Records the failure (also logged as a warning) and returns false.
    bool fail(RecordingError::Kind kind, const std::string& message, int errnum = 0);
    std::unique_ptr<Decoder> makeDecoder() const;
    // Reads [from, to) (at most a chunk) for the format policy; null unless read whole. Caller holds mutex.
    const std::vector<uint8_t>* readBlock(uint64_t from, uint64_t to);

    const RawFormat* format;  // the encoding's policy: EVT 3.0 until a header says otherwise
    std::unique_ptr<Decoder> decoder;
    std::string raw_path;
    std::string index_path;
    std::ifstream input_stream;
    std::mutex mutex;
    uint64_t read_chunk_size = 131072;
    std::vector<uint8_t> chunk_buffer;
    uint64_t data_start = 0;
    uint64_t read_pos = 0;  // file offset of the next chunk read (the stream is seeked there)
    // After seekTime: the file offset of the word holding the first event at or past the time
    // (its events are carried over to the next read); the end of the data when there is none.
    uint64_t seek_unit_pos = 0;
    std::shared_ptr<std::vector<Event2D>> decoded_events;
    std::shared_ptr<std::vector<Event2D>> leftover_events;
    std::shared_ptr<std::vector<Event2D>> result_events;
    uint64_t cur_event_num = 0;
    uint64_t cur_timestamp = 0;
    uint64_t start_timestamp = 0;
    uint64_t end_timestamp = 0;
    uint64_t max_events = 0;
    uint16_t width = 1280;
    uint16_t height = 720;
    uint64_t file_size = 0;
    std::shared_ptr<DataToVideoConverter> video_converter;
    int32_t export_fps = 30;
    std::function<void(double)> progress_callback;
    const std::atomic<bool>* cancel_flag = nullptr;
    bool cancelled() const { return cancel_flag && cancel_flag->load(); }
    BookmarkList bookmarks;  // the lookup by count searches it too: counts never decrease
    ContentKey content_key;
    bool index_reused = false;
    std::vector<bool> segment_checked;  // per segment of a reused index: found to agree with the data
    bool events_delivered = false;  // whether the decoder's events reach decoded_events
    std::unique_ptr<MappedIndex> index_map;  // the index file as checked, handed on to the load
    RecordingError last_error;
    uint64_t off_sensor_events = 0;
    std::string shrink_message;
};

}  // namespace orvane
