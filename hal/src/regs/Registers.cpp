#include "orvane/hal/Registers.h"

#include <stdexcept>

namespace orvane {

Register::Field::Field(std::string name, uint8_t start, uint8_t len, uint32_t defaultValue)
    : name_(std::move(name)), start_(start), len_(len), default_(defaultValue)
{
    updateMask();
}

void Register::Field::updateMask()
{
    if (start_ >= 32 || len_ == 0) {
        mask_ = 0;
        return;
    }
    const uint64_t bits = len_ >= 32 ? 0xFFFFFFFFull : ((1ull << len_) - 1);
    mask_ = static_cast<uint32_t>((bits << start_) & 0xFFFFFFFFull);
}

void Register::Field::set_start(uint8_t start)
{
    start_ = start;
    updateMask();
}

void Register::Field::set_len(uint8_t len)
{
    len_ = len;
    updateMask();
}

uint32_t Register::Field::get_alias_value(const std::string& alias) const
{
    const auto it = aliases_.find(alias);
    if (it == aliases_.end()) throw std::runtime_error("Register: Alias not found");
    return it->second;
}

Register::Field& Register::operator[](const std::string& fieldName)
{
    const auto it = fields_.find(fieldName);
    if (it == fields_.end()) throw std::runtime_error("Register: Field not found");
    return it->second;
}

const Register::Field& Register::operator[](const std::string& fieldName) const
{
    const auto it = fields_.find(fieldName);
    if (it == fields_.end()) throw std::runtime_error("Register: Field not found");
    return it->second;
}

Register::Field& Register::add_field(Field field)
{
    const std::string name = field.get_name();
    return fields_[name] = std::move(field);
}

uint32_t Register::get_default_value() const
{
    uint32_t v = 0;
    for (const auto& [name, f] : fields_) v = f.insert(v, f.get_default_value());
    return v;
}

RegisterMap::RegisterMap(const RegisterInfo* table, uint32_t count, const std::string& prefix)
{
    Register* reg = nullptr;
    Register::Field* field = nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        const RegisterInfo& e = table[i];
        const std::string name = e.name ? e.name : "";
        switch (e.kind) {
        case RegisterInfo::KindRegister:
            reg = &(registers_[prefix + name] = Register(prefix + name, e.a));
            byAddress_[e.a] = prefix + name;
            field = nullptr;
            break;
        case RegisterInfo::KindField:
            // A field before any register has nothing to belong to: skipped.
            if (reg) field = &reg->add_field(Register::Field(name, static_cast<uint8_t>(e.a), static_cast<uint8_t>(e.b), e.c));
            break;
        case RegisterInfo::KindAlias:
            if (field) field->add_alias(name, e.a);
            break;
        default:
            break;
        }
    }
}

Register& RegisterMap::operator[](const std::string& registerName)
{
    const auto it = registers_.find(registerName);
    if (it == registers_.end()) throw std::runtime_error("RegisterController: Register not found");
    return it->second;
}

const Register& RegisterMap::operator[](const std::string& registerName) const
{
    const auto it = registers_.find(registerName);
    if (it == registers_.end()) throw std::runtime_error("RegisterController: Register not found");
    return it->second;
}

const Register* RegisterMap::find(uint32_t address) const
{
    const auto it = byAddress_.find(address);
    return it == byAddress_.end() ? nullptr : &registers_.at(it->second);
}

}  // namespace orvane
