// The text header every raw file this system writes starts with (recordings and cuts): fourteen
// "%" lines, each ended by a single line feed. Only the date differs between writers.
#pragma once

#include <string>

namespace orvane {

inline std::string rawFileHeader(const std::string& date)
{
    return "% camera_integrator_name Prophesee\n% date " + date +
           "\n% evt 3.0\n"
           "% format EVT3; height = 720; width = 1280\n"
           "% generation 4.2\n"
           "% geometry 1280x720\n"
           "% integrator_name Prophesee\n"
           "% plugin_integrator_name Prophesee\n"
           "% plugin_name hal_plugin_prophesee\n"
           "% sensor_generation 4.2\n"
           "% sensor_name IMX646\n"
           "% serial_number ffffffffffffffff\n"
           "% system_ID 53\n"
           "% end\n";
}

// Recordings carry this fixed date rather than the time they were made.
inline constexpr const char* kRecordingHeaderDate = "2024 - 09 - 06 16:03 : 38";

}  // namespace orvane
