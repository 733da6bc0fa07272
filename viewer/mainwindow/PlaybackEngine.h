// The playback engine of the main window: which source is shown, the playback state, the live
// display loop of an event camera and the play loop of a raw recording, and the transport commands.
//
// Threads. The GUI thread sets the source, starts and stops the loops and runs the transport and
// settings commands. The live loop (liveThread) pulls the camera's time batches; the play loop
// (filePlayThread) reads one accumulation window per picture. Both paint into the accumulator and
// hand pictures over through a one-picture mailbox: a newer picture replaces one the GUI has not
// taken, and pictureReady() is emitted only when the GUI has taken the last one, so no loop ever
// waits for the GUI. Loops report position changes and their own end by signals, which the owner
// connects queued. readerLock serialises every use of the file reader (loops, transport, cut and
// export jobs). Settings and flags the loops read are atomics; a stop wakes a sleeping loop at once.
#pragma once

#include "orvane/types/Event2D.h"

#include <QImage>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane {
class DvsCamera;
class DvsFileReader;
}  // namespace orvane

class EventFrameAccumulator;

class PlaybackEngine : public QObject {
    Q_OBJECT
public:
    enum Mode : int32_t { None = 0, EventCamera = 1, FusionCamera = 2, RawFile = 3, FusionFile = 4 };
    enum class LiveStart { Started, NoCamera, StartFailed };
    static constexpr uint64_t kFilePeriodUs = 33333;

    explicit PlaybackEngine(EventFrameAccumulator& accumulator, QObject* parent = nullptr);
    ~PlaybackEngine() override;  // stops the loops

    // Source. Set only while nothing plays.
    void setMode(int32_t mode) { mode_.store(mode); }
    int32_t mode() const { return mode_.load(); }
    void setCamera(std::shared_ptr<orvane::DvsCamera> camera);
    std::shared_ptr<orvane::DvsCamera> camera() const { return camera_; }
    // A loaded reader and its first and last event times; the position goes to the start and the
    // played range to the whole recording.
    void setReader(std::shared_ptr<orvane::DvsFileReader> reader, uint64_t start, uint64_t end);
    std::shared_ptr<orvane::DvsFileReader> reader() const { return reader_; }
    void dropCamera();
    void dropReader();
    std::mutex& readerLock() { return readerLock_; }

    // The live display loop (mode 1).
    LiveStart startLive();
    void stopLive();  // joins the loop, then stops the camera
    // The file play loop (mode 3); false without a reader.
    bool startFilePlay();
    void stopFilePlay();  // joins the loop
    // Joins a loop that ended by itself (end of the range, camera lost).
    void joinEndedLoops();
    bool playing() const { return playing_.load(); }

    // Transport on a raw recording (GUI thread; pause first). Each paints and publishes the
    // picture of the new place and returns whether the position moved.
    void stopToLower();
    bool previousFrame();
    bool nextFrame();
    bool seekTo(uint64_t timestamp);  // a click on the slider's track
    void moveTo(uint64_t timestamp);  // a drag of the slider's centre handle

    // The played range (the slider's outer handles) and the loop button.
    void setRange(uint64_t lower, uint64_t upper);
    uint64_t lower() const { return lower_.load(); }
    uint64_t upper() const { return upper_.load(); }
    void setLoop(bool loop) { loop_.store(loop); }

    // Display settings; 0 is refused.
    void setFps(uint32_t fps);
    void setAccumulationTime(uint64_t us);
    uint16_t displayFps() const { return displayFps_.load(); }
    uint64_t frameStep() const { return frameStep_.load(); }
    uint64_t accumulationTime() const { return accumulationTime_.load(); }

    uint64_t position() const { return position_.load(); }
    uint64_t fileStart() const { return fileStart_; }
    uint64_t fileEnd() const { return fileEnd_; }
    uint64_t lastEventTs() const { return lastEventTs_.load(); }

    // The newest picture, if one came since the last take (GUI thread), with the time of the
    // newest event painted into it.
    bool takePicture(QImage& picture, uint64_t& timestamp);
    // Paints nothing more and publishes what the accumulator holds (a grey picture after a clear).
    void publishPicture(uint64_t timestamp);
    // Publishes a picture built elsewhere (the fusion processor, on its threads).
    void publishImage(const QImage& picture, uint64_t timestamp);

    // Counters for the statistics and the info bar: pictures the loops built, events painted, and
    // the source's event rate (live: what the camera delivered over the last second of wall time;
    // recordings: the events per second of recording time in the window just shown).
    uint64_t picturesBuilt() const { return built_.load(); }
    uint64_t eventsPainted() const { return painted_.load(); }
    uint64_t cameraEventsDelivered() const;
    uint64_t fileEventRate() const { return fileRate_.load(); }

Q_SIGNALS:
    void pictureReady();
    // The play position moved (file loop and transport): the time label and the slider's centre.
    void positionChanged(quint64 position);
    // The play loop reached the upper handle without looping and ended; the owner joins it.
    void filePlayEnded();
    // The live loop saw the camera disconnected and ended.
    void cameraLost();
    // A loop ended because the driver failed (an exception); the reason is for the user.
    void playbackFailed(const QString& reason);

private:
    void liveLoop();
    void filePlayLoop();
    // Runs a loop; an exception from the driver ends it and is reported, never escapes the thread.
    void guardLoop(void (PlaybackEngine::*loop)());
    // Sleeps until `deadline` unless a stop or a seek comes first.
    void sleepUntil(std::chrono::steady_clock::time_point deadline);
    void wakeForSeek();
    // Reads a window under readerLock and paints it; caller holds readerLock_.
    void paintWindow(const std::shared_ptr<std::vector<orvane::Event2D>>& batch);

    EventFrameAccumulator& accumulator_;
    std::atomic<int32_t> mode_{None};
    std::atomic<bool> playing_{false};
    std::atomic<uint16_t> displayFps_{33};
    std::atomic<uint64_t> fpsValue_{33};
    std::atomic<uint64_t> frameStep_{30303};
    std::atomic<uint64_t> accumulationTime_{33333};
    std::atomic<uint64_t> position_{0};
    uint64_t fileStart_ = 0;
    uint64_t fileEnd_ = 0;
    std::atomic<uint64_t> lower_{0};
    std::atomic<uint64_t> upper_{0};
    std::atomic<bool> loop_{false};
    std::atomic<uint64_t> lastEventTs_{0};

    std::shared_ptr<orvane::DvsCamera> camera_;
    std::shared_ptr<orvane::DvsFileReader> reader_;
    std::mutex readerLock_;
    std::vector<orvane::Event2D> batch_;
    std::thread liveThread_;
    std::thread filePlayThread_;

    // Wakes a sleeping loop when playing_ is cleared.
    std::mutex sleepLock_;
    std::condition_variable sleepCond_;
    std::atomic<bool> seekPending_{false};

    // The mailbox of pictures for the GUI thread.
    std::mutex pictureLock_;
    QImage picture_;
    uint64_t pictureTs_ = 0;
    bool pictureFresh_ = false;
    std::atomic<bool> signalPending_{false};

    std::atomic<uint64_t> built_{0};
    std::atomic<uint64_t> painted_{0};
    std::atomic<uint64_t> fileRate_{0};
    // Counted by an events callback on the camera thread; shared so the callback never outlives it.
    std::shared_ptr<std::atomic<uint64_t>> delivered_;
    uint32_t rateCallbackId_ = 0;
    bool rateCallbackSet_ = false;
};
