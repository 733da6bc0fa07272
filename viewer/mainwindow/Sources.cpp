#include "Sources.h"

#include "OvFusionCameraDataProcessor.h"
#include "PlaybackEngine.h"

#include "orvane/driver/DvsCamera.h"
#include "orvane/driver/DvsFileReader.h"
#include "orvane/driver/FusionCamera.h"

#include <QDebug>
#include <QTimer>

#include <exception>

namespace {

// How often a streaming fusion camera is checked for being unplugged.
constexpr int kFusionWatchMs = 500;

}  // namespace

// ---- event camera

EventCameraSource::EventCameraSource(PlaybackEngine& engine, std::shared_ptr<orvane::DvsCamera> camera, QObject* parent)
    : PlaybackSource(parent), engine_(engine), camera_(std::move(camera))
{
    engine_.setMode(PlaybackEngine::EventCamera);
    engine_.setCamera(camera_);
    connect(&engine_, &PlaybackEngine::cameraLost, this, &PlaybackSource::cameraLost);
    connect(&engine_, &PlaybackEngine::playbackFailed, this, &PlaybackSource::failed);
}

EventCameraSource::~EventCameraSource()
{
    close();
}

int32_t EventCameraSource::mode() const
{
    return PlaybackEngine::EventCamera;
}

PlaybackSource::StartResult EventCameraSource::start()
{
    switch (engine_.startLive()) {
    case PlaybackEngine::LiveStart::Started:
        return {true, {}, false};
    case PlaybackEngine::LiveStart::NoCamera:
        return {false, tr("Please connect camera first."), true};
    case PlaybackEngine::LiveStart::StartFailed:
        break;
    }
    return {false, tr("The camera did not start. Please check the camera connection."), false};
}

void EventCameraSource::pause()
{
    engine_.stopLive();
}

bool EventCameraSource::playing() const
{
    return engine_.playing();
}

void EventCameraSource::close()
{
    engine_.stopLive();
    if (engine_.camera() == camera_)
        engine_.dropCamera();
}

SourceMonitor::Probe EventCameraSource::probe() const
{
    SourceMonitor::Probe probe;
    probe.eventsDelivered = [engine = &engine_] { return engine->cameraEventsDelivered(); };
    if (camera_) {
        std::weak_ptr<orvane::DvsCamera> weak = camera_;
        probe.droppedBytes = [weak]() -> uint64_t {
            const auto camera = weak.lock();
            return camera ? camera->statistics().droppedBytes : 0;
        };
    }
    return probe;
}

// ---- recording

RecordingSource::RecordingSource(PlaybackEngine& engine, std::shared_ptr<orvane::DvsFileReader> reader, uint64_t start,
                                 uint64_t end, QObject* parent)
    : PlaybackSource(parent), engine_(engine)
{
    engine_.setMode(PlaybackEngine::RawFile);
    engine_.setReader(std::move(reader), start, end);
    connect(&engine_, &PlaybackEngine::positionChanged, this, &PlaybackSource::positionChanged);
    connect(&engine_, &PlaybackEngine::filePlayEnded, this, &PlaybackSource::playEnded);
    connect(&engine_, &PlaybackEngine::playbackFailed, this, &PlaybackSource::failed);
}

RecordingSource::~RecordingSource()
{
    close();
}

int32_t RecordingSource::mode() const
{
    return PlaybackEngine::RawFile;
}

PlaybackSource::StartResult RecordingSource::start()
{
    if (!engine_.startFilePlay())
        return {false, tr("Please load file first."), true};
    return {true, {}, false};
}

void RecordingSource::pause()
{
    engine_.stopFilePlay();
}

bool RecordingSource::playing() const
{
    return engine_.playing();
}

void RecordingSource::close()
{
    engine_.stopFilePlay();
    engine_.dropReader();
}

void RecordingSource::rewind()
{
    engine_.stopToLower();
}

bool RecordingSource::previous()
{
    return engine_.previousFrame();
}

bool RecordingSource::next()
{
    return engine_.nextFrame();
}

bool RecordingSource::seekTo(uint64_t timestamp)
{
    return engine_.seekTo(timestamp);
}

void RecordingSource::moveTo(uint64_t timestamp)
{
    engine_.moveTo(timestamp);
}

void RecordingSource::setRange(uint64_t lower, uint64_t upper)
{
    engine_.setRange(lower, upper);
}

void RecordingSource::setLoop(bool loop)
{
    engine_.setLoop(loop);
}

uint64_t RecordingSource::startTime() const
{
    return engine_.fileStart();
}

uint64_t RecordingSource::endTime() const
{
    return engine_.fileEnd();
}

uint64_t RecordingSource::position() const
{
    return engine_.position();
}

SourceMonitor::Probe RecordingSource::probe() const
{
    SourceMonitor::Probe probe;
    probe.eventRate = [engine = &engine_] { return engine->fileEventRate(); };
    return probe;
}

// ---- fusion camera

FusionCameraSource::FusionCameraSource(OvFusionCameraDataProcessor& processor,
                                       std::shared_ptr<orvane::FusionCamera> camera, QObject* parent)
    : PlaybackSource(parent), processor_(processor), camera_(std::move(camera)), watch_(new QTimer(this))
{
    processor_.attachCallbacks(camera_);
    processor_.setFusionCamera(camera_);
    watch_->setInterval(kFusionWatchMs);
    connect(watch_, &QTimer::timeout, this, &FusionCameraSource::checkConnected);
}

FusionCameraSource::~FusionCameraSource()
{
    close();
}

int32_t FusionCameraSource::mode() const
{
    return PlaybackEngine::FusionCamera;
}

PlaybackSource::StartResult FusionCameraSource::start()
{
    if (!camera_ || !camera_->isConnected()) {
        qDebug() << "Please connect camera first.";
        return {false, tr("Please connect camera first."), true};
    }
    int started = -1;
    try {
        started = camera_->start(orvane::STREAM_BOTH);
    } catch (const std::exception& e) {
        qDebug() << "Fusion camera start failed:" << e.what();
    }
    if (started != 0)
        return {false, tr("The camera did not start. Please check the camera connection."), false};
    playing_ = true;
    watch_->start();
    qDebug() << "Fusion camera start";
    return {true, {}, false};
}

void FusionCameraSource::pause()
{
    watch_->stop();
    if (playing_ && camera_) {
        camera_->stop(orvane::STREAM_BOTH);
        qDebug() << "Fusion camera stop.";
    }
    playing_ = false;
}

void FusionCameraSource::close()
{
    pause();
    processor_.setFusionCamera(nullptr);
    camera_.reset();
}

// An unplugged fusion camera stops streaming (its loops end on their own); the window says so.
void FusionCameraSource::checkConnected()
{
    if (!playing_ || !camera_ || camera_->isConnected())
        return;
    pause();
    Q_EMIT cameraLost();
}

SourceMonitor::Probe FusionCameraSource::probe() const
{
    SourceMonitor::Probe probe;
    probe.eventsDelivered = [processor = &processor_] { return processor->deliveredEvents(); };
    if (camera_) {
        std::weak_ptr<orvane::FusionCamera> weak = camera_;
        probe.droppedBytes = [weak]() -> uint64_t {
            const auto camera = weak.lock();
            return camera ? camera->statistics().droppedBytes : 0;
        };
    }
    return probe;
}

// ---- fusion recording

FusionRecordingSource::FusionRecordingSource(OvFusionCameraDataProcessor& processor, QObject* parent)
    : PlaybackSource(parent), processor_(processor)
{
    connect(&processor_, &OvFusionCameraDataProcessor::signalPlayProgress, this,
            [this](uint64_t position, uint64_t) { Q_EMIT positionChanged(position); });
    connect(&processor_, &OvFusionCameraDataProcessor::signalPalyFileFinished, this, &PlaybackSource::playEnded);
}

FusionRecordingSource::~FusionRecordingSource()
{
    close();
}

int32_t FusionRecordingSource::mode() const
{
    return PlaybackEngine::FusionFile;
}

PlaybackSource::StartResult FusionRecordingSource::start()
{
    processor_.slotFusionFilePlayControl(true);
    return {true, {}, false};
}

void FusionRecordingSource::pause()
{
    processor_.slotFusionFilePlayControl(false);  // also joins a play thread that ended by itself
}

bool FusionRecordingSource::playing() const
{
    return processor_.isPlaying();
}

void FusionRecordingSource::rewind()
{
    processor_.rewindToLower();
}

bool FusionRecordingSource::previous()
{
    return processor_.stepFrames(-1);
}

bool FusionRecordingSource::next()
{
    return processor_.stepFrames(1);
}

bool FusionRecordingSource::seekTo(uint64_t timestamp)
{
    return processor_.seekToTime(timestamp);
}

void FusionRecordingSource::setRange(uint64_t lower, uint64_t upper)
{
    processor_.setRange(lower, upper);
}

void FusionRecordingSource::setLoop(bool loop)
{
    processor_.slotSetReplayFlag(loop);
}

uint64_t FusionRecordingSource::startTime() const
{
    return processor_.startTimestamp();
}

uint64_t FusionRecordingSource::endTime() const
{
    return processor_.endTimestamp();
}

uint64_t FusionRecordingSource::position() const
{
    return processor_.shownTime();
}

SourceMonitor::Probe FusionRecordingSource::probe() const
{
    // The events painted over the frames as they play: the replay's event rate.
    SourceMonitor::Probe probe;
    probe.eventsDelivered = [processor = &processor_] { return processor->paintedEvents(); };
    return probe;
}
