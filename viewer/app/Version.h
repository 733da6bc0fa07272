#pragma once

// The viewer's own version, shown on the splash and logged at start.
inline constexpr const char* kOrvaneScopeVersion = "1.0.3";
