// Trigger edges by time. They are decoded by a decoder of their own, so the reader's decoder and
// its read position stay as the last read left them.
#include <algorithm>

#include "RawFileReaderInternal.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

namespace {
// Times may step back a little under one TIME_HIGH: decode this much on either side of the range,
// so an edge stamped inside it is not missed for having been written just outside.
constexpr uint64_t kBackstepMarginUs = 4096;
}  // namespace

bool RawFileReader::getTriggerEvents(uint64_t startTimestamp, uint64_t endTimestamp,
                                     std::vector<EventTriggerIn>& out)
{
    if (bookmarks.empty() || startTimestamp >= endTimestamp || startTimestamp > end_timestamp) return false;
    const uint64_t from =
        std::max(start_timestamp, startTimestamp - std::min(startTimestamp, kBackstepMarginUs));
    Bookmark mark;
    if (!getRawFileBookmark(from, mark)) mark = bookmarks.front();
    const uint64_t stopAt = endTimestamp + std::min(kBackstepMarginUs, UINT64_MAX - endTimestamp);

    std::lock_guard<std::mutex> lock(mutex);
    const uint64_t savedPos = read_pos;
    std::unique_ptr<Decoder> scan = makeDecoder();
    scan->setTimestamp(mark.timestamp);
    scan->setTriggerInCallback([&](EventTriggerIn t) {
        if (t.timestamp >= startTimestamp && t.timestamp < endTimestamp) out.push_back(t);
    });
    for (uint64_t pos = mark.file_pos; scan->getLastTimestamp() < stopAt && readChunkAt(pos, file_size);) {
        scan->decodeBuffer(chunk_buffer);
        pos += chunk_buffer.size();
    }
    input_stream.clear();
    input_stream.seekg(static_cast<std::streamoff>(savedPos));
    read_pos = savedPos;
    return true;
}

}  // namespace orvane
