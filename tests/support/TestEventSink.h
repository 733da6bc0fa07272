// A caller's storage for tests of the reads into an EventSink: rooms of at most `most` slots (0: as
// many as asked), so that small rooms make the decoder or the reader copy through a block of its own,
// and every commit recorded, so that its order against trigger edges shows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "orvane/types/EventSink.h"

namespace orvane::test {

class TestEventSink final : public EventSink {
public:
    explicit TestEventSink(size_t most = 0, std::function<void(const Event2D*, const Event2D*)> onCommit = {})
        : most_(most), onCommit_(std::move(onCommit))
    {
    }

    std::span<Event2D> room(size_t atLeast) override
    {
        const size_t n = most_ == 0 ? std::max<size_t>(atLeast, 1) : most_;
        store_.resize(n);
        return {store_.data(), n};
    }
    void commit(size_t count) override
    {
        const Event2D* const b = store_.data();
        if (onCommit_) onCommit_(b, b + count);
        events_.insert(events_.end(), b, b + count);
    }
    const std::vector<Event2D>& events() const { return events_; }

private:
    size_t most_;
    std::function<void(const Event2D*, const Event2D*)> onCommit_;
    std::vector<Event2D> store_;   // the room
    std::vector<Event2D> events_;  // committed
};

}  // namespace orvane::test
