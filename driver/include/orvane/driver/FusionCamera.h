// The public handle of a fusion camera: one device with an event sensor (DVS) and a frame sensor
// (APS) whose exposures are signalled to the event sensor's trigger input, so that both streams
// share the DVS clock. Cameras come from DvsCameraManager::openFusionCamera as shared_ptr.
//
// Events arrive as for an event camera (callbacks and batches, on the camera's DVS thread). APS
// frames arrive as BGR images at the frame callbacks (on the APS thread), each stamped with the
// DVS time of its exposure's trigger edge; getFusionEvents gives the events that fell between that
// edge and the one before, as a two-channel count image.
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

class FusionCamera : public CameraBase {
public:
    explicit FusionCamera(CameraDescription description) : CameraBase(std::move(description)) {}
    FusionCamera(const FusionCamera&) = default;
    FusionCamera(FusionCamera&&) = default;
    FusionCamera& operator=(const FusionCamera&) = default;
    FusionCamera& operator=(FusionCamera&&) = default;

    virtual bool isConnected() const = 0;
    virtual uint32_t addEventsStreamHandleCallback(std::function<void(const Event2D*, const Event2D*)> callback) = 0;
    virtual bool removeEventsStreamHandleCallback(uint32_t id) = 0;
    // The frame a callback receives is valid for the duration of the call only.
    virtual uint32_t addApsFrameCallback(std::function<void(const ApsFrame&)> callback) = 0;
    virtual bool removeApsFrameCallback(uint32_t id) = 0;
    virtual uint32_t addTriggerInCallback(std::function<void(EventTriggerIn)> callback) = 0;
    virtual bool removeTriggerInCallback(uint32_t id) = 0;
    // As DvsCamera::getNextBatch.
    virtual bool getNextBatch(std::vector<Event2D>& out) = 0;
    virtual void setBatchEventsNum(uint64_t count) = 0;
    virtual void setBatchEventsTime(uint64_t microseconds) = 0;
    // Start the DVS stream, the APS stream or both; stop ends both whatever the type.
    virtual int start(STREAM_TYPE type) = 0;
    virtual int stop(STREAM_TYPE type) = 0;
    // `path` up to its last "." is the base name: the events go to base + ".raw", the frames to
    // base + ".mp4".
    virtual int startRecording(std::string path, STREAM_TYPE type) = 0;
    virtual int stopRecording(STREAM_TYPE type) = 0;
    // For STREAM_DVS or STREAM_APS.
    virtual uint16_t getWidth(STREAM_TYPE type) = 0;
    virtual uint16_t getHeight(STREAM_TYPE type) = 0;
    // The events between the trigger edge of the frame stamped `timestamp` and the edge before it:
    // counts per pixel and polarity, index 2 * (1280 * y + (1280 - x)) + p, each at most 10. False
    // when no such buffer is queued (only the three most recent are kept).
    virtual bool getFusionEvents(std::shared_ptr<std::vector<uint16_t>>& out, uint64_t timestamp) = 0;
    // The DVS side's events, drops and raw recording, and the frames' drops and video recording
    // so far; any thread.
    virtual FusionCameraStatistics statistics() const = 0;

    // Virtual, so a camera is always destroyed whole, whoever holds its last handle.
    virtual ~FusionCamera() = default;

protected:
    virtual int init() = 0;

private:
    friend class DvsCameraManager;
};

}  // namespace orvane
