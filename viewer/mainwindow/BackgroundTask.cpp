#include "BackgroundTask.h"

#include "WaitingWin.h"
#include "WorkerThread.h"

#include <QMetaObject>

void runBehindWaitingWindow(QWidget* anchor, const std::function<void(const TaskMessage& message)>& job,
                            std::atomic<bool>* cancel)
{
    WaitingWin waiting(anchor);
    if (cancel)
        waiting.offerCancel([cancel] { cancel->store(true); });
    WaitingWin* target = &waiting;  // outlives the worker: it is waited for below
    // Posted to the GUI thread; a message still queued when the window has gone is dropped with it.
    const TaskMessage message = [target](const QString& text) {
        QMetaObject::invokeMethod(target, [target, text] { target->setMessage(text); }, Qt::QueuedConnection);
    };
    WorkerThread worker([&job, &message] { job(message); });
    QObject::connect(&worker, &WorkerThread::taskCompleted, &waiting, &WaitingWin::close, Qt::QueuedConnection);
    worker.start();
    waiting.exec();
    worker.wait();
}
