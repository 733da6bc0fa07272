// The text header every raw file this system writes starts with (recordings and cuts): fourteen
// "%" lines, each ended by a single line feed. Only the date differs between writers.
#pragma once

#include <string>

namespace orvane {

// `width` and `height` are the sensor's: a cut keeps its source's geometry.
inline std::string rawFileHeader(const std::string& date, unsigned width = 1280, unsigned height = 720)
{
    const std::string w = std::to_string(width), h = std::to_string(height);
    return "% camera_integrator_name Prophesee\n% date " + date +
           "\n% evt 3.0\n"
           "% format EVT3; height = " + h + "; width = " + w + "\n"
           "% generation 4.2\n"
           "% geometry " + w + "x" + h + "\n"
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
