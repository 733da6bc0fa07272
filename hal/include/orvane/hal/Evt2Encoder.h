// Events and trigger edges to EVT 2.0 or EVT 2.1 words, such that our decoders give back exactly the
// same events in the same order. Tests build their streams with it, `orvane_rawtool` its EVT 2.x
// recordings. One encoder per stream: it remembers the time across calls.
#pragma once

#include <cstdint>
#include <vector>

#include "orvane/types/Event2D.h"

namespace orvane {

class Evt2Encoder {
public:
    struct Options {
        // EVT 2.1: events of one time, row and polarity within one 32-pixel segment, in increasing
        // x, share a word with a mask. Otherwise EVT 2.0, one word per event.
        bool wide = false;
        // Write every TIME_HIGH the time passes through (one per 64 us), as sensors do, rather than
        // only the ones events need.
        bool everyTimeHigh = false;
    };

    Evt2Encoder() = default;
    explicit Evt2Encoder(Options options) : options_(options) {}

    // Appends the words of [begin, end) to `out`. Times may step back; a step below the current
    // TIME_HIGH writes a smaller TIME_HIGH, which decodes as given.
    void encode(const Event2D* begin, const Event2D* end, std::vector<uint8_t>& out);
    void encode(const std::vector<Event2D>& events, std::vector<uint8_t>& out)
    {
        encode(events.data(), events.data() + events.size(), out);
    }
    void encodeTrigger(const EventTriggerIn& trigger, std::vector<uint8_t>& out);
    // Moves time forward without events.
    void encodeTime(uint64_t timestamp, std::vector<uint8_t>& out);

private:
    void setHigh(uint64_t timestamp, std::vector<uint8_t>& out);
    void put(uint32_t upper, uint32_t mask, std::vector<uint8_t>& out) const;

    Options options_;
    bool timeValid_ = false;
    uint64_t high64_ = 0;  // timestamp >> 6 of the last TIME_HIGH written
};

// A whole stream from a sorted event list and a sorted trigger list. A trigger goes after every
// event whose timestamp is not above its own.
std::vector<uint8_t> encodeEvt2(const std::vector<Event2D>& events, const std::vector<EventTriggerIn>& triggers = {},
                                Evt2Encoder::Options options = {});

}  // namespace orvane
