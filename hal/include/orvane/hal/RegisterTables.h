// The register-map tables of the sensors we drive: the IMX636 event sensor and the IMX415 frame
// sensor of the fusion camera. The HAL holds them so that its tools and the simulated cameras use
// the same map the driver hands to the register controller.
#pragma once

#include <cstdint>

#include "orvane/hal/Registers.h"

namespace orvane {

// 2879 entries: 742 registers, 2011 fields, 126 aliases. Controller prefix "PSEE/IMX636/".
extern RegisterInfo imx636RegisterInfo[];
extern const uint32_t imx636RegisterInfoCount;
inline constexpr const char* kImx636RegisterPrefix = "PSEE/IMX636/";

// 10 entries, five registers of one field each. Controller prefix " " (one blank).
extern RegisterInfo imx415RegisterInfo[];
extern const uint32_t imx415RegisterInfoCount;
inline constexpr const char* kImx415RegisterPrefix = " ";

}  // namespace orvane
