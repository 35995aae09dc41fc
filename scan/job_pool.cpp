#include "scan/job_pool.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <pthread.h>
#include <string>

#include "common/crash_handler.h"
#include "scan/service_basic.h"

namespace tessvale {

namespace {

thread_local CServiceBasic* t_currentService = nullptr;

// Clears the current-service mark when a job ends, also on an early return.
class CurrentServiceScope
{
public:
    explicit CurrentServiceScope(CServiceBasic* service) { t_currentService = service; }
    ~CurrentServiceScope() { t_currentService = nullptr; }
    CurrentServiceScope(const CurrentServiceScope&) = delete;
    CurrentServiceScope& operator=(const CurrentServiceScope&) = delete;
};

} // namespace

// One pool thread with a bounded stack, joined when destroyed.
class JobPool::Thread
{
public:
    Thread(JobPool& pool, int index) : m_pool(pool), m_index(index)
    {
        pthread_attr_t attributes;
        if (pthread_attr_init(&attributes) != 0) {
            return;
        }
        pthread_attr_setstacksize(&attributes, kThreadStackSize);
        m_started = pthread_create(&m_thread, &attributes, &Thread::Entry, this) == 0;
        pthread_attr_destroy(&attributes);
    }
    ~Thread()
    {
        if (m_started) {
            pthread_join(m_thread, nullptr);
        }
    }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool Started() const { return m_started; }

private:
    static void* Entry(void* self)
    {
        auto* thread = static_cast<Thread*>(self);
        // Fatal signals on this thread run the crash handler on its own alternate stack.
        InstallThreadCrashHandler();
        thread->m_pool.ThreadMain(thread->m_index);
        return nullptr;
    }

    JobPool& m_pool;
    int m_index;
    pthread_t m_thread{};
    bool m_started = false;
};

JobPool::JobPool() : JobPool(&JobPool::ReadCommittedMemory) {}

JobPool::JobPool(MemoryReader memoryReader, std::uint64_t memoryCeiling)
    : m_memoryReader(std::move(memoryReader)), m_memoryCeiling(memoryCeiling)
{
    std::lock_guard lock(m_mutex);
    m_alive = true;
    m_threads.reserve(kMaxThreads);
    for (int i = 0; i < kInitialThreads; ++i) {
        auto thread = std::make_unique<Thread>(*this, i);
        if (!thread->Started()) {
            break;
        }
        m_threads.push_back(std::move(thread));
    }
    m_threadCount = static_cast<int>(m_threads.size());
}

JobPool::~JobPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_alive = false;
        for (int i = 0; i < m_threadCount; ++i) {
            m_wake[i].notify_all();
        }
        m_slotFreed.notify_all();
    }
    m_threads.clear(); // joins every thread; a job in progress is completed first
}

bool JobPool::Alive() const
{
    std::lock_guard lock(m_mutex);
    return m_alive;
}

int JobPool::ThreadCount() const
{
    std::lock_guard lock(m_mutex);
    return m_threadCount;
}

int JobPool::BusyLocked(const CServiceBasic* service) const
{
    int busy = 0;
    for (int i = 0; i < m_threadCount; ++i) {
        if (m_slots[i].state == JobSlot::kAssigned && m_slots[i].service == service) {
            ++busy;
        }
    }
    return busy;
}

int JobPool::BusySlots(const CServiceBasic* service) const
{
    std::lock_guard lock(m_mutex);
    return BusyLocked(service);
}

void JobPool::WaitIdle(const CServiceBasic* service, const std::function<void()>& pumpEvents,
                       std::chrono::milliseconds pumpInterval)
{
    std::unique_lock lock(m_mutex);
    while (m_threadCount > 0 && BusyLocked(service) > 0) {
        if (!pumpEvents) {
            m_slotFreed.wait(lock);
            continue;
        }
        lock.unlock();
        pumpEvents();
        lock.lock();
        if (m_threadCount == 0 || BusyLocked(service) == 0) {
            break;
        }
        m_slotFreed.wait_for(lock, pumpInterval);
    }
}

bool JobPool::WaitIdleFor(const CServiceBasic* service, std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_slotFreed.wait_for(lock, limit, [&] { return m_threadCount == 0 || BusyLocked(service) == 0; });
}

int JobPool::Capacity() const
{
    std::lock_guard lock(m_mutex);
    const std::uint64_t committed = m_memoryReader();
    std::uint64_t more = 0;
    if (committed < m_memoryCeiling) {
        more = (m_memoryCeiling - committed) / kThreadStackSize;
    }
    const std::uint64_t capacity = static_cast<std::uint64_t>(m_threadCount) + more;
    return static_cast<int>(std::min<std::uint64_t>(capacity, kMaxThreads));
}

CServiceBasic* JobPool::CurrentService()
{
    return t_currentService;
}

std::uint64_t JobPool::ReadCommittedMemory()
{
    std::FILE* file = std::fopen("/proc/self/status", "re");
    if (file == nullptr) {
        return 0;
    }
    std::uint64_t kib = 0;
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::strncmp(line, "VmData:", 7) == 0) {
            kib = std::strtoull(line + 7, nullptr, 10);
            break;
        }
    }
    (void)std::fclose(file); // read only: closing loses nothing
    return kib * 1024;
}

int JobPool::PlaceLocked(const JobSlot& job)
{
    for (int i = 0; i < m_threadCount; ++i) {
        if (m_slots[i].state == JobSlot::kFree) {
            m_slots[i] = job;
            m_slots[i].state = JobSlot::kAssigned;
            m_wake[i].notify_one();
            return i;
        }
    }
    return -1;
}

bool JobPool::GrowLocked()
{
    if (m_threadCount >= kMaxThreads || m_memoryReader() >= m_memoryCeiling) {
        return false;
    }
    const int target = std::min(m_threadCount + kGrowthStep, kMaxThreads);
    for (int i = m_threadCount; i < target; ++i) {
        auto thread = std::make_unique<Thread>(*this, i);
        if (!thread->Started()) {
            break;
        }
        m_threads.push_back(std::move(thread));
    }
    const int before = m_threadCount;
    m_threadCount = static_cast<int>(m_threads.size());
    return m_threadCount > before;
}

int JobPool::Submit(const JobSlot& job)
{
    if (job.service == nullptr) {
        return -1;
    }
    std::unique_lock lock(m_mutex);
    while (m_alive) {
        int index = PlaceLocked(job);
        if (index < 0 && GrowLocked()) {
            index = PlaceLocked(job);
        }
        if (index >= 0) {
            return index;
        }
        m_slotFreed.wait_for(lock, std::chrono::milliseconds(10));
    }
    return -1;
}

int JobPool::TrySubmit(const JobSlot& job)
{
    if (job.service == nullptr) {
        return -1;
    }
    std::lock_guard lock(m_mutex);
    if (!m_alive) {
        return -1;
    }
    int index = PlaceLocked(job);
    if (index < 0 && GrowLocked()) {
        index = PlaceLocked(job);
    }
    return index;
}

void JobPool::SetFailureReporter(FailureReporter reporter)
{
    std::lock_guard lock(m_mutex);
    m_failureReporter = std::move(reporter);
}

std::uint64_t JobPool::FailedJobs() const
{
    std::lock_guard lock(m_mutex);
    return m_failedJobs;
}

void JobPool::RunJob(CServiceBasic* service, JobSlot& slot)
{
    std::string what;
    try {
        CurrentServiceScope scope(service);
        service->Run(slot);
        return;
    } catch (const std::exception& error) {
        what = error.what();
    } catch (...) {
        what = "unknown exception";
    }
    FailureReporter reporter;
    {
        std::lock_guard lock(m_mutex);
        ++m_failedJobs;
        reporter = m_failureReporter;
    }
    if (reporter) {
        try {
            reporter(service, what);
        } catch (...) {
            // A reporter that throws itself is not reported again: the thread goes on.
        }
    }
}

void JobPool::ThreadMain(int index)
{
    std::unique_lock lock(m_mutex);
    while (m_alive) {
        JobSlot& slot = m_slots[index];
        if (slot.state != JobSlot::kAssigned) {
            m_wake[index].wait(lock);
            continue;
        }
        CServiceBasic* service = slot.service;
        lock.unlock();
        RunJob(service, slot);
        lock.lock();
        slot = JobSlot{};
        m_slotFreed.notify_all();
    }
}

} // namespace tessvale
