// The "%" text header of raw files: the one every writer of this system puts before the data
// (recordings and cuts: fourteen lines, each ended by a single line feed; only the date, the
// encoding and the geometry differ), and the one parser every reader goes through.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

namespace orvane {

// `width` and `height` are the sensor's: a cut keeps its source's geometry, and its encoding.
inline std::string rawFileHeader(const std::string& date, unsigned width = 1280, unsigned height = 720,
                                 const char* evtValue = "3.0", const char* formatName = "EVT3")
{
    const std::string w = std::to_string(width), h = std::to_string(height);
    return "% camera_integrator_name Prophesee\n% date " + date + "\n% evt " + evtValue +
           "\n"
           "% format " + formatName + "; height = " + h + "; width = " + w + "\n"
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

// What a header says. Lines are read in order, a later size line overriding an earlier one; a line
// ended by "\r\n" is read without its "\r", except that "% end\r" does not end the header by itself
// (the header then ends at the first line that does not begin with "%", as before).
struct ParsedHeader {
    uint64_t data_start = 0;
    int width = 1280;
    int height = 720;
    // The encoding as the header names it ("EVT 3.0", "EVT 2.1", "EVT 4.0", "FOO"), empty when no
    // "% evt" or "% format" line names one.
    std::string encoding;
    // Set when two lines name different encodings.
    std::string conflict;
};

class RawFormat;
struct RecordingError;

// The policy for the encoding the header names (EVT 3.0 when none), or null with `error` set
// (Kind::BadHeader, Kind::UnsupportedFormat naming the encoding) for `path`.
const RawFormat* formatFor(const ParsedHeader& header, const std::string& path, RecordingError& error);

// For a header that names no encoding: the one the data's words tell (read from `in` at
// `data_start`; the stream is left there), or null with `error` set (Kind::NotEventData).
const RawFormat* sniffFormat(std::istream& in, uint64_t data_start, const std::string& path, RecordingError& error);

// Reads the header from the stream's start and leaves the stream at the first data byte. Malformed
// numbers raise the standard conversion errors (std::invalid_argument, std::out_of_range).
ParsedHeader parseRawHeader(std::istream& in);

}  // namespace orvane
