// The decoder side of the HAL: turns raw event words into Event2D ranges and trigger edges.
// A decoder is used by one thread at a time (a camera thread or a file reader under its lock);
// callbacks run synchronously on that thread and borrow the event range for the call only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orvane/types/Event2D.h"
#include "orvane/types/EventSink.h"

namespace orvane {

// A stream format such as "EVT3;height=720;width=1280": an encoding name ("EVT3", "EVT2" or
// "EVT21"), then key=value pieces.
class RawEventStreamFormat {
public:
    explicit RawEventStreamFormat(std::string format);

    const std::string& name() const { return name_; }  // "EVT3"
    const std::string& text() const { return text_; }
    // The key=value pieces after the name, in order, as written (no spaces trimmed).
    const std::vector<std::pair<std::string, std::string>>& values() const { return values_; }
    // A value by key, or `fallback` when absent or not a number.
    int64_t intValue(const std::string& key, int64_t fallback) const;
    uint16_t width() const;   // default 1280
    uint16_t height() const;  // default 720

private:
    std::string text_;
    std::string name_;
    std::vector<std::pair<std::string, std::string>> values_;
};

class Decoder {
public:
    using EventsCallback = std::function<void(const Event2D*, const Event2D*)>;
    using TriggerInCallback = std::function<void(EventTriggerIn)>;

    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void setEventsStreamHandleCallback(EventsCallback callback) { eventsCallback_ = std::move(callback); }
    void setTriggerInCallback(TriggerInCallback callback) { triggerCallback_ = std::move(callback); }
    // While set, decoded events are written straight into the sink's storage (borrowed; the caller
    // keeps it alive) instead of the decoder's own block and the events callback; null goes back to
    // the callback. Rooms given to the decoder must hold at least minSinkRoom() slots to be used
    // whole; a smaller one is still filled correctly but through more commits.
    void setEventSink(EventSink* sink) { sink_ = sink; }
    // The room a decoder asks a sink for: it writes up to its slack past the events it has made
    // before it commits them.
    size_t minSinkRoom() const { return outSlack_ + kOwnBlockEvents; }

    // Decodes [begin, end): events go to the events callback in ranges, trigger edges to the trigger
    // callback in stream order. Returns the number of events decoded. State carries over to the next
    // call, so a stream may be split anywhere, even inside a word.
    virtual uint32_t decodeRange(const uint8_t* begin, const uint8_t* end) = 0;
    virtual uint32_t decodeBuffer(const std::vector<uint8_t>& buffer) = 0;
    // Advances the time, row and vector state over [begin, end) without producing anything.
    virtual void scanRange(const uint8_t* begin, const uint8_t* end) = 0;
    // The current time in microseconds (0 until the stream has told it). It follows the stream: a
    // TIME_LOW word that steps back under the same TIME_HIGH moves it back too.
    virtual uint64_t getLastTimestamp() = 0;
    // Restarts mid-stream at a known time (a seek): the row and vector base become unknown, so no
    // event is produced until the stream sets them again.
    virtual void setTimestamp(const uint64_t& timestamp) = 0;
    // Bytes per raw word.
    virtual uint8_t getRawUnitSize() = 0;

    // Scans whole raw units from `begin` (as scanRange would, unit by unit) and stops after the first
    // unit once which getLastTimestamp() is at least `t`; returns the end of that unit, or `end`.
    // The fast form of "scanRange one unit, then getLastTimestamp", for index builds and seeks.
    virtual const uint8_t* scanUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t);
    // The same stop, decoding as decodeRange does without an events callback: adds the events of the
    // units it passed to `count`. One pass for index builds: where a bookmark goes and how many events
    // come before it. Call it only while no events callback is installed.
    virtual const uint8_t* countUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t, uint64_t& count);

    // Events dropped because their x or y lies outside the sensor geometry.
    virtual uint64_t droppedOutOfGeometry() const = 0;
    // Events dropped because the stream had not yet told their row or vector base (mid-stream start).
    virtual uint64_t droppedUnknownAddress() const = 0;
    // TIME_HIGH words that stepped back a little (a fault in the stream, not a loop of the 24-bit time),
    // counted once per fault; and the events and trigger edges dropped while the stream's TIME_HIGH
    // stayed below the one before the fault (their time is unknown).
    virtual uint64_t timeHighStepsBack() const { return 0; }
    virtual uint64_t droppedTimeHighStepBack() const { return 0; }

    virtual ~Decoder() = default;

protected:
    // `outSlack`: how many events a step of the decoder may write past the fill mark.
    explicit Decoder(size_t outSlack = 0) : outSlack_(outSlack) {}

    // Decoding into events writes at `out` and, once `out` reaches outMark_, hands the events on with
    // flushOutput (it returns where to write next; room for outSlack_ past the new mark). Events go to
    // the sink when one is set, else through the decoder's own block to the events callback.
    bool emitsEvents() const { return sink_ != nullptr || static_cast<bool>(eventsCallback_); }
    Event2D* openOutput();
    Event2D* flushOutput(Event2D* out);
    void closeOutput(Event2D* out);  // hands the rest on; no output is open afterwards

    EventsCallback eventsCallback_;
    TriggerInCallback triggerCallback_;
    Event2D* outMark_ = nullptr;  // flush once the output reaches it
    uint64_t outTotal_ = 0;       // events handed on since the output was opened

private:
    static constexpr size_t kOwnBlockEvents = 2048;  // 32 KiB: stays in the L1 cache for the callback
    struct FreeBlock {
        void operator()(Event2D* p) const;
    };
    Event2D* nextRoom();
    void handOn(Event2D* out);

    const size_t outSlack_;
    EventSink* sink_ = nullptr;
    EventSink* openSink_ = nullptr;  // the sink of the open output, null for the own block
    Event2D* outBegin_ = nullptr;
    bool direct_ = false;  // writing into the sink's room itself
    std::unique_ptr<Event2D, FreeBlock> block_;  // never initialised: every event is written first
};

class DecoderFactory {
public:
    // A decoder for `format`, or nullptr when the format is not one we decode.
    static std::unique_ptr<Decoder> createUniqueDecoder(const RawEventStreamFormat& format);
};

// The EVT 3.0 decode paths this CPU runs, fastest first ("avx2", "scalar"), and the one a new
// decoder takes: the first, unless the environment names another (ORVANE_EVT3_ISA=NAME, or
// ORVANE_EVT3_SCALAR=1 for the portable one). All give exactly the same output.
std::vector<std::string> evt3DecodePaths();
std::string evt3DecodePath();

// First event of the time-sorted range [begin, end) with timestamp not below t, or end. On a range
// whose times step back a little (as decoded streams may) it still returns a position in the range.
const Event2D* binarySearchTimestamp(uint64_t t, const Event2D* begin, const Event2D* end);

}  // namespace orvane
