// Runs one slow job (opening a camera or a recording, a cut, an export) on a WorkerThread while
// the modal waiting window shows over an anchor widget, so the window keeps repainting and takes
// no input meanwhile. Called on the GUI thread; returns when the job has finished. The job must not
// touch widgets: it reports through `message`, which shows a line under the animation.
#pragma once

#include <QString>

#include <atomic>
#include <functional>

class QWidget;

using TaskMessage = std::function<void(const QString& text)>;

// With `cancel`, the waiting window offers Cancel, which sets the flag; the job is to stop soon after.
void runBehindWaitingWindow(QWidget* anchor, const std::function<void(const TaskMessage& message)>& job,
                            std::atomic<bool>* cancel = nullptr);
