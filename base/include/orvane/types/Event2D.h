// The two records that travel from the EVT 3.0 decoder to every consumer. They sit here, in a
// header-only corner of the base library, so the HAL can produce them without depending on the
// driver; the driver's public headers re-export them.
#pragma once

#include <cstdint>
#include <type_traits>

namespace orvane {

// One change of brightness at a pixel. A contiguous array of these is the unit of exchange
// between the decoder, the cameras, the file readers and the viewer (16 bytes each).
struct Event2D {
    uint16_t x = 0;
    uint16_t y = 0;
    uint8_t polarity = 0;  // 0 OFF, non-zero ON
    uint64_t timestamp = 0;  // microseconds on the camera's time base

    constexpr Event2D() = default;
    constexpr Event2D(uint16_t x_, uint16_t y_, uint8_t polarity_, uint64_t timestamp_)
        : x(x_), y(y_), polarity(polarity_), timestamp(timestamp_)
    {
    }

    friend constexpr bool operator==(const Event2D& a, const Event2D& b)
    {
        return a.x == b.x && a.y == b.y && a.polarity == b.polarity && a.timestamp == b.timestamp;
    }
};
static_assert(std::is_trivially_copyable_v<Event2D>);
static_assert(sizeof(Event2D) == 16);

// One edge on the external trigger input.
struct EventTriggerIn {
    int16_t polarity = 0;  // 0 falling, non-zero rising
    uint64_t timestamp = 0;
    int16_t id = 0;  // the trigger channel reported by the decoder

    constexpr EventTriggerIn() = default;
    constexpr EventTriggerIn(int16_t id_, int16_t polarity_, uint64_t timestamp_)
        : polarity(polarity_), timestamp(timestamp_), id(id_)
    {
    }

    friend constexpr bool operator==(const EventTriggerIn& a, const EventTriggerIn& b)
    {
        return a.polarity == b.polarity && a.timestamp == b.timestamp && a.id == b.id;
    }
};
static_assert(std::is_trivially_copyable_v<EventTriggerIn>);

}  // namespace orvane
