// A caller's storage for the decoder fuzz targets: rooms of a given size, each below the last with a
// guard after it, so a decoder that writes outside the rooms it is given aborts the run.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <span>
#include <vector>

#include "orvane/types/EventSink.h"

namespace orvane {

class GuardedSink final : public EventSink {
public:
    using Commit = std::function<void(const Event2D*, const Event2D*)>;
    GuardedSink(size_t room, Commit commit) : room_(room), commit_(std::move(commit)), region_(4 * (room + kGuard)) {}
    std::span<Event2D> room(size_t) override
    {
        if (top_ < room_ + kGuard) top_ = region_.size();
        top_ -= room_ + kGuard;
        std::fill(region_.begin() + static_cast<std::ptrdiff_t>(top_), region_.begin() + static_cast<std::ptrdiff_t>(top_ + room_ + kGuard), kGuardEvent);
        return {region_.data() + top_, room_};
    }
    void commit(size_t count) override
    {
        for (size_t i = room_; i < room_ + kGuard; ++i) {
            if (!(region_[top_ + i] == kGuardEvent)) std::abort();
        }
        if (count > room_) std::abort();
        if (count > 0) commit_(region_.data() + top_, region_.data() + top_ + count);
    }

private:
    static constexpr size_t kGuard = 16;
    static constexpr Event2D kGuardEvent{0xDEAD, 0xBEEF, 0x5A, 0x0123456789ABCDEF};
    size_t room_;
    Commit commit_;
    std::vector<Event2D> region_;
    size_t top_ = 0;
};

}  // namespace orvane
