// How fast the viewer shows the picture of a new place on a recording: a click on the time
// slider's track and a drag of its centre handle, paused and while playing, timed from the
// slider's signal to the new picture on screen (the image view's pixmap changes). Beside it, the
// baseline: the reader alone seeking and reading one 33 ms window at the same places. The budget is
// one frame period (33.3 ms).
//   orvane_bench_viewer_seek FILE.raw [SEEKS]     (QT_QPA_PLATFORM=offscreen or under xvfb-run)
#include "MainWidget.h"
#include "OvMessageType.h"
#include "OvThreeHandleSlider.h"
#include "PlaybackEngine.h"
#include "Resources.h"
#include "ShowImageForm.h"

#include "orvane/driver/DvsFileReader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QTest>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <random>
#include <vector>

namespace {

struct Stats {
    double median, p90, max;
};

Stats summarise(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    if (ms.empty())
        return {0, 0, 0};
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)], ms.back()};
}

void print(const char* what, const Stats& s)
{
    std::printf("%-34s median %7.2f ms   p90 %7.2f ms   max %7.2f ms\n", what, s.median, s.p90, s.max);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: orvane_bench_viewer_seek FILE.raw [SEEKS]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initViewerResources();
    registerOvMessageType();
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int seeks = argc > 2 ? std::max(5, atoi(argv[2])) : 60;

    // Baseline: the reader by itself.
    auto reader = orvane::DvsFileReader::createFileReader(QFile::encodeName(path).toStdString());
    if (!reader || !reader->loadFile()) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    uint64_t start = 0, end = 0;
    reader->getStartTimeStamp(start);
    reader->getEndTimeStamp(end);
    std::mt19937_64 rng(42);
    std::vector<uint64_t> places(static_cast<size_t>(seeks));
    for (uint64_t& p : places)
        p = start + rng() % std::max<uint64_t>(1, end - start - 1'000'000);
    std::vector<double> base;
    for (uint64_t p : places) {
        QElapsedTimer t;
        t.start();
        auto batch = reader->getNTimeEventsGivenStartTimeStamp(p, 33333);
        base.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    reader.reset();

    MainWidget window(nullptr);
    window.show();
    QTest::qWaitForWindowExposed(&window);
    if (!window.openRecordingPath(path))
        return 1;
    OvThreeHandleSlider* slider = window.timeSlider();
    ShowImageForm* view = window.imageView();
    PlaybackEngine* engine = window.engine();

    const auto waitPicture = [&](qint64 oldKey, const std::function<bool()>& also) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000) {
            QApplication::processEvents(QEventLoop::AllEvents, 1);
            if (view->currentPixmap().cacheKey() != oldKey && also())
                return true;
        }
        return false;
    };
    const auto measure = [&](bool drag, bool playing) {
        std::vector<double> ms;
        for (uint64_t p : places) {
            const qint64 key = view->currentPixmap().cacheKey();
            QElapsedTimer t;
            t.start();
            if (drag)
                Q_EMIT slider->centerValueMove(qint64(p));
            else
                Q_EMIT slider->centerValueTrackClick(qint64(p));
            // While playing, the picture must come from the new place (within three steps of it).
            const uint64_t step = engine->frameStep();
            if (waitPicture(key, [&] { return !playing || (engine->position() >= p && engine->position() <= p + 3 * step); }))
                ms.push_back(double(t.nsecsElapsed()) / 1e6);
            else
                ms.push_back(5000);
            QTest::qWait(playing ? 60 : 5);
        }
        return summarise(ms);
    };

    QTest::qWait(1000);  // playing
    const Stats clickPlaying = measure(false, true);
    if (engine->playing())
        QTest::keyClick(&window, Qt::Key_Space);
    const Stats clickPaused = measure(false, false);
    const Stats dragPaused = measure(true, false);

    std::printf("%s: %.1f s of recording, %d places\n", argv[1], double(end - start) / 1e6, seeks);
    print("baseline: reader seek + 33 ms read", summarise(base));
    print("track click, paused", clickPaused);
    print("centre drag, paused", dragPaused);
    print("track click, playing", clickPlaying);
    std::printf("budget: one frame period, 33.33 ms\n");
    return 0;
}
