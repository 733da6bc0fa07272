// Starts and stops a camera's recording for the main window and keeps the recording clock. It
// names the file by the local date and time in the output folder (never one already there), checks
// what the driver answers, and turns every failure into a reason the window can show.
//
// Threads: GUI thread only. The camera's record thread writes the file; the clock is a timer on
// the GUI thread that fires once a second.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QTimer;

class RecordingControl : public QObject {
    Q_OBJECT
public:
    struct Result {
        bool ok = false;
        QString path;   // the recording's file
        QString error;  // why it failed, for the user
    };
    // The driver's start and stop of the open camera (0 success, -1 failure; they may throw).
    using StartFn = std::function<int(const std::string& path)>;
    using StopFn = std::function<int()>;

    explicit RecordingControl(QObject* parent = nullptr);

    // Starts a recording in `folder`; `extraSuffixes` are other files the camera writes beside the
    // ".raw" (a fusion camera's ".mp4"), whose names must be free as well.
    Result start(const QString& folder, const StartFn& startFn, const QStringList& extraSuffixes = {});
    // Stops the running recording; the result names the file written.
    Result stop(const StopFn& stopFn);
    bool active() const { return active_; }
    QString path() const { return path_; }

Q_SIGNALS:
    // The elapsed time as HH:MM:SS, once a second while recording; an empty text when it ends.
    void clockChanged(const QString& text);

private:
    void tick();

    bool active_ = false;
    QString path_;
    QTimer* clock_;
    QElapsedTimer elapsed_;
};
