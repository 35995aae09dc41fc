// What the scan engine tells the main window, one call per window message.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "scan/address_forms.h"
#include "scan/host_record.h"

namespace tessvale {

// Message numbers, kept for the window protocol and for logs.
enum ScanMessage : int
{
    WM_SCAN_STARTED = 2024,
    WM_SCAN_STEP = 2025,
    WM_SCAN_HOST_FOUND = 2026,
    WM_SCAN_FINISHED = 2027,
    WM_SCAN_ADDRESS = 2028,
    WM_RANGES_CHANGED = 2029,
    WM_SCAN_HOST_SILENT = 2030,
    WM_LANGUAGE_CHANGED = 2032,
    WM_CLOSE_INSTANCE = 2033,
    WM_TRAY_NOTIFY = 2034,
};

// Command ids the engine sends to the window.
inline constexpr int kCommandStop = 32772;

// The receiver of the scan engine's messages. Every call is synchronous: it returns
// only after the window has handled it, and references passed in are valid only for
// the duration of the call (the window copies what it keeps). ScanStarted runs on the
// thread that called StartScan; all others run on scan worker threads.
class ScanWindow
{
public:
    virtual ~ScanWindow() = default;

    virtual void ScanStarted(int total) = 0;                  // WM_SCAN_STARTED
    virtual void ScanStep() = 0;                              // WM_SCAN_STEP
    virtual void HostFound(const HostRecord& record) = 0;     // WM_SCAN_HOST_FOUND
    virtual void ScanFinished() = 0;                          // WM_SCAN_FINISHED
    virtual void ScanAddress(const std::string& address) = 0; // WM_SCAN_ADDRESS
    virtual void HostSilent(const std::string& address) = 0;  // WM_SCAN_HOST_SILENT

    // Addresses (host order) that gave no answer, finished together: each stands for
    // its ScanAddress, ScanStep and HostSilent, which is what this does unless the
    // window counts a batch at once. Sent outside the scan's lock, while it runs.
    virtual void HostsSilent(std::span<const std::uint32_t> addresses)
    {
        for (const std::uint32_t address : addresses) {
            const std::string text = FormatIpv4(address);
            ScanAddress(text);
            ScanStep();
            HostSilent(text);
        }
    }

    // Queues the Stop command for the window's thread and returns at once (the one
    // message a worker posts instead of sending).
    virtual void PostStopCommand() = 0;

    // Text of the window's lookup box (the MAC searched for in MAC-lookup mode).
    virtual std::string LookupText() = 0;
};

} // namespace tessvale
