// Feeds arbitrary bytes to the EVT 3.0 decoder, split into pieces at offsets taken from the input,
// with seeks in between; checks that every event is on the sensor and time never goes back.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "orvane/hal/Decoder.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    auto decoder = DecoderFactory::createUniqueDecoder(RawEventStreamFormat("EVT3;height=480;width=640"));
    uint64_t lastTime = 0;
    uint64_t total = 0;
    decoder->setEventsStreamHandleCallback([&](const Event2D* b, const Event2D* e) {
        for (const Event2D* p = b; p != e; ++p) {
            if (p->x >= 640 || p->y >= 480 || p->timestamp < lastTime) std::abort();
            lastTime = p->timestamp;
        }
        total += static_cast<uint64_t>(e - b);
    });
    decoder->setTriggerInCallback([&](EventTriggerIn t) {
        if (t.timestamp < lastTime) std::abort();
    });
    // The first byte picks the piece size; a piece ending in 0xFF is followed by a seek.
    const size_t piece = 1 + data[0] % 61;
    uint64_t decoded = 0;
    for (size_t off = 1; off < size; off += piece) {
        const size_t end = off + piece < size ? off + piece : size;
        if (data[off] == 0x5A) decoder->scanRange(data + off, data + end);
        else decoded += decoder->decodeRange(data + off, data + end);
        if (data[end - 1] == 0xFF) {
            decoder->setTimestamp(lastTime + data[off]);
            lastTime = decoder->getLastTimestamp();
        }
    }
    if (decoded != total) std::abort();
    return 0;
}
