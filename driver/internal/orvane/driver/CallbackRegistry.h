// Callbacks registered under increasing ids (0, 1, 2 ...) and called in turn under one lock, so
// that a removal never races a call. A callback must not add or remove callbacks of its registry.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace orvane {

template <typename Function>
class CallbackRegistry {
public:
    static constexpr uint32_t kInvalidId = UINT32_MAX;

    // kInvalidId, and nothing stored, for an empty function.
    uint32_t add(Function callback)
    {
        if (!callback) return kInvalidId;
        std::lock_guard guard(lock_);
        const uint32_t id = nextId_++;
        callbacks_.emplace(id, std::move(callback));
        return id;
    }

    bool remove(uint32_t id)
    {
        std::lock_guard guard(lock_);
        return callbacks_.erase(id) != 0;
    }

    template <typename... Args>
    void call(const Args&... args)
    {
        std::lock_guard guard(lock_);
        for (auto& [id, callback] : callbacks_) callback(args...);
    }

private:
    std::unordered_map<uint32_t, Function> callbacks_;
    uint32_t nextId_ = 0;
    std::mutex lock_;
};

}  // namespace orvane
