// A caller's storage for tests of the reads into an EventSink: rooms of `most` slots (0: as many as
// asked), so that small rooms make the decoder or the reader copy through a block of its own, each below
// the last with a guard after it that must stay untouched (a write past a room fails the test),
// and every commit recorded, so that its order against trigger edges shows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <gtest/gtest.h>
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
        // Rooms go down through a region, each just below the last with a guard between them: a
        // decoder that kept writing towards an old room's end would write over the guard.
        if (region_.size() < kRooms * (n + kGuard)) {
            region_.assign(kRooms * (n + kGuard), kGuardEvent);
            top_ = region_.size();
        }
        if (top_ < n + kGuard) top_ = region_.size();
        top_ -= n + kGuard;
        std::fill(region_.begin() + static_cast<std::ptrdiff_t>(top_),
                  region_.begin() + static_cast<std::ptrdiff_t>(top_ + n + kGuard), kGuardEvent);
        size_ = n;
        return {region_.data() + top_, n};
    }
    void commit(size_t count) override
    {
        EXPECT_LE(count, size_);
        const auto guard = region_.begin() + static_cast<std::ptrdiff_t>(top_ + size_);
        EXPECT_TRUE(std::all_of(guard, guard + kGuard, [](const Event2D& e) { return e == kGuardEvent; }))
            << "written past the room";
        const Event2D* const b = region_.data() + top_;
        if (onCommit_) onCommit_(b, b + count);
        events_.insert(events_.end(), b, b + count);
    }
    const std::vector<Event2D>& events() const { return events_; }

private:
    static constexpr size_t kGuard = 64;
    static constexpr Event2D kGuardEvent{0xDEAD, 0xBEEF, 0x5A, 0x0123456789ABCDEF};
    size_t most_;
    size_t size_ = 0;
    std::function<void(const Event2D*, const Event2D*)> onCommit_;
    static constexpr size_t kRooms = 4;
    std::vector<Event2D> region_;  // rooms and guards
    size_t top_ = 0;               // where the last room starts
    std::vector<Event2D> events_;  // committed
};

}  // namespace orvane::test
