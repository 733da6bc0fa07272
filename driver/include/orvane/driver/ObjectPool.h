// A pool of reusable heap objects shared between a producer that takes them (acquire) and
// consumers that give them back by dropping the last shared_ptr. The free list lives in an inner
// object held by shared_ptr, so an object still out when the pool goes away finds that out and
// deletes itself instead of returning. A bounded pool makes acquire wait for a returned object;
// an unbounded one grows. Objects come back as they were left: takers clear them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace orvane {

template <typename T>
class ObjectPool {
    struct Impl {
        std::mutex mutex;
        std::condition_variable cv;
        std::deque<T*> free;  // owning
        bool bounded = false;

        ~Impl()
        {
            for (T* object : free) delete object;
        }
    };

    struct Deleter {
        std::weak_ptr<Impl> pool;

        void operator()(T* object) const
        {
            if (const std::shared_ptr<Impl> impl = pool.lock()) {
                {
                    std::lock_guard lock(impl->mutex);
                    impl->free.push_back(object);
                }
                if (impl->bounded) impl->cv.notify_all();
            } else {
                delete object;
            }
        }
    };

public:
    // `count` objects of `initialSize` zeroed elements each. A bounded pool needs at least one.
    static ObjectPool create(size_t count, bool bounded, size_t initialSize)
    {
        if (count == 0 && bounded) {
            throw std::invalid_argument(
                "Failed to allocate memory for the bounded object pool: pool's size can not be 0.");
        }
        ObjectPool pool;
        pool.impl_->bounded = bounded;
        for (size_t i = 0; i < count; ++i) pool.impl_->free.push_back(new T(initialSize));
        return pool;
    }

    ObjectPool() : impl_(std::make_shared<Impl>()) {}

    // Last returned object first (it is the one most likely still in cache).
    std::shared_ptr<T> acquire()
    {
        std::unique_lock lock(impl_->mutex);
        if (impl_->free.empty()) {
            if (impl_->bounded) {
                impl_->cv.wait(lock, [this] { return !impl_->free.empty(); });
            } else {
                impl_->free.push_back(new T());
            }
        }
        T* object = impl_->free.back();
        impl_->free.pop_back();
        return std::shared_ptr<T>(object, Deleter{impl_});
    }

    // As acquire, but a bounded pool waits at most `timeout`; empty when none came back in time.
    template <typename Rep, typename Period>
    std::shared_ptr<T> acquireFor(std::chrono::duration<Rep, Period> timeout)
    {
        std::unique_lock lock(impl_->mutex);
        if (impl_->free.empty()) {
            if (!impl_->bounded) {
                impl_->free.push_back(new T());
            } else if (!impl_->cv.wait_for(lock, timeout, [this] { return !impl_->free.empty(); })) {
                return nullptr;
            }
        }
        T* object = impl_->free.back();
        impl_->free.pop_back();
        return std::shared_ptr<T>(object, Deleter{impl_});
    }

    size_t freeCount() const
    {
        std::lock_guard lock(impl_->mutex);
        return impl_->free.size();
    }

    bool bounded() const { return impl_->bounded; }

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace orvane
