// Hands decoded events to a camera's users: the registered events and trigger-in callbacks, and
// batches of a fixed number of events or a fixed time span that a consumer pulls with
// getNextBatch. Both the event cameras and the fusion camera deliver their events through one.
//
// Threads: deliverEvents and deliverTrigger run on the camera thread; the rest on any thread.
// Callbacks are called under their map's lock, so a callback must not add or remove callbacks.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "orvane/driver/CallbackRegistry.h"
#include "orvane/types/Event2D.h"

namespace orvane {

class EventDelivery {
public:
    // Returned by the add-callback operations when they refuse an empty function.
    static constexpr uint32_t kInvalidCallbackId = UINT32_MAX;  // what the registries answer

    using EventsCallback = std::function<void(const Event2D*, const Event2D*)>;
    using TriggerCallback = std::function<void(EventTriggerIn)>;

    // Ids count up from 0 per kind.
    uint32_t addEventsStreamHandleCallback(EventsCallback callback);
    bool removeEventsStreamHandleCallback(uint32_t id);
    uint32_t addTriggerInCallback(TriggerCallback callback);
    bool removeTriggerInCallback(uint32_t id);

    // Switch to batches of `count` events / of `microseconds` of event time; 0 is refused.
    void setBatchEventsNum(uint64_t count);
    void setBatchEventsTime(uint64_t microseconds);
    // Waits for the next batch published after the call began and swaps it into `out`. True with
    // an empty `out` after a wake-up without a batch (a stop, or no data for a while); false at
    // once when no batch mode is set or the camera is not streaming.
    bool getNextBatch(std::vector<Event2D>& out);

    // The owner says when its camera thread runs; leaving the streaming state wakes every waiter.
    void setStreaming(bool streaming);
    bool streaming() const { return streaming_.load(); }

    void deliverEvents(const Event2D* begin, const Event2D* end);
    // Events handed to deliverEvents so far (any thread).
    uint64_t eventsDelivered() const { return delivered_.load(std::memory_order_relaxed); }
    void deliverTrigger(EventTriggerIn trigger);

protected:
    CallbackRegistry<EventsCallback> eventCallbacks;
    CallbackRegistry<TriggerCallback> triggerCallbacks;
    uint32_t pendingBatchMode = 0;  // 0 none, 1 by count, 2 by time
    uint32_t batchMode = 0;
    std::mutex batchModeLock;
    std::atomic<uint64_t> batchEventsNum{131072};
    std::atomic<uint64_t> batchEventsTime{10000};
    std::vector<Event2D> readyCountBatch, fillingCountBatch;
    std::mutex countBatchLock;
    std::condition_variable countBatchCond;
    uint64_t countBatchGeneration = 0;  // bumped per published batch, so a waiter knows it got one
    std::vector<Event2D> readyTimeBatch, fillingTimeBatch;
    std::mutex timeBatchLock;
    std::condition_variable timeBatchCond;
    uint64_t timeBatchGeneration = 0;

private:
    uint32_t currentBatchMode();
    void publishCountBatch();
    void publishTimeBatch();
    bool waitForBatch(std::mutex& lock, std::condition_variable& cond, const uint64_t& generation,
                      std::vector<Event2D>& ready, std::vector<Event2D>& out);

    std::atomic<bool> streaming_{false};
    std::atomic<uint64_t> delivered_{0};  // written by the camera thread only
};

}  // namespace orvane
