// The four IMX636 / IMX646 register sequences, built once at load and kept for the library's life.
#pragma once

#include <vector>

#include "orvane/hal/RegisterController.h"

namespace orvane::imx6x6 {

extern const std::vector<RegisterOperation> kStopSequence;
extern const std::vector<RegisterOperation> kStartSequence;
extern const std::vector<RegisterOperation> kPowerOnSequence;
extern const std::vector<RegisterOperation> kConfigurationSequence;

}  // namespace orvane::imx6x6
