// A raw recording played as a live sensor: its EVT 3.0 words are handed out as the stream time
// passes, in a loop. Each new loop shifts the TIME_HIGH words by a whole number of periods past the
// end of the last, so the looped stream's time keeps rising; nothing else is touched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::sim {

class ReplaySource {
public:
    // Reads the recording; false with `reason` set (what a user is told) when it cannot be replayed.
    bool open(const std::string& path, std::string& reason);
    // Appends the words up to stream time `untilUs` (the recording's own time base, shifted per loop).
    void produce(uint64_t untilUs, std::vector<uint8_t>& out);
    uint64_t firstTimeUs() const { return firstUs_; }
    bool empty() const { return words_.empty(); }

private:
    void rewind();

    std::vector<uint16_t> words_;
    size_t pos_ = 0;
    uint64_t loop_ = 0;
    uint64_t spanHigh_ = 1;  // TIME_HIGH units per loop
    uint64_t firstUs_ = 0;
    // Scan state of the current loop.
    uint64_t wraps_ = 0;
    uint32_t high_ = 0, low_ = 0;
    bool haveHigh_ = false;
};

}  // namespace orvane::sim
