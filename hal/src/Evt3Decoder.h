// The EVT 3.0 decoder: the hot path of live streaming, index building, seeking and export.
// Words are 16-bit little-endian; the type is in bits 15..12. The decoder keeps the row, the
// vector base and the time across calls, extends the 24-bit time to 64 bits by counting wraps,
// and never emits an event whose row or vector base it has not been told since the start or
// since the last setTimestamp (a seek), so a mid-stream start can never produce a stale row.
#pragma once

#include <vector>

#include "orvane/hal/Decoder.h"

namespace orvane {

class Evt3Decoder final : public Decoder {
public:
    Evt3Decoder(uint16_t width, uint16_t height);

    uint32_t decodeRange(const uint8_t* begin, const uint8_t* end) override;
    uint32_t decodeBuffer(const std::vector<uint8_t>& buffer) override;
    void scanRange(const uint8_t* begin, const uint8_t* end) override;
    const uint8_t* scanUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t) override;
    uint64_t getLastTimestamp() override { return time_; }
    void setTimestamp(const uint64_t& timestamp) override;
    uint8_t getRawUnitSize() override { return 2; }
    uint64_t droppedOutOfGeometry() const override { return droppedOutOfGeometry_; }
    uint64_t droppedUnknownAddress() const override { return droppedUnknown_; }

private:
    enum class Mode { Scan, Count, Emit };

    template <Mode M>
    uint64_t run(const uint8_t* begin, const uint8_t* end);
    template <Mode M>
    uint64_t runWords(const uint8_t* p, size_t words);
    void flush(Event2D* end);
    void updateClassTable();

    const uint16_t width_;
    const uint16_t height_;

    // Stream state, carried across calls.
    uint64_t time_ = 0;       // current 64-bit time in µs
    uint64_t epoch_ = 0;      // time bits 63..24 (wrap count << 24)
    uint32_t high_ = 0;       // last TIME_HIGH payload, time bits 23..12
    bool timeKnown_ = false;
    uint16_t row_ = 0;
    bool rowKnown_ = false;
    uint32_t vectorBase_ = 0;  // wide: runs of vector words must not wrap it back onto the sensor
    uint8_t vectorPolarity_ = 0;
    bool baseKnown_ = false;
    bool hasPendingByte_ = false;  // the first byte of a word split across two calls
    uint8_t pendingByte_ = 0;

    uint64_t droppedOutOfGeometry_ = 0;
    uint64_t droppedUnknown_ = 0;

    uint64_t classTable_[16] = {};
    uint32_t classKey_ = UINT32_MAX;

    std::vector<Event2D> out_;  // reused output block handed to the events callback
};

}  // namespace orvane
