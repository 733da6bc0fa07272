// Byte order of the fusion camera's event buffers. The device sends its 16-bit EVT 3.0 words
// big-endian; the decoder and raw files use little-endian words.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

// Swaps the two bytes of every 16-bit word in place; an odd trailing byte is left as it is.
void convertEndian(std::vector<uint8_t>& buffer);

}  // namespace orvane
