// The fusion frame builder: where the APS picture lands, how counts become colours, the live paths
// on a device-less fusion camera, and replay of fusion recordings (generated ones and one made by the
// simulated Tandem through the driver).
#include "OvFusionCameraDataProcessor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "FusionProbe.h"
#include "RawFileTestSupport.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "orvane/driver/DvsCameraManager.h"
#include "orvane/driver/Mp4FileReader.h"
#include "orvane/hal/CameraTool.h"
#include "orvane/hal/Simulator.h"

using namespace orvane;

namespace {

const bool kFastPauses = [] {
    setenv("ORVANE_SIM_FAST_PAUSES", "1", 1);
    return true;
}();

constexpr int kW = 1280, kH = 720;

template <typename Predicate>
bool waitFor(Predicate done, int limitMs = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Canvas pixel as (r, g, b).
struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
Rgb at(const QImage& image, int x, int y)
{
    const uchar* p = image.constScanLine(y) + 3 * x;
    return {p[2], p[1], p[0]};
}
constexpr Rgb kWhite{255, 255, 255}, kRed{255, 0, 0}, kBlue{0, 0, 255};

// A 3840 x 2160 BGR frame of one colour.
std::vector<uint8_t> solidFrame(uint8_t b, uint8_t g, uint8_t r, int width = 3840, int height = 2160)
{
    std::vector<uint8_t> data(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < data.size(); i += 3) {
        data[i] = b;
        data[i + 1] = g;
        data[i + 2] = r;
    }
    return data;
}

ApsFrame frameOf(std::vector<uint8_t>& data, uint64_t timestamp)
{
    ApsFrame f;
    f.data = data.data();
    f.size = static_cast<uint32_t>(data.size());
    f.timestamp = timestamp;
    return f;
}

// Receives pictures on the thread that emits them (no event loop needed).
struct Pictures {
    std::mutex lock;
    std::vector<QImage> images;
    std::vector<uint64_t> times;
    explicit Pictures(OvFusionCameraDataProcessor& p)
    {
        QObject::connect(&p, &OvFusionCameraDataProcessor::signalFusionImage, &p,
                         [this](const QImage& i) {
                             std::lock_guard g(lock);
                             images.push_back(i);
                         },
                         Qt::DirectConnection);
        QObject::connect(&p, &OvFusionCameraDataProcessor::signalTimeStamp, &p,
                         [this](uint64_t t) {
                             std::lock_guard g(lock);
                             times.push_back(t);
                         },
                         Qt::DirectConnection);
    }
    size_t count()
    {
        std::lock_guard g(lock);
        return images.size();
    }
};

TEST(FusionPicture, ApsPictureIsCentredAndShrunkInsideAWhiteBorder)
{
    std::vector<uint8_t> source(3840u * 2160 * 3);
    // Each source pixel carries its own coordinates, so the sampled position can be read back.
    for (int y = 0; y < 2160; ++y)
        for (int x = 0; x < 3840; ++x) {
            uint8_t* p = &source[(static_cast<size_t>(y) * 3840 + x) * 3];
            p[0] = static_cast<uint8_t>(x & 0xFF);
            p[1] = static_cast<uint8_t>(y & 0xFF);
            p[2] = static_cast<uint8_t>(((x >> 8) & 0x0F) | ((y >> 8) << 4));
        }
    QImage canvas(kW, kH, QImage::Format_BGR888);
    canvas.fill(Qt::black);
    OvFusionCameraDataProcessor::resample(source.data(), 3840, 2160, canvas);

    auto sampled = [&](int x, int y) {
        const uchar* p = canvas.constScanLine(y) + 3 * x;
        return std::pair<int, int>((p[2] & 0x0F) << 8 | p[0], (p[2] >> 4) << 8 | p[1]);
    };
    EXPECT_EQ(sampled(640, 360), std::make_pair(1920, 1080)) << "centre on centre";
    EXPECT_EQ(sampled(67, 38), std::make_pair(0, 0));
    EXPECT_EQ(sampled(1212, 682).first, 3837);
    EXPECT_EQ(sampled(1212, 682).second, 2159);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const bool inside = x >= 67 && x <= 1212 && y >= 38 && y <= 682;
            const Rgb c = at(canvas, x, y);
            if (!inside) {
                ASSERT_EQ(c, kWhite) << x << "," << y;
            } else if (x == 67 || x == 1212 || y == 38 || y == 682) {
                ASSERT_NE(c, kWhite) << x << "," << y;
            }
        }
    }
}

TEST(FusionLive, DvsPicturesCountSaturateMirrorAndStartAfreshEachFrame)
{
    OvFusionCameraDataProcessor p;
    Pictures got(p);
    std::vector<uint8_t> frame = solidFrame(10, 20, 30);
    std::vector<Event2D> events;
    auto add = [&](uint16_t x, uint16_t y, uint8_t pol, int n) {
        for (int i = 0; i < n; ++i) events.emplace_back(x, y, pol, 100);
    };

    // In fusion mode (the initial type) counting is off.
    add(300, 10, 1, 1);
    p.accumulateEvents(events.data(), events.data() + events.size());
    p.slotSetViewerType(STREAM_DVS);
    events.clear();
    add(100, 10, 1, 3), add(100, 10, 0, 3);  // tie: red
    add(101, 10, 0, 1);                      // one OFF: blue
    add(102, 10, 1, 12), add(102, 10, 0, 25);  // both stop at 10: red, where raw counts say blue
    add(1, 20, 1, 1);                          // mirrored to the last column
    add(0, 30, 1, 5);                          // no column of its own: never drawn
    add(1280, 40, 0, 1);                       // mirrored to column 0
    p.accumulateEvents(events.data(), events.data() + events.size());
    EXPECT_EQ(got.count(), 0u) << "nothing before the first APS frame";

    p.processApsFrame(frameOf(frame, 5000));
    ASSERT_EQ(got.count(), 1u);
    const QImage first = got.images[0];
    EXPECT_EQ(got.times[0], 5000u);
    EXPECT_EQ(at(first, 1280 - 100, 10), kRed);
    EXPECT_EQ(at(first, 1280 - 101, 10), kBlue);
    EXPECT_EQ(at(first, 1280 - 102, 10), kRed);
    EXPECT_EQ(at(first, 1279, 20), kRed);
    EXPECT_EQ(at(first, 0, 40), kBlue);
    EXPECT_EQ(at(first, 1280 - 300, 10), kWhite) << "counted while not in DVS mode";
    int coloured = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) coloured += at(first, x, y) != kWhite;
    EXPECT_EQ(coloured, 5) << "the APS frame is not drawn, and x = 0 nowhere";

    // The next frame holds only what came since.
    events.assign(1, Event2D(500, 500, 0, 200));
    p.accumulateEvents(events.data(), events.data() + events.size());
    p.processApsFrame(frameOf(frame, 6000));
    ASSERT_EQ(got.count(), 2u);
    EXPECT_EQ(at(got.images[1], 1280 - 100, 10), kWhite);
    EXPECT_EQ(at(got.images[1], 780, 500), kBlue);
    EXPECT_EQ(at(first, 780, 500), kWhite) << "a sent picture never changes";
    EXPECT_EQ(p.builtPictures(), 2u);
}

TEST(FusionLive, FusionAndApsPicturesFromTheCamerasBuffers)
{
    auto probe = std::make_shared<test::FusionProbe>();
    OvFusionCameraDataProcessor p;
    Pictures got(p);
    std::vector<uint8_t> frame = solidFrame(40, 80, 120);

    std::vector<Event2D> events;
    for (int i = 0; i < 3; ++i) events.emplace_back(200, 100, 1, 1000), events.emplace_back(200, 100, 0, 1000);
    events.emplace_back(201, 100, 0, 1001);
    probe->events(events);
    probe->edge(1, 2000);

    p.processApsFrame(frameOf(frame, 2000));
    EXPECT_EQ(got.count(), 0u) << "no camera: no fusion picture";
    p.setFusionCamera(probe);
    p.processApsFrame(frameOf(frame, 1999));
    EXPECT_EQ(got.count(), 0u) << "no buffer under that time";
    p.processApsFrame(frameOf(frame, 2000));
    ASSERT_EQ(got.count(), 1u);
    const QImage fused = got.images[0];
    EXPECT_EQ(got.times[0], 2000u);
    // The camera's buffer is already mirrored: drawn as it stands.
    EXPECT_EQ(at(fused, 1280 - 200, 100), kRed);
    EXPECT_EQ(at(fused, 1280 - 201, 100), kBlue);
    EXPECT_EQ(at(fused, 640, 360), (Rgb{120, 80, 40})) << "the APS pixel where no event fell";
    EXPECT_EQ(at(fused, 10, 10), kWhite);

    // A type change acts on the very next frame.
    p.slotSetViewerType(STREAM_APS);
    p.processApsFrame(frameOf(frame, 3000));
    ASSERT_EQ(got.count(), 2u);
    EXPECT_EQ(at(got.images[1], 1280 - 200, 100), (Rgb{120, 80, 40}));
    EXPECT_EQ(at(fused, 1280 - 200, 100), kRed) << "a sent picture never changes";

    // A frame too small to be a whole APS picture is not read.
    std::vector<uint8_t> small(100);
    p.processApsFrame(frameOf(small, 4000));
    EXPECT_EQ(got.count(), 2u);
    p.setFusionCamera(nullptr);
}

// ---- recordings --------------------------------------------------------------------------------

// A fusion recording written in code: events spread over the raw file, small frames each of their
// own grey, and (optionally) the DVS time of the first frame in the mp4.
struct GeneratedRecording {
    static constexpr uint64_t kStart = 5'000'000;
    static constexpr uint64_t kSpan = 400'000;
    static constexpr int kFrames = 8;
    static constexpr int kFrameW = 640, kFrameH = 360;

    test::TempDir dir;
    std::string raw = dir.file("take.raw");
    std::string mp4 = dir.file("take.mp4");
    std::vector<Event2D> events;

    explicit GeneratedRecording(const std::string& dvsOffset)
    {
        test::StreamShape shape;
        shape.startUs = kStart;
        shape.durationUs = kSpan;
        shape.events = 6000;
        events = test::makeEvents(shape);
        test::writeBytes(raw, test::standardRawHeader(), test::encodeStream(events, shape));

        DataToVideoConverter converter;
        converter.setConverterFrameSize(kFrameH, kFrameW, kFrameH, kFrameW);
        converter.setConverterFmt(VIDEO_PIX_FMT_BGR24, VIDEO_PIX_FMT_YUV420P);
        if (!dvsOffset.empty()) converter.setMetadata(kVideoDvsOffsetKey, dvsOffset);
        EXPECT_EQ(converter.initVideoConverter(mp4), 0);
        for (int i = 0; i < kFrames; ++i) {
            const std::vector<uint8_t> image = solidFrame(static_cast<uint8_t>(30 + 25 * i), static_cast<uint8_t>(30 + 25 * i),
                                                          static_cast<uint8_t>(30 + 25 * i), kFrameW, kFrameH);
            EXPECT_EQ(converter.rgbToVideo(image.data()), 0);
        }
        EXPECT_EQ(converter.flushAndCloseVideo(), 0);
    }
    uint64_t lastEvent() const { return events.back().timestamp; }
};

// Plays a loaded recording to its end and keeps every picture with its time.
struct Playback {
    OvFusionCameraDataProcessor& p;
    Pictures pictures{p};
    int finishedSignals = 0;
    std::vector<std::pair<uint64_t, uint64_t>> progress;
    explicit Playback(OvFusionCameraDataProcessor& processor) : p(processor)
    {
        // Recorded on the play thread, under the pictures' lock.
        QObject::connect(&p, &OvFusionCameraDataProcessor::signalPalyFileFinished, &p,
                         [this] {
                             std::lock_guard g(pictures.lock);
                             ++finishedSignals;
                         },
                         Qt::DirectConnection);
        QObject::connect(&p, &OvFusionCameraDataProcessor::signalPlayProgress, &p,
                         [this](uint64_t cur, uint64_t total) {
                             std::lock_guard g(pictures.lock);
                             progress.emplace_back(cur, total);
                         },
                         Qt::DirectConnection);
    }
    bool playToEnd()
    {
        const int before = finishedCount();
        p.slotFusionFilePlayControl(true);
        const bool done = waitFor([&] { return finishedCount() > before; });
        p.slotFusionFilePlayControl(false);  // joins the play thread, which emits on after the signal
        return done;
    }
    int finishedCount()
    {
        std::lock_guard g(pictures.lock);
        return finishedSignals;
    }
};

// The pixels a picture must have: `frameColour` where the frame is, white around it, and the events
// of [from, to) on top, mirrored, the last at a pixel deciding.
void expectPicture(const QImage& picture, const std::vector<Event2D>& events, uint64_t from, uint64_t to, int grey,
                   const std::string& what)
{
    std::map<std::pair<int, int>, Rgb> painted;
    for (const Event2D& e : events) {
        if (e.timestamp < from || e.timestamp >= to || e.x == 0) continue;
        painted[{1280 - e.x, e.y}] = e.polarity ? kRed : kBlue;
    }
    int wrong = 0;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const Rgb c = at(picture, x, y);
            const auto it = painted.find({x, y});
            if (it != painted.end()) {
                wrong += !(c == it->second);
            } else if (c == kRed || c == kBlue) {
                ++wrong;
            }
        }
    }
    EXPECT_EQ(wrong, 0) << what << ": " << painted.size() << " event pixels expected";
    // Inside the small frame, away from events, the frame's own grey shows (H.264 is near, not exact).
    for (int y = 40; y < 140; y += 7) {
        const Rgb c = at(picture, 100 + y % 50, y);
        if (c == kRed || c == kBlue) continue;
        EXPECT_NEAR(c.g, grey, 8) << what << " at " << 100 + y % 50 << "," << y;
        break;
    }
}

class FusionReplay : public ::testing::TestWithParam<bool> {};

// With the stored first-frame time, frames are placed at their DVS times; without it at the first
// event, as recordings without that time always were.
TEST_P(FusionReplay, EachPictureShowsItsFrameWithTheEventsOfItsOwnPeriod)
{
    const bool withOffset = GetParam();
    const uint64_t offset = withOffset ? GeneratedRecording::kStart + 123'457 : GeneratedRecording::kStart;
    GeneratedRecording rec(withOffset ? std::to_string(offset) : std::string());
    OvFusionCameraDataProcessor p;
    QSignalSpy start(&p, &OvFusionCameraDataProcessor::signalStartTimeStamp);
    QSignalSpy end(&p, &OvFusionCameraDataProcessor::signalEndTimeStamp);
    ASSERT_TRUE(p.slotReadFusionFile(rec.raw));
    EXPECT_EQ(p.hasDvsOffset(), withOffset);
    ASSERT_EQ(start.count(), 1);
    const uint64_t startTs = p.startTimestamp();
    EXPECT_LE(startTs, rec.events.front().timestamp);
    EXPECT_EQ(start[0][0].value<uint64_t>(), startTs);
    ASSERT_EQ(end.count(), 1);
    const uint64_t endTs = p.endTimestamp();
    EXPECT_GE(endTs, rec.lastEvent());
    EXPECT_EQ(end[0][0].value<uint64_t>(), endTs);

    Playback play(p);
    ASSERT_TRUE(play.playToEnd());
    std::lock_guard g(play.pictures.lock);
    ASSERT_EQ(play.pictures.images.size(), static_cast<size_t>(GeneratedRecording::kFrames));
    const uint64_t first = withOffset ? offset : startTs;
    uint64_t painted = 0;
    for (int i = 0; i < GeneratedRecording::kFrames; ++i) {
        const uint64_t t = first + static_cast<uint64_t>(i) * DataToVideoConverter::kFramePeriodUs;
        EXPECT_EQ(play.pictures.times[i], t) << "picture " << i;
        const uint64_t next = t + DataToVideoConverter::kFramePeriodUs;
        expectPicture(play.pictures.images[i], rec.events, t, next, 30 + 25 * i, "picture " + std::to_string(i));
        for (const Event2D& e : rec.events) painted += e.timestamp >= t && e.timestamp < next;
    }
    EXPECT_EQ(p.paintedEvents(), painted);
    // Progress follows the pictures' times, then returns to the start once.
    ASSERT_EQ(play.progress.size(), GeneratedRecording::kFrames + 1u);
    EXPECT_EQ(play.progress[0].first, first);
    EXPECT_EQ(play.progress.back(), std::make_pair(startTs, endTs));
    EXPECT_EQ(play.finishedSignals, 1);
    EXPECT_FALSE(p.isPlaying());
}

INSTANTIATE_TEST_SUITE_P(DvsOffset, FusionReplay, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) { return param.param ? "Stored" : "Missing"; });

TEST(FusionReplayControl, ReplayLoopsWithoutFinishingAndPlayResumesAfterAStop)
{
    GeneratedRecording rec(std::to_string(GeneratedRecording::kStart));
    OvFusionCameraDataProcessor p;
    ASSERT_TRUE(p.slotReadFusionFile(rec.raw));
    Playback play(p);
    p.slotSetReplayFlag(true);
    p.slotFusionFilePlayControl(true);
    ASSERT_TRUE(waitFor([&] { return play.pictures.count() >= 2 * GeneratedRecording::kFrames + 2; }));
    p.slotFusionFilePlayControl(false);
    EXPECT_EQ(play.finishedCount(), 0);
    {
        std::lock_guard g(play.pictures.lock);
        // The second round starts again at the first frame.
        EXPECT_EQ(play.pictures.times[GeneratedRecording::kFrames], play.pictures.times[0]);
        EXPECT_GT(play.pictures.times[GeneratedRecording::kFrames - 1], play.pictures.times[0]);
    }

    // Stopped mid-way, a new start goes on from there and finishes once.
    p.slotSetReplayFlag(false);
    const size_t before = play.pictures.count();
    ASSERT_TRUE(play.playToEnd());
    EXPECT_LE(play.pictures.count() - before, static_cast<size_t>(GeneratedRecording::kFrames));
    EXPECT_EQ(play.finishedCount(), 1);
    // After the end it plays from the start again.
    const size_t round = play.pictures.count();
    ASSERT_TRUE(play.playToEnd());
    EXPECT_EQ(play.finishedCount(), 2);
    EXPECT_EQ(play.pictures.count() - round, static_cast<size_t>(GeneratedRecording::kFrames));
}

TEST(FusionReplayLoad, UnreadableFramesFailBeforeTheEventsAreOpened)
{
    GeneratedRecording rec("");
    const std::string index = rec.raw + ".ovmark.tmp";
    const std::vector<uint8_t> good = test::readBytes(rec.mp4);
    auto writeMp4 = [&](const std::vector<uint8_t>& bytes) {
        std::ofstream out(rec.mp4, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    struct Case {
        const char* what;
        std::function<void()> damage;
    };
    const Case cases[] = {
        {"missing", [&] { std::filesystem::remove(rec.mp4); }},
        {"truncated", [&] { writeMp4(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2)); }},
        {"garbage", [&] { writeMp4(std::vector<uint8_t>(good.size(), 0x5A)); }},
    };
    for (const Case& c : cases) {
        c.damage();
        OvFusionCameraDataProcessor p;
        QSignalSpy start(&p, &OvFusionCameraDataProcessor::signalStartTimeStamp);
        EXPECT_FALSE(p.slotReadFusionFile(rec.raw)) << c.what;
        EXPECT_EQ(p.loadFailure(), OvFusionCameraDataProcessor::LoadFailure::Frames) << c.what;
        EXPECT_EQ(start.count(), 0) << c.what;
        EXPECT_FALSE(std::filesystem::exists(index)) << c.what << ": the raw file was opened";
    }

    // Good frames beside a raw file with a broken header: the events fail, nothing throws.
    writeMp4(good);
    test::writeBytes(rec.raw, "% evt 3.0\n% geometry 12x\n% end\n", {});
    OvFusionCameraDataProcessor p;
    EXPECT_FALSE(p.slotReadFusionFile(rec.raw));
    EXPECT_EQ(p.loadFailure(), OvFusionCameraDataProcessor::LoadFailure::Events);
    // Playing what failed to load ends at once, without a crash.
    Playback play(p);
    ASSERT_TRUE(play.playToEnd());
    EXPECT_EQ(play.pictures.count(), 0u);
}

// A recording made by the simulated Tandem through the driver, replayed: each picture carries its
// frame's trigger edge, and the events painted on it are exactly those up to the next frame's edge.
TEST(FusionReplayTandem, PicturesCarryTheirTriggerEdgeAndTheirPeriodsEvents)
{
    const std::string serial = "TD-VIEW-REPLAY";
    sim::DeviceOptions options;
    options.eventRate = 300000;  // sparse enough that pixels rarely repeat within a period
    ASSERT_TRUE(sim::plug(sim::Model::Tandem, serial, options));
    test::TempDir dir;
    const std::string base = dir.file("tandem");
    {
        DvsCameraManager manager;
        manager.getCameraDescs();
        auto camera = manager.openFusionCamera(serial);
        ASSERT_NE(camera, nullptr);
        camera->getTool(TOOL_TRIGGER_IN)->setParam("enable", true);
        std::atomic<int> frames{0};
        camera->addApsFrameCallback([&](const ApsFrame& f) { frames += f.timestamp != 0; });
        ASSERT_EQ(camera->startRecording(base + ".raw", STREAM_BOTH), 0);
        ASSERT_EQ(camera->start(STREAM_BOTH), 0);
        const bool enough = waitFor([&] { return frames.load() >= 12; }, 60000);
        camera->stop(STREAM_BOTH);
        ASSERT_EQ(camera->stopRecording(STREAM_BOTH), 0);
        ASSERT_TRUE(enough);
    }
    sim::unplug(serial);

    const test::DecodedRecording raw = test::decodeRecording(base + ".raw");
    ASSERT_TRUE(raw.header);
    Mp4FileReader reference(base + ".mp4");
    ASSERT_TRUE(reference.loadFile());
    std::vector<uint64_t> frameTimes;
    reference.getTimeStamps(frameTimes);
    const uint64_t offset = std::stoull(reference.getMetadata(kVideoDvsOffsetKey));
    ASSERT_GE(frameTimes.size(), 2u);

    OvFusionCameraDataProcessor p;
    ASSERT_TRUE(p.slotReadFusionFile(base + ".raw"));
    ASSERT_TRUE(p.hasDvsOffset());

    // Each picture is compared as it is emitted, against the reference frame resampled the same way
    // with that frame's events painted on it.
    std::vector<uint64_t> times;
    std::vector<std::string> mismatches;
    size_t index = 0;
    QImage expected(kW, kH, QImage::Format_BGR888);
    QObject::connect(
        &p, &OvFusionCameraDataProcessor::signalFusionImage, &p,
        [&](const QImage& picture) {
            ApsFrame f{};
            do {
                f.data = nullptr;
                if (!reference.getNextFrame(f)) return mismatches.push_back("reference ended");
            } while (!f.data);
            const uint64_t t = offset + f.timestamp;
            const uint64_t next = index + 1 < frameTimes.size() ? offset + frameTimes[index + 1]
                                                                 : t + DataToVideoConverter::kFramePeriodUs;
            OvFusionCameraDataProcessor::resample(f.data, reference.getWidth(), reference.getHeight(), expected);
            for (const Event2D& e : raw.events) {
                if (e.timestamp < t || e.timestamp >= next || e.x == 0 || e.x > 1280 || e.y >= kH) continue;
                uchar* px = expected.scanLine(e.y) + 3 * (1280 - e.x);
                px[0] = e.polarity ? 0 : 255, px[1] = 0, px[2] = e.polarity ? 255 : 0;
            }
            if (picture != expected) mismatches.push_back("picture " + std::to_string(index));
            ++index;
        },
        Qt::DirectConnection);
    QObject::connect(&p, &OvFusionCameraDataProcessor::signalTimeStamp, &p, [&](uint64_t t) { times.push_back(t); },
                     Qt::DirectConnection);
    Playback play(p);
    ASSERT_TRUE(play.playToEnd());

    EXPECT_TRUE(mismatches.empty()) << mismatches.front();
    ASSERT_EQ(times.size(), frameTimes.size());
    size_t onEdge = 0;
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_EQ(times[i], offset + frameTimes[i]) << "picture " << i;
        // A frame whose edge the camera could not see in time is placed one period after the one before.
        const bool edge = raw.risingEdges.count(times[i]) > 0;
        onEdge += edge;
        if (!edge && i > 0) {
            EXPECT_TRUE(times[i] - times[i - 1] == DataToVideoConverter::kFramePeriodUs || times[i] - times[i - 1] == 1)
                << "picture " << i << " at " << times[i] << " is on no trigger edge";
        }
    }
    EXPECT_TRUE(raw.risingEdges.count(times.front())) << "the first frame is on its edge";
    EXPECT_GT(onEdge, 0u);
}

}  // namespace
