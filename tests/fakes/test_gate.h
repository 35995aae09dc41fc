// A gate that test threads pass: while it is closed each arrival waits until it opens.
// Counts arrivals, waiting threads and departures. Thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tessvale::fakes {

class TestGate
{
public:
    explicit TestGate(bool open) : m_open(open) {}

    void Close()
    {
        std::lock_guard lock(m_mutex);
        m_open = false;
    }
    // Opens the gate for good and lets the waiting threads go.
    void Open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    // Counts the arrival, waits while the gate is closed, then counts the departure.
    void Pass()
    {
        std::unique_lock lock(m_mutex);
        ++m_arrived;
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        --m_waiting;
        ++m_departed;
    }
    // Wait until at least `count` threads arrived in all, or wait at the gate now;
    // false after 10 s.
    bool WaitArrived(int count)
    {
        return WaitFor([&] { return m_arrived >= count; });
    }
    bool WaitWaiting(int count)
    {
        return WaitFor([&] { return m_waiting >= count; });
    }
    int Departed()
    {
        std::lock_guard lock(m_mutex);
        return m_departed;
    }

private:
    template <class Condition> bool WaitFor(Condition condition)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), condition);
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open;
    int m_arrived = 0;
    int m_waiting = 0;
    int m_departed = 0;
};

} // namespace tessvale::fakes
