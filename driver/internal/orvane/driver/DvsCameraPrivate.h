// The implementation of DvsCamera: callbacks, batches, the camera thread and raw recording.
//
// Threads. The application thread starts and stops the camera, adds and removes callbacks, sets
// the batch mode and pulls batches. The camera thread (cameraLoop) takes raw buffers from the
// sensor's event stream, hands each to the recorder while recording, decodes it and delivers the
// events to the batches and callbacks. The recorder's thread writes full chunks to the raw file,
// so the camera thread never waits for the disk.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "orvane/driver/DvsCamera.h"
#include "orvane/driver/EventDelivery.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

class RawRecorder;
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

    CameraStatistics statistics() const override;

protected:
    void cameraLoop();
    void eventStreamArrvied(const Event2D* begin, const Event2D* end);
    void triggerInArrvied(EventTriggerIn event);

    EventDelivery delivery;  // callbacks and batches
    std::shared_ptr<RegisterController> registerController;
    std::unique_ptr<Decoder> decoder;
    std::shared_ptr<UsbInterface> interface;
    uint64_t interfaceSlot = 0;
    std::thread cameraThread;
    bool inited = false;
    std::atomic<int32_t> running{0};
    std::unique_ptr<Sensor> sensor;
    std::unique_ptr<RawRecorder> recorder;  // the raw file, its chunks and record thread

private:
    virtual RawEventStreamFormat getRawEventStreamFormat() = 0;

    std::mutex startStopLock;  // start/stop from different threads must not race on cameraThread
};

}  // namespace orvane
