#include "sim/Replay.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "orvane/base/Logger.h"

namespace orvane::sim {

bool ReplaySource::open(const std::string& path, std::string& reason)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = "cannot be opened: " + std::string(std::strerror(errno));
        return false;
    }
    // Skip the text header: lines that start with '%'. The words are replayed as they are, so
    // only an EVT 3.0 recording (or a headerless stream) plays as this sensor's stream.
    std::string line;
    std::streampos dataStart = 0;
    while (in.peek() == '%') {
        std::getline(in, line);
        dataStart = in.tellg();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("% evt ", 0) == 0 && line.substr(6) != "3.0") {
            reason = "is an EVT " + line.substr(6) + " recording; the simulated camera replays EVT 3.0";
            return false;
        }
    }
    in.seekg(0, std::ios::end);
    const std::streamoff bytes = in.tellg() - dataStart;
    in.seekg(dataStart);
    words_.resize(static_cast<size_t>(bytes / 2));
    in.read(reinterpret_cast<char*>(words_.data()), static_cast<std::streamsize>(words_.size() * 2));
    if (!in || words_.empty()) {
        reason = "holds no event data";
        words_.clear();
        return false;
    }
    // One pass for the first and last TIME_HIGH, unwrapped.
    bool first = true;
    uint64_t wraps = 0, firstHigh = 0, lastHigh = 0;
    uint32_t prev = 0;
    for (uint16_t w : words_) {
        if ((w >> 12) != 0x8) continue;
        const uint32_t h = w & 0xFFF;
        if (!first && h < prev && prev - h > 2048) ++wraps;
        prev = h;
        const uint64_t u = (wraps << 12) | h;
        if (first) firstHigh = u;
        first = false;
        lastHigh = u;
    }
    if (first) {
        reason = "holds no time words (it is not an EVT 3.0 stream)";
        words_.clear();
        return false;
    }
    spanHigh_ = lastHigh - firstHigh + 2;
    firstUs_ = firstHigh << 12;
    rewind();
    loop_ = 0;
    ORVANE_LOG_INFO("Replaying \"%s\" (%zu bytes) in a loop", path.c_str(), words_.size() * 2);
    return true;
}

void ReplaySource::rewind()
{
    pos_ = 0;
    wraps_ = 0;
    high_ = low_ = 0;
    haveHigh_ = false;
}

void ReplaySource::produce(uint64_t untilUs, std::vector<uint8_t>& out)
{
    if (words_.empty()) return;
    for (;;) {
        const size_t start = pos_;
        const uint64_t shift = loop_ * spanHigh_;
        size_t outAt = out.size();
        // Find how far the time allows, then copy that run in one go and patch its TIME_HIGHs.
        size_t p = pos_;
        bool stop = false;
        for (; p < words_.size(); ++p) {
            const uint16_t w = words_[p];
            const uint32_t type = w >> 12;
            if (type == 0x8) {
                const uint32_t h = w & 0xFFF;
                const uint64_t wraps = wraps_ + (haveHigh_ && h < high_ && high_ - h > 2048 ? 1 : 0);
                const uint64_t t = ((((wraps << 12) | h) + shift) << 12) | low_;
                if (t > untilUs) { stop = true; break; }
                wraps_ = wraps;
                high_ = h;
                haveHigh_ = true;
            } else if (type == 0x6) {
                const uint32_t l = w & 0xFFF;
                const uint64_t t = ((((wraps_ << 12) | high_) + shift) << 12) | l;
                if (haveHigh_ && t > untilUs) { stop = true; break; }
                low_ = l;
            }
        }
        out.resize(outAt + (p - start) * 2);
        std::memcpy(out.data() + outAt, words_.data() + start, (p - start) * 2);
        if (shift) {
            uint16_t* o = reinterpret_cast<uint16_t*>(out.data() + outAt);
            for (size_t i = 0; i < p - start; ++i) {
                if ((o[i] >> 12) == 0x8) o[i] = static_cast<uint16_t>(0x8000 | ((o[i] & 0xFFF) + shift) % 4096);
            }
        }
        pos_ = p;
        if (stop) return;
        // End of the recording: the next loop starts one span later.
        ++loop_;
        rewind();
    }
}

}  // namespace orvane::sim
