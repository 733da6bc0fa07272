// How the driver reaches a camera: discovery on the device bus, one interface per opened device,
// control frames, register reads and writes. The bus is the seam between the HAL and its backends;
// the one backend we ship is the simulator (orvane/hal/Simulator.h), and nothing above this header
// can tell which backend a device comes from.
//
// Threads: discovery and interface creation from any thread. An interface may be used from several
// threads at once (the camera thread waits on its streams while the application thread writes
// registers); each operation is atomic with respect to the others.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orvane/hal/HalTypes.h"

namespace orvane {

class BusDevice;
class BulkEndpoint;

enum UsbDataTransferEndpoint : uint8_t {
    USB_ENDPOINT_EVENTS = 0x52,  // EVT 3.0 buffers
    USB_ENDPOINT_FRAMES = 0x53,  // NV12 frames of the fusion camera's frame sensor
};

// Control requests the devices understand.
enum CtrlCommand : uint32_t {
    CTRL_READ_REGISTERS = 0x00010102,    // [address, count] -> count words
    CTRL_WRITE_REGISTERS = 0x40010102,   // [address, value, value...] to consecutive addresses
    CTRL_EVENT_PIPE_RESET = 0x40010010,  // [0, 1]: clears the event FIFO (a 0 then 1 pulse)
    CTRL_FRAME_PIPE_RESET = 0x40010200,  // [0, 1]: clears the frame FIFO
};

// One control request: a command and 32-bit payload words; the device's answer comes back in reply().
class CtrlFrame {
public:
    explicit CtrlFrame(uint32_t command) : command_(command) {}
    void push_back32(uint32_t word) { payload_.push_back(word); }

    uint32_t command() const { return command_; }
    const std::vector<uint32_t>& payload() const { return payload_; }
    const std::vector<uint32_t>& reply() const { return reply_; }
    void setReply(std::vector<uint32_t> words) { reply_ = std::move(words); }

private:
    uint32_t command_;
    std::vector<uint32_t> payload_;
    std::vector<uint32_t> reply_;
};

// What sensors, register controllers and data transfers need of a device connection.
class Interface {
public:
    Interface(const Interface&) = delete;
    Interface& operator=(const Interface&) = delete;

    // Slot 1: false once the device is gone (unplugged); it never comes back on this interface.
    virtual bool connected() const = 0;
    // Slot 2: the camera hands the address of an 8-byte field it owns; the interface writes the
    // device's bus handle there (a non-zero number unique per plugged device), so the camera can
    // tell later whether two interfaces reach the same device. Called once per interface.
    virtual void bindCameraSlot(void* slot) = 0;

    // One 32-bit register of the device. Reads of a disconnected device answer 0, writes are dropped.
    virtual uint32_t readRegister(uint32_t address) = 0;
    virtual void writeRegister(uint32_t address, uint32_t value) = 0;
    // Waits what the device needs after a sequence pause of `delayUs` microseconds.
    virtual void settle(uint32_t delayUs) = 0;
    // The bulk endpoint behind a data transfer: `count` transfers in flight of `bytes` each.
    virtual std::shared_ptr<BulkEndpoint> openBulkEndpoint(UsbDataTransferEndpoint endpoint, uint32_t count,
                                                           uint32_t bytes) = 0;

    virtual ~Interface();

protected:
    Interface() = default;
};

class UsbInterface : public Interface {
public:
    // Every connected device on the bus with this vendor and product id, in plug order.
    static std::vector<CameraDescription> findUsbDvsCamera(uint16_t vid, uint16_t pid);
    static std::vector<CameraDescription> findUsbFusionCamera(uint16_t vid, uint16_t pid);
    // An interface to the device with the description's serial (and ids); empty when there is none,
    // when it is of the other kind (event camera versus fusion camera), or when it is unplugged.
    static std::shared_ptr<UsbInterface> createUsbInterface(const CameraDescription& description);
    static std::shared_ptr<UsbInterface> createUsbFusionInterface(const CameraDescription& description);

    explicit UsbInterface(std::shared_ptr<BusDevice> device);
    ~UsbInterface() override;

    bool connected() const override;
    void bindCameraSlot(void* slot) override;
    uint32_t readRegister(uint32_t address) override;
    void writeRegister(uint32_t address, uint32_t value) override;
    void settle(uint32_t delayUs) override;
    std::shared_ptr<BulkEndpoint> openBulkEndpoint(UsbDataTransferEndpoint endpoint, uint32_t count,
                                                   uint32_t bytes) override;

    // Sends a control request and fills its reply. Throws std::runtime_error when the device is
    // gone or does not know the command.
    void transferFrame(CtrlFrame& frame);

    CameraDescription description() const;

private:
    std::shared_ptr<BusDevice> device_;
};

}  // namespace orvane
