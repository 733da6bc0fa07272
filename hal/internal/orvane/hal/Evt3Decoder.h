// The EVT 3.0 decoder: the hot path of live streaming, index building, seeking and export.
// Words are 16-bit little-endian; the type is in bits 15..12. The decoder keeps the row, the
// vector base and the time across calls, extends the 24-bit time to 64 bits by counting wraps,
// gives every event the time the camera encoded (a TIME_LOW may step back under the same TIME_HIGH),
// drops what comes under a TIME_HIGH that stepped back until the stream catches up, and never emits an event whose row or vector base it has not been told since the start or
// since the last setTimestamp (a seek), so a mid-stream start can never produce a stale row.
//
// The common words go through one of two fast paths that share the state and the rare-word path:
// blocks of 32 words classified by portable arithmetic (Scalar) or by AVX2. With AVX2, decoding into
// events (emitRunAvx2) builds the events of 16 or 32 words at once in vector registers, without a
// branch per event. (An AVX-512 path was measured slower than AVX2 on every kind of data, on a CPU
// that has AVX-512, and went.) The fastest the CPU runs is used; all give exactly the same output as a word-by-word reading (the tests and
// the fuzz target compare them). Counting up to a time, the work of an index build, classifies runs
// of the common words a register at a time (Evt3DecoderCount.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "orvane/hal/Decoder.h"

namespace orvane {

class Evt3Decoder final : public Decoder {
public:
    enum class Isa {
        Auto,       // the fastest this CPU runs, unless the environment names another: ORVANE_EVT3_SCALAR=1,
                    // or ORVANE_EVT3_ISA=scalar|avx2
        Scalar,     // portable code only
        Avx2,       // AVX2 + BMI1/2 when the CPU has them, else scalar
        Reference,  // word by word, no fast path: the plainest reading of the format, for checks
    };

    Evt3Decoder(uint16_t width, uint16_t height, Isa isa = Isa::Auto);

    uint32_t decodeRange(const uint8_t* begin, const uint8_t* end) override;
    uint32_t decodeBuffer(const std::vector<uint8_t>& buffer) override;
    void scanRange(const uint8_t* begin, const uint8_t* end) override;
    const uint8_t* scanUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t) override;
    const uint8_t* countUntilTimestamp(const uint8_t* begin, const uint8_t* end, uint64_t t, uint64_t& count) override;
    uint64_t getLastTimestamp() override { return s_.time; }
    void setTimestamp(const uint64_t& timestamp) override;
    uint8_t getRawUnitSize() override { return 2; }
    uint64_t droppedOutOfGeometry() const override { return droppedOutOfGeometry_; }
    uint64_t droppedUnknownAddress() const override { return droppedUnknown_; }
    uint64_t timeHighStepsBack() const override { return highStepsBack_; }
    uint64_t droppedTimeHighStepBack() const override { return droppedStepBack_; }

    // The implementation in use: Scalar, Avx2 or Reference.
    Isa isa() const { return isa_; }
    static bool cpuHasAvx2();
    static const char* isaName(Isa isa);

private:
    enum class Mode { Scan, Count, Emit };

    // Everything a stream position determines; copied whole by scanUntilTimestamp.
    struct State {
        uint64_t time = 0;   // current 64-bit time in µs; always within 4096 µs above highBase()
        uint64_t epoch = 0;  // time bits 63..24 (wrap count << 24)
        uint32_t high = 0;   // highest TIME_HIGH payload of this loop, time bits 23..12
        uint32_t row = 0;
        uint32_t vectorBase = 0;  // wide: runs of vector words must not wrap it back onto the sensor
        uint32_t vectorPolarity = 0;
        bool timeKnown = false;
        bool rowKnown = false;
        bool baseKnown = false;
        bool highBehind = false;  // the last TIME_HIGH stepped back below `high`: events are dropped

        // The fast paths need all of these; anything else goes word by word.
        bool ready() const { return timeKnown && rowKnown && !highBehind; }
        uint64_t highBase() const { return epoch | (uint64_t{high} << 12); }
    };

    template <Mode M>
    uint64_t run(const uint8_t* begin, const uint8_t* end);
    template <Mode M>
    void decodeWords(const uint8_t* p, const uint8_t* end);
    template <Mode M>
    void slowWord(uint32_t w);
    void keepRunState(uint32_t row, uint64_t time, uint32_t base, uint32_t polarity, bool baseKnown, Event2D* out);
    template <Mode M>
    void slowVectorWord(uint32_t w, uint32_t row, uint64_t time, uint32_t& base, uint32_t polarity, bool baseKnown,
                        Event2D*& out);
    template <Mode M, bool Avx2>
    const uint8_t* blockRun(const uint8_t* p, const uint8_t* end);
    template <Mode M>
    const uint8_t* blockRunPortable(const uint8_t* p, const uint8_t* end);
    template <Mode M>
    const uint8_t* blockRunAvx2(const uint8_t* p, const uint8_t* end);
    const uint8_t* emitRunAvx2(const uint8_t* p, const uint8_t* end);
    void flushOut();
    // Counting up to a time (Evt3DecoderCount.cpp): the run of words that only count ADDR_X events and
    // move the row and time within the current TIME_HIGH, then the row and time it leaves.
    const uint8_t* countRun(const uint8_t* p, const uint8_t* end, uint64_t t);
    void settleAfterRun(const uint8_t* from, const uint8_t* to);

    const uint16_t width_;
    const uint16_t height_;
    Isa isa_ = Isa::Scalar;

    State s_;
    bool hasPendingByte_ = false;  // the first byte of a word split across two calls
    uint8_t pendingByte_ = 0;

    uint64_t droppedOutOfGeometry_ = 0;
    uint64_t droppedUnknown_ = 0;
    uint64_t highStepsBack_ = 0;
    uint64_t droppedStepBack_ = 0;
    uint64_t produced_ = 0;  // events emitted or counted by the current call

    Event2D* out_ = nullptr;  // next free slot of the output (Decoder::openOutput)
};

}  // namespace orvane
