#include "orvane/hal/CameraTool.h"

#include <algorithm>
#include <cmath>

#include "orvane/base/Logger.h"
#include "orvane/hal/RegisterController.h"

namespace orvane {

CameraTool::~CameraTool() = default;

void CameraToolBasePrivate::addInt(const std::string& name, int32_t min, int32_t max, int32_t value, std::string unit,
                                   std::string description)
{
    Param p;
    p.type = PARAMETER_INT;
    p.intInfo.name = name;
    p.intInfo.description = std::move(description);
    p.intInfo.type = PARAMETER_INT;
    p.intInfo.min = min, p.intInfo.max = max, p.intInfo.value = value;
    p.intInfo.unit = std::move(unit);
    p.value = value;
    params_[name] = std::move(p);
}

void CameraToolBasePrivate::addFloat(const std::string& name, float min, float max, float value, std::string unit,
                                     std::string description)
{
    Param p;
    p.type = PARAMETER_FLOAT;
    p.floatInfo.name = name;
    p.floatInfo.description = std::move(description);
    p.floatInfo.type = PARAMETER_FLOAT;
    p.floatInfo.min = min, p.floatInfo.max = max, p.floatInfo.value = value;
    p.floatInfo.unit = std::move(unit);
    p.value = value;
    params_[name] = std::move(p);
}

void CameraToolBasePrivate::addBool(const std::string& name, bool value, std::string description)
{
    Param p;
    p.type = PARAMETER_BOOL;
    p.boolInfo.name = name;
    p.boolInfo.description = std::move(description);
    p.boolInfo.type = PARAMETER_BOOL;
    p.boolInfo.value = value;
    p.value = value;
    params_[name] = std::move(p);
}

void CameraToolBasePrivate::addEnum(const std::string& name, std::vector<std::string> options, std::string value,
                                    std::string description)
{
    Param p;
    p.type = PARAMETER_ENUM;
    p.enumInfo.name = name;
    p.enumInfo.description = std::move(description);
    p.enumInfo.type = PARAMETER_ENUM;
    p.enumInfo.options = std::move(options);
    p.enumInfo.value = value;
    p.value = std::move(value);
    params_[name] = std::move(p);
}

std::vector<std::string> CameraToolBasePrivate::paramNames() const
{
    std::lock_guard lock(lock_);
    std::vector<std::string> names;
    for (const auto& [name, p] : params_) names.push_back(name);
    return names;
}

const CameraToolBasePrivate::Param* CameraToolBasePrivate::find(const std::string& name, ParameterType type) const
{
    const auto it = params_.find(name);
    return it != params_.end() && it->second.type == type ? &it->second : nullptr;
}

const CameraToolBasePrivate::Value& CameraToolBasePrivate::current(const std::string& name) const
{
    return params_.at(name).value;
}

bool CameraToolBasePrivate::accept(const std::string&, const Value&)
{
    return true;
}

bool CameraToolBasePrivate::set(const std::string& name, ParameterType type, Value value)
{
    std::lock_guard lock(lock_);
    const auto it = params_.find(name);
    if (it == params_.end() || it->second.type != type) return false;
    Param& p = it->second;
    switch (type) {
    case PARAMETER_INT: {
        const int v = std::get<int>(value);
        if (v < p.intInfo.min || v > p.intInfo.max) return false;
        break;
    }
    case PARAMETER_FLOAT: {
        const float v = std::get<float>(value);
        if (!std::isfinite(v) || v < p.floatInfo.min || v > p.floatInfo.max) return false;
        break;
    }
    case PARAMETER_ENUM: {
        const auto& o = p.enumInfo.options;
        if (std::find(o.begin(), o.end(), std::get<std::string>(value)) == o.end()) return false;
        break;
    }
    case PARAMETER_BOOL:
        break;
    }
    if (!accept(name, value)) return false;
    // The new value is visible to apply() (a window is written from all its parameters), and
    // put back when the write fails.
    Value old = p.value;
    p.value = value;
    if (!apply(name, value)) {
        p.value = std::move(old);
        return false;
    }
    switch (type) {
    case PARAMETER_INT: p.intInfo.value = std::get<int>(value); break;
    case PARAMETER_FLOAT: p.floatInfo.value = std::get<float>(value); break;
    case PARAMETER_BOOL: p.boolInfo.value = std::get<bool>(value); break;
    case PARAMETER_ENUM: p.enumInfo.value = std::get<std::string>(value); break;
    }
    return true;
}

std::map<std::string, BasicParameterInfo> CameraToolBasePrivate::getAllParamInfo()
{
    std::lock_guard lock(lock_);
    std::map<std::string, BasicParameterInfo> out;
    for (const auto& [name, p] : params_) {
        switch (p.type) {
        case PARAMETER_INT: out[name] = p.intInfo; break;
        case PARAMETER_FLOAT: out[name] = p.floatInfo; break;
        case PARAMETER_BOOL: out[name] = p.boolInfo; break;
        case PARAMETER_ENUM: out[name] = p.enumInfo; break;
        }
    }
    return out;
}

bool CameraToolBasePrivate::getParamInfo(const std::string& name, EnumParameterInfo& info)
{
    std::lock_guard lock(lock_);
    const Param* p = find(name, PARAMETER_ENUM);
    if (p) info = p->enumInfo;
    return p != nullptr;
}

bool CameraToolBasePrivate::getParamInfo(const std::string& name, BoolParameterInfo& info)
{
    std::lock_guard lock(lock_);
    const Param* p = find(name, PARAMETER_BOOL);
    if (p) info = p->boolInfo;
    return p != nullptr;
}

bool CameraToolBasePrivate::getParamInfo(const std::string& name, FloatParameterInfo& info)
{
    std::lock_guard lock(lock_);
    const Param* p = find(name, PARAMETER_FLOAT);
    if (p) info = p->floatInfo;
    return p != nullptr;
}

bool CameraToolBasePrivate::getParamInfo(const std::string& name, IntParameterInfo& info)
{
    std::lock_guard lock(lock_);
    const Param* p = find(name, PARAMETER_INT);
    if (p) info = p->intInfo;
    return p != nullptr;
}

bool CameraToolBasePrivate::getParam(const std::string& name, std::string& value)
{
    std::lock_guard lock(lock_);
    const Param* p = find(name, PARAMETER_ENUM);
    if (p) value = std::get<std::string>(p->value);
    return p != nullptr;
}

bool CameraToolBasePrivate::getParam(const std::string& name, bool& value)
{
    std::lock_guard lock(lock_);
    const Param* p = find(name, PARAMETER_BOOL);
    if (p) value = std::get<bool>(p->value);
    return p != nullptr;
}

bool CameraToolBasePrivate::getParam(const std::string& name, float& value)
{
    std::lock_guard lock(lock_);
    const Param* p = find(name, PARAMETER_FLOAT);
    if (p) value = std::get<float>(p->value);
    return p != nullptr;
}

bool CameraToolBasePrivate::getParam(const std::string& name, int& value)
{
    std::lock_guard lock(lock_);
    const Param* p = find(name, PARAMETER_INT);
    if (p) value = std::get<int>(p->value);
    return p != nullptr;
}

bool CameraToolBasePrivate::setParam(const std::string& name, const std::string& value)
{
    return set(name, PARAMETER_ENUM, value);
}

bool CameraToolBasePrivate::setParam(const std::string& name, const char* value)
{
    return value && set(name, PARAMETER_ENUM, std::string(value));
}

bool CameraToolBasePrivate::setParam(const std::string& name, const bool& value)
{
    return set(name, PARAMETER_BOOL, value);
}

bool CameraToolBasePrivate::setParam(const std::string& name, const double& value)
{
    return set(name, PARAMETER_FLOAT, static_cast<float>(value));
}

bool CameraToolBasePrivate::setParam(const std::string& name, const float& value)
{
    return set(name, PARAMETER_FLOAT, value);
}

bool CameraToolBasePrivate::setParam(const std::string& name, const int& value)
{
    return set(name, PARAMETER_INT, value);
}

CameraToolRegister::CameraToolRegister(std::shared_ptr<RegisterController> controller)
    : controller_(std::move(controller))
{
}

bool CameraToolRegister::writeField(const std::string& registerName, const std::string& fieldName, uint32_t value)
{
    if (!controller_) return false;
    try {
        controller_->writeRegisterField(registerName, fieldName, value);
        return true;
    } catch (const std::exception& e) {
        ORVANE_LOG_ERROR("Writing %s.%s failed: %s", registerName.c_str(), fieldName.c_str(), e.what());
        return false;
    }
}

bool CameraToolRegister::writeRegister(const std::string& registerName, uint32_t value)
{
    if (!controller_) return false;
    try {
        controller_->writeRegisterWithControlTransfer(registerName, value);
        return true;
    } catch (const std::exception& e) {
        ORVANE_LOG_ERROR("Writing %s failed: %s", registerName.c_str(), e.what());
        return false;
    }
}

CameraToolRegisterWithCallback::CameraToolRegisterWithCallback(std::shared_ptr<RegisterController> controller)
    : CameraToolRegister(std::move(controller))
{
}

void CameraToolRegisterWithCallback::onSet(const std::string& name, std::function<bool(const Value&)> callback)
{
    callbacks_[name] = std::move(callback);
}

bool CameraToolRegisterWithCallback::apply(const std::string& name, const Value& value)
{
    const auto it = callbacks_.find(name);
    return it == callbacks_.end() || it->second(value);
}

}  // namespace orvane
