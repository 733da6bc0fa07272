// The simulated event sensor's world and pixel pipeline: a procedural scene (a bar sweeping
// sideways, a bar sweeping up and down, a square drifting diagonally, a light flickering at 100 Hz,
// background noise) turned into time-ordered ON/OFF events, then the sensor's digital filters (ROI,
// anti-flicker, trail filter, rate control) as the registers configure them. Also the NV12 frames
// of the same scene for the fusion camera's frame sensor.
//
// Everything is a pure function of the device time and the settings, so a slice of time can be
// produced on its own: edges cross pixel columns and rows at known times, and the random choices
// come from a hash of what they are about. Used by one device thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "orvane/types/Event2D.h"

namespace orvane::sim {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr uint64_t kFlickerHalfPeriodUs = 5000;  // 100 Hz

// What the registers say, decoded once per change.
struct SensorSettings {
    double targetRate = 2e6;  // events/s of the scene at default biases
    // Bias offsets from their defaults.
    int diffOn = 0, diffOff = 0, diff = 0, fo = 0, hpf = 0, refr = 0;
    bool roiEnabled = false, roiKeepWindow = true;  // window (ROI) or all but the window (RONI)
    std::vector<uint8_t> roiColumn, roiRow;         // 1 = line selected
    bool afkEnabled = false, afkBandPass = false;
    double afkLowHz = 50, afkHighHz = 520;
    bool trailEnabled = false, stcEnabled = false;
    uint32_t trailThresholdUs = 10000, stcThresholdUs = 10000;
    bool ercEnabled = false;
    uint32_t ercPeriodUs = 200, ercEventsPerPeriod = 4000;
};

class EventScene {
public:
    void configure(const SensorSettings& settings);
    // Appends the events with times in [t0, t1) to `out`, time-ordered, filters applied.
    // Slices must follow each other (the filters keep per-pixel state).
    void produce(uint64_t t0, uint64_t t1, std::vector<Event2D>& out);

    uint64_t filteredOut() const { return filteredOut_; }

    // Scene geometry at a time, shared with the frame renderer (sensor pixels).
    struct Rect {
        int x0, y0, x1, y1;  // [x0, x1) x [y0, y1)
    };
    static Rect verticalBar(uint64_t t);
    static Rect horizontalBar(uint64_t t);
    static Rect square(uint64_t t);
    static Rect flickerLight() { return {1000, 90, 1120, 170}; }
    static bool flickerOn(uint64_t t) { return (t / kFlickerHalfPeriodUs) % 2 == 0; }

private:
    void generate(uint64_t t0, uint64_t t1);
    void emitBurst(uint64_t tc, uint16_t x, uint16_t y, bool on, uint64_t t0, uint64_t t1, uint64_t key);
    void emitRowBurst(uint64_t tc, uint16_t x0, uint16_t x1, uint16_t y, bool on, uint64_t t0, uint64_t t1,
                      uint64_t key);
    void sortInto(uint64_t t0, uint64_t t1, std::vector<Event2D>& out, size_t from);
    void filter(std::vector<Event2D>& out, size_t from);

    SensorSettings s_;
    double mOn_ = 1, mOff_ = 1;  // events per pixel crossing
    double noiseRate_ = 0;       // events/s
    uint32_t burstSpacingUs_ = 40;
    bool flickerVisible_ = true, staticVisible_ = true;
    std::vector<Event2D> staged_;
    std::vector<uint32_t> buckets_;
    std::vector<uint8_t> roiPass_;  // per pixel, when ROI is on
    std::vector<uint64_t> lastT_;   // trail filter state per pixel
    std::vector<uint8_t> lastState_;  // bit 0-1 polarity+1, bit 2 burst already passed
    uint64_t ercWindowStart_ = 0;
    uint64_t filteredOut_ = 0;
};

struct FrameSettings {
    bool autoExposure = true;
    uint32_t shutterLines = 102;
    bool autoWhiteBalance = true;
    uint32_t blackLevel = 50;
};

// 3840 x 2160 NV12 pictures of the scene: rows filled with memset, a handful of rectangles.
void renderFrame(uint64_t t, const FrameSettings& settings, std::vector<uint8_t>& nv12);
constexpr int kFrameWidth = 3840;
constexpr int kFrameHeight = 2160;
constexpr uint32_t kFrameBytes = kFrameWidth * kFrameHeight * 3 / 2;

}  // namespace orvane::sim
