#include "app/logic/headless_scan.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <future>
#include <mutex>
#include <vector>

#include <unistd.h>

#include "app/logic/headless_window.h"
#include "app/logic/host_table.h"
#include "app/logic/scan_baseline.h"
#include "app/logic/stop_signals.h"
#include "common/checked_output.h"
#include "common/paths.h"
#include "common/text_util.h"
#include "scan/adapter_list.h"
#include "scan/address_forms.h"
#include "scan/address_walk.h"
#include "scan/host_inventory_query.h"
#include "scan/job_pool.h"
#include "scan/scan_window.h"
#include "scan/service_auto_scan.h"
#include "scan/vendor_table.h"
#include "store/config_store.h"
#include "store/scan_settings.h"

namespace tessvale {

namespace {

constexpr auto kInterruptPoll = std::chrono::milliseconds(5); // without a wake only

// The settings of this run: the overrides go into the document in memory only.
void WriteOverrides(ConfigStore& store, const HeadlessScanOptions& options)
{
    ConfigRecord settings = store.LoadSettings();
    if (options.threads) {
        settings.SetValue(kAutoscanThreads, std::to_string(*options.threads));
    }
    if (options.timeoutMs) {
        settings.SetValue(kNetbiosTimeoutMSeconds, std::to_string(*options.timeoutMs));
    }
    if (options.names) {
        settings.SetValue(kNameNetbios, options.names->netbios ? "1" : "0");
        settings.SetValue(kNameMdns, options.names->mdns ? "1" : "0");
        settings.SetValue(kNameDns, options.names->dns ? "1" : "0");
    }
    store.WriteOrAddRecord(settings);
}

void ApplyOverrides(ConfigStore& store, const HeadlessScanOptions& options)
{
    if (options.threads || options.timeoutMs || options.names) {
        store.Atomically([&options](ConfigStore& held) { WriteOverrides(held, options); });
    }
}

// The baseline's hosts whose addresses the ranges cover: a host the scan did not ask
// for is not gone.
std::vector<HostSnapshot> BaselineWithin(const std::vector<HostSnapshot>& baseline,
                                         const std::vector<ScanRange>& ranges)
{
    std::vector<HostSnapshot> within;
    for (const HostSnapshot& host : baseline) {
        const auto address = ParseDottedQuad(Trim(host.ip));
        const bool covered = address && std::any_of(ranges.begin(), ranges.end(), [&](const ScanRange& range) {
                                 return ParseDottedQuad(range.first).value_or(UINT32_MAX) <= *address &&
                                        *address <= ParseDottedQuad(range.last).value_or(0);
                             });
        if (covered) {
            within.push_back(host);
        }
    }
    return within;
}

// The vendor listing, read on a thread of its own while the scan starts: reading the
// whole IEEE listing takes longer than the first NetBIOS answers, and silent addresses
// need no vendor at all. A lookup waits until the listing is in; a scan that ends
// before then stops the reading instead of waiting for it.
class BackgroundVendorTable final : public VendorLookup
{
public:
    explicit BackgroundVendorTable(std::string path)
        : m_loaded(
              std::async(std::launch::async, [this, path = std::move(path)] { m_table.Load(path, &m_stop); }).share())
    {}
    ~BackgroundVendorTable() override
    {
        m_stop = true;
        m_loaded.wait();
    }
    BackgroundVendorTable(const BackgroundVendorTable&) = delete;
    BackgroundVendorTable& operator=(const BackgroundVendorTable&) = delete;

    std::string LookupVendor(const std::string& mac) const override
    {
        m_loaded.wait();
        return m_table.LookupVendor(mac);
    }

private:
    VendorTable m_table;
    std::atomic<bool> m_stop{false};
    std::shared_future<void> m_loaded;
};

// The range of the first local adapter: its subnet from the first host to the
// broadcast address.
std::optional<AddressRange> FirstAdapterRange()
{
    for (const AdapterEntry& adapter : ListAdapters()) {
        const auto range = DefaultRange(adapter.address, LookupMask(adapter.address));
        if (range) {
            return range;
        }
    }
    return std::nullopt;
}

// The window of SweepForMacs: keeps the address and MAC of each host found.
class MacCollector final : public ScanWindow
{
public:
    void ScanStarted(int) override {}
    void ScanStep() override {}
    void HostFound(const HostRecord& record) override
    {
        const std::lock_guard lock(m_mutex);
        if (const auto address = ParseDottedQuad(record.ip)) {
            m_found.emplace_back(*address, record.mac);
        }
    }
    void ScanFinished() override { m_finished = true; }
    void ScanAddress(const std::string&) override {}
    void HostSilent(const std::string&) override {}
    void PostStopCommand() override {}
    std::string LookupText() override { return {}; }

    bool Finished() const { return m_finished.load(); }
    std::vector<std::pair<std::uint32_t, std::string>> Take()
    {
        const std::lock_guard lock(m_mutex);
        std::sort(m_found.begin(), m_found.end());
        return std::move(m_found);
    }

private:
    std::mutex m_mutex;
    std::vector<std::pair<std::uint32_t, std::string>> m_found;
    std::atomic<bool> m_finished{false};
};

class NoVendors final : public VendorLookup
{
public:
    std::string LookupVendor(const std::string&) const override { return {}; }
};

// A line of the scan command on the error stream. It is for the user's eyes: when it
// fails, nothing else could tell them, and the exit status says the outcome anyway.
void Tell(CheckedOutput& err, const std::string& text)
{
    static_cast<void>(err.Write("tessvale --scan: " + text + "\n"));
}

// The configuration file of the run and, with --against, the baseline; false when
// --against gives none (the message said why).
bool LoadRun(HeadlessScanOptions& options, ConfigStore& store, CheckedOutput& err)
{
    if (options.against) {
        LoadStoreForBaseline(store, ConfigFilePath(), *options.against);
    } else {
        store.Load(ConfigFilePath());
    }
    for (const std::string& problem : ConfigFileProblems(store)) {
        Tell(err, problem);
    }
    if (!options.against) {
        return true;
    }
    std::vector<HostSnapshot> baseline;
    std::string error;
    std::string warning;
    if (!LoadBaseline(store, *options.against, baseline, error, &warning)) {
        Tell(err, "--against: " + error);
        return false;
    }
    if (!warning.empty()) {
        Tell(err, "--against: " + warning);
    }
    options.baseline = std::move(baseline);
    return true;
}

} // namespace

int SweepForMacs(const AddressSpan& range, JobPool& pool, ConfigStore& store, HostProbe& probe,
                 const InterruptWait& waitForInterrupt, std::vector<std::pair<std::uint32_t, std::string>>& found)
{
    MacCollector window;
    NoVendors vendors;
    CServiceAutoScan service(pool, ScanSettingsFrom(store), probe, vendors, nullptr);
    int stopSignal = 0;
    service.StartScan(FormatIpv4(range.first), FormatIpv4(range.last), &window, false);
    while (!window.Finished()) {
        if ((stopSignal = waitForInterrupt(kInterruptPoll)) != 0) {
            break;
        }
    }
    // The window's calls are handled on the workers' threads: nothing to dispatch.
    service.StopAndDrain({});
    found = window.Take();
    return stopSignal;
}

std::vector<std::string> ConfigFileProblems(ConfigStore& store)
{
    const std::string path = BlankControlCharacters(store.Path());
    if (store.LastLoadUnusable()) {
        return {path + ": not used: " + store.LastLoadProblem()};
    }
    std::vector<std::string> problems;
    for (const std::string& problem : store.SettingProblems()) {
        std::string line = path;
        line += ": ";
        line += problem;
        problems.push_back(std::move(line));
    }
    return problems;
}

TableForm TableFormOf(OutputFormat format)
{
    // In the order of OutputFormat.
    constexpr std::array<TableForm, 3> kForms = {TableForm::ScanTsv, TableForm::ScanCsv, TableForm::JsonLine};
    return kForms.at(static_cast<std::size_t>(format));
}

std::string HeadlessHeaderLine(OutputFormat format, bool withChange)
{
    return HostHeaderLine(TableFormOf(format), withChange);
}

std::string HeadlessHostLine(const HostRecord& record, OutputFormat format, const std::string* change)
{
    return HostLine(TextsOf(record), TableFormOf(format), {{}, change, &record.names});
}

int RunHeadlessScan(const HeadlessScanOptions& options, HeadlessScanDeps deps, std::FILE* out, std::FILE* err,
                    const InterruptWait& waitForInterrupt, const WaitWake& wake)
{
    ApplyOverrides(deps.store, options);
    CheckedOutput output(out);
    if (options.header && !output.Write(HeadlessHeaderLine(options.format, options.baseline.has_value()))) {
        return ReportWriteError(err, output.Error());
    }

    // The engine leaves out the network and broadcast addresses of the local subnets;
    // the bar counts as it does.
    std::uint64_t total = 0;
    const std::vector<std::uint32_t> skipped = LocalSubnetEnds();
    for (const ScanRange& range : options.ranges) {
        total += AddressWalk(range.first, range.last, skipped).Count();
    }
    std::optional<std::vector<HostSnapshot>> baseline;
    if (options.baseline) {
        baseline = BaselineWithin(*options.baseline, options.ranges);
    }
    HeadlessWindow window(output, err, options, total, baseline ? &*baseline : nullptr, wake);
    CServiceAutoScan service(deps.pool, ScanSettingsFrom(deps.store), deps.probe, deps.vendors, deps.inventory);
    int stopSignal = 0;
    bool noted = false;
    for (const ScanRange& range : options.ranges) {
        service.StartScan(range.first, range.last, &window, false);
        while (!window.Finished() && !window.OutputFailed()) {
            if ((stopSignal = waitForInterrupt(wake ? std::chrono::milliseconds::max() : kInterruptPoll)) != 0) {
                break;
            }
        }
        // The window's calls are handled on the workers' threads: nothing to dispatch.
        service.StopAndDrain({});
        if (!noted && stopSignal == 0 && service.ArpConflictsHidden()) {
            noted = true;
            window.Note("tessvale --scan: no raw packet socket (CAP_NET_RAW) and no ARP sweep helper: the kernel "
                        "resolves each address, so a second MAC answering for an address (a conflict) cannot be seen");
        }
        if (stopSignal != 0 || window.OutputFailed()) {
            break;
        }
    }
    window.WriteEnd(stopSignal == 0 && !window.OutputFailed());
    if (output.Failed()) {
        return ReportWriteError(err, output.Error());
    }
    if (stopSignal != 0) {
        return 128 + stopSignal;
    }
    if (window.Changed()) {
        return 3;
    }
    return window.Online() > 0 ? 0 : 1;
}

int RunHeadlessScanCommand(int argc, char** argv)
{
    HeadlessScanOptions options;
    std::string error;
    CheckedOutput err(stderr);
    switch (ParseHeadlessScanArgs(argc, argv, options, error)) {
    case HeadlessParse::NotAScan:
        return -1;
    case HeadlessParse::Error:
        Tell(err, error + "\n"
                          "usage: tessvale --scan [RANGE]... [--threads N] [--timeout MS] [--format tsv|csv|json]\n"
                          "                       [--names LIST] [--header] [--sorted] [--against NAME|FILE]\n"
                          "Try 'tessvale --help' for more information.");
        return 2;
    case HeadlessParse::Scan:
        break;
    }
    if (options.ranges.empty()) {
        const auto range = FirstAdapterRange();
        if (!range) {
            Tell(err, "no local IPv4 adapter gives a range; give one");
            return 2;
        }
        options.ranges.push_back(ScanRange{FormatIpv4(range->start), FormatIpv4(range->end)});
    }
    options.progress = ::isatty(::fileno(stderr)) == 1;

    ConfigStore store;
    if (!LoadRun(options, store, err)) {
        return 2;
    }
    const auto probe = MakeSystemProbe(store);
    const auto inventory = MakeSystemInventory(store);

    // Blocked before any thread starts: threads inherit the mask.
    StopSignals signals;
    BackgroundVendorTable vendors(DefaultVendorListingPath(DataFolder()));
    JobPool pool;
    return RunHeadlessScan(
        options, HeadlessScanDeps{pool, store, *probe, vendors, inventory.get()}, stdout, stderr,
        [&signals](std::chrono::milliseconds timeout) { return signals.Wait(timeout); },
        [&signals] { signals.Wake(); });
}

} // namespace tessvale
