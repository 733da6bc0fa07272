// The implementation of DvsCamera: callbacks, batches, the camera thread and raw recording.
//
// Threads. The application thread starts and stops the camera, adds and removes callbacks, sets
// the batch mode and pulls batches. The camera thread (cameraLoop) takes raw buffers from the
// sensor's event stream, hands each to the recorder while recording, decodes it and delivers the
// events to the batches and callbacks. The record thread (recordLoop) writes full chunks to the
// raw file, so the camera thread never waits for the disk.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "orvane/driver/DvsCamera.h"
#include "orvane/driver/ObjectPool.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

class RegisterController;
class Sensor;
class UsbInterface;

class DvsCameraPrivate : public DvsCamera {
public:
    static constexpr uint64_t kMaxRawDataBufferSize = 10485760;  // bytes per recording chunk

    explicit DvsCameraPrivate(CameraDescription description);
    DvsCameraPrivate(const DvsCameraPrivate&) = delete;
    DvsCameraPrivate& operator=(const DvsCameraPrivate&) = delete;

    uint32_t addEventsStreamHandleCallback(std::function<void(const Event2D*, const Event2D*)> callback) override;
    bool removeEventsStreamHandleCallback(uint32_t id) override;
    uint32_t addTriggerInCallback(std::function<void(EventTriggerIn)> callback) override;
    bool removeTriggerInCallback(uint32_t id) override;
    bool getNextBatch(std::vector<Event2D>& out) override;
    void setBatchEventsNum(uint64_t count) override;
    void setBatchEventsTime(uint64_t microseconds) override;
    int start() override;
    int stop() override;
    int startRecording(std::string path) override;
    int stopRecording() override;

    ~DvsCameraPrivate() override;

    // Data the device had to drop because the host did not take it in time (buffers, bytes).
    uint64_t droppedBuffers() const;
    uint64_t droppedBytes() const;

protected:
    void cameraLoop();
    void eventStreamArrvied(const Event2D* begin, const Event2D* end);
    void triggerInArrvied(EventTriggerIn event);
    void prepareData2Save(std::vector<uint8_t>& buffer);
    void recordLoop();
    void saveBuffer2File(const uint8_t* data, uint64_t size);

    std::unordered_map<uint32_t, std::function<void(const Event2D*, const Event2D*)>> eventCallbacks;
    uint32_t nextEventCallbackId = 0;
    std::mutex eventCallbacksLock;
    std::unordered_map<uint32_t, std::function<void(EventTriggerIn)>> triggerCallbacks;
    uint32_t nextTriggerCallbackId = 0;
    std::mutex triggerCallbacksLock;
    uint32_t pendingBatchMode = 0;  // 0 none, 1 by count, 2 by time
    uint32_t batchMode = 0;
    std::mutex batchModeLock;
    std::atomic<uint64_t> batchEventsNum{131072};
    std::atomic<uint64_t> batchEventsTime{10000};
    std::shared_ptr<RegisterController> registerController;
    std::unique_ptr<ObjectPool<std::vector<uint8_t>>> recordPool;
    std::shared_ptr<std::vector<uint8_t>> recordBuffer;
    std::unique_ptr<Decoder> decoder;
    std::shared_ptr<UsbInterface> interface;
    uint64_t interfaceSlot = 0;
    std::thread cameraThread;
    bool inited = false;
    std::atomic<int32_t> running{0};
    std::vector<Event2D> readyCountBatch, fillingCountBatch;
    std::mutex countBatchLock;
    std::condition_variable countBatchCond;
    uint64_t countBatchGeneration = 0;  // bumped per published batch, so a waiter knows it got one
    std::vector<Event2D> readyTimeBatch, fillingTimeBatch;
    std::mutex timeBatchLock;
    std::condition_variable timeBatchCond;
    uint64_t timeBatchGeneration = 0;
    std::deque<std::shared_ptr<std::vector<uint8_t>>> recordQueue;
    std::mutex recordLock;
    std::condition_variable recordCond;
    std::ofstream recordFile;
    std::atomic<bool> recording{false};
    std::thread recordThread;
    std::unique_ptr<Sensor> sensor;

private:
    virtual RawEventStreamFormat getRawEventStreamFormat() = 0;

    void publishCountBatch();
    void publishTimeBatch();
    bool waitForBatch(std::mutex& lock, std::condition_variable& cond, const uint64_t& generation,
                      std::vector<Event2D>& ready, std::vector<Event2D>& out);

    std::mutex recordBufferLock;  // the camera thread's appends against the final flush at stop
    std::string recordPath;
    bool recordWriteFailed = false;  // record thread only, read after join
    std::atomic<uint64_t> recordedBytes{0};
    std::mutex startStopLock;  // start/stop from different threads must not race on cameraThread
};

}  // namespace orvane
