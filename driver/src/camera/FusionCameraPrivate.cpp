#include "orvane/driver/FusionCameraPrivate.h"

#include <algorithm>
#include <chrono>

namespace orvane {
namespace {

constexpr size_t kFusionElements = 2 * 1280 * 720;
// How often a trigger waiting for a free fusion buffer looks whether the camera stopped.
constexpr auto kFusionPoolPoll = std::chrono::milliseconds(50);

}  // namespace

FusionCameraPrivate::FusionCameraPrivate(CameraDescription description)
    : FusionCamera(std::move(description)),
      fusionPool(ObjectPool<std::vector<uint16_t>>::create(kFusionPoolSize, true, kFusionElements))
{
    currentFusionBuffer = fusionPool.acquire();
    currentFusionBuffer->assign(kFusionElements, 0);
}

uint32_t FusionCameraPrivate::addEventsStreamHandleCallback(std::function<void(const Event2D*, const Event2D*)> callback)
{
    return delivery.addEventsStreamHandleCallback(std::move(callback));
}

bool FusionCameraPrivate::removeEventsStreamHandleCallback(uint32_t id)
{
    return delivery.removeEventsStreamHandleCallback(id);
}

uint32_t FusionCameraPrivate::addTriggerInCallback(std::function<void(EventTriggerIn)> callback)
{
    return delivery.addTriggerInCallback(std::move(callback));
}

bool FusionCameraPrivate::removeTriggerInCallback(uint32_t id)
{
    return delivery.removeTriggerInCallback(id);
}

bool FusionCameraPrivate::getNextBatch(std::vector<Event2D>& out)
{
    return delivery.getNextBatch(out);
}

void FusionCameraPrivate::setBatchEventsNum(uint64_t count)
{
    delivery.setBatchEventsNum(count);
}

void FusionCameraPrivate::setBatchEventsTime(uint64_t microseconds)
{
    delivery.setBatchEventsTime(microseconds);
}

void FusionCameraPrivate::eventStreamArrvied(const Event2D* begin, const Event2D* end)
{
    {
        std::lock_guard lock(fusionMutex);
        if (currentFusionBuffer) {
            uint16_t* const counts = currentFusionBuffer->data();
            const uint64_t size = currentFusionBuffer->size();
            for (const Event2D* e = begin; e != end; ++e) {
                const uint64_t i = fusionIndex(e->x, e->y, e->polarity);
                if (i < size && counts[i] < fusionCountCap) ++counts[i];
            }
        }
    }
    delivery.deliverEvents(begin, end);
}

std::shared_ptr<std::vector<uint16_t>> FusionCameraPrivate::takeFusionBuffer()
{
    while (true) {
        if (auto buffer = fusionPool.acquireFor(kFusionPoolPoll)) {
            buffer->assign(kFusionElements, 0);
            return buffer;
        }
        if (!delivery.streaming()) return nullptr;
    }
}

void FusionCameraPrivate::reopenFusionBuffer()
{
    std::lock_guard lock(fusionMutex);
    if (currentFusionBuffer) return;
    currentFusionBuffer = fusionPool.acquireFor(std::chrono::milliseconds(0));
    if (currentFusionBuffer) currentFusionBuffer->assign(kFusionElements, 0);
}

void FusionCameraPrivate::triggerInArrvied(EventTriggerIn trigger)
{
    if (trigger.polarity == 0) {
        std::lock_guard lock(frameMutex);
        apsFrame.fallTimestamp = trigger.timestamp;
    } else {
        {
            std::lock_guard lock(fusionMutex);
            {
                std::lock_guard queueLock(fusionQueueMutex);
                if (fusionQueue.size() >= kFusionQueueLength) fusionQueue.pop_front();
                fusionQueue.push_back({std::move(currentFusionBuffer), trigger.timestamp});
            }
            // Waits while consumers hold every buffer: the DVS thread stalls rather than drop counts.
            currentFusionBuffer = takeFusionBuffer();
        }
        // The frame's time after its buffer is filed, so that a frame callback asking for the
        // events of that time always finds them.
        {
            std::lock_guard lock(frameMutex);
            apsFrame.timestamp = trigger.timestamp;
            ++risingEdges;
        }
        frameTimeCond.notify_all();
    }
    delivery.deliverTrigger(trigger);
}

bool FusionCameraPrivate::getFusionEvents(std::shared_ptr<std::vector<uint16_t>>& out, uint64_t timestamp)
{
    std::lock_guard lock(fusionQueueMutex);
    const size_t passes = fusionQueue.size();
    for (size_t i = 0; i < passes && !fusionQueue.empty(); ++i) {
        FusionEntry& oldest = fusionQueue.front();
        if (!oldest.buffer || oldest.buffer->empty() || oldest.timestamp < timestamp) {
            fusionQueue.pop_front();
        } else if (oldest.timestamp == timestamp) {
            out = std::move(oldest.buffer);
            fusionQueue.pop_front();
            return true;
        }
        // A newer entry stays for the frame it belongs to.
    }
    return false;
}

}  // namespace orvane
