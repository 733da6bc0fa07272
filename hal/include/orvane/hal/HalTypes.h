// Value types the HAL hands to the driver and the viewer: what a discovered camera is, what a
// camera tool offers and how each of its parameters is described. Plain values, freely copied.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

enum INTERFACE_TYPE : int32_t {
    INTERFACE_USB = 0,
};

enum ToolType : int32_t {
    TOOL_BIASES = 0,
    TOOL_TRIGGER_IN = 1,
    TOOL_SYNC = 2,
    TOOL_ANTI_FLICKER = 3,
    TOOL_EVENT_TRAIL_FILTER = 4,
    TOOL_EVENT_RATE_CONTROL = 5,
    TOOL_ROI = 6,
    TOOL_APS_CTRL = 7,
};

// One camera found on the bus.
struct CameraDescription {
    std::string serial;
    std::string product;        // "EVK4", "Kestrel" or "Tandem"
    std::string manufacturer;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string busPath;        // where the backend found it; opaque to the driver
    INTERFACE_TYPE interfaceType = INTERFACE_USB;
};

struct ToolInfo {
    ToolType type = TOOL_BIASES;
    std::vector<std::string> params;  // parameter names, in the tool's order
    std::string description;
};

enum ParameterType : int32_t {
    PARAMETER_INT = 0,
    PARAMETER_FLOAT = 1,
    PARAMETER_BOOL = 2,
    PARAMETER_ENUM = 4,
};

struct BasicParameterInfo {
    std::string name;
    std::string description;  // shown as the control's tooltip
    ParameterType type = PARAMETER_INT;
};

struct IntParameterInfo : BasicParameterInfo {
    int32_t min = 0;
    int32_t max = 0;
    int32_t value = 0;
    std::string unit;
};

struct FloatParameterInfo : BasicParameterInfo {
    float min = 0.f;
    float max = 0.f;
    float value = 0.f;
    std::string unit;
};

struct BoolParameterInfo : BasicParameterInfo {
    bool value = false;
};

struct EnumParameterInfo : BasicParameterInfo {
    std::vector<std::string> options;  // in display order
    std::string value;
};

}  // namespace orvane
