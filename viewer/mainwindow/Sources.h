// The four sources the main window can open, each a PlaybackSource (see there for the threads).
// EventCameraSource and RecordingSource run on the playback engine's live and file loops;
// FusionCameraSource and FusionRecordingSource on the fusion processor, which paints on the
// driver's callback threads or its own play thread. All four hand their pictures to the engine's
// mailbox, so the window shows every source the same way.
#pragma once

#include "PlaybackSource.h"

#include <memory>

namespace orvane {
class DvsCamera;
class DvsFileReader;
class FusionCamera;
}  // namespace orvane

class OvFusionCameraDataProcessor;
class PlaybackEngine;
class QTimer;

class EventCameraSource : public PlaybackSource {
    Q_OBJECT
public:
    EventCameraSource(PlaybackEngine& engine, std::shared_ptr<orvane::DvsCamera> camera, QObject* parent = nullptr);
    ~EventCameraSource() override;

    Kind kind() const override { return Kind::EventCamera; }
    int32_t mode() const override;
    Capabilities capabilities() const override { return {}; }
    StartResult start() override;
    void pause() override;
    bool playing() const override;
    void close() override;
    SourceMonitor::Probe probe() const override;

private:
    PlaybackEngine& engine_;
    std::shared_ptr<orvane::DvsCamera> camera_;
};

class RecordingSource : public PlaybackSource {
    Q_OBJECT
public:
    // `reader` is loaded; start and end are its first and last event times.
    RecordingSource(PlaybackEngine& engine, std::shared_ptr<orvane::DvsFileReader> reader, uint64_t start,
                    uint64_t end, QObject* parent = nullptr);
    ~RecordingSource() override;

    Kind kind() const override { return Kind::Recording; }
    int32_t mode() const override;
    Capabilities capabilities() const override { return {true, true, true}; }
    StartResult start() override;
    void pause() override;
    bool playing() const override;
    void close() override;
    void rewind() override;
    bool previous() override;
    bool next() override;
    bool seekTo(uint64_t timestamp) override;
    void moveTo(uint64_t timestamp) override;
    void setRange(uint64_t lower, uint64_t upper) override;
    void setLoop(bool loop) override;
    uint64_t startTime() const override;
    uint64_t endTime() const override;
    uint64_t position() const override;
    SourceMonitor::Probe probe() const override;

private:
    PlaybackEngine& engine_;
};

class FusionCameraSource : public PlaybackSource {
    Q_OBJECT
public:
    FusionCameraSource(OvFusionCameraDataProcessor& processor, std::shared_ptr<orvane::FusionCamera> camera,
                       QObject* parent = nullptr);
    ~FusionCameraSource() override;

    Kind kind() const override { return Kind::FusionCamera; }
    int32_t mode() const override;
    Capabilities capabilities() const override { return {}; }
    StartResult start() override;
    void pause() override;
    bool playing() const override { return playing_; }
    void close() override;
    SourceMonitor::Probe probe() const override;

private:
    void checkConnected();

    OvFusionCameraDataProcessor& processor_;
    std::shared_ptr<orvane::FusionCamera> camera_;
    QTimer* watch_;  // notices the camera going away while it streams
    bool playing_ = false;
};

class FusionRecordingSource : public PlaybackSource {
    Q_OBJECT
public:
    // The processor has loaded the recording.
    explicit FusionRecordingSource(OvFusionCameraDataProcessor& processor, QObject* parent = nullptr);
    ~FusionRecordingSource() override;

    Kind kind() const override { return Kind::FusionRecording; }
    int32_t mode() const override;
    Capabilities capabilities() const override { return {true, true, false}; }
    StartResult start() override;
    void pause() override;
    bool playing() const override;
    void rewind() override;
    bool previous() override;
    bool next() override;
    bool seekTo(uint64_t timestamp) override;
    void moveTo(uint64_t timestamp) override { seekTo(timestamp); }
    void setRange(uint64_t lower, uint64_t upper) override;
    void setLoop(bool loop) override;
    uint64_t startTime() const override;
    uint64_t endTime() const override;
    uint64_t position() const override;
    SourceMonitor::Probe probe() const override;

private:
    OvFusionCameraDataProcessor& processor_;
};
