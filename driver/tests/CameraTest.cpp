#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include <sys/resource.h>

#include "orvane/driver/DvsCamera.h"
#include "orvane/driver/DvsCameraManager.h"
#include "orvane/driver/DvsCameraPrivate.h"
#include "orvane/driver/EventDelivery.h"
#include "orvane/driver/Imx6x6Sensor.h"
#include "orvane/hal/Decoder.h"
#include "orvane/hal/Registers.h"
#include "orvane/hal/Simulator.h"

namespace orvane {
namespace {

// The bus starts empty for these tests, and the sensors' long bring-up pauses are shortened.
const bool kEnvironment = [] {
    setenv("ORVANE_SIM_CAMERAS", "none", 1);
    setenv("ORVANE_SIM_FAST_PAUSES", "1", 1);
    return true;
}();

constexpr char kHeader[] =
    "% camera_integrator_name Prophesee\n% date 2024 - 09 - 06 16:03 : 38\n% evt 3.0\n"
    "% format EVT3; height = 720; width = 1280\n% generation 4.2\n% geometry 1280x720\n"
    "% integrator_name Prophesee\n% plugin_integrator_name Prophesee\n% plugin_name hal_plugin_prophesee\n"
    "% sensor_generation 4.2\n% sensor_name IMX646\n% serial_number ffffffffffffffff\n% system_ID 53\n% end\n";

std::filesystem::path tempDir()
{
    auto dir = std::filesystem::temp_directory_path() / ("orvane_camera_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct BusFixture : ::testing::Test {
    void SetUp() override { sim::unplugAll(); }
    void TearDown() override { sim::unplugAll(); }

    // Plugs one simulated camera and opens it as a user would: list, then open by serial.
    std::shared_ptr<DvsCamera> plugAndOpen(sim::Model model, const std::string& serial)
    {
        if (!sim::plug(model, serial)) return nullptr;
        manager.getCameraDescs();
        return manager.openCamera(serial);
    }

    DvsCameraManager manager;
};

using CameraManagerTest = BusFixture;

TEST_F(CameraManagerTest, ListsEventCamerasBySerialAndKeepsTheirObjects)
{
    ASSERT_TRUE(sim::plug(sim::Model::Evk4, "EVK-B"));
    ASSERT_TRUE(sim::plug(sim::Model::Evk4, "EVK-A"));
    ASSERT_TRUE(sim::plug(sim::Model::Kestrel, "KE-1"));
    EXPECT_EQ(manager.openCamera("EVK-A"), nullptr) << "a camera is openable only once it was found";

    const auto descs = manager.getCameraDescs();
    ASSERT_EQ(descs.size(), 3u);
    EXPECT_EQ(descs[0].serial, "EVK-A");
    EXPECT_EQ(descs[0].product, "EVK4");
    EXPECT_EQ(descs[1].serial, "EVK-B");
    EXPECT_EQ(descs[2].serial, "KE-1");
    EXPECT_EQ(descs[2].product, "Kestrel");

    auto first = manager.openCamera("EVK-A");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(manager.updateCameras(), 3);
    EXPECT_EQ(manager.openCamera("EVK-A"), first) << "a refresh keeps known cameras and init runs once";
    EXPECT_EQ(manager.openCamera("nope"), nullptr);
    EXPECT_EQ(manager.openFusionCamera("EVK-A"), nullptr);

    ASSERT_TRUE(sim::unplug("EVK-A"));
    EXPECT_FALSE(first->isConnected());
    const auto after = manager.getCameraDescs();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].serial, "EVK-B");
}

TEST_F(CameraManagerTest, ToolsOfAnOpenedCamera)
{
    auto camera = plugAndOpen(sim::Model::Kestrel, "KE-T");
    ASSERT_NE(camera, nullptr);
    const auto infos = camera->getAllToolsInfo();
    ASSERT_EQ(infos.size(), 7u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(infos[static_cast<size_t>(i)].type, static_cast<ToolType>(i));
    const ToolInfo roi = camera->getToolInfo(TOOL_ROI);
    ASSERT_EQ(roi.params.size(), 6u);
    EXPECT_EQ(roi.params[1], "mode");
    EXPECT_EQ(roi.params.back(), "y_height");
    EXPECT_EQ(camera->getTool(TOOL_APS_CTRL), nullptr);
    EXPECT_THROW(camera->getToolInfo(TOOL_APS_CTRL), std::runtime_error);
    EXPECT_EQ(camera->getWidth(), 1280);
    EXPECT_EQ(camera->getHeight(), 720);
}

// The event delivery both camera kinds use, with its batches open to inspection.
class BatchProbe : public EventDelivery {
public:
    void deliver(const std::vector<Event2D>& range) { deliverEvents(range.data(), range.data() + range.size()); }
    void markRunning() { setStreaming(true); }
    std::vector<Event2D> ready(bool count) { return count ? readyCountBatch : readyTimeBatch; }
    std::vector<Event2D> filling(bool count) { return count ? fillingCountBatch : fillingTimeBatch; }
    uint64_t published(bool count) { return count ? countBatchGeneration : timeBatchGeneration; }
};

// An event camera that is never initialised.
class UninitedCamera : public DvsCameraPrivate {
public:
    UninitedCamera() : DvsCameraPrivate(CameraDescription{}) {}
    bool isConnected() const override { return true; }
    uint16_t getWidth() override { return 1280; }
    uint16_t getHeight() override { return 720; }

private:
    int init() override { return -1; }
    RawEventStreamFormat getRawEventStreamFormat() override { return RawEventStreamFormat("EVT3;height=720;width=1280"); }
};

std::vector<Event2D> at(std::initializer_list<uint64_t> times)
{
    std::vector<Event2D> out;
    for (uint64_t t : times) out.emplace_back(1, 2, 1, t);
    return out;
}

TEST(CameraBatches, CountModePublishesFullBatchesOnly)
{
    BatchProbe probe;
    probe.setBatchEventsNum(4);
    probe.deliver(at({1, 2, 3}));
    EXPECT_EQ(probe.published(true), 0u);
    probe.deliver(at({4, 5, 6}));
    EXPECT_EQ(probe.published(true), 1u);
    EXPECT_EQ(probe.ready(true), at({1, 2, 3, 4}));
    probe.deliver(at({7, 8, 9}));
    EXPECT_EQ(probe.published(true), 2u);
    EXPECT_EQ(probe.ready(true), at({5, 6, 7, 8}));
    EXPECT_EQ(probe.filling(true), at({9}));
    // Lowering the size below what is collected publishes it rather than letting it grow.
    probe.deliver(at({10, 11}));
    probe.setBatchEventsNum(2);
    probe.deliver(at({12}));
    EXPECT_EQ(probe.ready(true), at({9, 10, 11}));
    probe.setBatchEventsNum(0);  // refused: the mode and size stay
    probe.deliver(at({13, 14}));
    EXPECT_EQ(probe.ready(true), at({12, 13}));
}

TEST(CameraBatches, TimeModeCutsAtDeadlinesAndPublishesEmptySpansOfAGap)
{
    BatchProbe probe;
    probe.setBatchEventsTime(10000);
    probe.deliver(at({0, 5000, 9999, 10000, 25000}));
    EXPECT_EQ(probe.published(false), 2u);
    EXPECT_EQ(probe.ready(false), at({10000}));
    EXPECT_EQ(probe.filling(false), at({25000}));

    BatchProbe gap;
    gap.setBatchEventsTime(10000);
    gap.deliver(at({0, 35000}));
    EXPECT_EQ(gap.published(false), 3u);  // the first event, then two empty spans
    EXPECT_TRUE(gap.ready(false).empty());
    EXPECT_EQ(gap.filling(false), at({35000}));

    // Switching modes leaves the other mode's batches alone.
    gap.setBatchEventsNum(1);
    gap.deliver(at({40000, 40001}));
    EXPECT_EQ(gap.filling(false), at({35000}));
    EXPECT_EQ(gap.published(true), 1u);
}

TEST(CameraBatches, CallbacksIdsAndRefusals)
{
    BatchProbe probe;
    std::vector<uint64_t> seen;
    EXPECT_EQ(probe.addEventsStreamHandleCallback([&](const Event2D* b, const Event2D* e) {
        for (const Event2D* p = b; p != e; ++p) seen.push_back(p->timestamp);
    }), 0u);
    EXPECT_EQ(probe.addEventsStreamHandleCallback({}), EventDelivery::kInvalidCallbackId);
    EXPECT_EQ(probe.addEventsStreamHandleCallback([](const Event2D*, const Event2D*) {}), 1u);
    EXPECT_EQ(probe.addTriggerInCallback([](EventTriggerIn) {}), 0u);
    probe.deliver(at({5, 6}));
    EXPECT_EQ(seen, (std::vector<uint64_t>{5, 6})) << "callbacks see ranges with no batch mode set";
    std::vector<Event2D> out = at({1});
    EXPECT_FALSE(probe.getNextBatch(out)) << "no batch mode: false at once";
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(probe.removeEventsStreamHandleCallback(0));
    EXPECT_FALSE(probe.removeEventsStreamHandleCallback(0));
    EXPECT_FALSE(probe.removeTriggerInCallback(7));

    UninitedCamera camera;
    EXPECT_EQ(camera.addEventsStreamHandleCallback({}), DvsCamera::kInvalidCallbackId);
    EXPECT_THROW(camera.start(), std::runtime_error);
    EXPECT_THROW(camera.startRecording("x.raw"), std::runtime_error);
    EXPECT_EQ(camera.stop(), 0);
}

TEST(CameraBatches, ConsumerGetsOnlyABatchPublishedAfterItBegan)
{
    BatchProbe probe;
    probe.markRunning();
    probe.setBatchEventsNum(2);
    probe.deliver(at({1, 2, 3}));  // one batch ready before the consumer asks
    std::vector<Event2D> out;
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        probe.deliver(at({4, 5}));
    });
    EXPECT_TRUE(probe.getNextBatch(out));
    producer.join();
    EXPECT_EQ(out, at({3, 4}));
}

using CameraStreamTest = BusFixture;

TEST_F(CameraStreamTest, StreamsBatchesAndStopWakesTheConsumer)
{
    auto camera = plugAndOpen(sim::Model::Kestrel, "KE-S");
    ASSERT_NE(camera, nullptr);
    std::atomic<uint64_t> viaCallback{0};
    camera->addEventsStreamHandleCallback(
        [&](const Event2D* b, const Event2D* e) { viaCallback += static_cast<uint64_t>(e - b); });
    camera->setBatchEventsTime(10000);
    ASSERT_EQ(camera->start(), 0);
    EXPECT_EQ(camera->start(), 0) << "a second start starts nothing";
    EXPECT_TRUE(sim::readoutActive("KE-S"));
    uint64_t batched = 0;
    std::vector<Event2D> batch;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(camera->getNextBatch(batch));
        if (batch.empty()) continue;
        EXPECT_LT(batch.back().timestamp - batch.front().timestamp, 10000u + 1);
        batched += batch.size();
    }
    EXPECT_GT(batched, 0u);

    std::atomic<bool> returned{false};
    std::thread consumer([&] {
        std::vector<Event2D> b;
        camera->getNextBatch(b);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(camera->stop(), 0);
    consumer.join();
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(sim::readoutActive("KE-S"));
    EXPECT_GT(viaCallback.load(), batched / 2);
    std::vector<Event2D> b;
    EXPECT_FALSE(camera->getNextBatch(b)) << "a stopped camera never blocks a consumer";
}

TEST_F(CameraStreamTest, StartSequenceReachesTheDeviceInOrder)
{
    auto camera = plugAndOpen(sim::Model::Evk4, "EVK-R");
    ASSERT_NE(camera, nullptr);
    sim::clearRegisterWrites("EVK-R");
    ASSERT_EQ(camera->start(), 0);
    camera->stop();
    const auto writes = sim::registerWrites("EVK-R");
    // The start sequence's writes, in order, among what the device received.
    const std::vector<uint32_t> expected = {0xB000, 0x9028, 0x9008, 0x002C, 0x0004};
    size_t next = 0;
    for (const auto& w : writes) {
        if (next < expected.size() && w.address == expected[next]) ++next;
    }
    EXPECT_EQ(next, expected.size());
    EXPECT_EQ(sim::peekRegister("EVK-R", 0xB000), 0x2F8u) << "the stop sequence ran last";
}

using CameraRecordTest = BusFixture;

// The events a camera's callback saw, collected on its camera thread.
struct SeenEvents {
    std::mutex lock;
    std::vector<Event2D> events;
    void attach(DvsCamera& camera)
    {
        camera.addEventsStreamHandleCallback([this](const Event2D* b, const Event2D* e) {
            std::lock_guard guard(lock);
            events.insert(events.end(), b, e);
        });
    }
    std::vector<Event2D> copy()
    {
        std::lock_guard guard(lock);
        return events;
    }
};

TEST_F(CameraRecordTest, RecordingHoldsExactlyWhatTheCallbacksSaw)
{
    auto camera = plugAndOpen(sim::Model::Kestrel, "KE-REC");
    ASSERT_NE(camera, nullptr);
    const auto dir = tempDir();
    const auto path = dir / "rec.raw";

    // Start and stop before any data: exactly the header.
    ASSERT_EQ(camera->startRecording(path.string()), 0);
    EXPECT_EQ(camera->startRecording((dir / "other.raw").string()), -1);
    EXPECT_EQ(camera->stopRecording(), 0);
    EXPECT_EQ(camera->stopRecording(), 0);
    EXPECT_EQ(readFile(path), kHeader);
    try {
        camera->startRecording((dir / "missing" / "x.raw").string());
        ADD_FAILURE() << "no throw";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to open " + (dir / "missing" / "x.raw").string() + " for writing");
    }

    SeenEvents seen;
    seen.attach(*camera);
    ASSERT_EQ(camera->startRecording(path.string()), 0);
    ASSERT_EQ(camera->start(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    camera->stop();
    ASSERT_EQ(camera->stopRecording(), 0);

    const std::string file = readFile(path);
    ASSERT_EQ(file.compare(0, sizeof kHeader - 1, kHeader), 0);
    auto decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
    std::vector<Event2D> decoded;
    decoder->setEventsStreamHandleCallback(
        [&](const Event2D* b, const Event2D* e) { decoded.insert(decoded.end(), b, e); });
    const auto* data = reinterpret_cast<const uint8_t*>(file.data()) + sizeof kHeader - 1;
    decoder->decodeRange(data, reinterpret_cast<const uint8_t*>(file.data()) + file.size());
    const std::vector<Event2D> events = seen.copy();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(decoded.size(), events.size()) << "every byte delivered while recording is in the file";
    EXPECT_TRUE(decoded == events);

    // The statistics agree with what the callback saw and what the file holds.
    const CameraStatistics stats = camera->statistics();
    EXPECT_EQ(stats.eventsDelivered, events.size());
    EXPECT_EQ(stats.recordedBytes, file.size());
    EXPECT_GE(stats.recordingWrites, 2u) << "the header, then the data";
    EXPECT_LE(stats.smallestWrite, stats.largestWrite);
    EXPECT_LE(stats.largestWrite, stats.recordedBytes);
    EXPECT_TRUE(stats.recordingFailure.empty());
}

// Decodes a recording's events after the fixed header.
std::vector<Event2D> decodeRecording(const std::string& file)
{
    auto decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=720;width=1280"));
    std::vector<Event2D> decoded;
    decoder->setEventsStreamHandleCallback(
        [&](const Event2D* b, const Event2D* e) { decoded.insert(decoded.end(), b, e); });
    const auto* begin = reinterpret_cast<const uint8_t*>(file.data());
    if (file.size() > sizeof kHeader - 1) decoder->decodeRange(begin + sizeof kHeader - 1, begin + file.size());
    return decoded;
}

// Polls until `done` holds; false after a limit no healthy machine comes near.
bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

uintmax_t sizeOf(const std::filesystem::path& path)
{
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// A quiet camera fills a chunk in minutes; its bytes must still reach the file while it records,
// so that a process killed then loses only its last moment.
TEST_F(CameraRecordTest, AQuietCameraReachesTheFileWhileRecording)
{
    sim::DeviceOptions quiet;
    quiet.eventRate = 20'000;
    ASSERT_TRUE(sim::plug(sim::Model::Kestrel, "KE-QUIET", quiet));
    manager.getCameraDescs();
    auto camera = manager.openCamera("KE-QUIET");
    ASSERT_NE(camera, nullptr);
    const auto path = tempDir() / "quiet.raw";
    SeenEvents seen;
    seen.attach(*camera);
    ASSERT_EQ(camera->startRecording(path.string()), 0);
    ASSERT_EQ(camera->start(), 0);
    const bool written = waitFor([&] { return !decodeRecording(readFile(path)).empty(); });
    const std::vector<Event2D> early = decodeRecording(readFile(path));
    camera->stop();
    ASSERT_EQ(camera->stopRecording(), 0);
    ASSERT_TRUE(written) << "nothing but the header reached the file while recording";
    const std::vector<Event2D> events = seen.copy();
    ASSERT_LE(early.size(), events.size());
    EXPECT_TRUE(std::equal(early.begin(), early.end(), events.begin())) << "the file grows by a prefix of the stream";
    EXPECT_TRUE(decodeRecording(readFile(path)) == events);
}

// A host that stops taking data loses it at the device: the camera's statistics say how much, beside
// the events it did deliver.
TEST_F(CameraStreamTest, DropsOfASlowHostShowInTheStatistics)
{
    sim::DeviceOptions busy;
    busy.eventRate = 20e6;
    busy.eventFifoBuffers = 1;
    ASSERT_TRUE(sim::plug(sim::Model::Kestrel, "KE-SLOW", busy));
    manager.getCameraDescs();
    auto camera = manager.openCamera("KE-SLOW");
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->statistics().eventsDelivered, 0u);
    std::atomic<bool> hold{true};
    std::atomic<uint64_t> seen{0};
    camera->addEventsStreamHandleCallback([&](const Event2D* b, const Event2D* e) {
        seen += static_cast<uint64_t>(e - b);
        while (hold.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // busy elsewhere
    });
    ASSERT_EQ(camera->start(), 0);
    const bool dropped = waitFor([&] { return camera->statistics().droppedBytes > 0; });
    hold = false;
    camera->stop();
    ASSERT_TRUE(dropped) << "the device dropped nothing while the host took nothing";
    const CameraStatistics stats = camera->statistics();
    EXPECT_GT(stats.droppedBuffers, 0u);
    EXPECT_GT(stats.eventsDelivered, 0u);
    EXPECT_EQ(stats.eventsDelivered, seen.load());
    EXPECT_EQ(stats.recordedBytes, 0u) << "nothing was recorded";
    EXPECT_TRUE(stats.recordingFailure.empty());
}

// A file size limit (ulimit -f) must fail the recording with a reason, not kill the process, and
// leave a readable prefix of the stream.
TEST_F(CameraRecordTest, AFileSizeLimitFailsTheRecordingAndKeepsAPrefix)
{
    auto camera = plugAndOpen(sim::Model::Kestrel, "KE-LIMIT");
    ASSERT_NE(camera, nullptr);
    const auto path = tempDir() / "limited.raw";
    SeenEvents seen;
    seen.attach(*camera);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    constexpr rlim_t kLimit = 256 * 1024;
    rlimit limited = before;
    limited.rlim_cur = kLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    ASSERT_EQ(camera->startRecording(path.string()), 0);
    ASSERT_EQ(camera->start(), 0);
    const bool full = waitFor([&] { return sizeOf(path) >= kLimit; });
    camera->stop();
    const int stopped = camera->stopRecording();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
    ASSERT_TRUE(full);
    EXPECT_EQ(stopped, -1) << "a recording cut short by the size limit is a failure";
    EXPECT_EQ(camera->statistics().recordingFailure, "file size limit reached");
    EXPECT_EQ(sizeOf(path), kLimit);
    const std::vector<Event2D> kept = decodeRecording(readFile(path));
    const std::vector<Event2D> events = seen.copy();
    ASSERT_FALSE(kept.empty());
    ASSERT_LE(kept.size(), events.size());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), events.begin()));
}

// The sensor's own steps, against recorded field writes.
struct FieldLog {
    std::vector<std::string> writes;
    Sensor::WriteRegisterFieldCallback callback()
    {
        return [this](const std::string& r, const std::string& f, uint32_t v) {
            writes.push_back(r + "." + f + "=" + std::to_string(v));
        };
    }
};

TEST(Imx6x6Sensor, FieldWritesOfTheBringUpSteps)
{
    Imx6x6Sensor sensor;
    EXPECT_EQ(sensor.start(), -1) << "start before init";
    FieldLog log;
    sensor.setWriteRegisterFieldCallback(log.callback());
    sensor.controlLifo(true, false, false);
    EXPECT_EQ(log.writes, (std::vector<std::string>{"lifo_ctrl.lifo_en=1", "lifo_ctrl.lifo_cnt_en=0"}));
    log.writes.clear();
    sensor.controlLifo(false, false, true);
    EXPECT_EQ(log.writes, (std::vector<std::string>{"lifo_ctrl.lifo_en=0", "lifo_ctrl.lifo_out_en=0",
                                                    "lifo_ctrl.lifo_cnt_en=1"}));
    log.writes.clear();
    sensor.timeBaseConfig(true, false);
    ASSERT_FALSE(log.writes.empty());
    EXPECT_EQ(log.writes.back(), "dig_pad2_ctrl.pad_sync=15");
    log.writes.clear();
    sensor.timeBaseConfig(false, true);
    for (const auto& w : log.writes) EXPECT_EQ(w.find("dig_pad2_ctrl"), std::string::npos);
    EXPECT_EQ(log.writes.size(), 4u);
}

}  // namespace
}  // namespace orvane
