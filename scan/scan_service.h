// What the main window needs of the scan engine: start a scan, stop it and wait.
#pragma once

#include <functional>
#include <string>

#include "scan/scan_window.h"

namespace tessvale {

class ScanService
{
public:
    virtual ~ScanService() = default;

    // Starts a scan of start..end (dotted texts) reporting to window; returns at once,
    // the work runs on the pool's worker threads. macLookup: search for the host whose
    // MAC equals window->LookupText() and stop when it is found. Called on the window's
    // thread; ScanStarted is delivered before it returns. Returns 1.
    virtual int StartScan(const std::string& start, const std::string& end, ScanWindow* window, bool macLookup) = 0;

    // Tells the running scan to stop, then waits until no worker is busy with it,
    // calling pumpEvents (which dispatches the window's pending events) between checks
    // so that workers blocked in a synchronous call to the window are served.
    virtual void StopAndDrain(const std::function<void()>& pumpEvents) = 0;

    // The largest number of workers the pool can run at once.
    virtual int MaxWorkers() const = 0;

    // The pump StartScan calls while it waits for the workers of a previous scan that
    // still run (the autoscan timer can start a scan before the last one has drained).
    // A window whose calls block until its own thread handles them must set it, as it
    // does for StopAndDrain; without one StartScan waits without dispatching.
    // NOLINTNEXTLINE(performance-unnecessary-value-param): taken by value for the overrides, which keep it
    virtual void SetEventPump(std::function<void()> pumpEvents) { (void)pumpEvents; }
};

} // namespace tessvale
