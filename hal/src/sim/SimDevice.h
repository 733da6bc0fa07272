// One simulated camera on the bus. It holds the sensor's register file (reset values from the
// register maps), answers control requests, and runs its own threads like a device's firmware:
//   event thread  every millisecond, while the readout runs and the host has started the
//                 transfers, renders the scene's events up to the wall-clock time, encodes them
//                 (EVT 3.0, TIME_HIGH every 16 us) and queues full buffers on endpoint 0x52;
//   frame thread  (fusion camera) renders an NV12 frame at each exposure, ~30 fps, on 0x53.
// Register writes come from the host's threads; the device threads read the settings they imply
// under the register lock, only when a write has changed them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "orvane/hal/Registers.h"
#include "orvane/hal/Simulator.h"
#include "sim/Replay.h"
#include "sim/Scene.h"
#include "usb/BusDevice.h"

namespace orvane::sim {

class BufferPool;

class SimDevice : public BusDevice {
public:
    SimDevice(Model model, const std::string& serial, const DeviceOptions& options);
    ~SimDevice() override;

    CameraDescription description() const override { return desc_; }
    bool isFusion() const override { return model_ == Model::Tandem; }
    bool connected() const override { return connected_.load(); }
    uint64_t handle() const override { return handle_; }
    void control(CtrlFrame& frame) override;
    void settle(uint32_t delayUs) override;
    std::shared_ptr<EndpointQueue> endpoint(uint8_t address, uint32_t count, uint32_t bytes) override;

    // Stops the device's threads and ends every wait on its endpoints.
    void unplug();

    std::vector<RegisterWrite> writes();
    void clearWrites();
    uint32_t peek(uint32_t address);
    bool readoutActive();
    uint64_t filtered() const { return filtered_.load(); }

    // Why the replay file the device was given cannot be replayed; empty when it can or none was
    // given. Such a device is not put on the bus.
    const std::string& replayFailure() const { return replayFailure_; }

    // The timestamps the sensor gives: microseconds since the device was plugged.
    uint64_t nowUs() const;

private:
    struct Snapshot {
        bool readout = false, triggerIn = false, slave = false, apsOn = false;
        SensorSettings sensor;
        FrameSettings frame;
        uint32_t exposureUs = 8000;
    };
    uint32_t reg(uint32_t address) const;  // register lock held
    uint32_t field(const std::string& reg, const std::string& field) const;
    Snapshot snapshot();
    void eventLoop();
    void frameLoop();
    void push(std::vector<uint8_t>& pending, size_t bytes, bool partial);
    bool sleepFor(std::chrono::microseconds d);  // false when the device is going away

    const Model model_;
    CameraDescription desc_;
    DeviceOptions options_;
    const uint64_t handle_;
    const std::chrono::steady_clock::time_point epoch_;
    std::atomic<bool> connected_{true};
    std::atomic<bool> quit_{false};
    std::mutex quitMutex_;
    std::condition_variable quitCond_;

    mutable std::mutex regMutex_;
    std::unordered_map<uint32_t, uint32_t> regs_;
    std::vector<RegisterWrite> writes_;
    std::atomic<uint64_t> generation_{1};
    RegisterMap dvsMap_, apsMap_;

    std::shared_ptr<EndpointQueue> events_, frames_;
    std::shared_ptr<BufferPool> pool_, framePool_;
    std::atomic<uint64_t> filtered_{0};
    std::unique_ptr<ReplaySource> replay_;  // opened before the event thread starts, used by it only
    std::string replayFailure_;
    std::thread eventThread_, frameThread_;
};

}  // namespace orvane::sim
