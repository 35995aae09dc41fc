#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "fakes/test_gate.h"
#include "scan/job_pool.h"
#include "scan/service_basic.h"

namespace tessvale {
namespace {

using namespace std::chrono_literals;

// A service whose jobs wait until released, so that a test controls how many slots
// are busy.
class GateService : public CServiceBasic
{
public:
    using CServiceBasic::CServiceBasic;
    // A service outlives its jobs.
    ~GateService() override
    {
        Release();
        while (m_pool.BusySlots(this) > 0) {
            std::this_thread::sleep_for(1ms);
        }
    }

    int Run(JobSlot& slot) override
    {
        if (JobPool::CurrentService() != this || slot.service != this) {
            m_sawOther = true;
        }
        m_gate.Pass();
        return 1;
    }

    void Release() { m_gate.Open(); }
    bool WaitStarted(int count) { return m_gate.WaitArrived(count); }
    int Ended() { return m_gate.Departed(); }
    bool SawSelf() const { return !m_sawOther; }

private:
    fakes::TestGate m_gate{false};
    std::atomic<bool> m_sawOther{false};
};

JobSlot ScanJobFor(CServiceBasic* service)
{
    JobSlot job;
    job.service = service;
    return job;
}

TEST(JobPool, StartsWithTenThreadsAndRejectsJobsWithoutService)
{
    JobPool pool([] { return std::uint64_t{0}; });
    EXPECT_TRUE(pool.Alive());
    EXPECT_EQ(pool.ThreadCount(), 10);
    EXPECT_EQ(pool.Submit(JobSlot{}), -1);
    EXPECT_EQ(pool.TrySubmit(JobSlot{}), -1);
    EXPECT_EQ(JobPool::CurrentService(), nullptr);
}

TEST(JobPool, RunsJobsAndFreesTheirSlots)
{
    JobPool pool([] { return std::uint64_t{0}; });
    GateService service(pool);
    for (int i = 0; i < 3; ++i) {
        EXPECT_GE(pool.Submit(ScanJobFor(&service)), 0);
    }
    ASSERT_TRUE(service.WaitStarted(3));
    EXPECT_EQ(pool.BusySlots(&service), 3);
    EXPECT_EQ(pool.BusySlots(nullptr), 0);
    service.Release();
    for (int i = 0; i < 500 && pool.BusySlots(&service) > 0; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(pool.BusySlots(&service), 0);
    EXPECT_EQ(service.Ended(), 3);
    EXPECT_TRUE(service.SawSelf());
}

TEST(JobPool, WaitIdleEndsWithTheServicesLastJobAndPumpsWhileItWaits)
{
    JobPool pool([] { return std::uint64_t{0}; });
    GateService service(pool);
    GateService other(pool);
    for (int i = 0; i < 2; ++i) {
        EXPECT_GE(pool.Submit(ScanJobFor(&service)), 0);
    }
    EXPECT_GE(pool.Submit(ScanJobFor(&other)), 0);
    ASSERT_TRUE(service.WaitStarted(2));
    ASSERT_TRUE(other.WaitStarted(1));
    EXPECT_FALSE(pool.WaitIdleFor(&service, 20ms)); // its jobs still run

    // The pump is what serves the jobs here: it opens their gate.
    int pumps = 0;
    pool.WaitIdle(&service, [&] {
        if (++pumps == 2) {
            service.Release();
        }
    });
    EXPECT_EQ(pool.BusySlots(&service), 0);
    EXPECT_EQ(service.Ended(), 2);
    EXPECT_GE(pumps, 2);
    EXPECT_EQ(pool.BusySlots(&other), 1); // another service's job is not waited for

    // Without a pump it blocks until the job ends, however long that takes.
    std::thread opener([&] {
        std::this_thread::sleep_for(30ms);
        other.Release();
    });
    pool.WaitIdle(&other);
    EXPECT_EQ(other.Ended(), 1);
    EXPECT_TRUE(pool.WaitIdleFor(&other, 0ms));
    opener.join();
}

TEST(JobPool, GrowsByTenOnlyWhileEverySlotIsBusy)
{
    JobPool pool([] { return std::uint64_t{0}; });
    GateService service(pool);
    for (int i = 0; i < 10; ++i) {
        ASSERT_GE(pool.TrySubmit(ScanJobFor(&service)), 0);
    }
    EXPECT_EQ(pool.ThreadCount(), 10);
    EXPECT_EQ(pool.TrySubmit(ScanJobFor(&service)), 10);
    EXPECT_EQ(pool.ThreadCount(), 20);
    ASSERT_TRUE(service.WaitStarted(11));
    EXPECT_EQ(pool.BusySlots(&service), 11);
    service.Release();
}

TEST(JobPool, MemoryCeilingStopsGrowthAndTrySubmitDoesNotWait)
{
    std::atomic<std::uint64_t> committed{2'000'000'000};
    JobPool pool([&] { return committed.load(); });
    EXPECT_EQ(pool.Capacity(), 10);
    GateService service(pool);
    for (int i = 0; i < 10; ++i) {
        ASSERT_GE(pool.TrySubmit(ScanJobFor(&service)), 0);
    }
    EXPECT_EQ(pool.TrySubmit(ScanJobFor(&service)), -1);
    EXPECT_EQ(pool.ThreadCount(), 10);

    // Submit waits for a free slot instead; it gets one when a job ends.
    std::atomic<int> index{-2};
    std::thread submitter([&] { index = pool.Submit(ScanJobFor(&service)); });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(index.load(), -2);
    service.Release();
    submitter.join();
    EXPECT_GE(index.load(), 0);
    EXPECT_LT(index.load(), 10);

    committed = 0;
    EXPECT_EQ(pool.Capacity(), JobPool::kMaxThreads);
}

TEST(JobPool, CommittedMemoryIsReadFromTheProcess)
{
    // The kernel's own count of data pages (statm) is the same figure in pages.
    std::uint64_t size = 0, resident = 0, shared = 0, text = 0, library = 0, data = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    ASSERT_NE(statm, nullptr);
    ASSERT_EQ(std::fscanf(statm, "%lu %lu %lu %lu %lu %lu", &size, &resident, &shared, &text, &library, &data), 6);
    (void)std::fclose(statm); // read only
    const std::uint64_t committed = JobPool::ReadCommittedMemory();
    const std::uint64_t fromStatm = data * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    EXPECT_GT(committed, 0u);
    EXPECT_LT(committed > fromStatm ? committed - fromStatm : fromStatm - committed, 4u << 20);
}

TEST(JobPool, StopFromInsideItsOwnJobDoesNotWaitForItself)
{
    class SelfStopping : public CServiceBasic
    {
    public:
        using CServiceBasic::CServiceBasic;
        int Run(JobSlot&) override
        {
            const auto begin = std::chrono::steady_clock::now();
            Stop();
            elapsed = std::chrono::steady_clock::now() - begin;
            done = true;
            return 1;
        }
        ~SelfStopping() override
        {
            while (m_pool.BusySlots(this) > 0) {
                std::this_thread::sleep_for(1ms);
            }
        }
        std::atomic<bool> done{false};
        std::chrono::steady_clock::duration elapsed{};
    };
    JobPool pool([] { return std::uint64_t{0}; });
    SelfStopping service(pool);
    ASSERT_EQ(service.Start(), 1);
    EXPECT_TRUE(service.IsRunning() || service.done);
    for (int i = 0; i < 500 && !service.done; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(service.done);
    EXPECT_FALSE(service.IsRunning());
    EXPECT_LT(service.elapsed, 500ms);
}

TEST(JobPool, AJobThatThrowsIsReportedOnceAndThePoolGoesOn)
{
    // Throws what its case says, then counts the job as run (unreachable when it throws).
    class ThrowingService : public CServiceBasic
    {
    public:
        ThrowingService(JobPool& pool, std::function<void()> thrower)
            : CServiceBasic(pool), m_thrower(std::move(thrower))
        {}
        ~ThrowingService() override
        {
            while (m_pool.BusySlots(this) > 0) {
                std::this_thread::sleep_for(1ms);
            }
        }
        int Run(JobSlot&) override
        {
            m_thrower();
            ++completed;
            return 1;
        }
        std::atomic<int> completed{0};

    private:
        std::function<void()> m_thrower;
    };
    struct Case
    {
        const char* name;
        std::function<void()> thrower;
        int jobs;
        std::string reported;
    };
    const Case cases[] = {
        {"a std::exception", [] { throw std::runtime_error("socket gone"); }, 1, "socket gone"},
        {"a throw of no std::exception", [] { throw 42; }, 1, "unknown exception"},
        // More throws than the pool has threads: each thread survives its job's throw.
        {"many throws", [] { throw std::out_of_range("index"); }, 3 * JobPool::kInitialThreads, "index"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        JobPool pool([] { return std::uint64_t{0}; });
        std::mutex reportsMutex;
        std::vector<std::pair<const CServiceBasic*, std::string>> reports;
        pool.SetFailureReporter([&](const CServiceBasic* service, const std::string& what) {
            std::lock_guard lock(reportsMutex);
            reports.emplace_back(service, what);
        });
        ThrowingService thrower(pool, test.thrower);
        for (int i = 0; i < test.jobs; ++i) {
            ASSERT_GE(pool.Submit(ScanJobFor(&thrower)), 0);
        }
        pool.WaitIdle(&thrower);
        EXPECT_EQ(thrower.completed.load(), 0);
        EXPECT_EQ(pool.FailedJobs(), static_cast<std::uint64_t>(test.jobs));
        {
            std::lock_guard lock(reportsMutex);
            ASSERT_EQ(reports.size(), static_cast<std::size_t>(test.jobs)); // once per job
            for (const auto& [service, what] : reports) {
                EXPECT_EQ(service, &thrower);
                EXPECT_EQ(what, test.reported);
            }
        }
        // The pool still runs jobs, as many at once as it has threads.
        GateService after(pool);
        for (int i = 0; i < JobPool::kInitialThreads; ++i) {
            ASSERT_GE(pool.TrySubmit(ScanJobFor(&after)), 0);
        }
        ASSERT_TRUE(after.WaitStarted(JobPool::kInitialThreads));
        after.Release();
        pool.WaitIdle(&after);
        EXPECT_EQ(after.Ended(), JobPool::kInitialThreads);
        EXPECT_EQ(pool.FailedJobs(), static_cast<std::uint64_t>(test.jobs));
    }
}

TEST(JobPool, DestructionJoinsIdleThreads)
{
    for (int i = 0; i < 5; ++i) {
        JobPool pool([] { return std::uint64_t{0}; });
        EXPECT_EQ(pool.ThreadCount(), 10);
    }
}

} // namespace
} // namespace tessvale
