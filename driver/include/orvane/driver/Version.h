#pragma once

namespace orvane {

// The driver's version, "major.minor.patch".
const char* driverVersion();

}  // namespace orvane
