// What the main window can have open: an event camera, a recording, a fusion camera or a fusion
// recording. Each is a PlaybackSource; the window drives the open one through this interface alone
// and enables its buttons from capabilities(), so no code outside a source asks which kind it is.
//
// Threads: every member is called on the GUI thread. A source's own work runs on the threads of the
// part it wraps (the engine's loops, the fusion processor's play thread, the driver's callbacks);
// what those threads say reaches the window through the signals below, which the window connects
// queued. Pictures do not pass here: every source publishes them into the engine's mailbox.
#pragma once

#include "SourceMonitor.h"

#include <QObject>
#include <QString>

#include <cstdint>

class PlaybackSource : public QObject {
    Q_OBJECT
public:
    enum class Kind { EventCamera, Recording, FusionCamera, FusionRecording };

    struct Capabilities {
        bool transport = false;  // stop, previous, next and the time slider
        bool loop = false;
        bool cut = false;  // cut and export work on it
    };

    struct StartResult {
        bool ok = false;
        QString reason;  // for the user when not ok
        bool warning = false;  // a warning (nothing to play) rather than an error
    };

    using QObject::QObject;
    ~PlaybackSource() override = default;

    virtual Kind kind() const = 0;
    // The window's mode number of this source (1 event camera ... 4 fusion recording).
    virtual int32_t mode() const = 0;
    virtual Capabilities capabilities() const = 0;

    // Play and pause (streaming for a camera). pause() returns once the source's thread is idle.
    virtual StartResult start() = 0;
    virtual void pause() = 0;
    virtual bool playing() const = 0;
    // Ends everything the source runs before it is dropped.
    virtual void close() { pause(); }

    // Transport, for sources with capabilities().transport; each shows the picture of its new place.
    virtual void rewind() {}  // back to the start of the played range
    virtual bool previous() { return false; }
    virtual bool next() { return false; }
    virtual bool seekTo(uint64_t) { return false; }  // a click on the slider's track
    virtual void moveTo(uint64_t) {}                 // a drag of the slider's centre
    virtual void setRange(uint64_t, uint64_t) {}
    virtual void setLoop(bool) {}
    virtual uint64_t startTime() const { return 0; }
    virtual uint64_t endTime() const { return 0; }
    virtual uint64_t position() const { return 0; }

    // What the source monitor reads once a second.
    virtual SourceMonitor::Probe probe() const { return {}; }

Q_SIGNALS:
    // The play position moved (recordings).
    void positionChanged(quint64 position);
    // Playing ended by itself at the end of the range.
    void playEnded();
    // The camera went away; streaming has ended.
    void cameraLost();
    // Playing ended because the driver failed; the reason is for the user.
    void failed(const QString& reason);
};
