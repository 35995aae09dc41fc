#include "scan/service_auto_scan.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include "common/text_util.h"
#include "scan/adapter_list.h"
#include "scan/address_forms.h"
#include "scan/job_pool.h"
#include "scan/resolver_config.h"

namespace tessvale {

namespace {

// The longest single wait of the pump's owner; the sweep's next event or an answer ends
// it sooner, and so does a stop.
constexpr auto kPumpWait = std::chrono::seconds(60);

} // namespace

std::string NormalMacText(std::string_view text)
{
    const auto mac = ParseMac(Trim(text));
    return mac ? FormatMac(*mac) : std::string();
}

CServiceAutoScan::CServiceAutoScan(JobPool& pool, ScanSettingsSource settings, HostProbe& probe, VendorLookup& vendors,
                                   InventoryQuery* inventory)
    : CServiceBasic(pool), m_settings(std::move(settings)), m_probe(probe), m_vendors(vendors), m_inventory(inventory)
{}

CServiceAutoScan::~CServiceAutoScan()
{
    RequestStop();
    if (m_sweep) {
        m_sweep->Stop();
    }
    m_pool.WaitIdle(this);
}

std::uint64_t CServiceAutoScan::Total() const
{
    return m_total.load();
}

std::uint64_t CServiceAutoScan::Done() const
{
    return m_done.load();
}

int CServiceAutoScan::MaxWorkers() const
{
    return m_pool.Capacity();
}

void CServiceAutoScan::SetEventPump(std::function<void()> pumpEvents)
{
    m_eventPump = std::move(pumpEvents);
}

void CServiceAutoScan::DrainJobs(const std::function<void()>& pumpEvents)
{
    // Workers waiting for the sweep, and its pump, end at once.
    if (m_sweep) {
        m_sweep->Stop();
    }
    m_pool.WaitIdle(this, pumpEvents);
}

void CServiceAutoScan::StopAndDrain(const std::function<void()>& pumpEvents)
{
    // The flag is cleared without Stop's wait: that wait would not dispatch the
    // window's events, so workers blocked in a call to the window could not end.
    RequestStop();
    m_done = 0;
    DrainJobs(pumpEvents);
}

int CServiceAutoScan::StartScan(const std::string& start, const std::string& end, ScanWindow* window, bool macLookup)
{
    // Workers of the previous scan would take addresses of the new walk and count
    // their own towards it: they are stopped and drained first. Their address in hand
    // is completed without a report, since the running flag is clear.
    if (m_pool.BusySlots(this) > 0) {
        RequestStop();
        DrainJobs(m_eventPump);
    }

    std::uint64_t total = 0;
    {
        // No job of the service runs now, so taking the lock cannot wait on a worker.
        std::lock_guard lock(m_lock);
        const ScanSettings settings = m_settings ? m_settings() : ScanSettings{};
        AddressWalk walk(start, end, m_skipped ? m_skipped() : LocalSubnetEnds());
        m_sweep = MakeSweep(walk, settings.sweep);
        m_walk = m_sweep ? AddressWalk() : std::move(walk);
        m_window = window;
        m_macLookup = macLookup;
        m_total = m_sweep ? m_sweep->Count() : m_walk.Count();
        m_done = 0;
        total = m_total;
        const long long further = std::clamp<long long>(settings.furtherWorkers, 0, JobPool::kMaxThreads - 1);
        m_maxWorkers = 1 + static_cast<int>(further);
        m_workers = 1;
        m_newcomers = 0;
    }
    window->ScanStarted(static_cast<int>(std::min<std::uint64_t>(total, INT_MAX)));

    Start();
    // An empty walk needs no more workers: the one started reports the finish. A sweep
    // starts the others as answering hosts wait for them.
    if (total > 0 && !m_sweep) {
        // Never more than the pool can run at once: the window's thread must not wait
        // in Submit while the workers wait for the window.
        JobSlot job;
        job.service = this;
        while (m_workers.load() < m_maxWorkers && IsRunning()) {
            if (m_pool.TrySubmit(job) < 0) {
                break;
            }
            ++m_workers;
        }
    }
    return 1;
}

bool CServiceAutoScan::StartWorker()
{
    // Only pool threads call this, one at a time (the pump's owner).
    if (!IsRunning() || m_workers.load() >= m_maxWorkers) {
        return false;
    }
    JobSlot job;
    job.service = this;
    m_sweep->ExpectCaller();
    ++m_newcomers;
    if (m_pool.TrySubmit(job) < 0) {
        // The pool can run no more: the scan goes on with the workers it has.
        --m_newcomers;
        m_sweep->ForgetCaller();
        m_maxWorkers = m_workers.load();
        return false;
    }
    ++m_workers;
    return true;
}

bool CServiceAutoScan::CountDoneLocked(std::uint64_t count)
{
    // After a stop the window has reset its counts; a late address belongs to no scan.
    if (!IsRunning()) {
        return false;
    }
    if ((m_done += count) < m_total) {
        return true;
    }
    m_window->ScanFinished();
    Stop();
    return false;
}

void CServiceAutoScan::SetSweepTransportFactory(SweepTransportFactory factory)
{
    m_sweepFactory = std::move(factory);
}

void CServiceAutoScan::SetSkippedAddresses(std::function<std::vector<std::uint32_t>()> skipped)
{
    m_skipped = std::move(skipped);
}

std::unique_ptr<ProbeSweep> CServiceAutoScan::MakeSweep(AddressWalk walk, SweepSettings settings)
{
    auto transport = m_sweepFactory ? m_sweepFactory() : m_probe.MakeSweepTransport();
    if (!transport) {
        return nullptr; // no socket: the workers probe address by address
    }
    if (settings.names.dns) {
        settings.names.servers = ReadNameServers();
    }
    return std::make_unique<ProbeSweep>(std::move(walk), std::move(transport), std::move(settings));
}

bool CServiceAutoScan::NextFromSweep(SweepResult& result, bool newcomer)
{
    while (IsRunning()) {
        const ProbeSweep::Turn turn = m_sweep->Await(result, newcomer);
        newcomer = false;
        switch (turn) {
        case ProbeSweep::Turn::Host:
            return true;
        case ProbeSweep::Turn::Over:
            return false;
        case ProbeSweep::Turn::Pump:
            break;
        }
        const bool goOn = PumpSweep();
        m_sweep->ReleasePump();
        if (!goOn) {
            return false;
        }
    }
    return false;
}

bool CServiceAutoScan::PumpSweep()
{
    std::vector<std::uint32_t> silent;
    while (IsRunning()) {
        m_sweep->Pump(kPumpWait);
        silent.clear();
        if (m_sweep->TakeSilent(silent) > 0 && !ReportSilent(silent)) {
            return false;
        }
        // A waiting worker has been woken for each host already; the others get a new
        // worker while the setting allows, else this one leaves the pump to take one.
        std::size_t unserved = m_sweep->Unserved();
        while (unserved > 0 && StartWorker()) {
            --unserved;
        }
        if (unserved > 0 || m_sweep->Over()) {
            return true;
        }
    }
    return false;
}

bool CServiceAutoScan::ReportSilent(std::span<const std::uint32_t> addresses)
{
    if (IsRunning()) {
        m_window->HostsSilent(addresses);
    }
    std::lock_guard lock(m_lock);
    return CountDoneLocked(addresses.size());
}

bool CServiceAutoScan::NextAddress(HostRecord& record, std::string& address, bool& online, bool newcomer)
{
    record.hostName.assign(1, '-');
    record.otherMacs.clear();
    record.names = HostNames{};
    if (m_sweep) {
        SweepResult result;
        const bool taken = NextFromSweep(result, newcomer);
        std::lock_guard lock(m_lock);
        if (!taken) {
            // A walk without any address is finished as soon as it starts.
            if (IsRunning() && m_done >= m_total) {
                m_window->ScanFinished();
                Stop();
            }
            return false;
        }
        address = std::move(result.address);
        m_window->ScanAddress(address);
        online = result.online;
        record.mac = std::move(result.mac);
        record.hostName = std::move(result.hostName);
        record.otherMacs = std::move(result.otherMacs);
        record.names = std::move(result.names);
        return true;
    }
    {
        std::lock_guard lock(m_lock);
        if (!m_walk.Next(address)) {
            if (IsRunning() && m_done >= m_total) {
                m_window->ScanFinished();
                Stop();
            }
            return false;
        }
        m_window->ScanAddress(address);
    }
    online = m_probe.NodeStatus(address, record.mac, record.hostName);
    if (online && record.hostName != "-") {
        record.names.netbios = record.hostName; // the probe of one address asks NetBIOS only
    }
    if (!online) {
        online = m_probe.Arp(address, record.mac);
    }
    return true;
}

bool CServiceAutoScan::ReportOnline(HostRecord& record, const std::string& address)
{
    SetField(record.ip, address, HostRecord::kIpCapacity);
    SetField(record.mac, std::string(record.mac), HostRecord::kMacCapacity);
    SetField(record.hostName, std::string(record.hostName), HostRecord::kHostNameCapacity);
    for (std::string& other : record.otherMacs) {
        SetField(other, std::string(other), HostRecord::kMacCapacity);
    }
    for (std::string* name : {&record.names.netbios, &record.names.mdns, &record.names.dns}) {
        SetField(*name, std::string(*name), HostRecord::kHostNameCapacity);
    }
    for (std::string& service : record.names.services) {
        SetField(service, std::string(service), HostRecord::kHostNameCapacity);
    }
    record.inventory.Clear();
    if (!m_macLookup && m_inventory != nullptr) {
        m_inventory->QueryInventory(address, record.inventory);
    }
    SetField(record.inventory.vendor, m_vendors.LookupVendor(record.mac), HostInventory::kVendorCapacity);

    std::lock_guard lock(m_lock);
    if (IsRunning()) {
        m_window->ScanStep();
    }
    if (!m_macLookup) {
        if (IsRunning()) {
            m_window->HostFound(record);
        }
    } else {
        const std::string wanted = NormalMacText(m_window->LookupText());
        if (!wanted.empty() && wanted == NormalMacText(record.mac)) {
            m_window->PostStopCommand();
            m_window->HostFound(record);
        }
    }
    return CountDoneLocked();
}

int CServiceAutoScan::Run(JobSlot& slot)
{
    (void)slot;
    // Whether this worker was started for a waiting host (the first of a scan never is).
    bool newcomer = false;
    for (int waiting = m_newcomers.load(); waiting > 0 && !newcomer;) {
        newcomer = m_newcomers.compare_exchange_weak(waiting, waiting - 1);
    }
    HostRecord record;
    std::string address;
    while (IsRunning()) {
        bool online = false;
        const bool first = newcomer;
        newcomer = false;
        if (!NextAddress(record, address, online, first)) {
            return 1;
        }
        if (!online) {
            if (IsRunning()) {
                m_window->ScanStep();
                m_window->HostSilent(address);
            }
            std::lock_guard lock(m_lock);
            if (!CountDoneLocked()) {
                return 1;
            }
            continue;
        }
        if (!ReportOnline(record, address)) {
            return 1;
        }
    }
    return 1;
}

} // namespace tessvale
