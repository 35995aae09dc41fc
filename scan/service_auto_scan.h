// The scan service: walks a range, runs the scan workers on the pool and reports every
// step to the main window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan/address_walk.h"
#include "scan/host_probe.h"
#include "scan/probe_sweep.h"
#include "scan/scan_service.h"
#include "scan/scan_settings.h"
#include "scan/service_basic.h"

namespace tessvale {

// The normal form of a MAC text: six upper-case hexadecimal pairs joined by colons.
// Accepts pairs joined by ':' or '-' and twelve digits without separators; empty for
// anything else.
std::string NormalMacText(std::string_view text);

class CServiceAutoScan : public CServiceBasic, public ScanService
{
public:
    // settings is asked at every StartScan. inventory may be null: answering hosts then
    // keep an empty inventory.
    CServiceAutoScan(JobPool& pool, ScanSettingsSource settings, HostProbe& probe, VendorLookup& vendors,
                     InventoryQuery* inventory);
    // Stops the scan and waits for its workers; the window must have drained the scan
    // with StopAndDrain first when its calls block on its own thread.
    ~CServiceAutoScan() override;

    // Waits for the workers of a previous scan, installs the walk of start..end, sends
    // ScanStarted with its count and starts the workers: AutoscanThreads + 1 of them, as
    // many as the pool can run at once. With a sweep only the first starts at once; the
    // others are started as answering hosts wait for them. Returns 1.
    int StartScan(const std::string& start, const std::string& end, ScanWindow* window, bool macLookup) override;
    void StopAndDrain(const std::function<void()>& pumpEvents) override;
    int MaxWorkers() const override;
    void SetEventPump(std::function<void()> pumpEvents) override;

    // The worker loop.
    int Run(JobSlot& slot) override;

    // Makes the sockets of a paced sweep per scan, in place of the HostProbe's own.
    // When a transport is made, each StartScan probes its addresses by a ProbeSweep
    // whose answers the workers complete; else each worker probes its address with the
    // HostProbe. The sweep's rate, retries and timeout come from the settings.
    // The addresses every walk leaves out (the local subnets' network and broadcast
    // addresses); the system's adapters by default.
    void SetSkippedAddresses(std::function<std::vector<std::uint32_t>()> skipped);

    using SweepTransportFactory = std::function<std::unique_ptr<SweepTransport>()>;
    void SetSweepTransportFactory(SweepTransportFactory factory);

    // Addresses of the last StartScan's walk, and those finished since.
    std::uint64_t Total() const;
    std::uint64_t Done() const;
    // Workers started for the last StartScan so far.
    int Workers() const { return m_workers.load(); }
    // True when the last scan probed by a sweep that could not send ARP itself (no raw
    // packet socket, no helper): the kernel resolves each address once, so a second MAC
    // answering for it is not seen. Asked on the window's thread once the scan drained.
    bool ArpConflictsHidden() const { return m_sweep && !m_sweep->SeesArpConflicts(); }

private:
    void DrainJobs(const std::function<void()>& pumpEvents);
    // Counts a finished address; under m_lock. False when the worker is to end: the
    // scan was stopped, or this address was the last one (ScanFinished has been sent).
    bool CountDoneLocked(std::uint64_t count = 1);
    // Takes the next address with its probe outcome; false when the worker is to end.
    // newcomer: the worker was started for a waiting host and asks for the first time.
    bool NextAddress(HostRecord& record, std::string& address, bool& online, bool newcomer);
    bool NextFromSweep(SweepResult& result, bool newcomer);
    // Runs the sweep as the pump's owner. True when an answering host waits that no
    // other worker will take (or the sweep is over): the caller gives the pump up and
    // takes it. False when the scan finished or was stopped.
    bool PumpSweep();
    // Reports and counts a batch of silent addresses; false when the worker is to end.
    bool ReportSilent(std::span<const std::uint32_t> addresses);
    // Starts one more worker for a waiting host, within the scan's limit.
    bool StartWorker();
    // Completes an answering host and reports it; false when the worker is to end.
    bool ReportOnline(HostRecord& record, const std::string& address);
    std::unique_ptr<ProbeSweep> MakeSweep(AddressWalk walk, SweepSettings settings);

    ScanSettingsSource m_settings;
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

    SweepTransportFactory m_sweepFactory; // window thread only
    std::function<std::vector<std::uint32_t>()> m_skipped;
    // The sweep of the current scan: replaced only while no job of the service runs.
    std::unique_ptr<ProbeSweep> m_sweep;
    int m_maxWorkers = 1;            // set while no job of the service runs, then by the pump's owner
    std::atomic<int> m_newcomers{0}; // workers started for a waiting host, not yet running
};

} // namespace tessvale
