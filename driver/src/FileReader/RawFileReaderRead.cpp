// Reading by count and by time span, and the two seeks. Every repositioning restores the decoder's
// full state (time, row, vector base) as a straight decode of the file has it at the new position,
// so the events after a seek are exactly the events a decode from the first byte gives there.
#include <algorithm>
#include <limits>

#include "RawFileReaderInternal.h"
#include "RawFormat.h"
#include "orvane/base/Logger.h"
#include "orvane/driver/RawFileReader.h"
#include "orvane/hal/Decoder.h"

namespace orvane {

namespace {
// Runs its function when the scope ends, however it ends.
template <typename F>
struct OnExit {
    F f;
    ~OnExit() { f(); }
};
template <typename F>
OnExit(F) -> OnExit<F>;
}  // namespace

namespace {

uint64_t saturatingAdd(uint64_t a, uint64_t b)
{
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

}  // namespace

bool RawFileReader::readChunkAt(uint64_t from, uint64_t to)
{
    if (from >= to) {
        chunk_buffer.clear();
        return false;
    }
    if (from != read_pos || !input_stream.good()) {
        input_stream.clear();
        input_stream.seekg(static_cast<std::streamoff>(from));
    }
    const uint64_t n = std::min(read_chunk_size, to - from);
    chunk_buffer.resize(n);
    input_stream.read(reinterpret_cast<char*>(chunk_buffer.data()), static_cast<std::streamsize>(n));
    const auto got = static_cast<size_t>(std::max<std::streamsize>(0, input_stream.gcount()));
    chunk_buffer.resize(got);
    read_pos = from + got;
    if (got < n && shrink_message.empty()) {
        // The data ends before the size the recording had when it was opened: it was cut short
        // while open (a copy still being written, a disk full). Reads give what is left; the
        // reason tells callers the recording is no longer whole.
        shrink_message = inQuotes(raw_path) + " shrank while open: it had " + std::to_string(file_size) +
                         " bytes, the data ends at byte " + std::to_string(from + got);
        last_error = {RecordingError::Kind::Io, shrink_message, 0};
        ORVANE_LOG_WARNING("%s", shrink_message.c_str());
    }
    return got != 0;
}

const std::vector<uint8_t>* RawFileReader::readBlock(uint64_t from, uint64_t to)
{
    if (!readChunkAt(from, to) || chunk_buffer.size() != to - from) return nullptr;
    return &chunk_buffer;
}

RawFileReader::Resume RawFileReader::resumePointFor(const Bookmark& mark)
{
    Resume r{mark.file_pos, mark.file_pos, mark.timestamp};
    if (mark.file_pos <= data_start) return r;
    const uint64_t found = format->stateScanStart([this](uint64_t from, uint64_t to) { return readBlock(from, to); },
                                                  mark.file_pos, data_start);
    if (found >= mark.file_pos) return r;

    // The time at `found` is only known at a bookmark: start the scan at the last one not after it.
    const auto it = std::upper_bound(bookmarks.begin(), bookmarks.end(), found,
                                     [](uint64_t pos, const Bookmark& b) { return pos < b.file_pos; });
    if (it == bookmarks.begin()) return r;
    const Bookmark& from = *std::prev(it);
    r.scan_from = from.file_pos;
    r.scan_timestamp = from.timestamp;
    return r;
}

uint64_t RawFileReader::replayTo(const Resume& r, uint64_t to)
{
    restartDecoderAt(r.scan_from, r.scan_timestamp);
    for (uint64_t pos = r.scan_from; pos < r.pos;) {
        if (!readChunkAt(pos, r.pos)) break;
        decoder->scanRange(chunk_buffer.data(), chunk_buffer.data() + chunk_buffer.size());
        pos += chunk_buffer.size();
    }
    uint64_t count = 0;
    for (uint64_t pos = r.pos; pos < to;) {
        if (!readChunkAt(pos, to)) break;
        count += decoder->decodeBuffer(chunk_buffer);
        pos += chunk_buffer.size();
    }
    if (to == r.pos && read_pos != r.pos) {
        input_stream.clear();
        input_stream.seekg(static_cast<std::streamoff>(r.pos));
        read_pos = r.pos;
    }
    decoded_events->clear();
    return count;
}

void RawFileReader::positionAt(uint64_t pos, uint64_t event_num, uint64_t timestamp)
{
    if (read_pos != pos) {
        input_stream.clear();
        input_stream.seekg(static_cast<std::streamoff>(pos));
        read_pos = pos;
    }
    cur_timestamp = timestamp;
    cur_event_num = event_num;
    leftover_events->clear();
    decoded_events->clear();
}

bool RawFileReader::readAndDecodeEvents(const std::function<bool()>& done)
{
    std::lock_guard<std::mutex> lock(mutex);
    while (readChunkAt(read_pos, file_size)) {
        decoder->decodeBuffer(chunk_buffer);
        if (done()) return true;
    }
    return !result_events->empty();
}

std::shared_ptr<std::vector<Event2D>> RawFileReader::getNEvents(uint64_t n)
{
    if (cur_event_num >= max_events || n > max_events - cur_event_num) {
        if (n != 0) ORVANE_LOG_WARNING("Requested number of events exceeds total number of events.");
        n = cur_event_num >= max_events ? 0 : max_events - cur_event_num;
    }
    result_events->clear();
    if (leftover_events->size() > n) {
        const auto split = leftover_events->begin() + static_cast<std::ptrdiff_t>(n);
        result_events->assign(leftover_events->begin(), split);
        leftover_events->erase(leftover_events->begin(), split);
    } else {
        result_events->swap(*leftover_events);
        leftover_events->clear();
        const bool ok = readAndDecodeEvents([this, n] {
            const size_t have = result_events->size();
            std::vector<Event2D>& decoded = *decoded_events;
            if (have + decoded.size() < n) {
                result_events->insert(result_events->end(), decoded.begin(), decoded.end());
                decoded.clear();
                return false;
            }
            const auto split = decoded.begin() + static_cast<std::ptrdiff_t>(n - have);
            result_events->insert(result_events->end(), decoded.begin(), split);
            leftover_events->assign(split, decoded.end());
            decoded.clear();
            return true;
        });
        decoded_events->clear();
        if (!ok) return result_events;
    }
    if (!result_events->empty()) cur_timestamp = result_events->back().timestamp + 1;
    cur_event_num += result_events->size();
    return result_events;
}

bool RawFileReader::startTimeRead(uint64_t durationUs, uint64_t& limit, bool& to_end)
{
    limit = saturatingAdd(cur_timestamp, durationUs);
    if (limit < start_timestamp) {
        ORVANE_LOG_WARNING("Requested interval is before start timestamp.");
        cur_timestamp = limit;
        cur_event_num = 0;
        return false;
    }
    if (cur_timestamp > end_timestamp) {
        ORVANE_LOG_WARNING("Current read pos exceeds end timestamp.");
        cur_event_num = max_events;
        return false;
    }
    // A read that reaches past the end takes every event left, also one stamped after the
    // stream's last time (a TIME_LOW stepping back at the very end).
    to_end = false;
    if (limit > end_timestamp) {
        ORVANE_LOG_WARNING("Requested interval exceeds end timestamp.");
        limit = end_timestamp + 1;
        to_end = true;
    }
    cur_timestamp = saturatingAdd(cur_timestamp, durationUs);
    return true;
}

std::shared_ptr<std::vector<Event2D>> RawFileReader::getNTimeEvents(uint64_t durationUs)
{
    uint64_t limit = 0;
    bool to_end = false;
    if (!startTimeRead(durationUs, limit, to_end)) return std::make_shared<std::vector<Event2D>>();
    result_events->clear();

    // Windows split the stream, in its order, at the first event at or past the limit: times may
    // step back a little (TIME_LOW words), so an event below the limit that follows it goes to
    // the next window rather than being lost or handed out twice.
    auto split_at = [&](const std::vector<Event2D>& v) {
        if (to_end) return v.size();
        return static_cast<size_t>(std::find_if(v.begin(), v.end(), [limit](const Event2D& e) {
                                       return e.timestamp >= limit;
                                   }) - v.begin());
    };
    std::vector<Event2D>& left = *leftover_events;
    if (const size_t n = split_at(left); n < left.size()) {
        const auto cut = left.begin() + static_cast<std::ptrdiff_t>(n);
        result_events->assign(left.begin(), cut);
        left.erase(left.begin(), cut);
    } else {
        result_events->swap(left);
        left.clear();
        const uint64_t settled = saturatingAdd(limit, format->eventLag());
        const bool ok = readAndDecodeEvents([&] {
            std::vector<Event2D>& decoded = *decoded_events;
            const size_t keep = split_at(decoded);
            const auto cut = decoded.begin() + static_cast<std::ptrdiff_t>(keep);
            result_events->insert(result_events->end(), decoded.begin(), cut);
            if (keep < decoded.size()) {
                leftover_events->assign(cut, decoded.end());
                decoded.clear();
                return true;
            }
            decoded.clear();
            // Once the time is as far past the limit as events can lag behind it, every later event
            // is past it too (the time high never goes back): stop instead of reading through an
            // idle stretch.
            return !to_end && decoder->getLastTimestamp() >= settled;
        });
        decoded_events->clear();
        if (!ok) return result_events;
    }
    cur_event_num += result_events->size();
    return result_events;
}

std::shared_ptr<std::vector<Event2D>> RawFileReader::getNEventsGivenStartEvent(uint64_t eventNum, uint64_t n)
{
    if (!seekNEvents(eventNum)) return std::make_shared<std::vector<Event2D>>();
    return getNEvents(n);
}

std::shared_ptr<std::vector<Event2D>> RawFileReader::getNEventsGivenStartTimeStamp(uint64_t timestamp, uint64_t n)
{
    if (!seekTime(timestamp)) return std::make_shared<std::vector<Event2D>>();
    return getNEvents(n);
}

std::shared_ptr<std::vector<Event2D>> RawFileReader::getNTimeEventsGivenStartEvent(uint64_t eventNum,
                                                                                   uint64_t durationUs)
{
    if (!seekNEvents(eventNum)) return std::make_shared<std::vector<Event2D>>();
    return getNTimeEvents(durationUs);
}

std::shared_ptr<std::vector<Event2D>> RawFileReader::getNTimeEventsGivenStartTimeStamp(uint64_t timestamp,
                                                                                       uint64_t durationUs)
{
    if (!seekTime(timestamp)) return std::make_shared<std::vector<Event2D>>();
    return getNTimeEvents(durationUs);
}

bool RawFileReader::seekNEvents(uint64_t eventNum)
{
    if (eventNum > max_events) {
        cur_event_num = saturatingAdd(max_events, 1);
        cur_timestamp = saturatingAdd(end_timestamp, 1);
        return false;
    }
    Bookmark mark;
    if (!getRawFileBookmarkByNEvents(eventNum, mark)) return false;
    if (!seekSegmentAgrees(mark)) return seekNEvents(eventNum);  // built anew: look again

    std::lock_guard<std::mutex> lock(mutex);
    // Seeks only count; whatever way they end, reads deliver events again afterwards.
    setEventsDelivered(false);
    const OnExit redeliver{[this] { setEventsDelivered(true); }};
    const Resume resume = resumePointFor(mark);
    if (mark.event_count == eventNum) {
        replayTo(resume, resume.pos);
        positionAt(resume.pos, eventNum, mark.timestamp);
        return true;
    }

    // Count whole chunks up to the one that holds event `eventNum` - 1 ...
    replayTo(resume, resume.pos);
    uint64_t count = mark.event_count;
    uint64_t chunk_pos = resume.pos;
    for (;;) {
        if (!readChunkAt(chunk_pos, file_size)) return false;
        const uint64_t n = decoder->decodeBuffer(chunk_buffer);
        if (count + n >= eventNum) break;
        count += n;
        chunk_pos += chunk_buffer.size();
    }
    // ... then decode that chunk again from the same state, hand nothing before the target out and
    // carry the rest over, so the next read starts exactly at event `eventNum`.
    replayTo(resume, chunk_pos);
    setEventsDelivered(true);
    readChunkAt(chunk_pos, file_size);
    decoder->decodeBuffer(chunk_buffer);
    std::vector<Event2D>& decoded = *decoded_events;
    const uint64_t skip = std::min<uint64_t>(eventNum - count, decoded.size());
    const uint64_t timestamp = skip > 0 ? decoded[skip - 1].timestamp : decoder->getLastTimestamp();
    leftover_events->assign(decoded.begin() + static_cast<std::ptrdiff_t>(skip), decoded.end());
    decoded.clear();
    cur_event_num = eventNum;
    cur_timestamp = timestamp;
    return true;
}

bool RawFileReader::seekTime(uint64_t timestamp)
{
    if (timestamp > end_timestamp) {
        cur_timestamp = saturatingAdd(end_timestamp, 1);
        return false;
    }
    if (timestamp < start_timestamp) {
        cur_timestamp = start_timestamp - 1;
        return false;
    }
    Bookmark mark;
    if (!getRawFileBookmark(timestamp, mark)) return false;
    // Every event before a bookmark is stamped below its time, except before the closing one (the
    // stream's last time may lie below an earlier event's): start from the one before it.
    if (bookmarks.size() > 1 && mark.file_pos == bookmarks.back().file_pos &&
        mark.timestamp == bookmarks.back().timestamp) {
        mark = bookmarks[bookmarks.size() - 2];
    }
    if (!seekSegmentAgrees(mark)) return seekTime(timestamp);  // built anew: look again

    std::lock_guard<std::mutex> lock(mutex);
    // Seeks only count; whatever way they end, reads deliver events again afterwards.
    setEventsDelivered(false);
    const OnExit redeliver{[this] { setEventsDelivered(true); }};
    const Resume resume = resumePointFor(mark);

    // The first raw unit after which the time is at least `timestamp` less the lead events can have
    // on the stream's time: no event before it is at or past that time.
    replayTo(resume, resume.pos);
    const uint64_t unit = decoder->getRawUnitSize();
    const uint64_t reach = timestamp - std::min(timestamp, format->eventLead());
    uint64_t target = file_size;
    for (uint64_t chunk_pos = resume.pos; readChunkAt(chunk_pos, file_size); chunk_pos += chunk_buffer.size()) {
        const uint8_t* const begin = chunk_buffer.data();
        const uint8_t* const whole_end = begin + chunk_buffer.size() / unit * unit;
        const uint8_t* const end_of_unit = decoder->scanUntilTimestamp(begin, whole_end, reach);
        if (decoder->getLastTimestamp() >= reach) {
            target = chunk_pos + static_cast<uint64_t>(end_of_unit - begin);
            break;
        }
    }
    // Count exactly the events before that unit, decoding again from the bookmark; the decoder
    // then stands just after it in a straight decode's state.
    uint64_t count = mark.event_count + replayTo(resume, target);

    // Events right after it may still be stamped below the time (a TIME_LOW stepping back): they
    // belong before the position, which is the first event at or past the time in stream order.
    // Only words that can make events are decoded one by one; the rest is scanned.
    setEventsDelivered(true);
    uint64_t pos = target;
    uint64_t step = 4096;
    while (pos < file_size) {
        if (!readChunkAt(pos, std::min(file_size, pos + step))) break;
        const uint8_t* const begin = chunk_buffer.data();
        const uint8_t* const whole_end = begin + chunk_buffer.size() / unit * unit;
        const uint8_t* run = begin;
        for (const uint8_t* q = begin; q < whole_end; q += unit) {
            if (!format->makesEvents(q)) continue;
            decoder->scanRange(run, q);
            run = q + unit;
            if (decoder->decodeRange(q, run) == 0) continue;
            std::vector<Event2D>& decoded = *decoded_events;
            if (decoded.front().timestamp < timestamp) {
                count += decoded.size();
                decoded.clear();
                continue;
            }
            // Found: its events are the first to hand out; the stream goes on after its word.
            const uint64_t unit_pos = pos + static_cast<uint64_t>(q - begin);
            std::vector<Event2D> first;
            first.swap(decoded);
            positionAt(unit_pos + unit, count, timestamp);
            leftover_events->swap(first);
            seek_unit_pos = unit_pos;
            return true;
        }
        decoder->scanRange(run, whole_end);
        if (whole_end == begin) break;  // a lone trailing byte
        pos += static_cast<uint64_t>(whole_end - begin);
        step = std::min<uint64_t>(step * 2, read_chunk_size);
    }
    // No event at or past the time: the position is the end of the data.
    positionAt(file_size, count, timestamp);
    seek_unit_pos = file_size;
    return true;
}

bool RawFileReader::nextEventTime(uint64_t& timestamp)
{
    if (leftover_events->empty()) {
        std::lock_guard<std::mutex> lock(mutex);
        while (decoded_events->empty() && readChunkAt(read_pos, file_size)) decoder->decodeBuffer(chunk_buffer);
        leftover_events->swap(*decoded_events);
        decoded_events->clear();
    }
    if (leftover_events->empty()) return false;
    timestamp = leftover_events->front().timestamp;
    return true;
}

bool RawFileReader::reachedEndOfEvents()
{
    return cur_timestamp > end_timestamp;
}

uint64_t RawFileReader::getCurrentPosTimeStamp()
{
    return cur_timestamp;
}

uint64_t RawFileReader::getCurrentPosEventNum()
{
    return cur_event_num;
}

}  // namespace orvane
