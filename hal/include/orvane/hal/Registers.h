// The register machinery of a sensor: the flat register-map table a sensor ships (RegisterInfo),
// the register model built from it (Register, Register::Field, RegisterMap) and one step of a
// register sequence (RegisterOperation). These live in the HAL because the HAL's register
// controller and tools work on them; the driver re-exports them from its public headers, so the
// dependency stays base <- hal <- driver. Plain values; a built RegisterMap is read-only and may be
// shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvane {

// One step of a register sequence (20 bytes, handed to the controller unchanged).
struct RegisterOperation {
    enum : uint32_t { Write = 2, MaskedWrite = 3, Pause = 4 };
    uint32_t operation = 0;  // 2 write, 3 masked write (only the bits of `mask`), 4 pause
    uint32_t address = 0;
    uint32_t value = 0;
    uint32_t mask = 0;
    uint32_t delay = 0;  // microseconds, for a pause
};
static_assert(sizeof(RegisterOperation) == 20);

// One entry of a register-map table. A register entry is followed by its fields, each field by
// its aliases (named values).
struct RegisterInfo {
    enum : uint32_t { KindRegister = 0, KindField = 1, KindAlias = 2 };
    uint32_t kind;
    uint32_t pad0;
    const char* name;
    uint32_t a;  // register: address; field: start bit; alias: value
    uint32_t b;  // field: length in bits
    uint32_t c;  // field: default value
    uint32_t pad1;
};
static_assert(sizeof(RegisterInfo) == 32 && offsetof(RegisterInfo, name) == 8 && offsetof(RegisterInfo, a) == 16);

class Register {
public:
    class Field {
    public:
        Field() = default;
        Field(std::string name, uint8_t start, uint8_t len, uint32_t defaultValue);

        const std::string& get_name() const { return name_; }
        uint8_t get_start() const { return start_; }
        uint8_t get_len() const { return len_; }
        uint32_t get_default_value() const { return default_; }
        uint32_t get_mask() const { return mask_; }  // the field's bits in the register
        void set_start(uint8_t start);
        void set_len(uint8_t len);
        void add_alias(const std::string& name, uint32_t value) { aliases_[name] = value; }
        const std::map<std::string, uint32_t>& get_aliases() const { return aliases_; }
        // The alias's value; throws std::runtime_error "Register: Alias not found".
        uint32_t get_alias_value(const std::string& alias) const;

        // `reg` with this field replaced by `value` (cut to the field's width), and the reverse.
        uint32_t insert(uint32_t reg, uint32_t value) const { return (reg & ~mask_) | ((value << start_) & mask_); }
        uint32_t extract(uint32_t reg) const { return (reg & mask_) >> start_; }

    private:
        void updateMask();

        std::string name_;
        uint8_t start_ = 0;
        uint8_t len_ = 0;
        uint32_t default_ = 0;
        uint32_t mask_ = 0;
        std::map<std::string, uint32_t> aliases_;
    };

    Register() = default;
    Register(std::string name, uint32_t address) : name_(std::move(name)), address_(address) {}

    const std::string& get_name() const { return name_; }
    uint32_t get_address() const { return address_; }
    // The model holds no live value; read the device through the controller.
    uint32_t get_value() const { return 0; }
    // Throws std::runtime_error "Register: Field not found".
    Field& operator[](const std::string& fieldName);
    const Field& operator[](const std::string& fieldName) const;
    bool has_field(const std::string& fieldName) const { return fields_.count(fieldName) != 0; }
    Field& add_field(Field field);
    const std::map<std::string, Field>& get_fields() const { return fields_; }
    // The register's reset value: every field at its default.
    uint32_t get_default_value() const;

private:
    std::string name_;
    uint32_t address_ = 0;
    std::map<std::string, Field> fields_;
};

class RegisterMap {
public:
    RegisterMap() = default;
    // Builds the map from a table; every register name gets `prefix` in front.
    RegisterMap(const RegisterInfo* table, uint32_t count, const std::string& prefix = "");

    // Throws std::runtime_error "RegisterController: Register not found".
    Register& operator[](const std::string& registerName);
    const Register& operator[](const std::string& registerName) const;
    bool contains(const std::string& registerName) const { return registers_.count(registerName) != 0; }
    // The register at an address, or nullptr.
    const Register* find(uint32_t address) const;
    const std::map<std::string, Register>& registers() const { return registers_; }
    size_t size() const { return registers_.size(); }

private:
    std::map<std::string, Register> registers_;
    std::map<uint32_t, std::string> byAddress_;
};

}  // namespace orvane
