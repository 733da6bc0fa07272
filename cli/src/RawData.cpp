#include "RawData.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace orvane::cli {

RawData loadRawData(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open '" + path + "': " + std::strerror(errno));
    RawData raw;
    std::string line;
    while (in.peek() == '%') {
        std::getline(in, line);
        if (line.rfind("% geometry ", 0) == 0) {
            const std::string v = line.substr(11);
            const size_t x = v.find('x');
            if (x != std::string::npos) {
                try {
                    raw.width = static_cast<uint16_t>(std::stoi(v.substr(0, x)));
                    raw.height = static_cast<uint16_t>(std::stoi(v.substr(x + 1)));
                } catch (const std::exception&) {
                    throw std::runtime_error("malformed geometry line in '" + path + "'");
                }
            }
        }
        if (line == "% end") break;
    }
    in.clear();
    raw.headerBytes = static_cast<uint64_t>(in.tellg());
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
