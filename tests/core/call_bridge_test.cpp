#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/logic/call_bridge.h"

namespace tessvale {
namespace {

// The owner thread of a window in miniature: it runs the bridge's queue each time the
// bridge wakes it, one call at a time, until it is told to end.
class Owner
{
public:
    Owner() : m_thread([this] { Loop(); }) {}
    ~Owner()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_ending = true;
        }
        m_woken.notify_all();
        m_thread.join();
    }

    CallBridge& Bridge() { return m_bridge; }
    std::thread::id Id() const { return m_thread.get_id(); }
    // Blocks until the bridge has been woken `count` times in all.
    void WaitForWakes(int count)
    {
        std::unique_lock lock(m_mutex);
        m_woken.wait(lock, [&] { return m_wakes >= count; });
    }

private:
    void Wake()
    {
        {
            const std::lock_guard lock(m_mutex);
            ++m_wakes;
        }
        m_woken.notify_all();
    }
    void Loop()
    {
        int handled = 0;
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                m_woken.wait(lock, [&] { return m_ending || m_wakes > handled; });
                if (m_wakes == handled && m_ending) {
                    return;
                }
                handled = m_wakes;
            }
            m_bridge.RunPending();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_woken;
    int m_wakes = 0;
    bool m_ending = false;
    CallBridge m_bridge{[this] { Wake(); }};
    std::thread m_thread; // last: starts when the rest exists
};

TEST(CallBridge, EveryCallRunsOnTheOwnerInTheOrderOfItsWorkerAndBeforeTheWorkerGoesOn)
{
    constexpr int kWorkers = 4;
    constexpr int kCalls = 200;
    std::vector<std::pair<int, int>> ran; // touched by the owner only
    std::vector<std::thread::id> threads;
    std::vector<int> unseen(kWorkers, 0); // calls whose effect a worker did not see on return
    {
        Owner owner;
        std::vector<std::thread> workers;
        workers.reserve(kWorkers);
        for (int worker = 0; worker < kWorkers; ++worker) {
            workers.emplace_back([&, worker] {
                for (int call = 0; call < kCalls; ++call) {
                    int result = -1; // written by the owner, read here after the call
                    owner.Bridge().CallAndWait([&, call] {
                        ran.emplace_back(worker, call);
                        threads.push_back(std::this_thread::get_id());
                        result = call;
                    });
                    unseen[worker] += result == call ? 0 : 1;
                }
            });
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
        for (const std::thread::id id : threads) {
            EXPECT_EQ(id, owner.Id());
        }
    }
    ASSERT_EQ(ran.size(), static_cast<std::size_t>(kWorkers * kCalls));
    std::vector<int> next(kWorkers, 0);
    for (const auto& [worker, call] : ran) {
        EXPECT_EQ(call, next[worker]) << "worker " << worker;
        next[worker] = call + 1;
    }
    EXPECT_EQ(unseen, std::vector<int>(kWorkers, 0));
}

TEST(CallBridge, ACallThatServesTheQueueItselfRunsTheCallsQueuedMeanwhile)
{
    // As a stop that drains the workers from inside a call: the second worker's call
    // runs inside the first's, on the owner, and its worker returns before the first
    // call ends.
    std::vector<const char*> order; // touched by the owner only
    Owner owner;
    std::thread second;
    std::thread first([&] {
        owner.Bridge().CallAndWait([&] {
            order.push_back("first begins");
            second = std::thread([&] { owner.Bridge().CallAndWait([&] { order.push_back("second"); }); });
            owner.WaitForWakes(2);
            owner.Bridge().RunPending();
            second.join();
            order.push_back("first ends");
        });
    });
    first.join();
    EXPECT_EQ(order, (std::vector<const char*>{"first begins", "second", "first ends"}));
}

} // namespace
} // namespace tessvale
