#include "orvane/driver/EventDelivery.h"

#include <chrono>

#include "orvane/base/Logger.h"
#include "orvane/hal/Decoder.h"

namespace orvane {
namespace {

// How long getNextBatch waits for a batch before it returns an empty one, so that a consumer
// loop on a camera that delivers nothing (unplugged, or a sensor gone quiet) can look at its flags.
constexpr auto kBatchWaitLimit = std::chrono::milliseconds(500);

}  // namespace

uint32_t EventDelivery::addEventsStreamHandleCallback(EventsCallback callback)
{
    const uint32_t id = eventCallbacks.add(std::move(callback));
    if (id == kInvalidCallbackId) ORVANE_LOG_WARNING("An empty events callback cannot be called; not added.");
    return id;
}

bool EventDelivery::removeEventsStreamHandleCallback(uint32_t id)
{
    return eventCallbacks.remove(id);
}

uint32_t EventDelivery::addTriggerInCallback(TriggerCallback callback)
{
    const uint32_t id = triggerCallbacks.add(std::move(callback));
    if (id == kInvalidCallbackId) ORVANE_LOG_WARNING("An empty trigger-in callback cannot be called; not added.");
    return id;
}

bool EventDelivery::removeTriggerInCallback(uint32_t id)
{
    return triggerCallbacks.remove(id);
}

void EventDelivery::setBatchEventsNum(uint64_t count)
{
    if (count == 0) {
        ORVANE_LOG_WARNING("A batch of 0 events is refused; the batch mode is unchanged.");
        return;
    }
    batchEventsNum = count;
    std::lock_guard lock(batchModeLock);
    pendingBatchMode = 1;
}

void EventDelivery::setBatchEventsTime(uint64_t microseconds)
{
    if (microseconds == 0) {
        ORVANE_LOG_WARNING("A batch span of 0 us is refused; the batch mode is unchanged.");
        return;
    }
    batchEventsTime = microseconds;
    std::lock_guard lock(batchModeLock);
    pendingBatchMode = 2;
}

uint32_t EventDelivery::currentBatchMode()
{
    std::lock_guard lock(batchModeLock);
    batchMode = pendingBatchMode;
    return batchMode;
}

void EventDelivery::setStreaming(bool streaming)
{
    streaming_ = streaming;
    if (streaming) return;
    // Taking each lock once orders the flag before a waiter's predicate check.
    { std::lock_guard lock(countBatchLock); }
    countBatchCond.notify_all();
    { std::lock_guard lock(timeBatchLock); }
    timeBatchCond.notify_all();
}

bool EventDelivery::waitForBatch(std::mutex& lock, std::condition_variable& cond, const uint64_t& generation,
                                 std::vector<Event2D>& ready, std::vector<Event2D>& out)
{
    std::unique_lock guard(lock);
    const uint64_t seen = generation;
    // Only a batch published after this call began counts; a stop or the time limit wakes it too.
    cond.wait_for(guard, kBatchWaitLimit, [&] { return generation != seen || !streaming_.load(); });
    if (generation != seen) out.swap(ready);
    return true;
}

bool EventDelivery::getNextBatch(std::vector<Event2D>& out)
{
    out.clear();
    const uint32_t mode = currentBatchMode();
    if (mode == 0 || !streaming_.load()) return false;
    if (mode == 1) return waitForBatch(countBatchLock, countBatchCond, countBatchGeneration, readyCountBatch, out);
    return waitForBatch(timeBatchLock, timeBatchCond, timeBatchGeneration, readyTimeBatch, out);
}

void EventDelivery::publishCountBatch()
{
    {
        std::lock_guard lock(countBatchLock);
        readyCountBatch.clear();
        readyCountBatch.swap(fillingCountBatch);
        ++countBatchGeneration;
    }
    countBatchCond.notify_one();
}

void EventDelivery::publishTimeBatch()
{
    {
        std::lock_guard lock(timeBatchLock);
        readyTimeBatch.clear();
        readyTimeBatch.swap(fillingTimeBatch);
        ++timeBatchGeneration;
    }
    timeBatchCond.notify_one();
}

void EventDelivery::deliverEvents(const Event2D* begin, const Event2D* end)
{
    delivered_.fetch_add(static_cast<uint64_t>(end - begin), std::memory_order_relaxed);
    const uint32_t mode = currentBatchMode();
    if (mode == 1 && begin != end) {
        const uint64_t size = batchEventsNum;
        const Event2D* p = begin;
        while (p != end) {
            if (fillingCountBatch.size() >= size) {
                // The batch size was lowered below what is already collected: publish it whole
                // rather than let it grow without bound.
                publishCountBatch();
                continue;
            }
            const uint64_t room = size - fillingCountBatch.size();
            const auto n = static_cast<uint64_t>(end - p);
            if (n <= room) {
                fillingCountBatch.insert(fillingCountBatch.end(), p, end);
                break;
            }
            fillingCountBatch.insert(fillingCountBatch.end(), p, p + room);
            p += room;
            publishCountBatch();
        }
    } else if (mode == 2 && begin != end) {
        const uint64_t span = batchEventsTime;
        uint64_t deadline = (fillingTimeBatch.empty() ? begin->timestamp : fillingTimeBatch.front().timestamp) + span;
        const Event2D* p = begin;
        while (true) {
            if (end[-1].timestamp <= deadline) {
                fillingTimeBatch.insert(fillingTimeBatch.end(), p, end);
                break;
            }
            const Event2D* split = binarySearchTimestamp(deadline, p, end);
            fillingTimeBatch.insert(fillingTimeBatch.end(), p, split);
            publishTimeBatch();
            deadline += span;
            p = split;
        }
    }
    eventCallbacks.call(begin, end);
}

void EventDelivery::deliverTrigger(EventTriggerIn trigger)
{
    triggerCallbacks.call(trigger);
}

}  // namespace orvane
