#include "PlaybackEngine.h"

#include "EventFrameAccumulator.h"

#include "orvane/driver/DvsCamera.h"
#include "orvane/driver/DvsFileReader.h"

#include <QDebug>

#include <algorithm>
#include <chrono>
#include <exception>

using Clock = std::chrono::steady_clock;
using orvane::Event2D;

PlaybackEngine::PlaybackEngine(EventFrameAccumulator& accumulator, QObject* parent)
    : QObject(parent), accumulator_(accumulator), delivered_(std::make_shared<std::atomic<uint64_t>>(0))
{
}

PlaybackEngine::~PlaybackEngine()
{
    stopLive();
    stopFilePlay();
    dropCamera();
}

void PlaybackEngine::setCamera(std::shared_ptr<orvane::DvsCamera> camera)
{
    dropCamera();
    camera_ = std::move(camera);
    if (!camera_)
        return;
    // Counting here rather than from the batches sees every event, also those of batches the
    // display loop does not take.
    auto delivered = delivered_;
    const uint32_t id = camera_->addEventsStreamHandleCallback(
        [delivered](const Event2D* b, const Event2D* e) { delivered->fetch_add(uint64_t(e - b), std::memory_order_relaxed); });
    rateCallbackSet_ = id != UINT32_MAX;
    rateCallbackId_ = id;
}

void PlaybackEngine::dropCamera()
{
    if (camera_ && rateCallbackSet_)
        camera_->removeEventsStreamHandleCallback(rateCallbackId_);
    rateCallbackSet_ = false;
    camera_.reset();
}

void PlaybackEngine::setReader(std::shared_ptr<orvane::DvsFileReader> reader, uint64_t start, uint64_t end)
{
    std::lock_guard lock(readerLock_);
    reader_ = std::move(reader);
    fileStart_ = start;
    fileEnd_ = std::max(start, end);
    position_.store(start);
    lower_.store(start);
    upper_.store(fileEnd_);
}

void PlaybackEngine::dropReader()
{
    std::lock_guard lock(readerLock_);
    reader_.reset();
    fileStart_ = fileEnd_ = 0;
    position_.store(0);
    lower_.store(0);
    upper_.store(0);
}

uint64_t PlaybackEngine::cameraEventsDelivered() const
{
    return delivered_->load(std::memory_order_relaxed);
}

void PlaybackEngine::setRange(uint64_t lower, uint64_t upper)
{
    lower_.store(lower);
    upper_.store(std::max(lower, upper));
}

void PlaybackEngine::setFps(uint32_t fps)
{
    if (fps == 0) {
        qDebug() << "frame rate 0 ignored.";
        return;
    }
    displayFps_.store(uint16_t(std::min<uint32_t>(fps, UINT16_MAX)));
    fpsValue_.store(fps);
    frameStep_.store(1000000u / fps);
}

void PlaybackEngine::setAccumulationTime(uint64_t us)
{
    if (us == 0) {
        qDebug() << "accumulation time 0 ignored.";
        return;
    }
    accumulationTime_.store(us);
    if (camera_)
        camera_->setBatchEventsTime(us);
    qDebug() << "set dvs time interval: " << us;
}

void PlaybackEngine::sleepUntil(Clock::time_point deadline)
{
    std::unique_lock lock(sleepLock_);
    sleepCond_.wait_until(lock, deadline, [this] { return !playing_.load() || seekPending_.load(); });
}

void PlaybackEngine::wakeForSeek()
{
    {
        std::lock_guard lock(sleepLock_);
        seekPending_.store(true);
    }
    sleepCond_.notify_all();
}

// ---- pictures

void PlaybackEngine::publishPicture(uint64_t timestamp)
{
    QImage picture;
    accumulator_.takeFrame(picture);
    {
        std::lock_guard lock(pictureLock_);
        picture_ = std::move(picture);
        pictureTs_ = timestamp;
        pictureFresh_ = true;
    }
    built_.fetch_add(1, std::memory_order_relaxed);
    if (!signalPending_.exchange(true))
        Q_EMIT pictureReady();
}

void PlaybackEngine::publishImage(const QImage& picture, uint64_t timestamp)
{
    {
        std::lock_guard lock(pictureLock_);
        picture_ = picture;
        pictureTs_ = timestamp;
        pictureFresh_ = true;
    }
    if (!signalPending_.exchange(true))
        Q_EMIT pictureReady();
}

bool PlaybackEngine::takePicture(QImage& picture, uint64_t& timestamp)
{
    // Cleared before taking, so a picture published from now on raises a new signal.
    signalPending_.store(false);
    std::lock_guard lock(pictureLock_);
    if (!pictureFresh_)
        return false;
    picture = std::move(picture_);
    picture_ = QImage();
    timestamp = pictureTs_;
    pictureFresh_ = false;
    return true;
}

void PlaybackEngine::paintWindow(const std::shared_ptr<std::vector<Event2D>>& batch)
{
    if (!batch || batch->empty())
        return;
    accumulator_.addEvents(batch->data(), batch->data() + batch->size());
    painted_.fetch_add(batch->size(), std::memory_order_relaxed);
}

void PlaybackEngine::guardLoop(void (PlaybackEngine::*loop)())
{
    try {
        (this->*loop)();
    } catch (const std::exception& e) {
        playing_.store(false);
        qWarning() << "Playback stopped:" << e.what();
        Q_EMIT playbackFailed(tr("Playback stopped: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

// ---- live camera

PlaybackEngine::LiveStart PlaybackEngine::startLive()
{
    if (!camera_ || !camera_->isConnected()) {
        qDebug() << "Please connect camera first.";
        return LiveStart::NoCamera;
    }
    joinEndedLoops();
    if (camera_->start() != 0) {
        qDebug() << "Please check the camera connection.";
        return LiveStart::StartFailed;
    }
    camera_->setBatchEventsTime(accumulationTime_.load());
    accumulator_.clear();
    playing_.store(true);
    liveThread_ = std::thread([this] { guardLoop(&PlaybackEngine::liveLoop); });
    return LiveStart::Started;
}

void PlaybackEngine::stopLive()
{
    {
        std::lock_guard lock(sleepLock_);
        playing_.store(false);
    }
    sleepCond_.notify_all();
    // Stopping the camera first wakes a loop waiting for a batch, so the join is short.
    if (liveThread_.joinable()) {
        if (camera_)
            camera_->stop();
        liveThread_.join();
        qDebug() << "stop camera.";
    }
}

void PlaybackEngine::liveLoop()
{
    const std::shared_ptr<orvane::DvsCamera> camera = camera_;
    while (playing_.load()) {
        const Clock::time_point t0 = Clock::now();
        if (camera->getNextBatch(batch_) && !batch_.empty()) {
            accumulator_.addEvents(batch_.data(), batch_.data() + batch_.size());
            painted_.fetch_add(batch_.size(), std::memory_order_relaxed);
            lastEventTs_.store(batch_.back().timestamp);
            publishPicture(batch_.back().timestamp);
        }
        // One pacing against the period from t0: the batch wait is part of the period. Batches
        // shorter than the period are thinned to the frame rate; longer ones set the pace
        // themselves, and a sleep would only miss the next one when it comes early (the camera
        // publishes a batch when a buffer crosses its end, so batches arrive unevenly).
        const uint64_t periodUs = 1000000u / std::max<uint16_t>(displayFps_.load(), 1);
        if (playing_.load() && accumulationTime_.load() < periodUs)
            sleepUntil(t0 + std::chrono::microseconds(periodUs));
        if (!camera->isConnected()) {
            qDebug() << "Camera connection lost.";
            playing_.store(false);
            Q_EMIT cameraLost();
        }
    }
}

// ---- raw recording

bool PlaybackEngine::startFilePlay()
{
    if (!reader_) {
        qDebug() << "Please load file first.";
        return false;
    }
    joinEndedLoops();
    playing_.store(true);
    filePlayThread_ = std::thread([this] { guardLoop(&PlaybackEngine::filePlayLoop); });
    return true;
}

void PlaybackEngine::stopFilePlay()
{
    {
        std::lock_guard lock(sleepLock_);
        playing_.store(false);
    }
    sleepCond_.notify_all();
    if (filePlayThread_.joinable())
        filePlayThread_.join();
}

void PlaybackEngine::joinEndedLoops()
{
    if (!playing_.load()) {
        if (liveThread_.joinable())
            liveThread_.join();
        if (filePlayThread_.joinable())
            filePlayThread_.join();
    }
}

void PlaybackEngine::filePlayLoop()
{
    const auto period = std::chrono::microseconds(kFilePeriodUs);
    // Deadlines follow each other by one period, so a late wake-up is made up by the next sleep
    // and the loop holds 30 pictures a second; after a long hold-up it starts afresh, not in a burst.
    Clock::time_point deadline = Clock::now();
    uint64_t previous = position_.load();
    while (playing_.load()) {
        if (mode_.load() == RawFile) {
            const uint64_t upper = upper_.load();
            uint64_t shown = 0;
            {
                std::lock_guard lock(readerLock_);
                const uint64_t pos = position_.load();
                // A jump (a seek, the loop going round) must not leave a time surface of other times.
                if (pos < previous || pos > previous + 2 * std::max(frameStep_.load(), accumulationTime_.load()))
                    accumulator_.clear();
                previous = pos;
                const uint64_t step = frameStep_.load();
                const uint64_t window = accumulationTime_.load();
                std::shared_ptr<std::vector<Event2D>> batch;
                uint64_t next = upper;
                uint64_t span = 0;
                if (pos + step <= upper) {
                    span = window;
                    next = pos + step;
                } else if (pos <= upper) {
                    span = upper - pos + 1;
                }
                if (span > 0 && reader_)
                    batch = reader_->getNTimeEventsGivenStartTimeStamp(pos, span);
                // A drag or click that moved the position meanwhile wins over the step.
                uint64_t expected = pos;
                position_.compare_exchange_strong(expected, next);
                shown = position_.load();
                if (batch) {
                    paintWindow(batch);
                    fileRate_.store(span ? batch->size() * 1000000u / span : 0);
                }
                publishPicture(pos);
            }
            Q_EMIT positionChanged(shown);
            if (shown >= upper) {
                // End of the range: back to the lower handle, then loop or end.
                const uint64_t lower = lower_.load();
                {
                    std::lock_guard lock(readerLock_);
                    if (reader_)
                        reader_->seekTime(lower);
                    position_.store(lower);
                }
                Q_EMIT positionChanged(lower);
                if (!loop_.load()) {
                    playing_.store(false);
                    Q_EMIT filePlayEnded();
                    return;
                }
            }
        }
        deadline += period;
        const Clock::time_point now = Clock::now();
        if (now > deadline + period)
            deadline = now;
        if (playing_.load())
            sleepUntil(deadline);
        // A seek shows its place at once instead of at the next period.
        if (seekPending_.exchange(false))
            deadline = Clock::now();
    }
}

// ---- transport on a raw recording

void PlaybackEngine::stopToLower()
{
    const uint64_t lower = lower_.load();
    {
        std::lock_guard lock(readerLock_);
        if (!reader_)
            return;
        reader_->seekTime(lower);
        position_.store(lower);
        accumulator_.clear();
        paintWindow(reader_->getNTimeEventsGivenStartTimeStamp(lower, accumulationTime_.load()));
        publishPicture(lower);
    }
    Q_EMIT positionChanged(lower);
}

bool PlaybackEngine::previousFrame()
{
    const uint64_t lower = lower_.load();
    const uint64_t pos = position_.load();
    const uint64_t step = frameStep_.load();
    const uint64_t target = (pos >= step && pos - step >= lower) ? pos - step : lower;
    {
        std::lock_guard lock(readerLock_);
        if (!reader_ || !reader_->seekTime(target))
            return false;
        position_.store(target);
        if (!playing_.load()) {
            accumulator_.clear();
            paintWindow(reader_->getNTimeEvents(accumulationTime_.load()));
            publishPicture(target);
        }
    }
    Q_EMIT positionChanged(target);
    return true;
}

bool PlaybackEngine::nextFrame()
{
    uint64_t moved = 0;
    {
        std::lock_guard lock(readerLock_);
        const uint64_t pos = position_.load();
        const uint64_t window = accumulationTime_.load();
        if (!reader_ || pos + window >= upper_.load())
            return false;
        auto batch = reader_->getNTimeEventsGivenStartTimeStamp(pos, window);
        if (!batch) {
            qDebug() << "File read end.";
            return false;
        }
        paintWindow(batch);
        moved = pos + frameStep_.load();
        position_.store(moved);
        publishPicture(pos);
    }
    Q_EMIT positionChanged(moved);
    return true;
}

bool PlaybackEngine::seekTo(uint64_t timestamp)
{
    {
        std::lock_guard lock(readerLock_);
        if (!reader_ || !reader_->seekTime(timestamp)) {
            qDebug() << "seek time err.";
            return false;
        }
        position_.store(timestamp);
        // While playing, the play loop shows the new place at once.
        if (playing_.load()) {
            wakeForSeek();
        } else {
            accumulator_.clear();
            paintWindow(reader_->getNTimeEvents(accumulationTime_.load()));
            publishPicture(timestamp);
        }
    }
    Q_EMIT positionChanged(timestamp);
    return true;
}

void PlaybackEngine::moveTo(uint64_t timestamp)
{
    position_.store(timestamp);
    if (playing_.load()) {
        wakeForSeek();
    } else {
        std::lock_guard lock(readerLock_);
        if (reader_) {
            accumulator_.clear();
            paintWindow(reader_->getNTimeEventsGivenStartTimeStamp(timestamp, accumulationTime_.load()));
            publishPicture(timestamp);
        }
    }
    Q_EMIT positionChanged(timestamp);
}
