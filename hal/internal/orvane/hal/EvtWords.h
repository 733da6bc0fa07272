// The word types of the three EVT encodings, written out once for the codecs and the file reader
// (which looks at words itself to resume mid-stream and to start a cut). Not installed: callers
// outside the project decode through Decoder.
#pragma once

#include <cstdint>

namespace orvane {

// EVT 3.0: 16-bit little-endian words, the type in bits 15..12, a 12-bit payload.
namespace evt3 {
inline constexpr uint32_t ADDR_Y = 0x0;
inline constexpr uint32_t ADDR_X = 0x2;
inline constexpr uint32_t VECT_BASE_X = 0x3;
inline constexpr uint32_t VECT_12 = 0x4;
inline constexpr uint32_t VECT_8 = 0x5;
inline constexpr uint32_t TIME_LOW = 0x6;
inline constexpr uint32_t CONTINUED_4 = 0x7;
inline constexpr uint32_t TIME_HIGH = 0x8;
inline constexpr uint32_t EXT_TRIGGER = 0xA;
inline constexpr uint32_t OTHERS = 0xE;
inline constexpr uint32_t CONTINUED_12 = 0xF;
// Events can be stamped below the time the stream has reached by at most this (a TIME_LOW that
// steps back under the same TIME_HIGH).
inline constexpr uint64_t kTimeLowSpan = 4096;
}  // namespace evt3

// EVT 2.0 (32-bit little-endian words) and EVT 2.1 (64-bit words) share their types, in the top four
// bits, and their time: TIME_HIGH carries time bits 33..6, every event and trigger its low 6 bits.
namespace evt2 {
inline constexpr uint32_t CD_OFF = 0x0;  // EVT 2.1: EVT_NEG
inline constexpr uint32_t CD_ON = 0x1;   // EVT 2.1: EVT_POS
inline constexpr uint32_t TIME_HIGH = 0x8;
inline constexpr uint32_t EXT_TRIGGER = 0xA;
inline constexpr uint32_t OTHERS = 0xE;
inline constexpr uint32_t CONTINUED = 0xF;
inline constexpr unsigned kLowBits = 6;
inline constexpr unsigned kHighBits = 28;
inline constexpr unsigned kTimeBits = kLowBits + kHighBits;  // the time wraps after 2^34 us
// Events under one TIME_HIGH are stamped up to this far above it.
inline constexpr uint64_t kLowSpan = (uint64_t{1} << kLowBits) - 1;
}  // namespace evt2

}  // namespace orvane
