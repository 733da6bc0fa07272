// The fast index build: one pass in which the decoder counts events up to each bookmark's time (runs
// of the common words classified a register at a time). A second thread reads the file ahead of the
// pass into a few chunks that stay in the cache: the copy out of the page cache is its work, and the
// pass never waits for a page fault.
#include <fcntl.h>

#include <thread>

#include "RawFileReaderInternal.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

namespace {

// Below this much data one thread reads and counts.
constexpr uint64_t kAheadMinBytes = 16 << 20;

}  // namespace

bool RawFileReader::fastIndexScan(BookmarkRule& rule)
{
    const Fd file{::open(raw_path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0 || data_start > file_size) return false;
    const bool ahead = file_size - data_start >= kAheadMinBytes && std::thread::hardware_concurrency() > 1;
    ChunkReader chunks(file.fd, data_start, file_size, ahead);

    auto counter = makeDecoder();
    const uint64_t unit = counter->getRawUnitSize();
    uint64_t total = 0;
    uint64_t end_pos = data_start;
    for (ChunkReader::View c = chunks.next(); c.size > 0; c = chunks.next()) {
        const uint8_t* const end = c.data + c.size;
        for (const uint8_t* p = c.data; p < end;) {
            const uint64_t target = rule.nextTarget();
            p = counter->countUntilTimestamp(p, end, target, total);
            const uint64_t t = counter->getLastTimestamp();
            if (t < target) break;
            rule.offer(c.pos + static_cast<uint64_t>(p - c.data) - unit, t, total);
        }
        end_pos = c.pos + c.size;
    }
    // A file that changed under the scan leaves it to the decoder's build.
    if (chunks.failed() || end_pos != file_size) return false;
    rule.close(file_size, counter->getLastTimestamp(), total);
    off_sensor_events = counter->droppedOutOfGeometry();
    return true;
}

}  // namespace orvane
