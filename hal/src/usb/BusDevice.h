// The seam between the HAL's interfaces and its backends. A backend puts BusDevices on the one
// DeviceBus; UsbInterface talks to a BusDevice and nothing else. A device's bulk endpoints are
// EndpointQueues: bounded FIFOs that the device fills and one host consumer drains.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvane/hal/HalTypes.h"
#include "orvane/hal/UsbInterface.h"

namespace orvane {

using Buffer = std::vector<uint8_t>;
using BufferPtr = std::shared_ptr<Buffer>;

class BulkEndpoint {
public:
    virtual ~BulkEndpoint() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    // 1 with a buffer, 0 on timeout, -1 when the device is gone.
    virtual int wait(BufferPtr& out, std::chrono::milliseconds timeout) = 0;
    virtual uint64_t droppedBuffers() const = 0;
    virtual uint64_t droppedBytes() const = 0;
};

// A bounded device FIFO of whole buffers. The device pushes while the host has started the
// transfers; a push into a full FIFO drops the buffer and counts it.
class EndpointQueue : public BulkEndpoint {
public:
    EndpointQueue(uint8_t address, std::string owner, size_t capacityBuffers);

    void start() override;
    void stop() override;
    int wait(BufferPtr& out, std::chrono::milliseconds timeout) override;
    uint64_t droppedBuffers() const override { return droppedBuffers_.load(); }
    uint64_t droppedBytes() const override { return droppedBytes_.load(); }

    // Device side.
    bool armed() const { return armed_.load(std::memory_order_acquire); }
    // False when the buffer was dropped (FIFO full, or transfers not started).
    bool push(BufferPtr buffer);
    void clear();
    void disconnect();
    void setCapacity(size_t buffers);
    void setBufferBytes(uint32_t bytes) { bufferBytes_.store(bytes); }
    uint32_t bufferBytes() const { return bufferBytes_.load(); }
    size_t queued() const;

private:
    const uint8_t address_;
    const std::string owner_;
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    std::deque<BufferPtr> fifo_;
    size_t capacity_;
    std::atomic<bool> armed_{false};
    std::atomic<bool> gone_{false};
    std::atomic<uint32_t> bufferBytes_{0};
    std::atomic<uint64_t> droppedBuffers_{0};
    std::atomic<uint64_t> droppedBytes_{0};
    std::chrono::steady_clock::time_point lastDropLog_{};
    uint64_t droppedSinceLog_ = 0;
};

class BusDevice {
public:
    virtual ~BusDevice() = default;
    virtual CameraDescription description() const = 0;
    virtual bool isFusion() const = 0;
    virtual bool connected() const = 0;
    virtual uint64_t handle() const = 0;
    // Throws std::runtime_error when gone or for a command it does not know.
    virtual void control(CtrlFrame& frame) = 0;
    virtual void settle(uint32_t delayUs) = 0;
    // Empty for an endpoint the device lacks.
    virtual std::shared_ptr<EndpointQueue> endpoint(uint8_t address, uint32_t count, uint32_t bytes) = 0;
};

// The devices currently plugged, in plug order. The first use of the bus plugs what the
// environment asks for (the simulator's configuration).
class DeviceBus {
public:
    static DeviceBus& instance();

    std::vector<std::shared_ptr<BusDevice>> devices();
    void add(std::shared_ptr<BusDevice> device);
    // Takes the device with this serial off the bus; returns it, or nullptr.
    std::shared_ptr<BusDevice> remove(const std::string& serial);
    std::shared_ptr<BusDevice> find(const std::string& serial);

private:
    DeviceBus() = default;
    void populateOnce();

    std::mutex mutex_;
    std::once_flag populated_;
    std::vector<std::shared_ptr<BusDevice>> devices_;
};

}  // namespace orvane
