#include "orvane/hal/RegisterController.h"

#include "orvane/base/Logger.h"

namespace orvane {

RegisterController::RegisterController(std::shared_ptr<Interface> interface, const RegisterInfo* table,
                                       uint32_t count, std::string prefix)
    : interface_(std::move(interface)), map_(table, count, prefix), prefix_(std::move(prefix))
{
}

const Register& RegisterController::lookup(const std::string& registerName) const
{
    if (map_.contains(registerName)) return map_[registerName];
    // Callers pass the names of the sensor's documentation; the map carries them prefixed.
    return map_[prefix_ + registerName];
}

void RegisterController::writeRegisterField(const std::string& registerName, const std::string& fieldName,
                                            uint32_t value)
{
    const Register& reg = lookup(registerName);
    const Register::Field& field = reg[fieldName];
    std::lock_guard lock(mutex_);
    if (!interface_) return;
    const uint32_t old = interface_->readRegister(reg.get_address());
    interface_->writeRegister(reg.get_address(), field.insert(old, value));
}

void RegisterController::writeRegisterFieldAlias(const std::string& registerName, const std::string& fieldName,
                                                 const std::string& alias)
{
    writeRegisterField(registerName, fieldName, lookup(registerName)[fieldName].get_alias_value(alias));
}

uint32_t RegisterController::writeRegisterWithControlTransfer(const std::string& registerName, uint32_t value)
{
    const Register& reg = lookup(registerName);
    std::lock_guard lock(mutex_);
    if (!interface_) return 0;
    interface_->writeRegister(reg.get_address(), value);
    return interface_->readRegister(reg.get_address());
}

void RegisterController::ApplyRegisterOperationSequence(const std::vector<RegisterOperation>& sequence)
{
    std::lock_guard lock(mutex_);
    if (!interface_) return;
    for (const RegisterOperation& op : sequence) {
        switch (op.operation) {
        case RegisterOperation::Write:
            interface_->writeRegister(op.address, op.value);
            break;
        case RegisterOperation::MaskedWrite: {
            const uint32_t old = interface_->readRegister(op.address);
            interface_->writeRegister(op.address, (old & ~op.mask) | (op.value & op.mask));
            break;
        }
        case RegisterOperation::Pause:
            interface_->settle(op.delay);
            break;
        default:
            ORVANE_LOG_WARNING("Register operation %u at 0x%04X skipped: unknown operation", op.operation, op.address);
            break;
        }
    }
}

uint32_t RegisterController::readRegister(const std::string& registerName)
{
    const Register& reg = lookup(registerName);
    std::lock_guard lock(mutex_);
    return interface_ ? interface_->readRegister(reg.get_address()) : 0;
}

uint32_t RegisterController::readRegisterField(const std::string& registerName, const std::string& fieldName)
{
    const Register& reg = lookup(registerName);
    const Register::Field& field = reg[fieldName];
    return field.extract(readRegister(registerName));
}

}  // namespace orvane
