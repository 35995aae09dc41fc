// Lets a frequent event through at most once per interval, so that a window shows the
// progress of a large scan without being flooded. Thread-safe: the scan's workers ask
// it concurrently.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

namespace tessvale {

class UpdateThrottle
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit UpdateThrottle(std::chrono::milliseconds interval, Clock clock = {})
        : m_interval(std::chrono::duration_cast<std::chrono::nanoseconds>(interval).count()), m_clock(std::move(clock))
    {}

    // True for the first call after Reset and then at most once per interval; exactly
    // one of concurrent callers gets it.
    bool Due()
    {
        const std::int64_t now = Now();
        std::int64_t last = m_last.load();
        if (last != kNever && now - last < m_interval) {
            return false;
        }
        return m_last.compare_exchange_strong(last, now);
    }

    // The next call of Due is let through.
    void Reset() { m_last = kNever; }

private:
    static constexpr std::int64_t kNever = INT64_MIN;

    std::int64_t Now() const
    {
        const auto now = m_clock ? m_clock() : std::chrono::steady_clock::now();
        return std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
    }

    std::int64_t m_interval;
    Clock m_clock;
    std::atomic<std::int64_t> m_last{kNever};
};

} // namespace tessvale
