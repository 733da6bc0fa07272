// The main window's fusion sources: a fusion camera (mode 2) and a fusion recording (mode 4). Both
// are drawn by the fusion frame builder; the window opens them, wires the builder to the view,
// the slider and the labels, and runs the play button for them. GUI thread.
#include "MainWidget.h"

#include "BackgroundTask.h"
#include "OvFusionCameraDataProcessor.h"
#include "OvThreeHandleSlider.h"
#include "PanelSourceState.h"
#include "PlaybackEngine.h"
#include "ShowImageForm.h"
#include "SourceMonitor.h"
#include "ui_MainWidget.h"

#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/CameraTool.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <exception>

namespace {

// How often a streaming fusion camera is checked for being unplugged.
constexpr int kFusionWatchMs = 500;

}  // namespace

void MainWidget::connectFusionProcessor()
{
    fusionProcessor_ = new OvFusionCameraDataProcessor();
    OvFusionCameraDataProcessor* p = fusionProcessor_;
    connect(p, &OvFusionCameraDataProcessor::signalFusionImage, imageView(), &ShowImageForm::slotShowImage);
    connect(p, &OvFusionCameraDataProcessor::signalFusionImage, this, [this] {
        if (stats_)
            stats_->pictureShown();
    });
    connect(p, &OvFusionCameraDataProcessor::signalTimeStamp, this, &MainWidget::showTimeStamp);
    connect(p, &OvFusionCameraDataProcessor::signalStartTimeStamp, this, &MainWidget::slotSetSliderStartTime);
    connect(p, &OvFusionCameraDataProcessor::signalEndTimeStamp, this, &MainWidget::slotSetSliderEndTime);
    connect(p, &OvFusionCameraDataProcessor::signalPlayProgress, this, &MainWidget::slotShowFilePlayProgress);
    connect(p, &OvFusionCameraDataProcessor::signalPalyFileFinished, this, &MainWidget::onFusionPlayFinished);
    connect(this, &MainWidget::signalSetViewerShowType, p, &OvFusionCameraDataProcessor::slotSetViewerType);
    connect(this, &MainWidget::signalFusionFilePlayControl, p, &OvFusionCameraDataProcessor::slotFusionFilePlayControl);

    fusionWatch_ = new QTimer(this);
    fusionWatch_->setInterval(kFusionWatchMs);
    connect(fusionWatch_, &QTimer::timeout, this, &MainWidget::checkFusionCamera);
}

// Ends whatever fusion source runs and lets go of it: the camera stops streaming, the play thread
// ends, the builder drops the camera and its callbacks.
void MainWidget::stopFusionSource()
{
    fusionWatch_->stop();
    if (fusionPlaying_ && fusionCamera && engine_->mode() == PlaybackEngine::FusionCamera)
        fusionCamera->stop(orvane::STREAM_BOTH);
    fusionPlaying_ = false;
    fusionProcessor_->slotFusionFilePlayControl(false);
    fusionProcessor_->setFusionCamera(nullptr);
    fusionCamera.reset();
}

bool MainWidget::openFusionCameraSource(const orvane::CameraDescription& desc)
{
    const QString serial = QString::fromStdString(desc.serial);
    stopCurrentSource();
    engine_->setMode(PlaybackEngine::FusionCamera);
    qDebug() << "Open fusion camera.";
    std::shared_ptr<orvane::FusionCamera> camera;
    QString failure;
    runBehindWaitingWindow(imageView(), [&](const TaskMessage&) {
        try {
            camera = cameraManager_.openFusionCamera(desc.serial);
            // The frames are stamped by the trigger edges of their exposures: without them no frame
            // finds its events.
            if (camera) {
                const auto trigger = camera->getTool(orvane::TOOL_TRIGGER_IN);
                if (!trigger || !trigger->setParam("enable", true))
                    qDebug() << "The trigger input could not be switched on.";
            }
        } catch (const std::exception& e) {
            failure = QString::fromLocal8Bit(e.what());
            camera.reset();
        }
    });
    if (!camera) {
        qDebug() << "Open camera failed:" << failure;
        Q_EMIT signalShowLeftBottomTips(tr("Open camera: ") + serial + tr("failed."), MessageError);
        return false;
    }
    fusionCamera = camera;
    fusionProcessor_->attachCallbacks(camera);
    fusionProcessor_->setFusionCamera(camera);
    return startOpenedCamera(serial, orvane::STREAM_BOTH);
}

bool MainWidget::openFusionRecordingSource(const QString& rawPath, const QString& mp4Path)
{
    const QFileInfo file(rawPath);
    stopCurrentSource();
    qDebug() << "Load fusion file.";
    bool loaded = false;
    runBehindWaitingWindow(imageView(), [&](const TaskMessage& message) {
        message(tr("Opening %1 ...").arg(file.fileName()));
        loaded = fusionProcessor_->slotReadFusionFile(QFile::encodeName(file.absoluteFilePath()).toStdString());
    });
    if (!loaded) {
        if (fusionProcessor_->loadFailure() == OvFusionCameraDataProcessor::LoadFailure::Frames) {
            // The events are still worth seeing: they open on their own.
            Q_EMIT signalShowLeftBottomTips(
                tr("The frames of %1 could not be read; its events open as a plain recording.")
                    .arg(QFileInfo(mp4Path).fileName()),
                MessageError);
            return openRawRecording(file);
        }
        // The events could not be read: the reader says why.
        orvane::RawFileReader probe(QFile::encodeName(file.absoluteFilePath()).toStdString());
        const orvane::RecordingError error = probe.open();
        Q_EMIT signalShowLeftBottomTips(
            error ? recordingFailureText(file, error)
                  : tr("Cannot open %1: %2").arg(file.fileName(), tr("it is not an EVT 3.0 recording or its header is malformed")),
            MessageError);
        return false;
    }

    engine_->setMode(PlaybackEngine::FusionFile);
    rawPath_ = file.absoluteFilePath();
    const uint64_t start = fusionProcessor_->startTimestamp();
    const uint64_t end = fusionProcessor_->endTimestamp();
    showOpenedRecording(file, start, end);
    ui->pb_play->click();
    setPanelsState(PanelSourceState::File, PanelSourceState::NoCamera);
    return true;
}

void MainWidget::toggleFusionPlayback()
{
    if (engine_->mode() == PlaybackEngine::FusionFile) {
        fusionPlaying_ = !fusionPlaying_;
        ui->pb_play->setChecked(fusionPlaying_);
        Q_EMIT signalFusionFilePlayControl(fusionPlaying_);
        return;
    }

    if (!fusionCamera || !fusionCamera->isConnected()) {
        qDebug() << "Please connect camera first.";
        fusionPlaying_ = false;
        ui->pb_play->setChecked(false);
        Q_EMIT signalShowLeftBottomTips(tr("Please connect camera first."), MessageWarning);
        return;
    }
    if (fusionPlaying_) {
        fusionCamera->stop(orvane::STREAM_BOTH);
        fusionPlaying_ = false;
        fusionWatch_->stop();
        monitor_->stop();
        ui->pb_play->setChecked(false);
        qDebug() << "Fusion camera stop.";
        return;
    }
    int started = -1;
    try {
        started = fusionCamera->start(orvane::STREAM_BOTH);
    } catch (const std::exception& e) {
        qDebug() << "Fusion camera start failed:" << e.what();
    }
    if (started != 0) {
        ui->pb_play->setChecked(false);
        Q_EMIT signalShowLeftBottomTips(tr("The camera did not start. Please check the camera connection."),
                                        MessageError);
        return;
    }
    fusionPlaying_ = true;
    ui->pb_play->setChecked(true);
    qDebug() << "Fusion camera start";
    watchSource();
    fusionWatch_->start();
}

void MainWidget::onFusionPlayFinished()
{
    if (engine_->mode() != PlaybackEngine::FusionFile)
        return;
    fusionPlaying_ = false;
    fusionProcessor_->slotFusionFilePlayControl(false);  // joins the ended play thread
    ui->pb_play->setChecked(false);
}

// An unplugged fusion camera stops streaming (its loops end on their own); the window says so
// and ends a recording that is running, as for an event camera.
void MainWidget::checkFusionCamera()
{
    if (!fusionPlaying_ || !fusionCamera || fusionCamera->isConnected())
        return;
    fusionWatch_->stop();
    fusionCamera->stop(orvane::STREAM_BOTH);
    fusionPlaying_ = false;
    onCameraLost();
}
