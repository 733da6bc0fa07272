// The event side of the fusion camera without a device: fusion buffer counts, the queue that hands
// them out by frame time, the bounded pool behind them, and the IMX415 frame sensor's register writes.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "FusionProbe.h"
#include "orvane/driver/FusionCameraPrivate.h"
#include "orvane/driver/Imx415Sensor.h"

namespace orvane {
namespace {

using Buffer = std::shared_ptr<std::vector<uint16_t>>;

constexpr size_t kElements = 2 * 1280 * 720;

using ProbeCamera = test::FusionProbe;

uint64_t total(const Buffer& buffer)
{
    return std::accumulate(buffer->begin(), buffer->end(), uint64_t{0});
}

// Fetches the buffer filed under `timestamp`; empty when there is none.
Buffer fetch(ProbeCamera& camera, uint64_t timestamp)
{
    Buffer out;
    return camera.getFusionEvents(out, timestamp) ? out : nullptr;
}

TEST(FusionBufferTest, EachEventCountsAtItsMirroredElementOrNowhere)
{
    struct Case {
        uint16_t x, y;
        uint8_t polarity;
        int64_t element;  // -1: outside the buffer
    } const cases[] = {
        {0, 0, 0, 2560},                   // x = 0 wraps to the first element of the next row
        {0, 0, 1, 2561},
        {1279, 0, 0, 2},                   // the last column is the first position of its row
        {1279, 0, 1, 3},
        {640, 100, 0, 2 * (128000 + 640)},
        {0, 718, 1, 2 * 1280 * 719 + 1},
        {1, 719, 1, kElements - 1},        // the very last element
        {0, 719, 0, -1},                   // x = 0 on the last row runs off the end
        {0, 719, 1, -1},
        {7, 720, 0, -1},                   // below the sensor
    };
    ProbeCamera camera;
    uint64_t t = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "x=" << c.x << " y=" << c.y << " p=" << int(c.polarity));
        camera.events({Event2D(c.x, c.y, c.polarity, t - 1)});
        camera.edge(1, t);
        const Buffer buffer = fetch(camera, t);
        ASSERT_TRUE(buffer);
        ASSERT_EQ(buffer->size(), kElements);
        EXPECT_EQ(total(buffer), c.element < 0 ? 0u : 1u);
        if (c.element >= 0) {
            EXPECT_EQ((*buffer)[c.element], 1);
        }
        t += 100;
    }
}

TEST(FusionBufferTest, CountsSaturateAtTenAndEveryReusedBufferStartsFromZero)
{
    ProbeCamera camera;
    // More rounds than the pool has buffers, so every buffer is handed out again after use.
    for (uint16_t round = 0; round < 3 * FusionCameraPrivate::kFusionPoolSize; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const uint16_t x = 100 + round;
        std::vector<Event2D> events(11, Event2D(x, 5, 1, 0));  // one more than the cap
        events.emplace_back(x, 5, 0, 0);                       // the other channel counts apart
        camera.events(events);
        const uint64_t t = 1000 * (round + 1);
        camera.edge(1, t);
        const Buffer buffer = fetch(camera, t);
        ASSERT_TRUE(buffer);
        EXPECT_EQ((*buffer)[2 * (1280 * 5 + 1280 - x) + 1], 10);
        EXPECT_EQ((*buffer)[2 * (1280 * 5 + 1280 - x)], 1);
        EXPECT_EQ(total(buffer), 11u) << "a buffer came back with counts of an earlier round";
    }
}

TEST(FusionBufferTest, OnlyTheRisingEdgeFilesAndTriggerCallbacksFollowTheEventsBeforeThem)
{
    ProbeCamera camera;
    std::vector<std::string> log;
    std::vector<EventTriggerIn> edges;
    camera.addEventsStreamHandleCallback([&](const Event2D* begin, const Event2D* end) {
        log.push_back("events " + std::to_string(end - begin));
    });
    camera.addTriggerInCallback([&](EventTriggerIn trigger) {
        edges.push_back(trigger);
        log.push_back("edge " + std::to_string(trigger.timestamp));
    });

    camera.events({Event2D(10, 10, 1, 1), Event2D(11, 10, 1, 2)});
    camera.edge(0, 50);  // exposure ends: stamps the frame, closes nothing
    EXPECT_EQ(camera.frameTimes(), std::make_pair(uint64_t{50}, uint64_t{0}));
    camera.events({Event2D(12, 10, 0, 60)});
    camera.edge(1, 100);
    EXPECT_EQ(camera.frameTimes(), std::make_pair(uint64_t{50}, uint64_t{100}));
    camera.events({Event2D(13, 10, 0, 110)});

    EXPECT_FALSE(fetch(camera, 50));
    const Buffer buffer = fetch(camera, 100);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(total(buffer), 3u);  // the events on both sides of the falling edge, not the one after
    EXPECT_EQ(log, (std::vector<std::string>{"events 2", "edge 50", "events 1", "edge 100", "events 1"}));
    EXPECT_EQ(edges, (std::vector<EventTriggerIn>{EventTriggerIn(0, 0, 50), EventTriggerIn(0, 1, 100)}));
}

// Rising edges at 100, 200, 300, 400 with one event per span (at x = 1, 2, 3, 4).
void fourFrames(ProbeCamera& camera)
{
    for (uint16_t i = 1; i <= 4; ++i) {
        camera.events({Event2D(i, 0, 0, 100 * i - 50)});
        camera.edge(1, 100 * i);
    }
}

TEST(FusionQueueTest, KeepsTheThreeNewestAndHandsOneOutByItsExactTime)
{
    ProbeCamera camera;
    fourFrames(camera);
    const Buffer sentinel = std::make_shared<std::vector<uint16_t>>(1, 7);
    Buffer out = sentinel;
    EXPECT_FALSE(camera.getFusionEvents(out, 100));  // dropped as the fourth came in
    EXPECT_EQ(out, sentinel);
    ASSERT_TRUE(camera.getFusionEvents(out, 200));
    ASSERT_NE(out, sentinel);
    EXPECT_EQ(total(out), 1u);  // exactly the span between the first and the second edge
    EXPECT_EQ((*out)[2 * (1280 - 2)], 1);
    EXPECT_FALSE(fetch(camera, 200));  // handed out once
    EXPECT_FALSE(fetch(camera, 250));  // between two entries: drops nothing newer
    EXPECT_TRUE(fetch(camera, 400));   // skips 300 on the way
    EXPECT_FALSE(fetch(camera, 300));
}

TEST(FusionQueueTest, AnOlderRequestChangesNothingAndANewerOneEmptiesTheQueue)
{
    ProbeCamera camera;
    fourFrames(camera);
    const Buffer sentinel = std::make_shared<std::vector<uint16_t>>(1, 7);
    Buffer out = sentinel;
    EXPECT_FALSE(camera.getFusionEvents(out, 150));
    EXPECT_FALSE(camera.getFusionEvents(out, 0));
    EXPECT_EQ(out, sentinel);
    for (const uint64_t t : {200, 300}) {
        const Buffer buffer = fetch(camera, t);
        ASSERT_TRUE(buffer) << t;
        EXPECT_EQ((*buffer)[2 * (1280 - t / 100)], 1) << t;
    }
    EXPECT_FALSE(camera.getFusionEvents(out, 401));
    EXPECT_EQ(out, sentinel);
    EXPECT_FALSE(fetch(camera, 400));  // gone with the newer request
}

// Seven rising edges whose buffers the consumer keeps: with the one being filled, all eight are out.
std::vector<Buffer> holdEveryBuffer(ProbeCamera& camera)
{
    std::vector<Buffer> held;
    for (uint64_t t = 1; t < FusionCameraPrivate::kFusionPoolSize; ++t) {
        camera.edge(1, 10 * t);
        held.push_back(fetch(camera, 10 * t));
        EXPECT_TRUE(held.back()) << t;
    }
    return held;
}

bool returns(std::future<void>& edge, std::chrono::milliseconds within)
{
    return edge.wait_for(within) == std::future_status::ready;
}

TEST(FusionPoolTest, AConsumerHoldingEveryBufferStallsTheNextRisingEdgeUntilItReleasesOne)
{
    ProbeCamera camera;
    camera.setStreaming(true);
    std::vector<Buffer> held = holdEveryBuffer(camera);
    std::future<void> edge = std::async(std::launch::async, [&] { camera.edge(1, 80); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(returns(edge, std::chrono::milliseconds(0))) << "the ninth buffer was taken";
    // The stalled edge has filed its buffer already, and the frame side can still take it.
    held.push_back(fetch(camera, 80));
    EXPECT_TRUE(held.back());
    EXPECT_FALSE(returns(edge, std::chrono::milliseconds(0)));
    held.erase(held.begin());
    EXPECT_TRUE(returns(edge, std::chrono::seconds(5)));
    held.clear();  // lets a stalled edge go before the future waits for it
    edge.get();

    camera.events({Event2D(3, 3, 1, 85)});
    camera.edge(1, 90);
    const Buffer buffer = fetch(camera, 90);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(total(buffer), 1u);
}

TEST(FusionPoolTest, LeavingTheStreamingStateReleasesAnEdgeStalledOnTheEmptyPool)
{
    ProbeCamera camera;
    std::vector<EventTriggerIn> edges;
    camera.addTriggerInCallback([&](EventTriggerIn trigger) { edges.push_back(trigger); });
    camera.setStreaming(true);
    std::vector<Buffer> held = holdEveryBuffer(camera);
    std::future<void> edge = std::async(std::launch::async, [&] { camera.edge(1, 80); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(returns(edge, std::chrono::milliseconds(0)));
    held.push_back(fetch(camera, 80));

    camera.setStreaming(false);  // what the camera's stop does before joining its DVS thread
    EXPECT_TRUE(returns(edge, std::chrono::seconds(2))) << "a stop would hang on the consumer";
    if (!returns(edge, std::chrono::milliseconds(0))) held.clear();
    edge.get();
    EXPECT_EQ(edges.size(), 8u);  // the stalled edge still reached the trigger callbacks

    // No buffer is open: these count nowhere, and a further edge neither stalls nor files counts.
    camera.events({Event2D(0, 0, 0, 81), Event2D(500, 300, 1, 82), Event2D(1279, 719, 1, 83)});
    camera.edge(1, 90);
    EXPECT_FALSE(fetch(camera, 90));
    for (const Buffer& buffer : held) EXPECT_EQ(total(buffer), 0u);

    // Restarted with the buffers back: the first edge opens a buffer, the next files it.
    held.clear();
    camera.setStreaming(true);
    camera.events({Event2D(9, 9, 0, 95)});
    camera.edge(1, 100);
    EXPECT_FALSE(fetch(camera, 100));  // nothing was counting since the stop
    camera.events({Event2D(8, 8, 1, 105), Event2D(8, 8, 1, 106)});
    camera.edge(1, 110);
    const Buffer buffer = fetch(camera, 110);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(total(buffer), 2u);
    EXPECT_EQ((*buffer)[2 * (1280 * 8 + 1280 - 8) + 1], 2);
    camera.setStreaming(false);
}

TEST(Imx415SensorTest, SwitchesTheOutputThroughApsCtrlOnceInitialised)
{
    Imx415Sensor sensor;
    EXPECT_EQ(sensor.width, 3840u);
    EXPECT_EQ(sensor.height, 2160u);
    std::vector<std::pair<std::string, uint32_t>> writes;
    sensor.setWriteRegisterCallback([&](const std::string& name, uint32_t value) { writes.emplace_back(name, value); });

    EXPECT_EQ(sensor.stop(), 0);
    EXPECT_EQ(sensor.start(), -1);
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(sensor.init(std::shared_ptr<Interface>{}), 0);  // no device: the frame stream stays empty
    EXPECT_TRUE(writes.empty());

    EXPECT_EQ(sensor.start(), 0);
    EXPECT_EQ(sensor.start(), 0);
    EXPECT_EQ(sensor.stop(), 0);
    using Write = std::pair<std::string, uint32_t>;
    EXPECT_EQ(writes, (std::vector<Write>{{"aps_ctrl", 1}, {"aps_ctrl", 1}, {"aps_ctrl", 0}}));
}

TEST(Imx415SensorTest, WithoutAWriteCallbackStartFailsAndStopIsHarmless)
{
    Imx415Sensor sensor;
    ASSERT_EQ(sensor.init(std::shared_ptr<Interface>{}), 0);
    EXPECT_EQ(sensor.start(), -1);
    EXPECT_EQ(sensor.stop(), 0);
}

}  // namespace
}  // namespace orvane
