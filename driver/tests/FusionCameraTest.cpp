// The fusion camera against the simulated Tandem device: discovery, streaming of both sensors,
// frames stamped by trigger edges, and recordings that line up.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "RawFileTestSupport.h"
#include "orvane/driver/DataToVideoConverter.h"
#include "orvane/driver/DvsCameraManager.h"
#include "orvane/driver/FusionCameraPrivate.h"
#include "orvane/driver/Mp4FileReader.h"
#include "orvane/hal/CameraTool.h"
#include "orvane/hal/Simulator.h"

namespace orvane {
namespace {

// The bus starts empty for these tests, and the sensors' long bring-up pauses are shortened.
const bool kEnvironment = [] {
    setenv("ORVANE_SIM_CAMERAS", "none", 1);
    setenv("ORVANE_SIM_FAST_PAUSES", "1", 1);
    return true;
}();

constexpr uint32_t kApsCtrlAddress = 0x5000;
constexpr size_t kFusionElements = 2 * 1280 * 720;

struct FusionFixture : ::testing::Test {
    void SetUp() override { sim::unplugAll(); }
    void TearDown() override { sim::unplugAll(); }

    // Plugs a Tandem and opens it as a user would: list, then open by serial; trigger edges on.
    std::shared_ptr<FusionCamera> plugAndOpen(const std::string& serial)
    {
        if (!sim::plug(sim::Model::Tandem, serial)) return nullptr;
        manager.getCameraDescs();
        auto camera = manager.openFusionCamera(serial);
        if (camera) camera->getTool(TOOL_TRIGGER_IN)->setParam("enable", true);
        return camera;
    }

    DvsCameraManager manager;
};

// Stops streaming and recording when a test leaves early, before the logs its callbacks write to
// go away (the camera itself lives on in the manager).
struct StopAtExit {
    FusionCamera& camera;
    ~StopAtExit()
    {
        camera.stop(STREAM_BOTH);
        camera.stopRecording(STREAM_BOTH);
    }
};

template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::milliseconds(15000))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

using FusionManagerTest = FusionFixture;

TEST_F(FusionManagerTest, ListsEventCamerasFirstAndOpensEachKindByItsOwnCall)
{
    ASSERT_TRUE(sim::plug(sim::Model::Evk4, "EVK-B"));
    ASSERT_TRUE(sim::plug(sim::Model::Tandem, "TD-1"));
    ASSERT_TRUE(sim::plug(sim::Model::Evk4, "EVK-A"));
    EXPECT_EQ(manager.openFusionCamera("TD-1"), nullptr) << "openable only once listed";

    const auto descs = manager.getCameraDescs();
    ASSERT_EQ(descs.size(), 3u);
    EXPECT_EQ(descs[0].serial, "EVK-A");
    EXPECT_EQ(descs[1].serial, "EVK-B");
    EXPECT_EQ(descs[2].serial, "TD-1");
    EXPECT_EQ(descs[2].product, "Tandem");

    EXPECT_EQ(manager.openCamera("TD-1"), nullptr);
    EXPECT_EQ(manager.openFusionCamera("EVK-A"), nullptr);
    auto camera = manager.openFusionCamera("TD-1");
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(manager.updateCameras(), 3);
    EXPECT_EQ(manager.openFusionCamera("TD-1"), camera) << "a refresh keeps the object";

    std::vector<ToolType> types;
    for (const ToolInfo& info : camera->getAllToolsInfo()) types.push_back(info.type);
    EXPECT_EQ(types, (std::vector<ToolType>{TOOL_BIASES, TOOL_TRIGGER_IN, TOOL_ANTI_FLICKER, TOOL_EVENT_TRAIL_FILTER,
                                            TOOL_EVENT_RATE_CONTROL, TOOL_ROI, TOOL_APS_CTRL}));
    EXPECT_EQ(camera->getWidth(STREAM_APS), 3840);
    EXPECT_EQ(camera->getHeight(STREAM_APS), 2160);
    EXPECT_EQ(camera->getWidth(STREAM_DVS), 1280);
    EXPECT_EQ(camera->getHeight(STREAM_DVS), 720);

    ASSERT_TRUE(sim::unplug("TD-1"));
    EXPECT_FALSE(camera->isConnected());
    EXPECT_EQ(manager.getCameraDescs().size(), 2u);
}

TEST_F(FusionManagerTest, ACameraWhoseInitFailsIsNotHandedOut)
{
    ASSERT_TRUE(sim::plug(sim::Model::Tandem, "TD-GONE"));
    manager.getCameraDescs();
    ASSERT_TRUE(sim::unplug("TD-GONE"));  // gone before the open: no interface can be made
    EXPECT_EQ(manager.openFusionCamera("TD-GONE"), nullptr);
}

// What the callbacks of one streaming run saw.
struct StreamLog {
    std::mutex lock;
    std::vector<uint64_t> risingEdges;                         // trigger callback, DVS thread
    std::map<uint64_t, std::vector<uint16_t>> expectedFusion;  // built from the events callback
    std::vector<uint16_t> filling = std::vector<uint16_t>(kFusionElements, 0);
    std::vector<Event2D> events;
    std::vector<uint64_t> frameTimes;                          // APS callback
    std::map<uint64_t, std::vector<uint16_t>> deliveredFusion;  // getFusionEvents in the APS callback
    bool frameHasImage = false;

    void attach(FusionCamera& camera, bool keepEvents)
    {
        camera.addEventsStreamHandleCallback([this, keepEvents](const Event2D* b, const Event2D* e) {
            std::lock_guard guard(lock);
            for (const Event2D* p = b; p != e; ++p) {
                const uint64_t i = FusionCameraPrivate::fusionIndex(p->x, p->y, p->polarity);
                if (i < filling.size() && filling[i] < 10) ++filling[i];
            }
            if (keepEvents) events.insert(events.end(), b, e);
        });
        camera.addTriggerInCallback([this](EventTriggerIn t) {
            if (t.polarity == 0) return;
            std::lock_guard guard(lock);
            risingEdges.push_back(t.timestamp);
            expectedFusion[t.timestamp].swap(filling);
            filling.assign(kFusionElements, 0);
        });
        camera.addApsFrameCallback([this, &camera](const ApsFrame& frame) {
            std::shared_ptr<std::vector<uint16_t>> fusion;
            const bool got = camera.getFusionEvents(fusion, frame.timestamp);
            std::lock_guard guard(lock);
            frameTimes.push_back(frame.timestamp);
            if (got && deliveredFusion.size() < 8) deliveredFusion[frame.timestamp] = *fusion;
            frameHasImage |= frame.size == 3840u * 2160 * 3 && std::any_of(frame.data, frame.data + frame.size,
                                                                            [](uint8_t v) { return v != 0; });
        });
    }

    size_t frames()
    {
        std::lock_guard guard(lock);
        return frameTimes.size();
    }
};

using FusionStreamTest = FusionFixture;

TEST_F(FusionStreamTest, FramesCarryTheirTriggerTimeAndTheEventsBetweenEdges)
{
    auto camera = plugAndOpen("TD-S");
    ASSERT_NE(camera, nullptr);
    StreamLog log;
    log.attach(*camera, false);
    const StopAtExit stopper{*camera};
    ASSERT_EQ(camera->start(STREAM_BOTH), 0);
    EXPECT_EQ(camera->start(STREAM_DVS), 0) << "a start while running changes nothing";
    EXPECT_TRUE(sim::readoutActive("TD-S"));
    EXPECT_EQ(sim::peekRegister("TD-S", kApsCtrlAddress) & 1u, 1u);
    ASSERT_TRUE(waitUntil([&] { return log.frames() >= 15; })) << "frames arrive";
    EXPECT_EQ(camera->stop(STREAM_BOTH), 0);
    EXPECT_FALSE(sim::readoutActive("TD-S"));
    EXPECT_EQ(sim::peekRegister("TD-S", kApsCtrlAddress) & 1u, 0u);

    std::lock_guard guard(log.lock);
    EXPECT_TRUE(log.frameHasImage);
    const std::set<uint64_t> edges(log.risingEdges.begin(), log.risingEdges.end());
    size_t stamped = 0, advanced = 0;
    for (size_t i = 0; i < log.frameTimes.size(); ++i) {
        const uint64_t t = log.frameTimes[i];
        if (t == 0 && stamped == 0) continue;  // exposed before the event readout ran
        ++stamped;
        EXPECT_TRUE(edges.count(t)) << "frame " << i << " stamped " << t << " is no rising edge";
        if (stamped > 1) {
            EXPECT_GE(t, log.frameTimes[i - 1]);
            advanced += t > log.frameTimes[i - 1];
        }
    }
    EXPECT_GE(stamped, log.frameTimes.size() - 2);
    // Each frame has its own exposure's edge, unless the event data came later than the frame
    // by more than the camera waits (a loaded machine).
    EXPECT_GE(advanced * 2, stamped - 1);
    ASSERT_GE(log.deliveredFusion.size(), 4u) << "the viewer's request from the frame callback finds its buffer";
    for (const auto& [t, buffer] : log.deliveredFusion) {
        ASSERT_TRUE(log.expectedFusion.count(t));
        EXPECT_TRUE(buffer == log.expectedFusion[t]) << "fusion buffer of the frame at " << t;
    }
}

TEST_F(FusionStreamTest, StopOfAnyTypeEndsBothStreamsAndCallbacksCanBeRemoved)
{
    auto camera = plugAndOpen("TD-T");
    ASSERT_NE(camera, nullptr);
    std::atomic<int> first{0}, second{0};
    const uint32_t a = camera->addApsFrameCallback([&](const ApsFrame&) { ++first; });
    const uint32_t b = camera->addApsFrameCallback([&](const ApsFrame&) { ++second; });
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(camera->addApsFrameCallback({}), FusionCamera::kInvalidCallbackId);
    EXPECT_TRUE(camera->removeApsFrameCallback(a));
    EXPECT_FALSE(camera->removeApsFrameCallback(a));

    // The frame stream alone: frames come (the frame sensor is switched on), events do not.
    std::atomic<uint64_t> events{0};
    camera->addEventsStreamHandleCallback([&](const Event2D* x, const Event2D* y) { events += y - x; });
    const StopAtExit stopper{*camera};
    ASSERT_EQ(camera->start(STREAM_APS), 0);
    ASSERT_TRUE(waitUntil([&] { return second.load() >= 3; }));
    EXPECT_EQ(first.load(), 0) << "a removed callback is not called";
    EXPECT_EQ(events.load(), 0u);
    EXPECT_EQ(camera->stop(STREAM_DVS), 0);
    const int after = second.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(second.load(), after) << "the APS thread ended with a DVS stop";
    EXPECT_EQ(sim::peekRegister("TD-T", kApsCtrlAddress) & 1u, 0u);

    camera->setBatchEventsTime(10000);
    ASSERT_EQ(camera->start(STREAM_DVS), 0);
    std::vector<Event2D> batch;
    ASSERT_TRUE(waitUntil([&] { return camera->getNextBatch(batch) && !batch.empty(); }));
    EXPECT_EQ(second.load(), after) << "no frames on the event stream alone";
    camera->stop(STREAM_APS);
    EXPECT_FALSE(camera->getNextBatch(batch)) << "a stopped camera never blocks a batch consumer";
}

TEST_F(FusionStreamTest, UnplugEndsBothLoopsAndKeepsWhatWasRecorded)
{
    auto camera = plugAndOpen("TD-U");
    ASSERT_NE(camera, nullptr);
    test::TempDir dir;
    StreamLog log;
    log.attach(*camera, true);
    const StopAtExit stopper{*camera};
    const std::string base = (dir.path() / "cut-short").string();
    ASSERT_EQ(camera->startRecording(base, STREAM_BOTH), 0);
    ASSERT_EQ(camera->start(STREAM_BOTH), 0);
    ASSERT_TRUE(waitUntil([&] { return log.frames() >= 4; }));
    ASSERT_TRUE(sim::unplug("TD-U"));
    EXPECT_FALSE(camera->isConnected());
    const size_t frames = log.frames();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(log.frames(), frames + 1);
    EXPECT_EQ(camera->stop(STREAM_BOTH), 0);  // joins both threads
    EXPECT_EQ(camera->stopRecording(STREAM_BOTH), 0) << "both files are finished";
    EXPECT_EQ(camera->start(STREAM_BOTH), 0);
    EXPECT_EQ(camera->stop(STREAM_BOTH), 0) << "a start on the gone device ends at once too";

    // What came before the unplug is in the files.
    const test::DecodedRecording raw = test::decodeRecording(base + ".raw");
    ASSERT_TRUE(raw.header);
    std::lock_guard guard(log.lock);
    EXPECT_EQ(raw.events.size(), log.events.size());
    Mp4FileReader video(base + ".mp4");
    ASSERT_TRUE(video.loadFile());
    std::vector<uint64_t> times;
    video.getTimeStamps(times);
    EXPECT_GE(times.size() + 1, log.frameTimes.size() - 1);  // less the untimed first frame, if any
}

using FusionRecordTest = FusionFixture;

TEST_F(FusionRecordTest, RawAndMp4LineUpThroughTheStoredFirstFrameTime)
{
    auto camera = plugAndOpen("TD-REC");
    ASSERT_NE(camera, nullptr);
    test::TempDir dir;
    StreamLog log;
    log.attach(*camera, true);
    const StopAtExit stopper{*camera};
    const auto base = dir.path() / "take";
    ASSERT_EQ(camera->startRecording((base.string() + ".raw"), STREAM_BOTH), 0);
    ASSERT_EQ(camera->start(STREAM_BOTH), 0);
    ASSERT_TRUE(waitUntil([&] { return log.frames() >= 20; }));
    camera->stop(STREAM_BOTH);
    ASSERT_EQ(camera->stopRecording(STREAM_BOTH), 0);

    // The raw file holds exactly the events the callbacks saw, and the trigger edges.
    const test::DecodedRecording raw = test::decodeRecording(base.string() + ".raw");
    ASSERT_TRUE(raw.header);
    const std::vector<Event2D>& decoded = raw.events;
    const std::set<uint64_t>& fileEdges = raw.risingEdges;
    std::lock_guard guard(log.lock);
    ASSERT_FALSE(log.events.empty());
    EXPECT_EQ(decoded.size(), log.events.size());
    EXPECT_TRUE(decoded == log.events);

    // One mp4 frame per recorded frame, at its own time; the stored first-frame time turns each
    // back into the DVS time of its trigger edge in the raw file.
    Mp4FileReader video(base.string() + ".mp4");
    ASSERT_TRUE(video.loadFile());
    std::vector<uint64_t> times;
    ASSERT_TRUE(video.getTimeStamps(times));
    const FusionCameraStatistics stats = camera->statistics();
    EXPECT_EQ(stats.eventsDelivered, log.events.size());
    EXPECT_EQ(stats.recordedBytes, std::filesystem::file_size(base.string() + ".raw"));
    EXPECT_TRUE(stats.recordingFailure.empty());
    EXPECT_EQ(stats.apsFramesEncoded + stats.apsFramesFailed, stats.apsFramesQueued) << "every queued frame was encoded";
    // Frames exposed before the event readout ran have no DVS time and are not recorded.
    std::vector<uint64_t> timed;
    for (uint64_t t : log.frameTimes) {
        if (t != 0) timed.push_back(t);
    }
    ASSERT_FALSE(timed.empty());
    EXPECT_EQ(times.size(), timed.size() - stats.apsFramesDropped);
    const std::string offsetText = video.getMetadata(kVideoDvsOffsetKey);
    ASSERT_FALSE(offsetText.empty());
    const uint64_t offset = std::stoull(offsetText);
    EXPECT_EQ(offset, timed.front());
    ASSERT_FALSE(times.empty());
    EXPECT_EQ(times.front(), 0u);
    // A frame whose edge came too late repeats the previous frame's stamp: the mp4 then has it one
    // frame period on, and the frame after it keeps its own time (nudged by 1 us if that is taken).
    size_t onEdge = 0;
    int64_t previous = -1;
    bool guessed = false;
    for (size_t i = 0; i < times.size() && stats.apsFramesDropped == 0; ++i) {
        const auto stamp = static_cast<int64_t>(timed[i] - offset), got = static_cast<int64_t>(times[i]);
        if (stamp <= previous) {
            EXPECT_EQ(got, previous + DataToVideoConverter::kFramePeriodUs) << "frame " << i;
            guessed = true;
        } else if (guessed) {
            EXPECT_EQ(got, std::max(stamp, previous + 1)) << "frame " << i;
            guessed = false;
        } else {
            EXPECT_EQ(got, stamp) << "frame " << i;
            EXPECT_TRUE(fileEdges.count(offset + times[i])) << "frame " << i << " at " << offset + times[i];
            ++onEdge;
        }
        previous = got;
    }
    EXPECT_GT(onEdge, 0u);  // most, unless the machine is loaded: then edges come late
}

TEST_F(FusionRecordTest, ARecordingWhileStreamingHasTheEdgeOfItsFirstAndLastFrame)
{
    auto camera = plugAndOpen("TD-LIVE");
    ASSERT_NE(camera, nullptr);
    test::TempDir dir;
    StreamLog log;
    log.attach(*camera, false);
    const StopAtExit stopper{*camera};
    ASSERT_EQ(camera->start(STREAM_BOTH), 0);
    ASSERT_TRUE(waitUntil([&] { return log.frames() >= 3; }));
    const std::string base = (dir.path() / "live").string();
    ASSERT_EQ(camera->startRecording(base, STREAM_BOTH), 0);
    const size_t before = log.frames();
    ASSERT_TRUE(waitUntil([&] { return log.frames() >= before + 10; }));
    ASSERT_EQ(camera->stopRecording(STREAM_BOTH), 0);  // still streaming

    const std::set<uint64_t> edges = test::decodeRecording(base + ".raw").risingEdges;
    Mp4FileReader video(base + ".mp4");
    ASSERT_TRUE(video.loadFile());
    std::vector<uint64_t> times;
    video.getTimeStamps(times);
    ASSERT_GE(times.size(), 5u);
    const uint64_t offset = std::stoull(video.getMetadata(kVideoDvsOffsetKey));
    EXPECT_TRUE(edges.count(offset + times.front())) << "the first frame's edge is in the raw file";
    EXPECT_LE(offset + times.back(), *edges.rbegin()) << "no frame after the last recorded edge";
}

// A camera that has streamed past a loop of the 24-bit event time: the live times count the loop,
// the raw file's times do not (it decodes from its own start). The first frame's time in the mp4
// must be in the raw file's time, or replay finds no events for any frame.
TEST_F(FusionRecordTest, ARecordingAfterTheEventTimeLoopedLinesUpWithItsRawFile)
{
    constexpr uint64_t kLoopUs = uint64_t{1} << 24;
    sim::DeviceOptions options;
    options.clockStartUs = kLoopUs - 700'000;  // the sensor's time loops 0.7 s after the plug
    ASSERT_TRUE(sim::plug(sim::Model::Tandem, "TD-LOOP", options));
    manager.getCameraDescs();
    auto camera = manager.openFusionCamera("TD-LOOP");
    ASSERT_NE(camera, nullptr);
    camera->getTool(TOOL_TRIGGER_IN)->setParam("enable", true);
    test::TempDir dir;
    StreamLog log;
    log.attach(*camera, false);
    const StopAtExit stopper{*camera};
    ASSERT_EQ(camera->start(STREAM_BOTH), 0);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard guard(log.lock);
        return !log.risingEdges.empty() && log.risingEdges.back() > kLoopUs + 100'000;
    })) << "the live stream never passed the loop";
    const std::string base = (dir.path() / "looped").string();
    ASSERT_EQ(camera->startRecording(base, STREAM_BOTH), 0);
    const size_t before = log.frames();
    ASSERT_TRUE(waitUntil([&] { return log.frames() >= before + 10; }));
    ASSERT_EQ(camera->stopRecording(STREAM_BOTH), 0);

    const test::DecodedRecording raw = test::decodeRecording(base + ".raw");
    ASSERT_FALSE(raw.risingEdges.empty());
    Mp4FileReader video(base + ".mp4");
    ASSERT_TRUE(video.loadFile());
    std::vector<uint64_t> times;
    ASSERT_TRUE(video.getTimeStamps(times));
    ASSERT_FALSE(times.empty());
    const uint64_t offset = std::stoull(video.getMetadata(kVideoDvsOffsetKey));
    EXPECT_LT(offset, kLoopUs) << "the raw file's times start below one loop";
    EXPECT_TRUE(raw.risingEdges.count(offset + times.front())) << "the first frame's edge is in the raw file";
    EXPECT_LE(offset + times.back(), *raw.risingEdges.rbegin());
}

// What a killed recorder leaves is the mp4 as it is on the disk mid-recording, without its
// trailer: it must play up to its last complete fragment and keep the first frame's DVS time.
TEST_F(FusionRecordTest, AVideoWithoutItsTrailerPlaysUpToItsLastFragment)
{
    auto camera = plugAndOpen("TD-KILL");
    ASSERT_NE(camera, nullptr);
    test::TempDir dir;
    const StopAtExit stopper{*camera};
    const std::string base = (dir.path() / "take").string();
    const std::string snapshot = (dir.path() / "snapshot.mp4").string();
    ASSERT_EQ(camera->startRecording(base, STREAM_BOTH), 0);
    ASSERT_EQ(camera->start(STREAM_BOTH), 0);
    std::vector<uint64_t> early;
    std::string earlyOffset;
    const bool playable = waitUntil(
        [&] {
            std::error_code ec;
            std::filesystem::copy_file(base + ".mp4", snapshot, std::filesystem::copy_options::overwrite_existing, ec);
            Mp4FileReader video(snapshot);
            early.clear();
            if (ec || !video.loadFile() || !video.getTimeStamps(early) || early.size() < 30) return false;
            earlyOffset = video.getMetadata(kVideoDvsOffsetKey);
            return true;
        },
        std::chrono::milliseconds(60000));
    camera->stop(STREAM_BOTH);
    ASSERT_EQ(camera->stopRecording(STREAM_BOTH), 0);
    ASSERT_TRUE(playable) << "the video is unreadable until its recording stops";

    Mp4FileReader video(base + ".mp4");
    ASSERT_TRUE(video.loadFile());
    std::vector<uint64_t> times;
    ASSERT_TRUE(video.getTimeStamps(times));
    ASSERT_LE(early.size(), times.size());
    EXPECT_TRUE(std::equal(early.begin(), early.end(), times.begin())) << "the early frames are the first ones";
    EXPECT_FALSE(earlyOffset.empty());
    EXPECT_EQ(earlyOffset, video.getMetadata(kVideoDvsOffsetKey));
    ApsFrame frame;
    Mp4FileReader again(snapshot);
    ASSERT_TRUE(again.loadFile());
    EXPECT_TRUE(again.getNFrame(static_cast<int32_t>(early.size()) - 1, frame)) << "its last frame decodes";
}

TEST_F(FusionRecordTest, FramesAloneAreRecordedWithTheTriggerInputOn)
{
    auto camera = plugAndOpen("TD-APS");
    ASSERT_NE(camera, nullptr);
    test::TempDir dir;
    StreamLog log;
    log.attach(*camera, false);
    const StopAtExit stopper{*camera};
    const std::string base = (dir.path() / "frames").string();
    ASSERT_EQ(camera->startRecording(base, STREAM_APS), 0);
    ASSERT_EQ(camera->start(STREAM_APS), 0);
    ASSERT_TRUE(waitUntil([&] { return log.frames() >= 6; }));
    camera->stop(STREAM_APS);
    ASSERT_EQ(camera->stopRecording(STREAM_APS), 0);
    EXPECT_FALSE(std::filesystem::exists(base + ".raw"));
    Mp4FileReader video(base + ".mp4");
    ASSERT_TRUE(video.loadFile()) << "no event stream, so no edges: the frames are kept all the same";
    std::vector<uint64_t> times;
    video.getTimeStamps(times);
    EXPECT_EQ(times.size(), log.frames());
}

TEST_F(FusionRecordTest, PathRulesSidesAndFailures)
{
    auto camera = plugAndOpen("TD-P");
    ASSERT_NE(camera, nullptr);
    test::TempDir dir;
    const std::string root = dir.path().string();

    ASSERT_EQ(camera->startRecording(root + "/rec.001", STREAM_BOTH), 0);
    EXPECT_EQ(camera->startRecording(root + "/again", STREAM_APS), -1) << "a side records once at a time";
    EXPECT_EQ(camera->startRecording(root + "/again", STREAM_DVS), -1);
    EXPECT_EQ(camera->stopRecording(STREAM_APS), 0);
    EXPECT_EQ(camera->startRecording(root + "/again", STREAM_DVS), -1) << "the DVS side still records";
    EXPECT_EQ(camera->stopRecording(STREAM_DVS), 0);
    EXPECT_TRUE(std::filesystem::exists(root + "/rec.raw"));
    EXPECT_FALSE(std::filesystem::exists(root + "/rec.mp4")) << "a video without frames is not kept";
    std::ifstream in(root + "/rec.raw", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(raw.find("% end\n"), raw.size() - 6) << "no data: the header alone";

    std::filesystem::create_directories(root + "/my.data");
    ASSERT_EQ(camera->startRecording(root + "/my.data/capture", STREAM_DVS), 0);
    EXPECT_EQ(camera->stopRecording(STREAM_BOTH), 0);
    EXPECT_TRUE(std::filesystem::exists(root + "/my.data/capture.raw")) << "a dot in a folder name is no extension";
    EXPECT_FALSE(std::filesystem::exists(root + "/my.data/capture.mp4"));

    // A file that cannot be made fails the start, and the other side is not left recording.
    EXPECT_EQ(camera->startRecording(root + "/missing/x.raw", STREAM_BOTH), -1);
    EXPECT_EQ(camera->startRecording(root + "/missing/x.raw", STREAM_APS), -1);
    EXPECT_EQ(camera->startRecording(root + "/missing/x.raw", STREAM_DVS), -1);
    ASSERT_EQ(camera->startRecording(root + "/later.raw", STREAM_BOTH), 0) << "both sides are free again";
    EXPECT_EQ(camera->stopRecording(STREAM_BOTH), 0);
}

}  // namespace
}  // namespace orvane
