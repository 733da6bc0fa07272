// The EVT 2.0 and EVT 2.1 decoders. Both carry the time the same way (TIME_HIGH gives time bits
// 33..6, each event word its low 6 bits) and differ in the event word: EVT 2.0 has one event per
// 32-bit word, EVT 2.1 a row segment of 32 pixels with a mask per 64-bit word. The 34-bit time is
// extended to 64 bits by counting wraps. Words before the first TIME_HIGH (or setTimestamp) give
// nothing: their time is unknown. Used by the file reader under its lock, one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "orvane/hal/Decoder.h"

namespace orvane {

std::unique_ptr<Decoder> makeEvt2Decoder(uint16_t width, uint16_t height);
std::unique_ptr<Decoder> makeEvt21Decoder(uint16_t width, uint16_t height);

}  // namespace orvane
