// The main window with real sources: simulated cameras on the HAL's bus, recordings written with
// the EVT 3.0 encoder, and the driver's reader, cut and export behind the window's commands.
#include "AppConfig.h"
#include "CamerasList.h"
#include "MainWidget.h"
#include "MainWindowFixture.h"
#include "OvCutRawFile.h"
#include "OvExportVideoUI.h"
#include "OvThreeHandleSlider.h"
#include "PlaybackEngine.h"
#include "PlaybackText.h"
#include "RecordingControl.h"
#include "ShowImageForm.h"
#include "SourceMonitor.h"

#include "RawFileTestSupport.h"

#include "orvane/driver/DvsFileReader.h"
#include "orvane/hal/Simulator.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include "orvane/driver/Exporter.h"
#include "orvane/driver/Mp4FileReader.h"
#include "orvane/driver/RawFileReader.h"

namespace sim = orvane::sim;

namespace {

constexpr int kLong = 30000;  // ms: generous limits for a loaded machine under sanitizers

struct Tip {
    QString text;
    int type;
    QString path;
};

class WindowTest : public MainWindowFixture {
protected:
    Tip lastTip() const
    {
        if (tips->isEmpty())
            return {QString(), -1, QString()};
        const QList<QVariant> args = tips->last();
        return {args.at(0).toString(), args.at(1).value<OvMessageType>(), args.at(2).toString()};
    }
    // A recording of `us` µs of random events from 5 s of sensor time.
    QString writeRecording(const QString& name, uint64_t us = 600'000, uint64_t events = 60'000,
                           const std::string& format = "EVT3")
    {
        orvane::test::StreamShape shape;
        shape.format = format;
        shape.startUs = 5'000'000;
        shape.durationUs = us;
        shape.events = events;
        shape.timeHighPeriodUs = 16;
        const auto ev = orvane::test::makeEvents(shape);
        const QString path = dir.filePath(name);
        orvane::test::writeBytes(QFile::encodeName(path).toStdString(), orvane::test::standardRawHeader(format),
                                 orvane::test::encodeStream(ev, shape));
        return path;
    }
    uint64_t readEvents(const QString& path)
    {
        auto reader = orvane::DvsFileReader::createFileReader(QFile::encodeName(path).toStdString());
        if (!reader || !reader->loadFile())
            return 0;
        uint64_t n = 0;
        reader->getMaxEvents(n);
        return n;
    }
    QStringList rawFilesIn(const QString& folder) const
    {
        return QDir(folder).entryList({"*.raw"}, QDir::Files, QDir::Name);
    }
    bool imageHasEvents()
    {
        const QImage image = window->imageView()->currentPixmap().toImage();
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                if ((image.pixel(x, y) & 0xFFFFFF) != 0x707070)
                    return true;
        return false;
    }
};

// Answers the next modal dialog of type T once it shows, as a user would.
template <typename T>
void whenDialogShows(const std::function<void(T*)>& answer)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start();
}

sim::DeviceOptions gentle()
{
    sim::DeviceOptions options;
    options.eventRate = 300'000;
    options.replayPath.assign(1, '-');  // the scene, whatever ORVANE_SIM_REPLAY says
    return options;
}

}  // namespace

TEST_F(WindowTest, LiveCameraStreamsRecordsAndPauses)
{
    ASSERT_TRUE(sim::plug(sim::Model::Kestrel, "KE-MW1", gentle()));
    ASSERT_TRUE(window->openCameraSerial("KE-MW1"));
    EXPECT_EQ(window->mode(), PlaybackEngine::EventCamera);
    EXPECT_EQ(window->viewerType(), 0);
    auto* play = child<QPushButton>("pb_play");
    EXPECT_TRUE(play->isChecked());
    EXPECT_EQ(child<QLabel>("label_show_camera_info")->text(), "KE-MW1");
    EXPECT_EQ(child<QLabel>("label_time")->text(), "--/--");
    for (const char* name : {"pb_loop", "pb_next", "pb_prv", "pb_stop"})
        EXPECT_FALSE(child(name)->isEnabled()) << name;
    EXPECT_FALSE(window->timeSlider()->isEnabled());

    // Pictures arrive, with the time of their last event in the info bar and the rate beside it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !child<QLabel>("label_show_timestamp_info")->text().isEmpty(); }, kLong));
    ASSERT_TRUE(QTest::qWaitFor([&] { return imageHasEvents(); }, kLong));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->sourceMonitor()->rate() > 0; }, kLong));
    EXPECT_TRUE(child<QLabel>("label_show_rate_info")->text().contains("ev/s"));

    // Record about a second: the clock ticks, the file holds events, the toast names the folder.
    auto* record = child<QPushButton>("pb_record");
    record->click();
    ASSERT_TRUE(record->isChecked()) << lastTip().text.toStdString();
    ASSERT_TRUE(window->recordingControl()->active());
    const QString first = window->recordingControl()->path();
    ASSERT_TRUE(QTest::qWaitFor([&] { return child<QLabel>("lb_recoding_time")->text() >= "00:00:01"; }, kLong));
    record->click();
    EXPECT_FALSE(record->isChecked());
    EXPECT_FALSE(window->recordingControl()->active());
    EXPECT_EQ(lastTip().text, "Saved " + QFileInfo(first).fileName());
    // The toast says it above the record button, not over it.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("OvFilePathReminderForm") && w->isVisible()) {
            EXPECT_FALSE(w->frameGeometry().intersects(QRect(record->mapToGlobal(QPoint(0, 0)), record->size())));
        }
    }
    EXPECT_EQ(lastTip().type, MessageSuccess);
    EXPECT_EQ(lastTip().path, QFileInfo(first).absolutePath());
    EXPECT_TRUE(child<QLabel>("lb_recoding_time")->text().isEmpty());
    EXPECT_GT(readEvents(first), 0u);

    // Recordings started within one second keep their own files.
    for (int i = 0; i < 2; ++i) {
        record->click();
        ASSERT_TRUE(record->isChecked());
        record->click();
    }
    EXPECT_EQ(rawFilesIn(out).size(), 3);

    // Space pauses the stream and starts it again.
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_FALSE(play->isChecked());
    EXPECT_FALSE(window->engine()->playing());
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_TRUE(play->isChecked());
    EXPECT_TRUE(window->engine()->playing());
}

TEST_F(WindowTest, RecordingFailuresAreToldAndChangeNothing)
{
    auto* record = child<QPushButton>("pb_record");
    record->click();  // no camera
    EXPECT_FALSE(record->isChecked());
    EXPECT_EQ(lastTip().type, MessageWarning);

    ASSERT_TRUE(sim::plug(sim::Model::Evk4, "EVK-MW2", gentle()));
    ASSERT_TRUE(window->openCameraSerial("EVK-MW2"));
    config->setOutputRawFilePath(dir.filePath("gone"));
    record->click();
    EXPECT_FALSE(record->isChecked());
    EXPECT_FALSE(window->recordingControl()->active());
    EXPECT_EQ(lastTip().type, MessageError);
    EXPECT_TRUE(lastTip().text.contains("gone"));

    // A file where the folder should be.
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    config->setOutputRawFilePath(blocker.fileName());
    record->click();
    EXPECT_FALSE(record->isChecked());
    EXPECT_EQ(lastTip().type, MessageError);
    EXPECT_TRUE(child<QPushButton>("pb_play")->isChecked());  // streaming goes on

    // Recording needs a streaming camera, and pausing the camera ends the recording, saved.
    config->setOutputRawFilePath(out);
    auto* play = child<QPushButton>("pb_play");
    play->click();
    ASSERT_FALSE(window->engine()->playing());
    record->click();
    EXPECT_FALSE(record->isChecked());
    EXPECT_EQ(lastTip().type, MessageWarning);
    play->click();
    record->click();
    ASSERT_TRUE(record->isChecked());
    const QString path = window->recordingControl()->path();
    play->click();
    EXPECT_FALSE(record->isChecked());
    EXPECT_FALSE(window->recordingControl()->active());
    EXPECT_EQ(lastTip().text, "Saved " + QFileInfo(path).fileName());
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(WindowTest, UnpluggedCameraIsToldAndItsRecordingKept)
{
    ASSERT_TRUE(sim::plug(sim::Model::Kestrel, "KE-MW3", gentle()));
    ASSERT_TRUE(window->openCameraSerial("KE-MW3"));
    auto* record = child<QPushButton>("pb_record");
    record->click();
    ASSERT_TRUE(record->isChecked());
    const QString path = window->recordingControl()->path();
    ASSERT_TRUE(QTest::qWaitFor([&] { return imageHasEvents(); }, kLong));
    ASSERT_TRUE(sim::unplug("KE-MW3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !child<QPushButton>("pb_play")->isChecked(); }, kLong));
    EXPECT_FALSE(record->isChecked());
    EXPECT_FALSE(window->recordingControl()->active());
    bool lost = false, saved = false;
    for (const auto& args : *tips) {
        lost = lost || (args.at(0).toString() == "Camera connection lost." && args.at(1).value<OvMessageType>() == MessageError);
        saved = saved || args.at(0).toString() == "Saved " + QFileInfo(path).fileName();
    }
    EXPECT_TRUE(lost);
    EXPECT_TRUE(saved);
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(WindowTest, CamerasThatCannotOpenAreTold)
{
    EXPECT_FALSE(window->openCameraSerial("NOPE"));
    EXPECT_EQ(lastTip().type, MessageError);
    EXPECT_TRUE(lastTip().text.contains("NOPE"));
    EXPECT_EQ(window->mode(), PlaybackEngine::None);
}

TEST_F(WindowTest, RecordingPlaysToTheEndOrLoops)
{
    const QString path = writeRecording("play.raw");
    ASSERT_TRUE(window->openRecordingPath(path));
    EXPECT_EQ(window->mode(), PlaybackEngine::RawFile);
    auto* engine = window->engine();
    const uint64_t start = engine->fileStart();
    const uint64_t end = engine->fileEnd();
    ASSERT_LT(start, end);
    OvThreeHandleSlider* slider = window->timeSlider();
    EXPECT_EQ(slider->minimum(), qint64(start));
    EXPECT_EQ(slider->maximum(), qint64(end));
    EXPECT_TRUE(slider->isEnabled());
    auto* play = child<QPushButton>("pb_play");
    EXPECT_TRUE(play->isChecked());

    // Without loop it stops with the centre and the label at the lower handle.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !play->isChecked(); }, kLong));
    EXPECT_FALSE(engine->playing());
    EXPECT_EQ(slider->centerValue(), qint64(start));
    EXPECT_EQ(child<QLabel>("label_time")->text(), formatTime(start) + "/" + formatTime(end));
    EXPECT_TRUE(imageHasEvents());

    // With loop it comes round again and plays on.
    child<QPushButton>("pb_loop")->click();
    play->click();
    ASSERT_TRUE(play->isChecked());
    qint64 highest = 0;
    bool wrapped = false;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const qint64 c = slider->centerValue();
            if (c > highest)
                highest = c;
            wrapped = wrapped || (highest > qint64(end) - 100'000 && c < qint64(start) + 100'000);
            return wrapped;
        },
        kLong));
    EXPECT_TRUE(play->isChecked());
    play->click();
    EXPECT_FALSE(engine->playing());
}

TEST_F(WindowTest, TransportLandsWhereItShould)
{
    const QString path = writeRecording("transport.raw");
    ASSERT_TRUE(window->openRecordingPath(path));
    auto* engine = window->engine();
    OvThreeHandleSlider* slider = window->timeSlider();
    const uint64_t start = engine->fileStart();
    auto* label = child<QLabel>("label_time");

    QTest::keyClick(window.get(), Qt::Key_Space);  // pause
    ASSERT_FALSE(engine->playing());
    Q_EMIT slider->centerValueTrackClick(qint64(start + 200'000));
    EXPECT_EQ(engine->position(), start + 200'000);
    EXPECT_EQ(label->text(), formatTime(start + 200'000) + "/" + formatTime(engine->fileEnd()));
    EXPECT_EQ(slider->centerValue(), qint64(start + 200'000));

    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_EQ(engine->position(), start + 200'000 + 30'303);
    EXPECT_EQ(slider->centerValue(), qint64(start + 200'000 + 30'303));
    QTest::keyClick(window.get(), Qt::Key_Left);
    QTest::keyClick(window.get(), Qt::Key_Left);
    EXPECT_EQ(engine->position(), start + 200'000 - 30'303);

    // A drag shows the picture of the new place at once.
    window->imageView()->showPixMap(QPixmap(1280, 720));
    Q_EMIT slider->centerValueMove(qint64(start + 400'000));
    EXPECT_EQ(engine->position(), start + 400'000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return imageHasEvents(); }, kLong));

    // Moving the lower handle, then previous frame near it, then stop: all land on it.
    slider->setLowerValue(qint64(start + 300'000));
    Q_EMIT slider->centerValueTrackClick(qint64(start + 310'000));
    QTest::keyClick(window.get(), Qt::Key_Left);
    EXPECT_EQ(engine->position(), start + 300'000);
    Q_EMIT slider->centerValueTrackClick(qint64(start + 500'000));
    child<QPushButton>("pb_stop")->click();
    EXPECT_EQ(engine->position(), start + 300'000);
    EXPECT_EQ(slider->centerValue(), qint64(start + 300'000));
}

TEST_F(WindowTest, RecordingsThatCannotOpenChangeNothing)
{
    const QString good = writeRecording("good.raw");
    ASSERT_TRUE(window->openRecordingPath(good));
    QTest::keyClick(window.get(), Qt::Key_Space);
    const uint64_t end = window->engine()->fileEnd();

    struct Case {
        QString name;
        QByteArray bytes;
        QString text;  // the toast's exact text, when the reason is the driver's
    };
    const Case cases[] = {
        {"badgeometry.raw", QByteArray("% evt 3.0\n% geometry sevenx720\n% end\n") + QByteArray(64, '\0'), {}},
        {"evt2.raw", QByteArray("% evt 2.0\n% end\n") + QByteArray(64, '\0'), "'evt2.raw' holds no events"},
        {"format.raw", QByteArray("% format EVT21; height = 720; width = 1280\n% end\n") + QByteArray(64, '\0'),
         "'format.raw' holds no events"},
        {"x.raw", QByteArray("% evt 4.0\n% end\n") + QByteArray(64, '\0'),
         "'x.raw' is an EVT 4.0 recording; Orvane reads EVT 2.0, 2.1 and 3.0"},
        {"notraw.txt", QByteArray("hello"), {}},
        // Nothing to play is a reason too, not a 00:00 recording.
        {"empty.raw", QByteArray(), "'empty.raw' holds no events"},
        {"headeronly.raw", QByteArray(orvane::test::standardRawHeader()), "'headeronly.raw' holds no events"},
    };
    for (const Case& c : cases) {
        QFile f(dir.filePath(c.name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.bytes);
        f.close();
        const int before = tips->count();
        EXPECT_FALSE(window->openRecordingPath(f.fileName())) << c.name.toStdString();
        EXPECT_EQ(tips->count(), before + 1) << c.name.toStdString();
        EXPECT_EQ(lastTip().type, MessageError) << c.name.toStdString();
        EXPECT_TRUE(lastTip().text.contains(c.name)) << lastTip().text.toStdString();
        if (!c.text.isEmpty()) {
            EXPECT_EQ(lastTip().text, c.text);
        }
        EXPECT_EQ(window->mode(), PlaybackEngine::RawFile);
        EXPECT_EQ(window->engine()->fileEnd(), end);
    }
    ASSERT_TRUE(QDir().mkpath(dir.filePath("folder.raw")));
    for (const char* name : {"missing.raw", "folder.raw"}) {
        EXPECT_FALSE(window->openRecordingPath(dir.filePath(name)));
        EXPECT_EQ(lastTip().type, MessageError);
        EXPECT_TRUE(lastTip().text.contains(name));
        EXPECT_EQ(window->engine()->fileEnd(), end);
    }

    // A raw file with a video of the same name beside it is a fusion recording: said, not ignored.
    QFile(dir.filePath("fusion.mp4")).open(QIODevice::WriteOnly);
    writeRecording("fusion.raw");
    const int before = tips->count();
    window->openRecordingPath(dir.filePath("fusion.raw"));
    EXPECT_EQ(tips->count(), before + 1);
    EXPECT_EQ(lastTip().type, MessageError);
}

TEST_F(WindowTest, CutAndExportFromTheWindow)
{
    EXPECT_FALSE(window->cutRecordingTo(0, 1, out, "x.raw"));
    EXPECT_EQ(lastTip().text, "Please open a raw file first.");
    EXPECT_EQ(lastTip().type, MessageWarning);

    // Every encoding the same way; a cut keeps its source's.
    for (const std::string format : {"EVT3", "EVT2", "EVT21"}) {
    SCOPED_TRACE(format);
    const QString name = "source" + QString::fromStdString(format);
    const QString source = writeRecording(name + ".raw", 800'000, 80'000, format);
    ASSERT_TRUE(window->openRecordingPath(source));
    const uint64_t start = window->engine()->fileStart();
    const qint64 sourceSize = QFileInfo(source).size();

    ASSERT_TRUE(window->cutRecordingTo(start + 100'000, start + 400'000, out, "cut.raw"));
    EXPECT_EQ(lastTip().text, "Export raw file success!");
    EXPECT_EQ(lastTip().type, MessageSuccess);
    EXPECT_EQ(lastTip().path, out);
    EXPECT_FALSE(child<QPushButton>("pb_play")->isChecked());
    const QString cut = QDir(out).filePath("cut.raw");
    EXPECT_GT(readEvents(cut), 0u);
    {
        orvane::RawFileReader cutReader(QFile::encodeName(cut).toStdString());
        ASSERT_TRUE(cutReader.loadFile());
        EXPECT_EQ(cutReader.formatName(), std::string("EVT ") + orvane::test::evtValueOf(format));
    }
    const QString cli = QStringLiteral(ORVANE_BIN_DIR) + "/orvane";
    if (QFileInfo(cli).isExecutable()) {
        EXPECT_EQ(QProcess::execute(cli, {"info", cut}), 0);
    }

    ASSERT_TRUE(window->exportVideoTo(start + 100'000, start + 400'000, out, "clip.mp4"));
    EXPECT_EQ(lastTip().text, "Export video success!");
    const QString mp4 = QDir(out).filePath("clip.mp4");
    EXPECT_GT(QFileInfo(mp4).size(), 0);
    const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
    if (!ffprobe.isEmpty()) {
        EXPECT_EQ(QProcess::execute(ffprobe, {"-v", "error", mp4}), 0);
    }

    // Refusals give the reason and leave the source alone.
    EXPECT_FALSE(window->cutRecordingTo(start + 400'000, start + 100'000, out, "back.raw"));
    EXPECT_EQ(lastTip().type, MessageError);
    EXPECT_TRUE(lastTip().text.startsWith("Cut failed"));
    EXPECT_FALSE(window->cutRecordingTo(start, start + 100'000, dir.path(), name + ".raw"));
    EXPECT_EQ(lastTip().type, MessageError);
    EXPECT_FALSE(window->exportVideoTo(start, start + 100'000, dir.path(), name + ".ovmark.tmp"));
    EXPECT_TRUE(lastTip().text.startsWith("Export failed"));
    EXPECT_FALSE(window->exportVideoTo(start, start + 100'000, dir.filePath("nowhere"), "x.mp4"));
    EXPECT_EQ(QFileInfo(source).size(), sourceSize);
    EXPECT_EQ(window->mode(), PlaybackEngine::RawFile);
    }
}

// The Export dialog, as a person uses it from the menu: each kind the driver has writes its file,
// and a video takes the look chosen in the dialog.
TEST_F(WindowTest, TheExportDialogWritesEveryKind)
{
    const QString source = writeRecording("kinds.raw", 800'000, 80'000);
    ASSERT_TRUE(window->openRecordingPath(source));
    const uint64_t start = window->engine()->fileStart();
    OvThreeHandleSlider* slider = window->timeSlider();
    slider->setLowerValue(qint64(start + 100'000));
    slider->setCenterValue(qint64(start + 100'000));
    slider->setUpperValue(qint64(start + 400'000));

    QStringList offered;
    {
        OvExportVideoUI probe;
        offered = probe.kinds();
    }
    QStringList expected;
    for (const auto& e : orvane::makeExporters())
        expected << QString::fromStdString(e->name());
    EXPECT_EQ(offered, expected);
    EXPECT_GE(offered.size(), 3);
    for (const QString& kind : offered) {
        SCOPED_TRACE(kind.toStdString());
        QString name;
        whenDialogShows<OvExportVideoUI>([&](OvExportVideoUI* d) {
            EXPECT_TRUE(d->setKind(kind));
            if (kind == "video") {
                d->setFps(10);
                d->setSpeed(1.0);
                d->setAccumulationUs(50'000);
                EXPECT_TRUE(d->setMode("time-surface"));
                EXPECT_TRUE(d->setTheme("light"));
            }
            name = d->fileName();
            QMetaObject::invokeMethod(d->findChild<QPushButton*>("pb_save"), "click");
        });
        window->slotSaveAs();
        const QString written = QDir(out).filePath(name);
        ASSERT_TRUE(QFileInfo(written).isFile()) << written.toStdString();
        EXPECT_GT(QFileInfo(written).size(), 0);
        EXPECT_EQ(lastTip().type, MessageSuccess) << lastTip().text.toStdString();
        EXPECT_EQ(QDir(out).entryList(QDir::Files).filter(".part").size(), 0);
        if (kind == "raw") {
            EXPECT_GT(readEvents(written), 0u);
        } else if (kind == "csv") {
            QFile csv(written);
            ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
            EXPECT_EQ(csv.readLine().trimmed(), "x,y,p,t");
        } else if (kind == "video") {
            // 300 ms at 10 fps: three slices of 100 ms, each with events.
            orvane::Mp4FileReader video(QFile::encodeName(written).toStdString());
            ASSERT_TRUE(video.loadFile());
            std::vector<uint64_t> times;
            video.getTimeStamps(times);
            EXPECT_EQ(times.size(), 3u);
            orvane::ApsFrame frame;
            while (video.getNextFrame(frame) && !frame.data) {
            }
            ASSERT_NE(frame.data, nullptr);
            double sum = 0;
            for (uint32_t i = 0; i < frame.size; ++i)
                sum += frame.data[i];
            EXPECT_GT(sum / frame.size, 200.0) << "the light theme is mostly white";
        }
    }
}

TEST_F(WindowTest, DroppedRawFileOpensAndDroppedDataIsToldOnce)
{
    const QString path = writeRecording("dropped.raw");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->mode() == PlaybackEngine::RawFile; }, kLong));

    // A camera that reports drops: one warning, the count stays in the info bar.
    uint64_t dropped = 1000;
    SourceMonitor::Probe probe;
    probe.droppedBytes = [&dropped] { return dropped; };
    window->sourceMonitor()->stop();
    window->sourceMonitor()->watch(probe);
    dropped += 131072;
    window->sourceMonitor()->sample();
    dropped += 131072;
    window->sourceMonitor()->sample();
    int warnings = 0;
    for (const auto& args : *tips)
        if (args.at(1).value<OvMessageType>() == MessageWarning && args.at(0).toString().contains("dropped"))
            ++warnings;
    EXPECT_EQ(warnings, 1);
    auto* label = child<QLabel>("label_show_dropped_info");
    EXPECT_TRUE(label->isVisible());
    EXPECT_TRUE(label->text().contains("256.0 KiB")) << label->text().toStdString();
    window->sourceMonitor()->stop();
}

TEST_F(WindowTest, DialogsStartFromTheWindowAndCancelChangesNothing)
{
    ASSERT_TRUE(sim::plug(sim::Model::Kestrel, "KE-MW5", gentle()));
    ASSERT_TRUE(window->openRecordingPath(writeRecording("dialogs.raw")));
    const uint64_t start = window->engine()->fileStart();

    // The camera list shows what the driver found; cancelling it leaves the recording open.
    int listed = -1;
    whenDialogShows<CamerasList>([&listed](CamerasList* list) {
        int index = -1;
        listed = list->selectedIndex(index) ? index : -2;
        list->reject();
    });
    window->slotOpenCamera();
    EXPECT_EQ(listed, 0);
    EXPECT_EQ(window->mode(), PlaybackEngine::RawFile);
    EXPECT_TRUE(window->timeSlider()->isEnabled());

    // The cut and export dialogs start with the slider's handles, the configured folders and a
    // date-time name; cancelling writes nothing.
    OvThreeHandleSlider* slider = window->timeSlider();
    slider->setLowerValue(qint64(start + 1000));
    slider->setCenterValue(qint64(start + 1000));
    slider->setUpperValue(qint64(start + 5000));
    QTemporaryDir videos;
    config->setVideoSavePath(videos.path());
    struct Preset {
        quint64 start = 0, end = 0;
        QString dir, name;
    } cut, video;
    whenDialogShows<OvCutRawFile>([&cut](OvCutRawFile* d) {
        cut = {d->startTime(), d->endTime(), d->saveDir(), d->fileName()};
        d->reject();
    });
    window->slotCutRecording();
    whenDialogShows<OvExportVideoUI>([&video](OvExportVideoUI* d) {
        video = {d->startTime(), d->endTime(), d->saveDir(), d->fileName()};
        d->reject();
    });
    window->slotSaveAs();
    EXPECT_EQ(cut.start, start + 1000);
    EXPECT_EQ(cut.end, start + 5000);
    EXPECT_EQ(cut.dir, out);
    EXPECT_TRUE(QRegularExpression("^\\d{8}_\\d{6}\\.raw$").match(cut.name).hasMatch()) << cut.name.toStdString();
    EXPECT_EQ(video.start, start + 1000);
    EXPECT_EQ(video.end, start + 5000);
    EXPECT_EQ(video.dir, videos.path());
    EXPECT_TRUE(QRegularExpression("^\\d{8}_\\d{6}\\.mp4$").match(video.name).hasMatch()) << video.name.toStdString();
    EXPECT_TRUE(rawFilesIn(out).isEmpty());
    EXPECT_EQ(window->mode(), PlaybackEngine::RawFile);

    // Opening a camera while the recording plays stops the playback first.
    slider->setUpperValue(slider->maximum());
    slider->setLowerValue(slider->minimum());
    child<QPushButton>("pb_play")->click();
    ASSERT_TRUE(window->engine()->playing());
    ASSERT_TRUE(window->openCameraSerial("KE-MW5"));
    EXPECT_EQ(window->mode(), PlaybackEngine::EventCamera);
    EXPECT_FALSE(window->timeSlider()->isEnabled());
    EXPECT_EQ(window->engine()->reader(), nullptr);

    // The viewer type button, when shown, goes round DVS, APS, fusion and back to DVS.
    EXPECT_EQ(window->viewerType(), 0);
    QSignalSpy types(window.get(), &MainWidget::signalSetViewerShowType);
    auto* type = child<QPushButton>("pb_viewer_type");
    type->show();
    for (int i = 0; i < 3; ++i)
        type->click();
    ASSERT_EQ(types.count(), 3);
    EXPECT_EQ(types[0].at(0).value<orvane::STREAM_TYPE>(), orvane::STREAM_APS);
    EXPECT_EQ(types[2].at(0).value<orvane::STREAM_TYPE>(), orvane::STREAM_DVS);
    EXPECT_EQ(window->viewerType(), 0);
}
