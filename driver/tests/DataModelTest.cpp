#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "orvane/driver/ObjectPool.h"
#include "orvane/driver/Types.h"

namespace orvane {
namespace {

TEST(DataModel, DefaultsAreZeroAndTriggerArgumentsLandInTheirFields)
{
    const Event2D e;
    EXPECT_EQ(e.x, 0);
    EXPECT_EQ(e.y, 0);
    EXPECT_EQ(e.polarity, 0);
    EXPECT_EQ(e.timestamp, 0u);
    const EventTriggerIn t0;
    EXPECT_EQ(t0.polarity, 0);
    EXPECT_EQ(t0.timestamp, 0u);
    EXPECT_EQ(t0.id, 0);
    const EventTriggerIn t(5, 1, 1000);
    EXPECT_EQ(t.id, 5);
    EXPECT_EQ(t.polarity, 1);
    EXPECT_EQ(t.timestamp, 1000u);
    // Field order and widths are part of the exchange format.
    EXPECT_EQ(offsetof(Event2D, y), 2u);
    EXPECT_EQ(offsetof(Event2D, polarity), 4u);
    EXPECT_EQ(offsetof(Event2D, timestamp), 8u);
}

TEST(ObjectPool, UnboundedHandsOutZeroedObjectsThenGrowsWithEmptyOnes)
{
    auto pool = ObjectPool<std::vector<uint8_t>>::create(10, false, 10485760);
    std::vector<std::shared_ptr<std::vector<uint8_t>>> held;
    for (int i = 0; i < 10; ++i) {
        held.push_back(pool.acquire());
        ASSERT_EQ(held.back()->size(), 10485760u);
        const auto& v = *held.back();
        EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](uint8_t b) { return b == 0; }));
    }
    auto eleventh = pool.acquire();
    EXPECT_TRUE(eleventh->empty());
}

TEST(ObjectPool, ReturnedObjectIsTheNextOneHandedOutWithItsContents)
{
    auto pool = ObjectPool<std::vector<uint16_t>>::create(3, true, 4);
    auto a = pool.acquire();
    auto b = pool.acquire();
    (*b)[0] = 77;
    std::vector<uint16_t>* raw = b.get();
    b.reset();
    auto again = pool.acquire();
    EXPECT_EQ(again.get(), raw);
    EXPECT_EQ((*again)[0], 77);  // takers clear objects themselves
}

TEST(ObjectPool, ZeroSizedPools)
{
    EXPECT_THROW(
        {
            try {
                ObjectPool<std::vector<uint8_t>>::create(0, true, 16);
            } catch (const std::invalid_argument& e) {
                EXPECT_STREQ(e.what(),
                             "Failed to allocate memory for the bounded object pool: pool's size can not be 0.");
                throw;
            }
        },
        std::invalid_argument);
    auto pool = ObjectPool<std::vector<uint8_t>>::create(0, false, 16);
    EXPECT_EQ(pool.freeCount(), 0u);
    EXPECT_TRUE(pool.acquire()->empty());
}

// Counts destructions, so a test can tell deletion from return.
struct Tracked {
    static inline std::atomic<int> destroyed{0};
    explicit Tracked(size_t) {}
    Tracked() = default;
    ~Tracked() { ++destroyed; }
};

TEST(ObjectPool, ObjectOutlivingItsPoolIsDeletedWhenDropped)
{
    Tracked::destroyed = 0;
    std::shared_ptr<Tracked> survivor;
    {
        auto pool = ObjectPool<Tracked>::create(2, true, 0);
        survivor = pool.acquire();
    }
    EXPECT_EQ(Tracked::destroyed.load(), 1);  // the free one went with the pool
    survivor.reset();
    EXPECT_EQ(Tracked::destroyed.load(), 2);
}

TEST(ObjectPool, BoundedPoolBlocksUntilAnotherThreadReturnsAnObject)
{
    auto pool = ObjectPool<std::vector<uint8_t>>::create(1, true, 8);
    auto only = pool.acquire();
    std::atomic<bool> got{false};
    std::thread taker([&] {
        auto next = pool.acquire();
        got = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(got.load());
    only.reset();
    taker.join();
    EXPECT_TRUE(got.load());
}

}  // namespace
}  // namespace orvane
