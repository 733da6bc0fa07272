#include "WorkerThread.h"

#include <QDebug>

#include <exception>

WorkerThread::WorkerThread(std::function<void()> task, QObject* parent)
    : QThread(parent), task_(std::move(task))
{
}

void WorkerThread::run()
{
    // An exception must not end the thread silently: the waiting window would then never close.
    try {
        if (task_)
            task_();
    } catch (const std::exception& e) {
        qWarning() << "Worker task failed:" << e.what();
    } catch (...) {
        qWarning() << "Worker task failed.";
    }
    Q_EMIT taskCompleted();
}
