// The seam between the reader's format-neutral core (header, index, scans, reads, sinks, cut and
// export) and the encodings it reads. One policy per encoding, a static object each, says how to
// decode, where decoding can resume with the state a straight decode has, how events lie around the
// stream's time (for seeks and windows), and what a cut writes before its byte-exact copy.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvane {

class Decoder;

enum class RawEncoding { Evt2, Evt21, Evt3 };

// Reads [from, to) of the recording (at most one chunk), or null when it could not be read whole.
using ReadBlock = std::function<const std::vector<uint8_t>*(uint64_t from, uint64_t to)>;

// The words a cut puts before its copy so that a fresh decoder starts in the state a straight decode
// of the source has at the cut's start. It sees the copied bytes in order, then is finished with the
// source's data before the cut.
class CutPrefix {
public:
    virtual ~CutPrefix() = default;
    // The prefix's size, fixed from the start (it is written first and filled in at the end).
    virtual size_t size() const = 0;
    virtual void see(const uint8_t* p, size_t n) = 0;
    // The prefix bytes; false when the source could not be read.
    virtual bool finish(const ReadBlock& read, uint64_t start_pos, uint64_t data_start, std::vector<uint8_t>& out) = 0;
};

class RawFormat {
public:
    virtual ~RawFormat() = default;

    virtual RawEncoding encoding() const = 0;
    // As users know it: "EVT 3.0". The header's "% evt" value and "% format" name.
    virtual const char* name() const = 0;
    virtual const char* evtValue() const = 0;
    virtual const char* formatName() const = 0;
    virtual uint8_t unitSize() const = 0;

    // A decoder for a sensor of this size: events outside it are dropped and counted, never handed out.
    std::unique_ptr<Decoder> makeDecoder(uint16_t width, uint16_t height) const;

    // How far above the stream's time (the decoder's getLastTimestamp) an event can be stamped, and
    // how far below it: a seek to t scans to t - lead, a window read stops once the time is a lag
    // past its end.
    virtual uint64_t eventLead() const = 0;
    virtual uint64_t eventLag() const = 0;
    // Whether the word at `p` can make events (the seeks decode only those one by one).
    virtual bool makesEvents(const uint8_t* p) const = 0;

    // Where a decoder has to start scanning to hold, at `pos` (a bookmark's position), the state a
    // straight decode has there beyond the time (EVT 3.0: the row and the vector base). `pos` itself
    // when the time is all; `data_start` or earlier is never returned.
    virtual uint64_t stateScanStart(const ReadBlock& read, uint64_t pos, uint64_t data_start) const = 0;

    virtual std::unique_ptr<CutPrefix> cutPrefix(uint64_t start_time) const = 0;

    // The header our writers put before the data, with this encoding named.
    std::string header(const std::string& date, unsigned width, unsigned height) const;

    // The encoding of data whose header names none, told from its words (the first 64 KiB): the
    // word types each encoding uses, EVT 2.1's segment-aligned x, and the TIME_HIGH words' slow
    // climb. Null when the words fit none; `unused_percent` then says how many no encoding uses.
    static const RawFormat* sniff(const uint8_t* data, size_t size, unsigned& unused_percent);
    static constexpr size_t kSniffBytes = 65536;

    static const RawFormat& evt3();
    static const RawFormat& evt2();
    static const RawFormat& evt21();
    static const RawFormat& of(RawEncoding encoding);
};

}  // namespace orvane
