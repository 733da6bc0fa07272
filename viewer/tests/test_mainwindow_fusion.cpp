// The main window with the fusion camera's sources: the simulated Tandem live and recording, and
// the recording it made replayed as a fusion recording, or as a plain one when its frames are gone.
#include "AppConfig.h"
#include "MainWidget.h"
#include "MainWindowFixture.h"
#include "OvActivityTimeline.h"
#include "OvFusionCameraDataProcessor.h"
#include "OvThreeHandleSlider.h"
#include "PlaybackEngine.h"
#include "ShowImageForm.h"
#include "SourceMonitor.h"

#include "orvane/driver/DvsFileReader.h"
#include "orvane/driver/Mp4FileReader.h"
#include "orvane/hal/Simulator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <numeric>

namespace sim = orvane::sim;

namespace {

constexpr int kLong = 60000;  // ms: generous limits for a loaded machine under sanitizers

class FusionWindowTest : public MainWindowFixture {
protected:
    QString lastTipText() const { return tips->isEmpty() ? QString() : tips->last().at(0).toString(); }
    int lastTipType() const { return tips->isEmpty() ? -1 : tips->last().at(1).value<OvMessageType>(); }

    // A fusion picture: white outside the APS picture, something else inside it.
    bool showsFusionPicture()
    {
        const QImage image = window->imageView()->currentPixmap().toImage();
        if (image.size() != QSize(1280, 720))
            return false;
        return (image.pixel(20, 20) & 0xFFFFFF) == 0xFFFFFF && (image.pixel(1260, 700) & 0xFFFFFF) == 0xFFFFFF &&
               (image.pixel(640, 360) & 0xFFFFFF) != 0xFFFFFF;
    }
    uint64_t built() const { return window->fusionProcessor()->builtPictures(); }

};

}  // namespace

TEST_F(FusionWindowTest, TandemStreamsRecordsAndItsRecordingReplaysOrOpensPlainWithoutItsFrames)
{
    sim::DeviceOptions options;
    options.eventRate = 300'000;
    ASSERT_TRUE(sim::plug(sim::Model::Tandem, "TD-MWF", options));
    ASSERT_TRUE(window->openCameraSerial("TD-MWF")) << lastTipText().toStdString();
    EXPECT_EQ(window->mode(), PlaybackEngine::FusionCamera);
    EXPECT_EQ(window->viewerType(), 2);
    auto* play = child<QPushButton>("pb_play");
    EXPECT_TRUE(play->isChecked());
    EXPECT_EQ(child<QLabel>("label_show_camera_info")->text(), "TD-MWF");
    EXPECT_FALSE(window->timeSlider()->isEnabled());
    // A camera has no transport: the buttons are off, and the keys change nothing.
    for (const char* name : {"pb_loop", "pb_next", "pb_prv", "pb_stop"})
        EXPECT_FALSE(child(name)->isEnabled()) << name;
    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_TRUE(play->isChecked());

    // Fusion pictures arrive (the trigger input is on, or no frame would find its events), with the
    // frame's time in the info bar.
    ASSERT_TRUE(QTest::qWaitFor([&] { return built() >= 3 && showsFusionPicture(); }, kLong));
    EXPECT_FALSE(child<QLabel>("label_show_timestamp_info")->text().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->sourceMonitor()->rate() > 0; }, kLong));

    // Two seconds of recording: a raw file and an mp4 of the same name.
    auto* record = child<QPushButton>("pb_record");
    record->click();
    ASSERT_TRUE(record->isChecked()) << lastTipText().toStdString();
    // The clock ticks once a second; a busy machine may show a second late.
    ASSERT_TRUE(QTest::qWaitFor([&] { return child<QLabel>("lb_recoding_time")->text() >= "00:00:02"; }, kLong));
    record->click();
    EXPECT_FALSE(record->isChecked());
    const QStringList raws = QDir(out).entryList({"*.raw"}, QDir::Files);
    ASSERT_EQ(raws.size(), 1);
    EXPECT_EQ(lastTipText(), "Saved " + raws.front());
    const QString raw = QDir(out).filePath(raws.front());
    const QString mp4 = QDir(out).filePath(QFileInfo(raw).completeBaseName() + ".mp4");
    ASSERT_TRUE(QFileInfo::exists(mp4));

    // The play button pauses and resumes the camera.
    play->click();
    EXPECT_FALSE(play->isChecked());
    const uint64_t paused = built();
    QTest::qWait(300);
    EXPECT_LE(built(), paused + 1) << "no pictures while paused";
    play->click();
    EXPECT_TRUE(play->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return built() > paused + 2; }, kLong));

    // Its recording replays as a fusion recording, the slider over its range, to the end.
    play->click();  // the camera stops: every picture built from here on is the recording's
    const uint64_t before = built();
    ASSERT_TRUE(window->openRecordingPath(raw)) << lastTipText().toStdString();
    EXPECT_EQ(window->mode(), PlaybackEngine::FusionFile);
    EXPECT_EQ(record->isChecked(), false);
    OvFusionCameraDataProcessor* processor = window->fusionProcessor();
    const uint64_t start = processor->startTimestamp();
    const uint64_t end = processor->endTimestamp();
    ASSERT_LT(start, end);
    EXPECT_TRUE(processor->hasDvsOffset());
    OvThreeHandleSlider* slider = window->timeSlider();
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->minimum(), qint64(start));
    EXPECT_EQ(slider->maximum(), qint64(end));
    EXPECT_TRUE(play->isChecked());
    // Its activity strip holds every event of the recording.
    {
        auto events = orvane::DvsFileReader::createFileReader(QFile::encodeName(raw).toStdString());
        uint64_t total = 0;
        ASSERT_TRUE(events && events->loadFile() && events->getMaxEvents(total));
        const auto& profile = window->activityTimeline()->profile();
        EXPECT_EQ(std::accumulate(profile.begin(), profile.end(), uint64_t(0)), total);
        EXPECT_TRUE(window->activityTimeline()->isVisible());
    }
    qint64 furthest = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            furthest = std::max(furthest, slider->centerValue());
            return !play->isChecked();
        },
        kLong));
    std::vector<uint64_t> frames;
    orvane::Mp4FileReader reader(QFile::encodeName(mp4).toStdString());
    ASSERT_TRUE(reader.loadFile());
    reader.getTimeStamps(frames);
    EXPECT_GE(frames.size(), 10u);
    EXPECT_EQ(built() - before, frames.size()) << "one picture per recorded frame";
    EXPECT_GT(furthest, qint64(start)) << "the slider followed the pictures";
    EXPECT_LE(furthest, qint64(end));
    EXPECT_EQ(slider->centerValue(), qint64(start)) << "back at the start once finished";
    EXPECT_FALSE(processor->isPlaying());
    EXPECT_TRUE(showsFusionPicture());
    // Play again starts from the beginning.
    play->click();
    EXPECT_TRUE(play->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return processor->isPlaying(); }, kLong));
    play->click();
    EXPECT_FALSE(play->isChecked());
    EXPECT_FALSE(processor->isPlaying());

    // Every transport action works on it, one APS frame a step.
    for (const char* name : {"pb_loop", "pb_next", "pb_prv", "pb_stop"})
        EXPECT_TRUE(child(name)->isEnabled()) << name;
    child<QPushButton>("pb_stop")->click();
    const uint64_t first = processor->shownTime();
    EXPECT_EQ(slider->centerValue(), qint64(first));
    const auto frameTime = [&](size_t i) { return first + (frames[i] - frames[0]); };
    const uint64_t stepped = built();
    child<QPushButton>("pb_next")->click();
    child<QPushButton>("pb_next")->click();
    EXPECT_EQ(processor->shownTime(), frameTime(2));
    EXPECT_EQ(slider->centerValue(), qint64(frameTime(2)));
    QTest::keyClick(window.get(), Qt::Key_Left);
    EXPECT_EQ(processor->shownTime(), frameTime(1));
    EXPECT_EQ(built(), stepped + 3) << "one picture per step";
    child<QPushButton>("pb_prv")->click();
    child<QPushButton>("pb_prv")->click();  // no frame before the first
    EXPECT_EQ(processor->shownTime(), frameTime(0));
    window->onSliderTimeTrackClick(qint64(frameTime(5) + 1));
    EXPECT_EQ(processor->shownTime(), frameTime(5));
    EXPECT_EQ(slider->centerValue(), qint64(frameTime(5)));
    // The played range ends playing at its upper handle; looping goes round it (eight frames a round).
    slider->setUpperValue(qint64(frameTime(7)));
    const uint64_t looped = built();
    child<QPushButton>("pb_loop")->click();
    play->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return built() > looped + 20; }, kLong))
        << built() - looped << " playing " << processor->isPlaying() << " shown " << processor->shownTime() << " upper "
        << frameTime(7) << " checked " << play->isChecked();
    EXPECT_TRUE(play->isChecked()) << "a loop does not end";
    EXPECT_LE(processor->shownTime(), frameTime(7));
    child<QPushButton>("pb_loop")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !play->isChecked(); }, kLong));
    EXPECT_EQ(slider->centerValue(), qint64(start));

    // Without its mp4 it is a plain recording.
    const QByteArray video = [&] {
        QFile f(mp4);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_FALSE(video.isEmpty());
    ASSERT_TRUE(QFile::remove(mp4));
    ASSERT_TRUE(window->openRecordingPath(raw));
    EXPECT_EQ(window->mode(), PlaybackEngine::RawFile);

    // Its video is written in fragments: one cut short (as a killed recorder leaves it) still plays
    // its first frames.
    {
        QFile f(mp4);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(video.left(video.size() * 2 / 3));
    }
    ASSERT_TRUE(window->openRecordingPath(raw)) << lastTipText().toStdString();
    EXPECT_EQ(window->mode(), PlaybackEngine::FusionFile);

    // With an mp4 that cannot be read (cut short before its first frame), it says so and opens the
    // events alone.
    {
        QFile f(mp4);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(video.left(64));
    }
    const int tipsBefore = tips->count();
    ASSERT_TRUE(window->openRecordingPath(raw));
    EXPECT_EQ(window->mode(), PlaybackEngine::RawFile);
    bool told = false;
    for (int i = tipsBefore; i < tips->count(); ++i)
        told = told || ((*tips)[i].at(0).toString().contains("could not be read") &&
                        (*tips)[i].at(1).value<OvMessageType>() == MessageError);
    EXPECT_TRUE(told);
    EXPECT_TRUE(play->isChecked()) << "the events play";
}

TEST_F(FusionWindowTest, AnUnpluggedTandemIsToldAndStopsStreaming)
{
    sim::DeviceOptions options;
    options.eventRate = 300'000;
    ASSERT_TRUE(sim::plug(sim::Model::Tandem, "TD-MWG", options));
    ASSERT_TRUE(window->openCameraSerial("TD-MWG"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return built() >= 2; }, kLong));
    ASSERT_TRUE(sim::unplug("TD-MWG"));
    auto* play = child<QPushButton>("pb_play");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !play->isChecked(); }, kLong));
    EXPECT_EQ(lastTipText(), "Camera connection lost.");
    EXPECT_EQ(lastTipType(), MessageError);
    play->click();
    EXPECT_FALSE(play->isChecked());
    EXPECT_EQ(lastTipText(), "Please connect camera first.");
}
