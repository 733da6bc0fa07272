#include "RecordingControl.h"

#include "PlaybackText.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <exception>

RecordingControl::RecordingControl(QObject* parent) : QObject(parent), clock_(new QTimer(this))
{
    clock_->setInterval(1000);
    connect(clock_, &QTimer::timeout, this, &RecordingControl::tick);
}

RecordingControl::Result RecordingControl::start(const QString& folder, const StartFn& startFn,
                                                 const QStringList& extraSuffixes)
{
    Result result;
    if (active_) {
        result.error = tr("A recording is already running.");
        return result;
    }
    const QFileInfo dir(folder);
    if (folder.isEmpty() || !dir.isDir()) {
        result.error = tr("The recording folder does not exist: %1").arg(folder);
        return result;
    }
    if (!dir.isWritable()) {
        result.error = tr("The recording folder is not writable: %1").arg(folder);
        return result;
    }
    QStringList others = extraSuffixes;
    others << QStringLiteral(".ovmark.tmp");
    result.path = uniqueFilePath(folder, timestampedFileName(QDateTime::currentDateTime(), QString()),
                                 QStringLiteral(".raw"), others);
    qDebug() << "start recording...";
    int rc = -1;
    try {
        rc = startFn(QFile::encodeName(result.path).toStdString());
    } catch (const std::exception& e) {
        result.error = tr("Recording could not start: %1").arg(QString::fromLocal8Bit(e.what()));
        return result;
    }
    if (rc != 0) {
        result.error = tr("Recording could not start: %1").arg(result.path);
        return result;
    }
    active_ = true;
    path_ = result.path;
    result.ok = true;
    elapsed_.start();
    clock_->start();
    Q_EMIT clockChanged(formatElapsed(0));
    return result;
}

RecordingControl::Result RecordingControl::stop(const StopFn& stopFn)
{
    Result result;
    result.path = path_;
    if (!active_) {
        result.error = tr("No recording is running.");
        return result;
    }
    qDebug() << "stop recording";
    active_ = false;
    clock_->stop();
    Q_EMIT clockChanged(QString());
    int rc = -1;
    try {
        rc = stopFn();
    } catch (const std::exception& e) {
        result.error = tr("The recording could not be saved: %1").arg(QString::fromLocal8Bit(e.what()));
        return result;
    }
    if (rc != 0) {
        result.error = tr("The recording could not be saved completely: %1").arg(path_);
        return result;
    }
    result.ok = true;
    return result;
}

void RecordingControl::tick()
{
    if (active_)
        Q_EMIT clockChanged(formatElapsed(uint64_t(elapsed_.elapsed() / 1000)));
}
