#include "RawHeader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "RawFileReaderInternal.h"
#include "RawFormat.h"
#include "orvane/driver/RawFileHeader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

namespace {

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// The name users know for a "% format" encoding: "EVT3" is "EVT 3.0", "EVT21" "EVT 2.1".
std::string formatEncodingName(const std::string& name)
{
    if (name == "EVT3") return "EVT 3.0";
    if (name == "EVT2") return "EVT 2.0";
    if (name == "EVT21") return "EVT 2.1";
    return name;
}

}  // namespace

ParsedHeader parseRawHeader(std::istream& in)
{
    ParsedHeader h;
    std::string line;
    auto name = [&h](const std::string& encoding) {
        if (!h.encoding.empty() && h.encoding != encoding && h.conflict.empty()) {
            h.conflict = "its header names both " + h.encoding + " and " + encoding;
        }
        h.encoding = encoding;
    };
    while (in.peek() == '%') {
        std::getline(in, line);
        if (line == "% end") break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (startsWith(line, "% format ")) {
            // Pieces are compared exactly: " height = 720" matches no key and is ignored.
            const RawEventStreamFormat format(line.substr(9));
            name(formatEncodingName(format.name()));
            for (const auto& [key, value] : format.values()) {
                if (key == "width") h.width = std::stoi(value);
                else if (key == "height") h.height = std::stoi(value);
            }
        } else if (startsWith(line, "% geometry ")) {
            const std::string rest = line.substr(11);
            const size_t x = rest.find('x');
            h.width = std::stoi(rest.substr(0, x));
            // Without the x there is no height: the size is malformed.
            h.height = x == std::string::npos ? 0 : std::stoi(rest.substr(x + 1));
        } else if (startsWith(line, "% evt ")) {
            name("EVT " + line.substr(6));
        }
    }
    in.clear();
    h.data_start = static_cast<uint64_t>(in.tellg());
    return h;
}

const RawFormat* formatFor(const ParsedHeader& header, const std::string& path, RecordingError& error)
{
    using Kind = RecordingError::Kind;
    if (!header.conflict.empty()) {
        error = {Kind::BadHeader, inQuotes(path) + ": " + header.conflict, 0};
        return nullptr;
    }
    for (const RawFormat* f : {&RawFormat::evt3(), &RawFormat::evt2(), &RawFormat::evt21()}) {
        if (header.encoding == f->name()) return f;
    }
    if (header.encoding.empty()) return &RawFormat::evt3();
    const bool vowel = std::strchr("AEFHILMNORSX", header.encoding.front()) != nullptr;  // as the letter is said
    error = {Kind::UnsupportedFormat,
             inQuotes(path) + " is " + (vowel ? "an " : "a ") + header.encoding +
                 " recording; Orvane reads EVT 2.0, 2.1 and 3.0",
             0};
    return nullptr;
}

const RawFormat* sniffFormat(std::istream& in, uint64_t data_start, const std::string& path, RecordingError& error)
{
    std::vector<uint8_t> sample(RawFormat::kSniffBytes);
    in.clear();
    in.seekg(static_cast<std::streamoff>(data_start));
    in.read(reinterpret_cast<char*>(sample.data()), static_cast<std::streamsize>(sample.size()));
    sample.resize(static_cast<size_t>(std::max<std::streamsize>(0, in.gcount())));
    in.clear();
    in.seekg(static_cast<std::streamoff>(data_start));
    unsigned unused = 0;
    if (const RawFormat* f = RawFormat::sniff(sample.data(), sample.size(), unused)) return f;
    error = {RecordingError::Kind::NotEventData,
             inQuotes(path) + " does not look like event data: " + std::to_string(unused) +
                 " % of its first 64 KiB are words no EVT encoding uses",
             0};
    return nullptr;
}

RecordingError readRawFileHeader(const std::string& path, RawFileHeaderInfo& out)
{
    using Kind = RecordingError::Kind;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno;
        return {err == ENOENT ? Kind::NotFound : err == EACCES ? Kind::NoPermission : Kind::Io,
                "cannot open " + inQuotes(path) + ": " + std::strerror(err), err};
    }
    ParsedHeader h;
    try {
        h = parseRawHeader(in);
    } catch (const std::exception& e) {
        return {Kind::BadHeader, inQuotes(path) + ": malformed number in the header (" + e.what() + ")", 0};
    }
    RecordingError error;
    const RawFormat* format = formatFor(h, path, error);
    if (format && h.encoding.empty()) format = sniffFormat(in, h.data_start, path, error);
    if (!format) return error;
    if (h.width < 1 || h.width > 2048 || h.height < 1 || h.height > 2048) {
        return {Kind::BadGeometry,
                inQuotes(path) + ": sensor geometry " + std::to_string(h.width) + "x" + std::to_string(h.height) +
                    " is outside 1x1 to 2048x2048",
                0};
    }
    out.dataStart = h.data_start;
    out.width = static_cast<uint16_t>(h.width);
    out.height = static_cast<uint16_t>(h.height);
    out.format = format->name();
    out.decoderFormat = format->formatName();
    return {};
}

}  // namespace orvane
