// Camera tools: named groups of sensor settings, read and changed by parameter name.
//
// Every parameter has one kind (int, float, bool or enum) and a description with its range; a
// get or set through the overload of another kind, an unknown name or a value out of range
// returns false and changes nothing. A successful setParam writes the sensor's registers at once,
// then getParam returns the new value. Tools may be called from any thread: each holds its own
// lock, and its register controller serialises the device access.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "orvane/hal/HalTypes.h"

namespace orvane {

class RegisterController;

class CameraTool {
public:
    virtual ~CameraTool();
    virtual ToolInfo getToolInfo() const = 0;
    virtual std::map<std::string, BasicParameterInfo> getAllParamInfo() = 0;
    virtual bool getParamInfo(const std::string& name, EnumParameterInfo& info) = 0;
    virtual bool getParamInfo(const std::string& name, BoolParameterInfo& info) = 0;
    virtual bool getParamInfo(const std::string& name, FloatParameterInfo& info) = 0;
    virtual bool getParamInfo(const std::string& name, IntParameterInfo& info) = 0;
    virtual bool getParam(const std::string& name, std::string& value) = 0;
    virtual bool getParam(const std::string& name, bool& value) = 0;
    virtual bool getParam(const std::string& name, float& value) = 0;
    virtual bool getParam(const std::string& name, int& value) = 0;
    virtual bool setParam(const std::string& name, const std::string& value) = 0;
    virtual bool setParam(const std::string& name, const char* value) = 0;
    virtual bool setParam(const std::string& name, const bool& value) = 0;
    virtual bool setParam(const std::string& name, const double& value) = 0;
    virtual bool setParam(const std::string& name, const float& value) = 0;
    virtual bool setParam(const std::string& name, const int& value) = 0;

protected:
    CameraTool() = default;
};

// The parameter table and the kind checks every tool shares. A subclass declares its parameters
// in its constructor and applies accepted values in apply().
class CameraToolBasePrivate : public CameraTool {
public:
    using Value = std::variant<bool, int, float, std::string>;

    std::map<std::string, BasicParameterInfo> getAllParamInfo() override;
    bool getParamInfo(const std::string& name, EnumParameterInfo& info) override;
    bool getParamInfo(const std::string& name, BoolParameterInfo& info) override;
    bool getParamInfo(const std::string& name, FloatParameterInfo& info) override;
    bool getParamInfo(const std::string& name, IntParameterInfo& info) override;
    bool getParam(const std::string& name, std::string& value) override;
    bool getParam(const std::string& name, bool& value) override;
    bool getParam(const std::string& name, float& value) override;
    bool getParam(const std::string& name, int& value) override;
    bool setParam(const std::string& name, const std::string& value) override;
    bool setParam(const std::string& name, const char* value) override;
    bool setParam(const std::string& name, const bool& value) override;
    bool setParam(const std::string& name, const double& value) override;
    bool setParam(const std::string& name, const float& value) override;
    bool setParam(const std::string& name, const int& value) override;

protected:
    CameraToolBasePrivate() = default;

    void addInt(const std::string& name, int32_t min, int32_t max, int32_t value, std::string unit,
                std::string description);
    void addFloat(const std::string& name, float min, float max, float value, std::string unit,
                  std::string description);
    void addBool(const std::string& name, bool value, std::string description);
    void addEnum(const std::string& name, std::vector<std::string> options, std::string value,
                 std::string description);
    // The parameter names in the table's (ascending) order.
    std::vector<std::string> paramNames() const;

    // Checks a value against the other parameters (a window inside the sensor, a band's lower
    // edge below its upper); called with the lock held, before apply.
    virtual bool accept(const std::string& name, const Value& value);
    // Writes an accepted value to the sensor; false when the write failed (the value is then not
    // kept). Called with the lock held.
    virtual bool apply(const std::string& name, const Value& value) = 0;
    // The value last accepted (the default before that); call with the lock held.
    const Value& current(const std::string& name) const;

    mutable std::recursive_mutex lock_;

private:
    struct Param {
        ParameterType type = PARAMETER_INT;
        IntParameterInfo intInfo;
        FloatParameterInfo floatInfo;
        BoolParameterInfo boolInfo;
        EnumParameterInfo enumInfo;
        Value value;
    };
    bool set(const std::string& name, ParameterType type, Value value);
    const Param* find(const std::string& name, ParameterType type) const;

    std::map<std::string, Param> params_;
};

// A tool that writes through a sensor's register controller.
class CameraToolRegister : public CameraToolBasePrivate {
protected:
    explicit CameraToolRegister(std::shared_ptr<RegisterController> controller);
    // Register writes that throw (unknown name, device gone) are logged and reported as false.
    bool writeField(const std::string& registerName, const std::string& fieldName, uint32_t value);
    bool writeRegister(const std::string& registerName, uint32_t value);

    std::shared_ptr<RegisterController> controller_;
};

// A register tool whose parameters each have their own apply step.
class CameraToolRegisterWithCallback : public CameraToolRegister {
protected:
    explicit CameraToolRegisterWithCallback(std::shared_ptr<RegisterController> controller);
    bool apply(const std::string& name, const Value& value) override;
    void onSet(const std::string& name, std::function<bool(const Value&)> callback);

private:
    std::map<std::string, std::function<bool(const Value&)>> callbacks_;
};

}  // namespace orvane
