// Reading into the caller's own storage: by count through a callback (each decoded range copied once),
// and by count or time through an EventSink, which the decoder writes into directly.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include <fcntl.h>

#include <thread>

#include "RawFileReaderInternal.h"
#include "RawFormat.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

namespace {

// Reads spanning at least this much of the file have it read ahead on a second thread.
constexpr uint64_t kAheadReadBytes = 8 << 20;
// The pieces read near a read's end.
constexpr uint64_t kNearEndBytes = 16 << 10;

// Copies [from, from + n) into the sink's rooms; returns how many it took (fewer when it is full).
size_t copyInto(EventSink& sink, const Event2D* from, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const std::span<Event2D> room = sink.room(n - done);
        if (room.empty()) break;
        const size_t k = std::min(n - done, room.size());
        std::memcpy(static_cast<void*>(room.data()), from + done, k * sizeof(Event2D));
        sink.commit(k);
        done += k;
    }
    return done;
}

// The first of [b, b + n) stamped at or past `limit`, or n: eight events a step without a branch
// per event (every event of a window is looked at, in memory the decoder has just written).
size_t firstAtOrPast(const Event2D* b, size_t n, uint64_t limit)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        bool any = false;
        for (size_t k = 0; k < 8; ++k) any |= b[i + k].timestamp >= limit;
        if (any) break;
    }
    for (; i < n; ++i) {
        if (b[i].timestamp >= limit) return i;
    }
    return n;
}

// Stands between the decoder and the caller's sink for one read. It passes the caller's rooms on
// while they are large enough for the decoder to write into, and its own block otherwise (whose
// events are then copied over); of what the decoder commits it hands the caller the events that
// belong to the read and carries the rest (always few: at most a chunk's) over to the next read.
class ReadThrough final : public EventSink {
public:
    ReadThrough(EventSink& caller, std::vector<Event2D>& carried, uint64_t wanted, bool by_time, uint64_t limit, bool to_end)
        : caller_(caller), carried_(carried), wanted_(wanted), by_time_(by_time), limit_(limit), to_end_(to_end)
    {
    }
    ~ReadThrough() { ::operator delete(own_, std::align_val_t{64}); }
    ReadThrough(const ReadThrough&) = delete;
    ReadThrough& operator=(const ReadThrough&) = delete;

    std::span<Event2D> room(size_t atLeast) override
    {
        if (!done_) {
            // A read by count never asks for more than it still needs, so storage sized for the read
            // is not grown for the decoder's scratch.
            const size_t ask = static_cast<size_t>(std::min<uint64_t>(atLeast, std::max<uint64_t>(1, wanted_ - given_)));
            const std::span<Event2D> r = caller_.room(ask);
            if (r.size() >= atLeast) {
                room_ = r;
                in_caller_ = true;
                return r;
            }
        }
        in_caller_ = false;
        if (own_size_ < atLeast) {
            ::operator delete(own_, std::align_val_t{64});
            own_ = nullptr;
            own_size_ = 0;
            own_ = static_cast<Event2D*>(::operator new(atLeast * sizeof(Event2D), std::align_val_t{64}));
            own_size_ = atLeast;
        }
        room_ = {own_, own_size_};
        return room_;
    }

    void commit(size_t count) override
    {
        const size_t given = hand(room_.data(), count, in_caller_);
        if (given < count) carried_.insert(carried_.end(), room_.data() + given, room_.data() + count);
    }

    // Hands out the carried-over events first, as far as they belong to the read. What does not
    // stays carried, in order, in the same storage: a fresh vector every read would be mapped and
    // faulted in afresh each time where malloc's trim threshold is small (Dask's workers set it).
    void takeCarried()
    {
        const size_t count = carried_.size();
        if (count == 0) return;
        const size_t given = hand(carried_.data(), count, false);
        carried_.erase(carried_.begin(), carried_.begin() + static_cast<std::ptrdiff_t>(given));
    }

    bool done() const { return done_; }
    uint64_t given() const { return given_; }
    uint64_t lastTime() const { return last_time_; }

private:
    // Gives the caller the events of `b` that belong to the read (up to the count wanted, and by time
    // up to the first at or past the limit in stream order); the read is done once one does not.
    size_t hand(const Event2D* b, size_t count, bool inCaller)
    {
        size_t keep = done_ ? 0 : static_cast<size_t>(std::min<uint64_t>(count, wanted_ - given_));
        if (by_time_ && !to_end_) {
            keep = firstAtOrPast(b, keep, limit_);
        }
        size_t given = keep;
        if (inCaller) {
            caller_.commit(keep);
        } else {
            given = copyInto(caller_, b, keep);
        }
        if (given > 0) last_time_ = b[given - 1].timestamp;
        given_ += given;
        if (given < count || given_ == wanted_) done_ = true;
        return given;
    }

    EventSink& caller_;
    std::vector<Event2D>& carried_;
    const uint64_t wanted_;
    const bool by_time_;
    const uint64_t limit_;
    const bool to_end_;
    uint64_t given_ = 0;
    uint64_t last_time_ = 0;
    bool done_ = false;
    bool in_caller_ = false;
    std::span<Event2D> room_;
    Event2D* own_ = nullptr;  // never initialised: the decoder writes every event it commits
    size_t own_size_ = 0;
};

// A span as a sink that cannot grow.
class SpanSink final : public EventSink {
public:
    explicit SpanSink(std::span<Event2D> span) : span_(span) {}
    std::span<Event2D> room(size_t) override { return span_.subspan(used_); }
    void commit(size_t count) override { used_ += count; }

private:
    std::span<Event2D> span_;
    size_t used_ = 0;
};

}  // namespace

uint64_t RawFileReader::readInto(EventSink& sink, uint64_t n, bool by_time, uint64_t limit, bool to_end,
                                 uint64_t& last_time)
{
    ReadThrough through(sink, *leftover_events, n, by_time, limit, to_end);
    if (n == 0) return 0;
    through.takeCarried();
    if (!through.done()) {
        std::lock_guard<std::mutex> lock(mutex);
        // Whatever way this ends, the decoder delivers to the reader again afterwards.
        struct Restore {
            Decoder* decoder;
            ~Restore() { decoder->setEventSink(nullptr); }
        } restore{decoder.get()};
        decoder->setEventSink(&through);
        // Once the time is as far past the limit as events can lag behind it, every later event is
        // past it too: stop instead of reading through an idle stretch.
        const uint64_t settled = limit > std::numeric_limits<uint64_t>::max() - format->eventLag()
                                     ? std::numeric_limits<uint64_t>::max()
                                     : limit + format->eventLag();
        const auto finished = [&] {
            return through.done() || (by_time && !to_end && decoder->getLastTimestamp() >= settled);
        };
        // A large read has the file read ahead on a second core (the copy out of the page cache
        // costs about a third of the decode); its pieces are decoded as the reader's own chunks are.
        Bookmark mark;
        const bool found = by_time ? getRawFileBookmark(std::min(limit, end_timestamp), mark)
                                   : getRawFileBookmarkByNEvents(std::min(max_events, cur_event_num + n), mark);
        const uint64_t reach = to_end || !found ? file_size : std::min(file_size, mark.file_pos + 2 * kChunkBytes);
        bool finished_ahead = false;
        if (reach > read_pos && reach - read_pos >= kAheadReadBytes && std::thread::hardware_concurrency() > 1) {
            const Fd file{::open(raw_path.c_str(), O_RDONLY | O_CLOEXEC)};
            if (file.fd >= 0) {
                ChunkReader chunks(file.fd, read_pos, reach, true);
                for (ChunkReader::View c = chunks.next(); c.size > 0 && !finished_ahead; c = chunks.next()) {
                    for (size_t at = 0; at < c.size && !finished_ahead;) {
                        const size_t piece = static_cast<size_t>(std::min<uint64_t>(read_chunk_size, c.size - at));
                        decoder->decodeRange(c.data + at, c.data + at + piece);
                        at += piece;
                        read_pos = c.pos + at;
                        finished_ahead = finished();
                    }
                }
                // The stream goes on from where the pieces ended.
                input_stream.clear();
                input_stream.seekg(static_cast<std::streamoff>(read_pos));
            }
        }
        if (!finished_ahead) {
            // From the last bookmark before the read's end on, small pieces: what is decoded past the
            // end is carried over (copied out and into the next read), so little of it is.
            const uint64_t near = found ? mark.file_pos : file_size;
            for (;;) {
                const uint64_t to = read_pos < near ? file_size : std::min(file_size, read_pos + kNearEndBytes);
                if (!readChunkAt(read_pos, to)) break;
                decoder->decodeBuffer(chunk_buffer);
                if (finished()) break;
            }
        }
    }
    last_time = through.lastTime();
    return through.given();
}

uint64_t RawFileReader::readNEvents(uint64_t n, EventSink& sink)
{
    if (cur_event_num >= max_events) return 0;
    n = std::min(n, max_events - cur_event_num);
    uint64_t last_time = 0;
    const uint64_t given = readInto(sink, n, false, 0, false, last_time);
    if (given > 0) cur_timestamp = last_time + 1;
    cur_event_num += given;
    return given;
}

uint64_t RawFileReader::readNEvents(std::span<Event2D> out)
{
    SpanSink sink(out);
    return readNEvents(out.size(), sink);
}

uint64_t RawFileReader::readNTimeEvents(uint64_t durationUs, EventSink& sink)
{
    uint64_t limit = 0, last_time = 0;
    bool to_end = false;
    if (!startTimeRead(durationUs, limit, to_end)) return 0;
    const uint64_t given = readInto(sink, std::numeric_limits<uint64_t>::max(), true, limit, to_end, last_time);
    cur_event_num += given;
    return given;
}

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
