// Bulk data from a device: a DataTransfer keeps transfers in flight on one endpoint, an EventStream
// hands the filled buffers to one consumer thread (the camera thread), one at a time.
//
// Endpoint 0x52 carries EVT 3.0 words in buffers of at most the size asked for (full under load; a
// partly filled buffer is sent after about 20 ms, as a short transfer would be). Endpoint 0x53
// carries whole NV12 frames. Data the host does not take in time fills the device's bounded FIFO
// and then is dropped; drops are counted here and logged.
//
// Threads: start/stop from the application thread, waitNextBuffer/getLatestBuffer from the one
// consumer thread; the counters from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "orvane/hal/UsbInterface.h"

namespace orvane {

class DataTransfer {
public:
    DataTransfer(std::shared_ptr<Interface> interface, std::shared_ptr<BulkEndpoint> endpoint, uint32_t bytes);
    ~DataTransfer();
    DataTransfer(const DataTransfer&) = delete;
    DataTransfer& operator=(const DataTransfer&) = delete;

    void start();
    void stop();
    // 1 with a buffer, 0 when none came within `timeoutMs`, -1 when the device is gone.
    int wait(std::shared_ptr<std::vector<uint8_t>>& buffer, uint32_t timeoutMs);
    uint32_t bufferBytes() const { return bytes_; }
    uint64_t droppedBuffers() const;
    uint64_t droppedBytes() const;

private:
    std::shared_ptr<Interface> interface_;
    std::shared_ptr<BulkEndpoint> endpoint_;
    uint32_t bytes_;
};

// `count` transfers of `bytes` each on `endpoint`: (2, 131072, 0x52) for events, (2, w*h*3/2, 0x53)
// for frames. Empty when the interface is empty or the endpoint is not one the device has.
std::unique_ptr<DataTransfer> createDataTransferUniquePtr(std::shared_ptr<Interface> interface, uint32_t count,
                                                          uint32_t bytes, UsbDataTransferEndpoint endpoint);

class EventStream {
public:
    // Longest time waitNextBuffer blocks without data.
    static constexpr uint32_t kWaitTimeoutMs = 50;

    explicit EventStream(std::unique_ptr<DataTransfer> transfer);
    ~EventStream();

    void start();
    // Ends the transfers; buffers not yet taken are dropped (not counted as overflow).
    void stop();
    // Above 0 when a buffer is ready for getLatestBuffer; 0 when none came in time; below 0 when
    // the device is gone (then it waits a little first, so a polling loop does not spin).
    int16_t waitNextBuffer();
    // The buffer the last successful wait made ready, once; empty otherwise.
    std::optional<std::shared_ptr<std::vector<uint8_t>>> getLatestBuffer();

    bool started() const { return started_.load(); }
    uint64_t droppedBuffers() const;  // lost to device FIFO overflow
    uint64_t droppedBytes() const;
    uint64_t deliveredBuffers() const { return delivered_.load(); }

private:
    std::unique_ptr<DataTransfer> transfer_;
    std::shared_ptr<std::vector<uint8_t>> ready_;
    std::atomic<bool> started_{false};
    std::atomic<uint64_t> delivered_{0};
};

}  // namespace orvane
