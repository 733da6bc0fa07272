// Storage of the caller's that decoded events are written straight into, so that a large read makes
// each event once, where it is kept, instead of in a decoder's block and then again in a vector.
// The decoder (or a file reader on its behalf) asks for room, writes events from its start and says
// how many it wrote; it may also write scratch past them inside the room. One thread at a time.
#pragma once

#include <cstddef>
#include <span>

#include "orvane/types/Event2D.h"

namespace orvane {

class EventSink {
public:
    // Free room for the next events: at least `atLeast` slots where the storage can grow, else all
    // it has left (possibly fewer, possibly none). Valid until the next call on the sink.
    virtual std::span<Event2D> room(size_t atLeast) = 0;
    // The first `count` slots of the last room now hold events.
    virtual void commit(size_t count) = 0;

protected:
    ~EventSink() = default;
};

}  // namespace orvane
