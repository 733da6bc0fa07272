#include "orvane/driver/DvsCameraPrivate.h"

#include <stdexcept>

#include "RawRecorder.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/Sensor.h"
#include "orvane/hal/EventStream.h"

namespace orvane {

DvsCameraPrivate::DvsCameraPrivate(CameraDescription description)
    : DvsCamera(std::move(description)), recorder(std::make_unique<RawRecorder>(kMaxRawDataBufferSize, 10))
{
}

DvsCameraPrivate::~DvsCameraPrivate()
{
    // A recording ends first, so that its record thread is joined and its file complete.
    if (inited) stopRecording();
    stop();
    sensor.reset();
}

CameraStatistics DvsCameraPrivate::statistics() const
{
    CameraStatistics out;
    out.eventsDelivered = delivery.eventsDelivered();
    if (const EventStream* stream = sensor ? sensor->getEventStream() : nullptr) {
        out.droppedBuffers = stream->droppedBuffers();
        out.droppedBytes = stream->droppedBytes();
    }
    RawRecorder::WriteStats writes = recorder->writeStats();
    out.recordedBytes = writes.bytes;
    out.recordingWrites = writes.writes;
    out.smallestWrite = writes.smallestWrite;
    out.largestWrite = writes.largestWrite;
    out.recordingFailure = std::move(writes.failure);
    return out;
}

uint32_t DvsCameraPrivate::addEventsStreamHandleCallback(std::function<void(const Event2D*, const Event2D*)> callback)
{
    return delivery.addEventsStreamHandleCallback(std::move(callback));
}

bool DvsCameraPrivate::removeEventsStreamHandleCallback(uint32_t id)
{
    return delivery.removeEventsStreamHandleCallback(id);
}

uint32_t DvsCameraPrivate::addTriggerInCallback(std::function<void(EventTriggerIn)> callback)
{
    return delivery.addTriggerInCallback(std::move(callback));
}

bool DvsCameraPrivate::removeTriggerInCallback(uint32_t id)
{
    return delivery.removeTriggerInCallback(id);
}

void DvsCameraPrivate::setBatchEventsNum(uint64_t count)
{
    delivery.setBatchEventsNum(count);
}

void DvsCameraPrivate::setBatchEventsTime(uint64_t microseconds)
{
    delivery.setBatchEventsTime(microseconds);
}

bool DvsCameraPrivate::getNextBatch(std::vector<Event2D>& out)
{
    return delivery.getNextBatch(out);
}

void DvsCameraPrivate::eventStreamArrvied(const Event2D* begin, const Event2D* end)
{
    delivery.deliverEvents(begin, end);
}

void DvsCameraPrivate::triggerInArrvied(EventTriggerIn event)
{
    delivery.deliverTrigger(event);
}

void DvsCameraPrivate::cameraLoop()
{
    while (running.load() == 1) {
        auto buffer = sensor->getNextBuffer();
        if (!buffer || !*buffer) continue;
        std::vector<uint8_t>& data = **buffer;
        if (recorder->recording()) recorder->append(data.data(), data.size());
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
    delivery.setStreaming(true);
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
        delivery.setStreaming(false);
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
    switch (recorder->start(path)) {
    case RawRecorder::Start::Started: return 0;
    case RawRecorder::Start::AlreadyRecording: ORVANE_LOG_INFO("Do not save again while saving."); return -1;
    case RawRecorder::Start::CannotOpen: break;
    }
    throw std::runtime_error("Unable to open " + path + " for writing");
}

int DvsCameraPrivate::stopRecording()
{
    if (!inited) throw std::runtime_error("Camera is not inited");
    return recorder->stop();
}

}  // namespace orvane
