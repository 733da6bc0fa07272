// Runs one slow job (opening a camera or a recording, cutting, exporting) off the GUI thread
// and says when it is done. The task must not touch widgets: it hands results back through
// signals or through data the GUI thread reads after taskCompleted(). Used once, not restarted.
#pragma once

#include <QThread>

#include <functional>

class WorkerThread : public QThread {
    Q_OBJECT
public:
    explicit WorkerThread(std::function<void()> task, QObject* parent = nullptr);

Q_SIGNALS:
    void taskCompleted();

protected:
    void run() override;

private:
    std::function<void()> task_;
};
