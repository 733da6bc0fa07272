// Reading by count into the caller's own storage: the decoder's ranges go straight to the caller,
// so a large read copies each event once instead of through the reader's vectors.
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

uint64_t RawFileReader::readNEvents(uint64_t n,
                                    const std::function<void(const Event2D*, const Event2D*)>& sink)
{
    if (cur_event_num >= max_events) return 0;
    n = std::min(n, max_events - cur_event_num);
    uint64_t given = 0;
    uint64_t last_time = 0;
    auto give = [&](const Event2D* begin, const Event2D* end) {
        if (begin == end) return;
        sink(begin, end);
        given += static_cast<uint64_t>(end - begin);
        last_time = end[-1].timestamp;
    };

    std::vector<Event2D>& left = *leftover_events;
    const auto from_left = static_cast<std::ptrdiff_t>(std::min<uint64_t>(n, left.size()));
    give(left.data(), left.data() + from_left);
    left.erase(left.begin(), left.begin() + from_left);
    if (given < n) {
        std::lock_guard<std::mutex> lock(mutex);
        // Whatever way this ends, the decoder delivers to the reader again afterwards.
        struct Restore {
            RawFileReader* reader;
            ~Restore() { reader->setEventsDelivered(true); }
        } restore{this};
        decoder->setEventsStreamHandleCallback([&](const Event2D* begin, const Event2D* end) {
            const uint64_t room = n - given;
            const Event2D* split = static_cast<uint64_t>(end - begin) > room ? begin + room : end;
            give(begin, split);
            left.insert(left.end(), split, end);  // carried over to the next read, as getNEvents does
        });
        while (given < n && readChunkAt(read_pos, file_size)) decoder->decodeBuffer(chunk_buffer);
    }
    if (given > 0) cur_timestamp = last_time + 1;
    cur_event_num += given;
    return given;
}

}  // namespace orvane
