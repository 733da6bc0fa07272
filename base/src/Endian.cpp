#include "orvane/base/Endian.h"

#include <cstring>

namespace orvane {

void convertEndian(std::vector<uint8_t>& buffer)
{
    uint8_t* p = buffer.data();
    const size_t words = buffer.size() / 2;
    size_t i = 0;
    // Eight words at a time through a 64-bit register; the compiler turns this into shuffles.
    for (; i + 4 <= words; i += 4) {
        uint64_t v;
        std::memcpy(&v, p + 2 * i, 8);
        v = ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
        std::memcpy(p + 2 * i, &v, 8);
    }
    for (; i < words; ++i) {
        const uint8_t t = p[2 * i];
        p[2 * i] = p[2 * i + 1];
        p[2 * i + 1] = t;
    }
}

}  // namespace orvane
