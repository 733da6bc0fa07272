// How events and trigger edges leave C++ for numpy: the dtypes that mirror the records, and a growable
// block that the decoder fills without the GIL and that is handed to numpy as the array's own memory,
// never copied.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "orvane/driver/Types.h"
#include "orvane/types/EventSink.h"

namespace orvane::python {

namespace py = pybind11;

// x u2, y u2, p i2, t i8 at Event2D's own offsets: p reads the polarity byte with the padding byte
// after it, which the decoder writes as zero.
const py::dtype& eventDtype();
// t i8, id i2, p i2.
const py::dtype& triggerDtype();

struct TriggerRecord {
    int64_t t;
    int16_t id;
    int16_t p;
};

// The reader decodes straight into it (EventSink): the events are made once, in the array's memory.
class EventBuffer final : public EventSink {
public:
    EventBuffer() = default;
    ~EventBuffer();
    EventBuffer(const EventBuffer&) = delete;
    EventBuffer& operator=(const EventBuffer&) = delete;

    // Room for `n` events in all; no GIL needed.
    void reserve(size_t n);
    size_t size() const { return size_; }

    // EventSink: the free part of the block, grown by half when it holds fewer than `atLeast`.
    std::span<Event2D> room(size_t atLeast) override;
    void commit(size_t count) override { size_ += count; }

    // Needs the GIL. The buffer is empty afterwards.
    py::array release();

private:
    void stopPrefault();

    Event2D* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    size_t bytes_ = 0;  // of the block
    // Maps a fresh large block's pages from its far end while the reader fills it from the front, so
    // the kernel's page zeroing runs beside the decoding instead of inside it.
    std::thread prefault_;
    std::atomic<bool> prefaultStop_{false};
};

// Hands a vector's block to numpy (moved, not copied). Needs the GIL.
py::array eventArray(std::vector<Event2D>&& events);
py::array triggerArray(const std::vector<EventTriggerIn>& edges);

}  // namespace orvane::python
