#pragma once

#include <string>

namespace orvane {

// Local date and time as one line, "YYYY-MM-DD HH:MM:SS"; written after "% date " in raw headers.
std::string getSysTime();

}  // namespace orvane
