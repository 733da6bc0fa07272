#include "RawData.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "OpenRecording.h"
#include "orvane/driver/RawFileHeader.h"

namespace orvane::cli {

RawData loadRawData(const std::string& path)
{
    RawFileHeaderInfo info;
    if (const RecordingError e = readRawFileHeader(path, info)) throw RecordingFailure(e);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open '" + path + "': " + std::strerror(errno));
    RawData raw;
    raw.headerBytes = info.dataStart;
    raw.width = info.width;
    raw.height = info.height;
    raw.format = info.format;
    raw.decoderFormat = info.decoderFormat;
    in.seekg(0, std::ios::end);
    const auto end = static_cast<uint64_t>(in.tellg());
    in.seekg(static_cast<std::streamoff>(raw.headerBytes));
    raw.data.resize(end - raw.headerBytes);
    if (!in.read(reinterpret_cast<char*>(raw.data.data()), static_cast<std::streamsize>(raw.data.size()))) {
        throw std::runtime_error("cannot read '" + path + "'");
    }
    return raw;
}

}  // namespace orvane::cli
