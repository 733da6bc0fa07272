#include "orvane/hal/UsbInterface.h"

#include <cstring>
#include <stdexcept>

#include "orvane/base/Logger.h"
#include "usb/BusDevice.h"

namespace orvane {

// The simulator's configuration (sim/SimConfig.cpp) plugs the devices the environment names.
void plugConfiguredSimulatedDevices(DeviceBus& bus);

Interface::~Interface() = default;

// ---- EndpointQueue ----------------------------------------------------------------------------

EndpointQueue::EndpointQueue(uint8_t address, std::string owner, size_t capacityBuffers)
    : address_(address), owner_(std::move(owner)), capacity_(capacityBuffers ? capacityBuffers : 1)
{
}

void EndpointQueue::start()
{
    armed_.store(true, std::memory_order_release);
}

void EndpointQueue::stop()
{
    armed_.store(false, std::memory_order_release);
    clear();
}

void EndpointQueue::clear()
{
    std::lock_guard lock(mutex_);
    fifo_.clear();
}

void EndpointQueue::disconnect()
{
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
        fifo_.clear();
    }
    cond_.notify_all();
}

void EndpointQueue::setCapacity(size_t buffers)
{
    std::lock_guard lock(mutex_);
    capacity_ = buffers ? buffers : 1;
}

size_t EndpointQueue::queued() const
{
    std::lock_guard lock(mutex_);
    return fifo_.size();
}

bool EndpointQueue::push(BufferPtr buffer)
{
    if (!armed() || gone_) return false;
    {
        std::lock_guard lock(mutex_);
        if (fifo_.size() >= capacity_) {
            droppedBuffers_.fetch_add(1);
            droppedBytes_.fetch_add(buffer->size());
            ++droppedSinceLog_;
            // One line per second at most: a host that falls behind must not also drown in logs.
            const auto now = std::chrono::steady_clock::now();
            if (now - lastDropLog_ >= std::chrono::seconds(1)) {
                ORVANE_LOG_WARNING("%s endpoint 0x%02X: device FIFO full, %llu buffer(s) dropped (%llu in all)",
                                   owner_.c_str(), address_, static_cast<unsigned long long>(droppedSinceLog_),
                                   static_cast<unsigned long long>(droppedBuffers_.load()));
                lastDropLog_ = now;
                droppedSinceLog_ = 0;
            }
            return false;
        }
        fifo_.push_back(std::move(buffer));
    }
    cond_.notify_one();
    return true;
}

int EndpointQueue::wait(BufferPtr& out, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    if (gone_) {
        // A loop that polls a vanished device must not spin: give it a short nap.
        cond_.wait_for(lock, std::min(timeout, std::chrono::milliseconds(10)));
        return -1;
    }
    if (!cond_.wait_for(lock, timeout, [this] { return gone_ || !fifo_.empty(); })) return 0;
    if (gone_) return -1;
    out = std::move(fifo_.front());
    fifo_.pop_front();
    return 1;
}

// ---- DeviceBus --------------------------------------------------------------------------------

DeviceBus& DeviceBus::instance()
{
    static DeviceBus bus;
    return bus;
}

void DeviceBus::populateOnce()
{
    std::call_once(populated_, [this] { plugConfiguredSimulatedDevices(*this); });
}

std::vector<std::shared_ptr<BusDevice>> DeviceBus::devices()
{
    populateOnce();
    std::lock_guard lock(mutex_);
    return devices_;
}

void DeviceBus::add(std::shared_ptr<BusDevice> device)
{
    std::lock_guard lock(mutex_);
    devices_.push_back(std::move(device));
}

std::shared_ptr<BusDevice> DeviceBus::remove(const std::string& serial)
{
    populateOnce();
    std::lock_guard lock(mutex_);
    for (auto it = devices_.begin(); it != devices_.end(); ++it) {
        if ((*it)->description().serial == serial) {
            auto device = *it;
            devices_.erase(it);
            return device;
        }
    }
    return nullptr;
}

std::shared_ptr<BusDevice> DeviceBus::find(const std::string& serial)
{
    populateOnce();
    std::lock_guard lock(mutex_);
    for (const auto& d : devices_)
        if (d->description().serial == serial) return d;
    return nullptr;
}

// ---- UsbInterface -----------------------------------------------------------------------------

namespace {

std::vector<CameraDescription> findDevices(uint16_t vid, uint16_t pid, bool fusion)
{
    std::vector<CameraDescription> out;
    for (const auto& d : DeviceBus::instance().devices()) {
        const CameraDescription desc = d->description();
        if (d->isFusion() == fusion && desc.vendorId == vid && desc.productId == pid && d->connected())
            out.push_back(desc);
    }
    return out;
}

std::shared_ptr<UsbInterface> open(const CameraDescription& description, bool fusion)
{
    auto device = DeviceBus::instance().find(description.serial);
    if (!device || device->isFusion() != fusion || !device->connected()) {
        ORVANE_LOG_ERROR("No %s camera with serial \"%s\" on the bus", fusion ? "fusion" : "event",
                         description.serial.c_str());
        return nullptr;
    }
    const CameraDescription actual = device->description();
    if ((description.vendorId || description.productId) &&
        (actual.vendorId != description.vendorId || actual.productId != description.productId)) {
        ORVANE_LOG_ERROR("Camera \"%s\" is a %04x:%04x device, not %04x:%04x", description.serial.c_str(),
                         actual.vendorId, actual.productId, description.vendorId, description.productId);
        return nullptr;
    }
    return std::make_shared<UsbInterface>(std::move(device));
}

}  // namespace

std::vector<CameraDescription> UsbInterface::findUsbDvsCamera(uint16_t vid, uint16_t pid)
{
    return findDevices(vid, pid, false);
}

std::vector<CameraDescription> UsbInterface::findUsbFusionCamera(uint16_t vid, uint16_t pid)
{
    return findDevices(vid, pid, true);
}

std::shared_ptr<UsbInterface> UsbInterface::createUsbInterface(const CameraDescription& description)
{
    return open(description, false);
}

std::shared_ptr<UsbInterface> UsbInterface::createUsbFusionInterface(const CameraDescription& description)
{
    return open(description, true);
}

UsbInterface::UsbInterface(std::shared_ptr<BusDevice> device) : device_(std::move(device)) {}

UsbInterface::~UsbInterface() = default;

bool UsbInterface::connected() const
{
    return device_->connected();
}

void UsbInterface::bindCameraSlot(void* slot)
{
    if (!slot) return;
    const uint64_t handle = device_->handle();
    std::memcpy(slot, &handle, sizeof handle);
}

void UsbInterface::transferFrame(CtrlFrame& frame)
{
    device_->control(frame);
}

uint32_t UsbInterface::readRegister(uint32_t address)
{
    if (!device_->connected()) return 0;
    CtrlFrame frame(CTRL_READ_REGISTERS);
    frame.push_back32(address);
    frame.push_back32(1);
    try {
        device_->control(frame);
    } catch (const std::exception& e) {
        ORVANE_LOG_ERROR("Register read at 0x%04X failed: %s", address, e.what());
        return 0;
    }
    return frame.reply().empty() ? 0 : frame.reply()[0];
}

void UsbInterface::writeRegister(uint32_t address, uint32_t value)
{
    if (!device_->connected()) return;
    CtrlFrame frame(CTRL_WRITE_REGISTERS);
    frame.push_back32(address);
    frame.push_back32(value);
    try {
        device_->control(frame);
    } catch (const std::exception& e) {
        ORVANE_LOG_ERROR("Register write at 0x%04X failed: %s", address, e.what());
    }
}

void UsbInterface::settle(uint32_t delayUs)
{
    device_->settle(delayUs);
}

std::shared_ptr<BulkEndpoint> UsbInterface::openBulkEndpoint(UsbDataTransferEndpoint endpoint, uint32_t count,
                                                             uint32_t bytes)
{
    return device_->endpoint(endpoint, count, bytes);
}

CameraDescription UsbInterface::description() const
{
    return device_->description();
}

}  // namespace orvane
