// The public handle of a single-sensor event camera. Cameras come from DvsCameraManager as
// shared_ptr; every operation but the tool lookups is implemented inside the library.
//
// Events reach the caller two ways, both produced on the camera's own thread: callbacks that
// borrow each decoded range for the duration of the call, and batches (a fixed number of events
// or a fixed time span) pulled with getNextBatch from the caller's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orvane/driver/CameraBase.h"
#include "orvane/driver/CameraStatistics.h"
#include "orvane/driver/Types.h"

namespace orvane {

class DvsCameraManager;

class DvsCamera : public CameraBase {
public:
    explicit DvsCamera(CameraDescription description) : CameraBase(std::move(description)) {}
    DvsCamera(const DvsCamera&) = default;
    DvsCamera(DvsCamera&&) = default;
    DvsCamera& operator=(const DvsCamera&) = default;
    DvsCamera& operator=(DvsCamera&&) = default;

    virtual bool isConnected() const = 0;
    virtual uint32_t addEventsStreamHandleCallback(std::function<void(const Event2D*, const Event2D*)> callback) = 0;
    virtual bool removeEventsStreamHandleCallback(uint32_t id) = 0;
    virtual uint32_t addTriggerInCallback(std::function<void(EventTriggerIn)> callback) = 0;
    virtual bool removeTriggerInCallback(uint32_t id) = 0;
    // Waits for the next batch published after the call began and swaps it into `out`. True with
    // an empty `out` after a wake-up without a batch (a stop, or no data for a while); false at
    // once when no batch mode is set or the camera is not running.
    virtual bool getNextBatch(std::vector<Event2D>& out) = 0;
    virtual void setBatchEventsNum(uint64_t count) = 0;
    virtual void setBatchEventsTime(uint64_t microseconds) = 0;
    virtual int start() = 0;
    virtual int stop() = 0;
    virtual int startRecording(std::string path) = 0;
    virtual int stopRecording() = 0;
    virtual uint16_t getWidth() = 0;
    virtual uint16_t getHeight() = 0;
    // The events delivered, the device's drops and the recording's writes so far; any thread.
    virtual CameraStatistics statistics() const = 0;

    // Virtual, so a camera is always destroyed whole, whoever holds its last handle.
    virtual ~DvsCamera() = default;

private:
    friend class DvsCameraManager;
    virtual int init() = 0;
};

}  // namespace orvane
