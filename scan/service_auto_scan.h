// The scan service: walks a range, runs the scan workers on the pool and reports every
// step to the main window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "scan/address_walk.h"
#include "scan/host_probe.h"
#include "scan/scan_service.h"
#include "scan/service_basic.h"

namespace tessvale {

class ConfigStore;

// The normal form of a MAC text: six upper-case hexadecimal pairs joined by colons.
// Accepts pairs joined by ':' or '-' and twelve digits without separators; empty for
// anything else.
std::string NormalMacText(std::string_view text);

class CServiceAutoScan : public CServiceBasic, public ScanService
{
public:
    // inventory may be null: answering hosts then keep an empty inventory.
    CServiceAutoScan(JobPool& pool, ConfigStore& store, HostProbe& probe, VendorLookup& vendors,
                     InventoryQuery* inventory);
    // Stops the scan and waits for its workers; the window must have drained the scan
    // with StopAndDrain first when its calls block on its own thread.
    ~CServiceAutoScan() override;

    // Waits for the workers of a previous scan, installs the walk of start..end, sends
    // ScanStarted with its count and starts AutoscanThreads + 1 workers, as many as the
    // pool can run at once. Returns 1.
    int StartScan(const std::string& start, const std::string& end, ScanWindow* window, bool macLookup) override;
    void StopAndDrain(const std::function<void()>& pumpEvents) override;
    int MaxWorkers() const override;
    void SetEventPump(std::function<void()> pumpEvents) override;

    // The worker loop.
    int Run(JobSlot& slot) override;

    // Addresses of the last StartScan's walk, and those finished since.
    std::uint64_t Total() const;
    std::uint64_t Done() const;
    // Workers started by the last StartScan.
    int Workers() const { return m_workers.load(); }

private:
    void DrainJobs(const std::function<void()>& pumpEvents);
    // Counts a finished address; under m_lock. False when the worker is to end: the
    // scan was stopped, or this address was the last one (ScanFinished has been sent).
    bool CountDoneLocked();

    ConfigStore& m_store;
    HostProbe& m_probe;
    VendorLookup& m_vendors;
    InventoryQuery* m_inventory;

    // The service lock: the walk, the done counter and the messages sent under it.
    // The window's thread takes it only while no job of the service runs.
    mutable std::mutex m_lock;
    AddressWalk m_walk;
    ScanWindow* m_window = nullptr;
    std::atomic<std::uint64_t> m_total{0};
    std::atomic<std::uint64_t> m_done{0};
    bool m_macLookup = false;
    std::atomic<int> m_workers{0};

    std::function<void()> m_eventPump; // window thread only
};

} // namespace tessvale
