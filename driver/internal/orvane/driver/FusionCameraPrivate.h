// The event side of a fusion camera that does not depend on the device: event and trigger-in
// callbacks, batches, and the fusion buffers.
//
// A fusion buffer counts the events of each pixel and polarity between two rising trigger edges
// (two APS exposures). The rising edge closes the buffer being filled, files it under the edge's
// time (the time its APS frame is stamped with) in a queue of the three most recent, and opens a
// fresh one from a bounded pool of eight. getFusionEvents hands a filed buffer out by frame time.
//
// Threads: eventStreamArrvied and triggerInArrvied run on the DVS camera thread; getFusionEvents
// on the caller's (the viewer calls it from its APS frame callback, holding frameMutex). Lock
// order: frameMutex, then fusionMutex, then fusionQueueMutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "orvane/driver/EventDelivery.h"
#include "orvane/driver/FusionCamera.h"
#include "orvane/driver/ObjectPool.h"

namespace orvane {

class FusionCameraPrivate : public FusionCamera {
public:
    static constexpr uint32_t kFusionPoolSize = 8;
    static constexpr size_t kFusionQueueLength = 3;

    explicit FusionCameraPrivate(CameraDescription description);
    FusionCameraPrivate(const FusionCameraPrivate&) = delete;
    FusionCameraPrivate& operator=(const FusionCameraPrivate&) = delete;

    uint32_t addEventsStreamHandleCallback(std::function<void(const Event2D*, const Event2D*)> callback) override;
    bool removeEventsStreamHandleCallback(uint32_t id) override;
    uint32_t addTriggerInCallback(std::function<void(EventTriggerIn)> callback) override;
    bool removeTriggerInCallback(uint32_t id) override;
    bool getNextBatch(std::vector<Event2D>& out) override;
    void setBatchEventsNum(uint64_t count) override;
    void setBatchEventsTime(uint64_t microseconds) override;
    bool getFusionEvents(std::shared_ptr<std::vector<uint16_t>>& out, uint64_t timestamp) override;

    // The element of the fusion buffer an event at (x, y) counts in. The columns run mirrored
    // (W - x), so x = 0 lands on the first element of the next row, and off the end on the last row.
    static uint64_t fusionIndex(uint16_t x, uint16_t y, uint8_t polarity)
    {
        return 2 * (uint64_t{kDvsWidth} * y + (kDvsWidth - x)) + (polarity ? 1 : 0);
    }

protected:
    static constexpr uint32_t kDvsWidth = 1280;

    struct FusionEntry {
        std::shared_ptr<std::vector<uint16_t>> buffer;
        uint64_t timestamp = 0;
    };

    void eventStreamArrvied(const Event2D* begin, const Event2D* end);
    void triggerInArrvied(EventTriggerIn trigger);
    // At a start: opens a buffer again if a stop left none (a consumer held them all), provided
    // one is free now, so counting resumes with the stream rather than at its second edge.
    void reopenFusionBuffer();

    const uint32_t apsWidth = 3840;
    const uint32_t apsHeight = 2160;
    const uint32_t dvsWidth = kDvsWidth;
    const uint32_t dvsHeight = 720;

    EventDelivery delivery;  // callbacks and batches; its streaming flag follows the DVS thread

    const uint16_t fusionCountCap = 10;
    ObjectPool<std::vector<uint16_t>> fusionPool;
    std::shared_ptr<std::vector<uint16_t>> currentFusionBuffer;  // empty while the pool had none
    std::mutex fusionMutex;
    std::deque<FusionEntry> fusionQueue;  // oldest first
    std::mutex fusionQueueMutex;

    // The frame every APS callback receives; the trigger handler writes its two times.
    ApsFrame apsFrame;
    std::mutex frameMutex;
    uint64_t risingEdges = 0;  // under frameMutex: rising edges seen so far
    std::condition_variable frameTimeCond;  // signalled at each rising edge

private:
    // A zeroed buffer from the pool; waits while all are out, but gives up (empty) once the
    // camera stops streaming, so that a consumer holding every buffer cannot hang a stop.
    std::shared_ptr<std::vector<uint16_t>> takeFusionBuffer();
};

}  // namespace orvane
