#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "scan/update_throttle.h"

namespace tessvale {
namespace {

using namespace std::chrono_literals;

TEST(UpdateThrottle, LetsTheFirstThroughThenOncePerInterval)
{
    auto now = std::chrono::steady_clock::time_point(1h);
    UpdateThrottle throttle(50ms, [&now] { return now; });
    EXPECT_TRUE(throttle.Due());
    EXPECT_FALSE(throttle.Due());
    now += 49ms;
    EXPECT_FALSE(throttle.Due());
    now += 1ms;
    EXPECT_TRUE(throttle.Due());
    EXPECT_FALSE(throttle.Due());
    throttle.Reset();
    EXPECT_TRUE(throttle.Due());

    // 10,000 events over one second: at most 21 get through.
    int through = 0;
    for (int i = 0; i < 10000; ++i) {
        now += 100us;
        through += throttle.Due() ? 1 : 0;
    }
    EXPECT_GE(through, 19);
    EXPECT_LE(through, 21);
}

TEST(UpdateThrottle, OneOfConcurrentCallersGetsIt)
{
    const auto fixed = std::chrono::steady_clock::time_point(1h);
    UpdateThrottle throttle(50ms, [fixed] { return fixed; });
    std::atomic<int> through{0};
    std::vector<std::thread> threads;
    threads.reserve(8);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            for (int j = 0; j < 1000; ++j) {
                through += throttle.Due() ? 1 : 0;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(through.load(), 1);
}

} // namespace
} // namespace tessvale
