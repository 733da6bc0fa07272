#include "orvane/driver/DvsCameraPrivate.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "RawHeader.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/Sensor.h"
#include "orvane/hal/EventStream.h"

namespace orvane {
namespace {


// How long getNextBatch waits for a batch before it returns an empty one, so that a consumer
// loop on a camera that delivers nothing (unplugged, or a sensor gone quiet) can look at its flags.
constexpr auto kBatchWaitLimit = std::chrono::milliseconds(500);

}  // namespace

DvsCameraPrivate::DvsCameraPrivate(CameraDescription description) : DvsCamera(std::move(description)) {}

DvsCameraPrivate::~DvsCameraPrivate()
{
    // A recording ends first, so that its record thread is joined and its file complete.
    if (inited) stopRecording();
    stop();
    sensor.reset();
}

uint64_t DvsCameraPrivate::droppedBuffers() const
{
    const EventStream* stream = sensor ? sensor->getEventStream() : nullptr;
    return stream ? stream->droppedBuffers() : 0;
}

uint64_t DvsCameraPrivate::droppedBytes() const
{
    const EventStream* stream = sensor ? sensor->getEventStream() : nullptr;
    return stream ? stream->droppedBytes() : 0;
}

uint32_t DvsCameraPrivate::addEventsStreamHandleCallback(std::function<void(const Event2D*, const Event2D*)> callback)
{
    if (!callback) {
        ORVANE_LOG_WARNING("An empty events callback cannot be called; not added.");
        return kInvalidCallbackId;
    }
    std::lock_guard lock(eventCallbacksLock);
    const uint32_t id = nextEventCallbackId++;
    eventCallbacks.emplace(id, std::move(callback));
    return id;
}

bool DvsCameraPrivate::removeEventsStreamHandleCallback(uint32_t id)
{
    std::lock_guard lock(eventCallbacksLock);
    return eventCallbacks.erase(id) != 0;
}

uint32_t DvsCameraPrivate::addTriggerInCallback(std::function<void(EventTriggerIn)> callback)
{
    if (!callback) {
        ORVANE_LOG_WARNING("An empty trigger-in callback cannot be called; not added.");
        return kInvalidCallbackId;
    }
    std::lock_guard lock(triggerCallbacksLock);
    const uint32_t id = nextTriggerCallbackId++;
    triggerCallbacks.emplace(id, std::move(callback));
    return id;
}

bool DvsCameraPrivate::removeTriggerInCallback(uint32_t id)
{
    std::lock_guard lock(triggerCallbacksLock);
    return triggerCallbacks.erase(id) != 0;
}

void DvsCameraPrivate::setBatchEventsNum(uint64_t count)
{
    if (count == 0) {
        ORVANE_LOG_WARNING("A batch of 0 events is refused; the batch mode is unchanged.");
        return;
    }
    batchEventsNum = count;
    std::lock_guard lock(batchModeLock);
    pendingBatchMode = 1;
}

void DvsCameraPrivate::setBatchEventsTime(uint64_t microseconds)
{
    if (microseconds == 0) {
        ORVANE_LOG_WARNING("A batch span of 0 us is refused; the batch mode is unchanged.");
        return;
    }
    batchEventsTime = microseconds;
    std::lock_guard lock(batchModeLock);
    pendingBatchMode = 2;
}

bool DvsCameraPrivate::waitForBatch(std::mutex& lock, std::condition_variable& cond, const uint64_t& generation,
                                    std::vector<Event2D>& ready, std::vector<Event2D>& out)
{
    std::unique_lock guard(lock);
    const uint64_t seen = generation;
    // Only a batch published after this call began counts; a stop or the time limit wakes it too.
    cond.wait_for(guard, kBatchWaitLimit, [&] { return generation != seen || running.load() == 0; });
    if (generation != seen) out.swap(ready);
    return true;
}

bool DvsCameraPrivate::getNextBatch(std::vector<Event2D>& out)
{
    out.clear();
    uint32_t mode;
    {
        std::lock_guard lock(batchModeLock);
        batchMode = pendingBatchMode;
        mode = batchMode;
    }
    if (mode == 0 || running.load() == 0) return false;
    if (mode == 1) return waitForBatch(countBatchLock, countBatchCond, countBatchGeneration, readyCountBatch, out);
    return waitForBatch(timeBatchLock, timeBatchCond, timeBatchGeneration, readyTimeBatch, out);
}

void DvsCameraPrivate::publishCountBatch()
{
    {
        std::lock_guard lock(countBatchLock);
        readyCountBatch.clear();
        readyCountBatch.swap(fillingCountBatch);
        ++countBatchGeneration;
    }
    countBatchCond.notify_one();
}

void DvsCameraPrivate::publishTimeBatch()
{
    {
        std::lock_guard lock(timeBatchLock);
        readyTimeBatch.clear();
        readyTimeBatch.swap(fillingTimeBatch);
        ++timeBatchGeneration;
    }
    timeBatchCond.notify_one();
}

void DvsCameraPrivate::eventStreamArrvied(const Event2D* begin, const Event2D* end)
{
    uint32_t mode;
    {
        std::lock_guard lock(batchModeLock);
        batchMode = pendingBatchMode;
        mode = batchMode;
    }
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
    std::lock_guard lock(eventCallbacksLock);
    for (auto& [id, callback] : eventCallbacks) callback(begin, end);
}

void DvsCameraPrivate::triggerInArrvied(EventTriggerIn event)
{
    std::lock_guard lock(triggerCallbacksLock);
    for (auto& [id, callback] : triggerCallbacks) callback(event);
}

void DvsCameraPrivate::cameraLoop()
{
    while (running.load() == 1) {
        auto buffer = sensor->getNextBuffer();
        if (!buffer || !*buffer) continue;
        std::vector<uint8_t>& data = **buffer;
        if (recording.load()) prepareData2Save(data);
        decoder->decodeBuffer(data);
    }
}

int DvsCameraPrivate::start()
{
    if (!inited) throw std::runtime_error("Camera is not inited");
    std::lock_guard guard(startStopLock);
    if (running.load() != 0) {
        ORVANE_LOG_INFO("Camera is already started.");
        return 0;  // never a second camera thread
    }
    sensor->start();
    running = 1;
    cameraThread = std::thread(&DvsCameraPrivate::cameraLoop, this);
    return 0;
}

int DvsCameraPrivate::stop()
{
    std::lock_guard guard(startStopLock);
    if (!inited || running.load() == 0) return 0;
    try {
        running = 0;
        if (cameraThread.joinable()) cameraThread.join();
        {
            std::lock_guard lock(countBatchLock);
        }
        countBatchCond.notify_one();
        {
            std::lock_guard lock(timeBatchLock);
        }
        timeBatchCond.notify_one();
        sensor->stop();
    } catch (const std::exception& e) {
        ORVANE_LOG_ERROR("Stopping the camera failed: %s", e.what());
        return -1;
    }
    return 0;
}

int DvsCameraPrivate::startRecording(std::string path)
{
    if (!inited) throw std::runtime_error("Camera is not inited");
    if (recording.load()) {
        ORVANE_LOG_INFO("Do not save again while saving.");
        return -1;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) throw std::runtime_error("Unable to open " + path + " for writing");
    recordFile = std::move(file);
    const std::string header = rawFileHeader(kRecordingHeaderDate);  // the same bytes every time
    recordFile.write(header.data(), static_cast<std::streamsize>(header.size()));
    recordPath = path;
    recordWriteFailed = !recordFile.good();
    recordedBytes = 0;
    recordPool = std::make_unique<ObjectPool<std::vector<uint8_t>>>(
        ObjectPool<std::vector<uint8_t>>::create(10, false, kMaxRawDataBufferSize));
    {
        std::lock_guard lock(recordBufferLock);
        recordBuffer = recordPool->acquire();
        recordBuffer->clear();
        recordQueue.clear();
        recording = true;
    }
    recordThread = std::thread(&DvsCameraPrivate::recordLoop, this);
    return 0;
}

void DvsCameraPrivate::prepareData2Save(std::vector<uint8_t>& buffer)
{
    std::lock_guard guard(recordBufferLock);
    if (!recording.load()) return;  // the stop took the last chunk already
    recordBuffer->insert(recordBuffer->end(), buffer.begin(), buffer.end());
    recordedBytes += buffer.size();
    if (recordBuffer->size() > kMaxRawDataBufferSize) {
        {
            std::lock_guard lock(recordLock);
            recordQueue.push_back(recordBuffer);
        }
        recordCond.notify_one();
        recordBuffer = recordPool->acquire();
        recordBuffer->clear();
    }
}

void DvsCameraPrivate::recordLoop()
{
    std::unique_lock lock(recordLock);
    while (true) {
        // The predicate makes a stop that comes before the wait still end it.
        recordCond.wait(lock, [this] { return !recordQueue.empty() || !recording.load(); });
        while (!recordQueue.empty()) {
            auto chunk = std::move(recordQueue.front());
            recordQueue.pop_front();
            // Write outside the lock: the camera thread must never wait for the disk, or the
            // device would overflow and drop data.
            lock.unlock();
            saveBuffer2File(chunk->data(), chunk->size());
            chunk.reset();
            lock.lock();
        }
        if (!recording.load()) return;
    }
}

void DvsCameraPrivate::saveBuffer2File(const uint8_t* data, uint64_t size)
{
    if (size == 0) return;
    recordFile.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!recordFile.good() && !recordWriteFailed) {
        recordWriteFailed = true;
        ORVANE_LOG_ERROR("Writing the recording %s failed: %s", recordPath.c_str(), std::strerror(errno));
    }
}

int DvsCameraPrivate::stopRecording()
{
    if (!inited) throw std::runtime_error("Camera is not inited");
    if (!recording.load()) return 0;
    {
        // The chunk being filled holds the last bytes the camera delivered: queue it too.
        std::lock_guard guard(recordBufferLock);
        std::lock_guard lock(recordLock);
        if (recordBuffer && !recordBuffer->empty()) recordQueue.push_back(recordBuffer);
        recordBuffer.reset();
        recording = false;
    }
    recordCond.notify_one();
    if (recordThread.joinable()) recordThread.join();
    recordFile.close();
    const bool failed = recordWriteFailed || recordFile.fail();
    recordPool.reset();
    if (failed) {
        ORVANE_LOG_ERROR("The recording %s is incomplete: the file could not be written.", recordPath.c_str());
        return -1;
    }
    return 0;
}

}  // namespace orvane
