// OvFusionCameraDataProcessor turns what a fusion camera or a fusion recording (a .raw with an .mp4
// of the same base name) delivers into 1280 x 720 pictures: events only (DVS), the frame sensor's
// picture only (APS), or the APS picture with the events painted over it (fusion).
//
// Threads. The object lives in the GUI thread, which calls its slots, creates and destroys it.
// With a live camera the driver's threads do the work: the event thread calls accumulateEvents and
// the APS thread calls processApsFrame, possibly at the same time. A fusion recording is played by
// the processor's own play thread. Pictures leave only through the signals, emitted from whichever
// thread built them (queued to the GUI thread); nothing here waits for the GUI.
//
// Locks: the canvas lock guards the fusion canvas, the DVS lock the DVS canvas, the counter lock the
// counters; the only nesting is DVS lock, then counter lock. The recording readers belong to the play
// thread while it runs; loading stops playback first.
#pragma once

#include <QImage>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orvane/driver/Types.h"

namespace orvane {
class ApsFileReader;
class DvsFileReader;
class FusionCamera;
}  // namespace orvane

class OvFusionCameraDataProcessor : public QObject {
    Q_OBJECT
public:
    static constexpr int dvsWidth = 1280;
    static constexpr int dvsHeight = 720;
    static constexpr int apsWidth = 3840;
    static constexpr int apsHeight = 2160;
    static constexpr int32_t maxCount = 10;
    static constexpr int64_t kPlayPeriodUs = 33333;

    // What made the last slotReadFusionFile fail: the frames (mp4) or the events (raw).
    enum class LoadFailure { None, Frames, Events };

    OvFusionCameraDataProcessor();
    ~OvFusionCameraDataProcessor() override;
    OvFusionCameraDataProcessor(const OvFusionCameraDataProcessor&) = delete;
    OvFusionCameraDataProcessor& operator=(const OvFusionCameraDataProcessor&) = delete;

    void setFusionCamera(std::shared_ptr<orvane::FusionCamera> camera);
    // Registers processApsFrame and accumulateEvents as `camera`'s callbacks. They are removed again
    // when the processor is given another camera (or none), so a camera opened a second time does
    // not deliver everything twice.
    void attachCallbacks(const std::shared_ptr<orvane::FusionCamera>& camera);
    // Bodies of the camera's APS frame and event callbacks (driver threads).
    void processApsFrame(const orvane::ApsFrame& frame);
    void accumulateEvents(const orvane::Event2D* begin, const orvane::Event2D* end);

    LoadFailure loadFailure() const { return loadFailure_.load(); }
    // DVS time of the first recorded frame as stored in the mp4, when it was there.
    bool hasDvsOffset() const { return hasDvsOffset_; }
    bool isPlaying() const { return playing.load(); }
    orvane::STREAM_TYPE viewerTypeValue() const { return static_cast<orvane::STREAM_TYPE>(viewerType.load()); }
    uint64_t startTimestamp() const { return startTs; }
    uint64_t endTimestamp() const { return endTs; }

    // Running totals for the statistics line: pictures built and events painted on them.
    uint64_t builtPictures() const { return built_.load(std::memory_order_relaxed); }
    uint64_t paintedEvents() const { return painted_.load(std::memory_order_relaxed); }
    // Events the live camera delivered, whatever the viewer type (its event rate).
    uint64_t deliveredEvents() const { return delivered_.load(std::memory_order_relaxed); }

    // Transport on a loaded recording, one APS frame a step, within the played range (DVS times).
    // Called on the GUI thread; while the play thread runs a seek is handed to it, the other
    // steps expect it stopped. Each shows the frame it lands on and answers whether one was shown.
    void setRange(uint64_t lower, uint64_t upper);
    bool stepFrames(int delta);
    bool seekToTime(uint64_t time);  // the frame at or before `time`
    bool rewindToLower();
    // DVS time of the frame shown last (the range's lower end before any).
    uint64_t shownTime() const { return shownTime_.load(); }
    size_t frameCount() const { return apsTimestamps.size(); }
    // The events of the loaded recording per bin of its length, from its index (see OvActivityTimeline).
    const std::vector<uint64_t>& activityProfile() const { return profile_; }

    // Resamples a BGR24 picture of width x height (rows packed) onto a 1280 x 720 BGR888 canvas:
    // centred and shrunk, nearest pixel, white where the picture does not reach.
    static void resample(const uint8_t* source, int width, int height, QImage& canvas);

Q_SIGNALS:
    void signalFusionImage(QImage image);
    void signalTimeStamp(uint64_t timestamp);
    void signalStartTimeStamp(uint64_t timestamp);
    void signalEndTimeStamp(uint64_t timestamp);
    void signalPlayProgress(uint64_t cur_ts, uint64_t total_ts);
    void signalPalyFileFinished();

public Q_SLOTS:
    void slotSetViewerType(orvane::STREAM_TYPE type);
    bool slotReadFusionFile(std::string raw_file_path);
    void slotFusionFilePlayControl(bool play_ctrl);
    void slotSetReplayFlag(bool replay_flag);

private:
    void stopPlayThread();
    void detachCallbacks();
    void playLoop();
    // One picture of the recording; false when the frames are used up.
    bool playOneFrame();
    // Decodes the next picture into the reader's buffer as the pending frame.
    bool fetchNextFrame();
    void rewind();
    // Caller holds readerLock_.
    bool showFrameLocked(int index);
    int frameAtOrBefore(uint64_t time) const;
    int firstFrameInRange() const;
    int lastFrameInRange() const;
    uint64_t dvsTimeOf(uint64_t frameTime) const { return frameTime + frameOffset_; }
    std::shared_ptr<std::vector<orvane::Event2D>> readEventsBetween(uint64_t from, uint64_t to);
    void paintMirrored(const std::vector<orvane::Event2D>& events);
    static uint64_t paintCounts(const uint16_t* counts, QImage& canvas);

    std::mutex cameraLock_;  // guards the handle only: set by the GUI side, read by the APS thread
    std::shared_ptr<orvane::FusionCamera> camera;
    std::weak_ptr<orvane::FusionCamera> attached_;  // the camera holding our callbacks
    uint32_t apsCallbackId_ = 0;
    uint32_t eventsCallbackId_ = 0;

    std::mutex canvasLock;
    QImage fusionCanvas;
    std::mutex dvsLock;
    QImage dvsCanvas;
    std::mutex counterLock;
    std::vector<uint16_t> counters;
    std::vector<uint16_t> spareCounters;  // zeroed; swapped in when a DVS picture is drawn

    std::atomic<int32_t> viewerType{orvane::STREAM_BOTH};
    std::atomic<bool> playing{false};
    std::atomic<bool> replay{false};

    // Recording state: written by loading, then used by the play thread, or by the GUI thread's
    // transport while the play thread is stopped; readerLock_ keeps the two apart.
    std::mutex readerLock_;
    int pendingIndex_ = 0;  // frame index of pending_
    int shownIndex_ = -1;
    std::atomic<uint64_t> shownTime_{0};
    std::atomic<uint64_t> lower_{0};
    std::atomic<uint64_t> upper_{UINT64_MAX};
    std::atomic<bool> seekPending_{false};
    std::vector<uint64_t> profile_;
    std::atomic<uint64_t> seekTime_{0};
    std::shared_ptr<orvane::DvsFileReader> dvsReader;
    std::shared_ptr<orvane::ApsFileReader> apsReader;
    uint64_t startTs = 0;
    uint64_t endTs = 0;
    std::vector<uint64_t> apsTimestamps;
    uint64_t frameOffset_ = 0;  // added to a frame's file time to give its DVS time
    bool hasDvsOffset_ = false;
    orvane::ApsFrame pending_{};  // next picture, decoded into the reader's buffer
    bool havePending_ = false;
    int apsFrameWidth_ = 0;
    int apsFrameHeight_ = 0;
    std::atomic<LoadFailure> loadFailure_{LoadFailure::None};

    std::thread playThread;
    std::atomic<uint64_t> built_{0};
    std::atomic<uint64_t> painted_{0};
    std::atomic<uint64_t> delivered_{0};
};
