// A fusion camera without a device: tests and benchmarks drive its decoder-side entry points
// directly, as the DVS thread would. The device operations answer as an idle camera.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "orvane/driver/FusionCameraPrivate.h"

namespace orvane::test {

class FusionProbe : public FusionCameraPrivate {
public:
    FusionProbe() : FusionCameraPrivate(CameraDescription{}) {}

    bool isConnected() const override { return true; }
    uint32_t addApsFrameCallback(std::function<void(const ApsFrame&)>) override { return kInvalidCallbackId; }
    bool removeApsFrameCallback(uint32_t) override { return false; }
    int start(STREAM_TYPE) override { return 0; }
    int stop(STREAM_TYPE) override { return 0; }
    int startRecording(std::string, STREAM_TYPE) override { return -1; }
    int stopRecording(STREAM_TYPE) override { return 0; }
    uint16_t getWidth(STREAM_TYPE) override { return 0; }
    uint16_t getHeight(STREAM_TYPE) override { return 0; }
    FusionCameraStatistics statistics() const override { return {}; }

    void events(const Event2D* begin, const Event2D* end) { eventStreamArrvied(begin, end); }
    void events(const std::vector<Event2D>& batch) { events(batch.data(), batch.data() + batch.size()); }
    void edge(int16_t polarity, uint64_t timestamp) { triggerInArrvied(EventTriggerIn(0, polarity, timestamp)); }
    void setStreaming(bool streaming) { delivery.setStreaming(streaming); }
    // The frame's (falling, rising) edge times as the trigger handler left them.
    std::pair<uint64_t, uint64_t> frameTimes()
    {
        std::lock_guard lock(frameMutex);
        return {apsFrame.fallTimestamp, apsFrame.timestamp};
    }

protected:
    int init() override { return 0; }
};

}  // namespace orvane::test
