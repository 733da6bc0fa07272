#include "orvane/hal/EventStream.h"

#include <thread>

#include "orvane/base/Logger.h"
#include "usb/BusDevice.h"

namespace orvane {

DataTransfer::DataTransfer(std::shared_ptr<Interface> interface, std::shared_ptr<BulkEndpoint> endpoint,
                           uint32_t bytes)
    : interface_(std::move(interface)), endpoint_(std::move(endpoint)), bytes_(bytes)
{
}

DataTransfer::~DataTransfer()
{
    endpoint_->stop();
}

void DataTransfer::start()
{
    endpoint_->start();
}

void DataTransfer::stop()
{
    endpoint_->stop();
}

int DataTransfer::wait(std::shared_ptr<std::vector<uint8_t>>& buffer, uint32_t timeoutMs)
{
    return endpoint_->wait(buffer, std::chrono::milliseconds(timeoutMs));
}

uint64_t DataTransfer::droppedBuffers() const
{
    return endpoint_->droppedBuffers();
}

uint64_t DataTransfer::droppedBytes() const
{
    return endpoint_->droppedBytes();
}

std::unique_ptr<DataTransfer> createDataTransferUniquePtr(std::shared_ptr<Interface> interface, uint32_t count,
                                                          uint32_t bytes, UsbDataTransferEndpoint endpoint)
{
    if (!interface || bytes == 0) return nullptr;
    auto bulk = interface->openBulkEndpoint(endpoint, count, bytes);
    if (!bulk) {
        ORVANE_LOG_ERROR("The device has no endpoint 0x%02X", static_cast<unsigned>(endpoint));
        return nullptr;
    }
    return std::make_unique<DataTransfer>(std::move(interface), std::move(bulk), bytes);
}

EventStream::EventStream(std::unique_ptr<DataTransfer> transfer) : transfer_(std::move(transfer)) {}

EventStream::~EventStream()
{
    if (transfer_) transfer_->stop();
}

void EventStream::start()
{
    if (!transfer_) return;
    transfer_->start();
    started_ = true;
}

void EventStream::stop()
{
    if (!transfer_) return;
    started_ = false;
    transfer_->stop();
}

int16_t EventStream::waitNextBuffer()
{
    if (!transfer_) {
        // Nothing to wait on: behave like a quiet device, never like a spinning one.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return -1;
    }
    std::shared_ptr<std::vector<uint8_t>> buffer;
    const int r = transfer_->wait(buffer, kWaitTimeoutMs);
    if (r > 0) {
        ready_ = std::move(buffer);
        delivered_.fetch_add(1);
        return 1;
    }
    return static_cast<int16_t>(r);
}

std::optional<std::shared_ptr<std::vector<uint8_t>>> EventStream::getLatestBuffer()
{
    if (!ready_) return std::nullopt;
    return std::move(ready_);
}

uint64_t EventStream::droppedBuffers() const
{
    return transfer_ ? transfer_->droppedBuffers() : 0;
}

uint64_t EventStream::droppedBytes() const
{
    return transfer_ ? transfer_->droppedBytes() : 0;
}

}  // namespace orvane
