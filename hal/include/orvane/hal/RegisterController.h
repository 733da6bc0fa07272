// Named register access to one sensor of a device: a RegisterMap built from the sensor's table,
// writes and reads through the device interface, and the bring-up sequences. Register names may be
// given bare ("roi_ctrl") or with the map's prefix ("PSEE/IMX636/roi_ctrl").
//
// Threads: shared by the sensor and every tool of a camera, which call it from the application
// thread and the GUI thread while the camera threads run; each call holds the controller's lock,
// so a read-modify-write is never torn and a sequence is applied without interleaved writes.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvane/hal/Registers.h"
#include "orvane/hal/UsbInterface.h"

namespace orvane {

class RegisterController {
public:
    RegisterController(std::shared_ptr<Interface> interface, const RegisterInfo* table, uint32_t count,
                       std::string prefix);

    // Sets one field, keeping the register's other bits. Unknown names throw std::runtime_error
    // ("RegisterController: Register not found", "Register: Field not found").
    void writeRegisterField(const std::string& registerName, const std::string& fieldName, uint32_t value);
    // Sets one field to one of its aliases ("enable", "disable").
    void writeRegisterFieldAlias(const std::string& registerName, const std::string& fieldName,
                                 const std::string& alias);
    // Writes the whole register in one control transfer; returns the value the device then holds.
    uint32_t writeRegisterWithControlTransfer(const std::string& registerName, uint32_t value);
    // Write (2), masked write (3) and pause (4) steps, in order; other codes are logged and skipped.
    void ApplyRegisterOperationSequence(const std::vector<RegisterOperation>& sequence);

    uint32_t readRegister(const std::string& registerName);
    uint32_t readRegisterField(const std::string& registerName, const std::string& fieldName);

    // The register a name reaches (bare or prefixed); throws like the writes.
    const Register& lookup(const std::string& registerName) const;
    const RegisterMap& registerMap() const { return map_; }
    const std::string& prefix() const { return prefix_; }
    const std::shared_ptr<Interface>& interface() const { return interface_; }

private:
    std::shared_ptr<Interface> interface_;
    RegisterMap map_;
    std::string prefix_;
    std::recursive_mutex mutex_;
};

}  // namespace orvane
