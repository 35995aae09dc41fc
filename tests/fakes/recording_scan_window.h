// A ScanWindow that records every call in order. Calls arrive on worker threads and
// are handled at once (as a window on another thread would, synchronously).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "scan/scan_window.h"

namespace tessvale::fakes {

// The Stop command a worker posts, recorded in the same sequence as the messages.
inline constexpr int kPostedStop = -kCommandStop;

struct ScanEvent
{
    int message = 0;
    std::string address; // address of ScanAddress / HostSilent, IP of HostFound
    HostRecord record;   // HostFound only
    int total = 0;       // ScanStarted only
};

class RecordingScanWindow : public ScanWindow
{
public:
    void ScanStarted(int total) override { Record(ScanEvent{WM_SCAN_STARTED, {}, {}, total}); }
    void ScanStep() override { Record(ScanEvent{WM_SCAN_STEP, {}, {}, 0}); }
    void HostFound(const HostRecord& record) override { Record(ScanEvent{WM_SCAN_HOST_FOUND, record.ip, record, 0}); }
    void ScanFinished() override { Record(ScanEvent{WM_SCAN_FINISHED, {}, {}, 0}); }
    void ScanAddress(const std::string& address) override { Record(ScanEvent{WM_SCAN_ADDRESS, address, {}, 0}); }
    void HostSilent(const std::string& address) override { Record(ScanEvent{WM_SCAN_HOST_SILENT, address, {}, 0}); }
    void PostStopCommand() override { Record(ScanEvent{kPostedStop, {}, {}, 0}); }
    std::string LookupText() override
    {
        std::lock_guard lock(m_mutex);
        return m_lookupText;
    }

    void SetLookupText(const std::string& text)
    {
        std::lock_guard lock(m_mutex);
        m_lookupText = text;
    }

    std::vector<ScanEvent> Events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

    int Count(int message) const
    {
        std::lock_guard lock(m_mutex);
        int count = 0;
        for (const auto& event : m_events) {
            count += event.message == message ? 1 : 0;
        }
        return count;
    }

    // Waits until `count` messages of the kind have arrived; false on timeout.
    bool WaitFor(int message, int count, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            int seen = 0;
            for (const auto& event : m_events) {
                seen += event.message == message ? 1 : 0;
            }
            return seen >= count;
        });
    }

    void Clear()
    {
        std::lock_guard lock(m_mutex);
        m_events.clear();
    }

private:
    void Record(ScanEvent event)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ScanEvent> m_events;
    std::string m_lookupText;
};

} // namespace tessvale::fakes
