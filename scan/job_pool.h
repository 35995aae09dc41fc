// The process's pool of worker threads: one job slot per thread, grown on demand.
//
// A job is a filled JobSlot naming the service whose Run executes it. The pool starts
// with 10 threads and adds 10 more whenever a job arrives while every slot is busy, as
// long as the process's committed memory stays under the ceiling and the count stays
// within 1503. It never shrinks. Threads are joined when the pool is destroyed; the
// owner stops its services first, since a running job is always completed. A job that
// throws ends there: the pool counts it, tells the failure reporter once and goes on
// with the next job.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tessvale {

class CServiceBasic;

// Every job of this program is a scanning job: the slot names only its service.
struct JobSlot
{
    static constexpr std::int32_t kFree = 0;
    static constexpr std::int32_t kAssigned = 2;

    std::int32_t state = kFree;
    CServiceBasic* service = nullptr; // whose Run executes the job
};

class JobPool
{
public:
    static constexpr int kMaxThreads = 1503;
    static constexpr int kInitialThreads = 10;
    static constexpr int kGrowthStep = 10;
    // Growth stops once the process has committed this much memory (0.8 x 2^31 bytes).
    static constexpr std::uint64_t kMemoryCeiling = 1717986918;
    // Stack of each pool thread. A worker keeps its buffers on the heap; this leaves
    // ample room for the probes and the inventory queries.
    static constexpr std::size_t kThreadStackSize = std::size_t{1024} * 1024;

    // Returns the process's committed memory in bytes.
    using MemoryReader = std::function<std::uint64_t()>;
    // Told of a job that threw: its service and what it threw ("unknown exception" for
    // a throw of no std::exception). Called on the pool thread, without the pool lock.
    using FailureReporter = std::function<void(const CServiceBasic* service, const std::string& what)>;

    // Starts the first 10 threads; the memory is read from the process status.
    JobPool();
    explicit JobPool(MemoryReader memoryReader, std::uint64_t memoryCeiling = kMemoryCeiling);
    ~JobPool();
    JobPool(const JobPool&) = delete;
    JobPool& operator=(const JobPool&) = delete;

    // Places the job into a free slot and returns its index. While every slot is busy
    // it grows the pool when it may, otherwise waits for a slot to free up. -1 when the
    // job names no service or the pool is shutting down.
    int Submit(const JobSlot& job);

    // Like Submit, but returns -1 instead of waiting when no slot is free and the pool
    // cannot grow. Used where the caller must never block (the window's thread).
    int TrySubmit(const JobSlot& job);

    bool Alive() const;
    int ThreadCount() const;

    // Number of slots busy with a job of the service.
    int BusySlots(const CServiceBasic* service) const;

    // Waits until no slot is busy with a job of the service (or the pool has no
    // threads), woken by each job's end, not by time. With pumpEvents (the window's
    // dispatch, which workers blocked in a call to the window need) it is called first
    // and then again after every job's end and at least every `pumpInterval`.
    void WaitIdle(const CServiceBasic* service, const std::function<void()>& pumpEvents = {},
                  std::chrono::milliseconds pumpInterval = std::chrono::milliseconds(10));
    // The same without events to pump, for at most `limit`; true when no job is left.
    bool WaitIdleFor(const CServiceBasic* service, std::chrono::milliseconds limit);

    // How many jobs the pool can run at once: the threads it has plus those the memory
    // ceiling and the thread limit still allow (an estimate from the stack size).
    int Capacity() const;

    // Replaces the failure reporter (none at first: failures are only counted).
    void SetFailureReporter(FailureReporter reporter);
    // Jobs that ended by a throw since the pool started.
    std::uint64_t FailedJobs() const;

    // The service whose job runs on the calling thread, or null off the pool.
    static CServiceBasic* CurrentService();

    // The committed memory of this process (VmData of /proc/self/status: its private
    // writable mappings, thread stacks included), 0 when it cannot be read.
    static std::uint64_t ReadCommittedMemory();

private:
    class Thread;

    int BusyLocked(const CServiceBasic* service) const;
    int PlaceLocked(const JobSlot& job);
    bool GrowLocked();
    void ThreadMain(int index);
    // Runs the job; what it throws is counted and reported, never let through.
    void RunJob(CServiceBasic* service, JobSlot& slot);

    MemoryReader m_memoryReader;
    std::uint64_t m_memoryCeiling;

    mutable std::mutex m_mutex; // the pool lock: slots, thread count, alive flag
    std::array<JobSlot, kMaxThreads> m_slots{};
    std::array<std::condition_variable, kMaxThreads> m_wake;
    std::condition_variable m_slotFreed;
    std::vector<std::unique_ptr<Thread>> m_threads;
    int m_threadCount = 0;
    bool m_alive = false;
    FailureReporter m_failureReporter; // under m_mutex
    std::uint64_t m_failedJobs = 0;    // under m_mutex
};

} // namespace tessvale
