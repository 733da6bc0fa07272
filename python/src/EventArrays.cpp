#include "EventArrays.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace orvane::python {

namespace {

static_assert(sizeof(TriggerRecord) == 16);
static_assert(offsetof(Event2D, x) == 0 && offsetof(Event2D, y) == 2 && offsetof(Event2D, polarity) == 4 &&
              offsetof(Event2D, timestamp) == 8 && sizeof(Event2D) == 16);

// Large reads go into blocks aligned for huge pages, and blocks that numpy gives back are kept for
// the next read (lazily freed: the kernel takes their pages back under memory pressure). Touching
// fresh memory costs as much as decoding into it: zeroing 800 MB for a 50 M-event read took longer
// than half the decode here, and a script usually reads one recording or window after another.
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kKeptBlocks = 3;
// Window-sized blocks are kept too rather than left to malloc: with a small trim threshold (Dask's
// worker processes set MALLOC_TRIM_THRESHOLD_) malloc maps and unmaps each of them afresh, and a
// 100 ms window read then took twice the decode's time in page faults.
constexpr size_t kKeptFrom = size_t{64} << 10;
constexpr size_t kKeptSmallBlocks = 8;
constexpr size_t kPrefaultBytes = size_t{64} << 20;
constexpr size_t kPrefaultPiece = size_t{16} << 20;

class BlockCache {
public:
    // A block of at least `bytes`; its size in `size`, and whether its pages are new to the process.
    void* take(size_t bytes, size_t& size, bool& fresh)
    {
        fresh = false;
        if (bytes < kKeptFrom) {
            size = bytes;
            return std::malloc(bytes);
        }
        const bool large = bytes >= kHugePage;
        auto& kept = large ? kept_ : keptSmall_;
        {
            std::lock_guard lock(mutex_);
            // The smallest kept block that fits and is not far too big.
            size_t best = kept.size();
            for (size_t i = 0; i < kept.size(); ++i) {
                const size_t have = kept[i].second;
                if (have >= bytes && have <= 2 * bytes && (best == kept.size() || have < kept[best].second))
                    best = i;
            }
            if (best != kept.size()) {
                void* block = kept[best].first;
                size = kept[best].second;
                kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(best));
                return block;
            }
        }
        fresh = true;
        const size_t unit = large ? kHugePage : kKeptFrom;
        size = (bytes + unit - 1) / unit * unit;
        void* block = std::aligned_alloc(large ? kHugePage : size_t{4096}, size);
        if (block && large) ::madvise(block, size, MADV_HUGEPAGE);
        return block;
    }

    void give(void* block, size_t size)
    {
        if (!block) return;
        if (size < kKeptFrom) {
            std::free(block);
            return;
        }
        const bool large = size >= kHugePage;
        // Small blocks stay as they are: handing them back and faulting them in again is what a
        // window-by-window read would otherwise pay for every window.
        if (large) ::madvise(block, size, MADV_FREE);
        std::lock_guard lock(mutex_);
        auto& kept = large ? kept_ : keptSmall_;
        kept.emplace_back(block, size);
        if (kept.size() > (large ? kKeptBlocks : kKeptSmallBlocks)) {
            // The smallest goes: a whole recording's block costs far more to fault in again than a
            // window's, and a script reading windows between whole reads keeps it.
            const auto smallest = std::min_element(kept.begin(), kept.end(),
                                                   [](const auto& a, const auto& b) { return a.second < b.second; });
            std::free(smallest->first);
            kept.erase(smallest);
        }
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<void*, size_t>> kept_;       // huge-page blocks
    std::vector<std::pair<void*, size_t>> keptSmall_;  // window-sized blocks, at most 16 MB in all
};

BlockCache& blocks()
{
    // Never destroyed: arrays may be freed during the interpreter's teardown.
    static BlockCache* cache = new BlockCache;
    return *cache;
}

struct Block {
    void* data;
    size_t size;
};

void giveBack(void* p)
{
    auto* block = static_cast<Block*>(p);
    blocks().give(block->data, block->size);
    delete block;
}

py::dtype makeDtype(std::initializer_list<const char*> names, std::initializer_list<const char*> formats,
                    std::initializer_list<size_t> offsets, size_t itemsize)
{
    py::list nameList, formatList, offsetList;
    for (const char* n : names) nameList.append(n);
    for (const char* f : formats) formatList.append(f);
    for (const size_t o : offsets) offsetList.append(o);
    py::dict fields;
    fields["names"] = nameList;
    fields["formats"] = formatList;
    fields["offsets"] = offsetList;
    fields["itemsize"] = itemsize;
    return py::dtype::from_args(fields);
}

}  // namespace

const py::dtype& eventDtype()
{
    // Never destroyed: it may outlive the interpreter's teardown order.
    static const py::dtype* dtype =
        new py::dtype(makeDtype({"x", "y", "p", "t"}, {"<u2", "<u2", "<i2", "<i8"},
                                {offsetof(Event2D, x), offsetof(Event2D, y), offsetof(Event2D, polarity),
                                 offsetof(Event2D, timestamp)},
                                sizeof(Event2D)));
    return *dtype;
}

const py::dtype& triggerDtype()
{
    static const py::dtype* dtype = new py::dtype(
        makeDtype({"t", "id", "p"}, {"<i8", "<i2", "<i2"},
                  {offsetof(TriggerRecord, t), offsetof(TriggerRecord, id), offsetof(TriggerRecord, p)},
                  sizeof(TriggerRecord)));
    return *dtype;
}

EventBuffer::~EventBuffer()
{
    stopPrefault();
    blocks().give(data_, bytes_);
}

void EventBuffer::stopPrefault()
{
    if (!prefault_.joinable()) return;
    prefaultStop_ = true;
    prefault_.join();
    prefaultStop_ = false;
}

void EventBuffer::reserve(size_t n)
{
    if (n <= capacity_) return;
    size_t bytes = 0;
    bool fresh = false;
    void* block = blocks().take(n * sizeof(Event2D), bytes, fresh);
    if (!block) throw std::bad_alloc();
    stopPrefault();
    if (size_) std::memcpy(block, data_, size_ * sizeof(Event2D));
    blocks().give(data_, bytes_);
    data_ = static_cast<Event2D*>(block);
    bytes_ = bytes;
    capacity_ = bytes / sizeof(Event2D);
    if (fresh && bytes >= kPrefaultBytes) {
        // Populating never changes what a page holds, so it may run over pages already written.
        prefault_ = std::thread([this, base = static_cast<char*>(block), bytes] {
            for (size_t end = bytes; end > 0 && !prefaultStop_;) {
                const size_t begin = end - std::min(end, kPrefaultPiece);
                if (::madvise(base + begin, end - begin, MADV_POPULATE_WRITE) != 0) break;
                end = begin;
            }
        });
    }
}

std::span<Event2D> EventBuffer::room(size_t atLeast)
{
    if (capacity_ - size_ < atLeast) reserve(std::max(size_ + atLeast, capacity_ + capacity_ / 2 + 1024));
    return {data_ + size_, capacity_ - size_};
}

py::array EventBuffer::release()
{
    stopPrefault();
    if (size_ == 0) return py::array(eventDtype(), {size_t{0}}, {sizeof(Event2D)});
    py::capsule owner(new Block{data_, bytes_}, giveBack);
    py::array out(eventDtype(), {size_}, {sizeof(Event2D)}, data_, owner);
    data_ = nullptr;
    size_ = capacity_ = bytes_ = 0;
    return out;
}

py::array eventArray(std::vector<Event2D>&& events)
{
    if (events.empty()) return py::array(eventDtype(), {size_t{0}}, {sizeof(Event2D)});
    auto* held = new std::vector<Event2D>(std::move(events));
    py::capsule owner(held, [](void* p) { delete static_cast<std::vector<Event2D>*>(p); });
    return py::array(eventDtype(), {held->size()}, {sizeof(Event2D)}, held->data(), owner);
}

py::array triggerArray(const std::vector<EventTriggerIn>& edges)
{
    py::array out(triggerDtype(), {edges.size()}, {sizeof(TriggerRecord)});
    auto* records = static_cast<TriggerRecord*>(out.mutable_data());
    for (size_t i = 0; i < edges.size(); ++i) {
        records[i] = TriggerRecord{static_cast<int64_t>(edges[i].timestamp), edges[i].id, edges[i].polarity};
    }
    return out;
}

}  // namespace orvane::python
