// Events and trigger edges to EVT 3.0 words, such that our decoder gives back exactly the same
// events in the same order. The simulated cameras stream through it and the tests build their
// streams with it. One encoder per stream: it remembers time, row and vector state across calls.
#pragma once

#include <cstdint>
#include <vector>

#include "orvane/types/Event2D.h"

namespace orvane {

class Evt3Encoder {
public:
    struct Options {
        bool useVectors = true;       // runs along a row as VECT_BASE_X + VECT_12 / VECT_8
        uint32_t timeHighPeriodUs = 0;  // repeat TIME_HIGH this often, as real sensors do (0: never)
    };

    Evt3Encoder() = default;
    explicit Evt3Encoder(Options options) : options_(options) {}

    // Appends the words of [begin, end) to `out`. Events in a run with the same time, row and
    // polarity and increasing x become vectors. Timestamps may step back within the 4096 µs of the
    // current TIME_HIGH, within and across calls (a TIME_LOW step back, as real sensors write) and
    // decode back as given; a step back below the current TIME_HIGH writes a smaller TIME_HIGH,
    // which decoders take as a fault in the stream.
    void encode(const Event2D* begin, const Event2D* end, std::vector<uint8_t>& out);
    void encode(const std::vector<Event2D>& events, std::vector<uint8_t>& out)
    {
        encode(events.data(), events.data() + events.size(), out);
    }
    void encodeTrigger(const EventTriggerIn& trigger, std::vector<uint8_t>& out);
    // Moves time forward without events (the TIME_HIGH words an idle sensor sends).
    void encodeTime(uint64_t timestamp, std::vector<uint8_t>& out);

    // Forgets all state: the next word written starts a stream (with a TIME_HIGH).
    void reset();

private:
    void setTime(uint64_t t, std::vector<uint8_t>& out);
    void emitHigh(uint64_t high64, std::vector<uint8_t>& out);

    Options options_;
    bool timeValid_ = false;
    uint64_t time_ = 0;
    uint64_t high64_ = 0;  // time >> 12 of the last TIME_HIGH written
    uint64_t nextPeriodMark_ = 0;
    bool rowValid_ = false;
    uint16_t row_ = 0;
};

// A whole stream from a sorted event list and a sorted trigger list. A trigger goes after every
// event whose timestamp is not above its own.
std::vector<uint8_t> encodeEvt3(const std::vector<Event2D>& events,
                                const std::vector<EventTriggerIn>& triggers = {},
                                Evt3Encoder::Options options = {});

}  // namespace orvane
