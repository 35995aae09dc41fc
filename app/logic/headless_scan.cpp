#include "app/logic/headless_scan.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <future>
#include <mutex>
#include <string_view>
#include <vector>

#include <arpa/inet.h>
#include <unistd.h>

#include "common/paths.h"
#include "common/text_util.h"
#include "scan/adapter_list.h"
#include "scan/address_forms.h"
#include "scan/host_inventory_query.h"
#include "scan/job_pool.h"
#include "scan/scan_window.h"
#include "scan/service_auto_scan.h"
#include "scan/system_probe.h"
#include "scan/vendor_table.h"
#include "store/config_store.h"

namespace tessvale {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);
constexpr auto kInterruptPoll = std::chrono::milliseconds(5);

std::optional<std::uint32_t> ParseAddress(const std::string& text)
{
    in_addr address{};
    if (::inet_pton(AF_INET, text.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

// A whole non-negative decimal number, nothing else.
std::optional<long long> ParseCount(std::string_view text, long long maximum)
{
    if (text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value > maximum) {
        return std::nullopt;
    }
    return value;
}

// A field of the tab-separated table: tabs and line breaks would break the columns,
// so every control character becomes a blank; trailing blanks (the vendor listing
// ends its names with a carriage return) are dropped.
std::string TableField(const std::string& value)
{
    std::string field = value;
    for (char& c : field) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    while (!field.empty() && field.back() == ' ') {
        field.pop_back();
    }
    return field;
}

// A CSV field (RFC 4180): quoted when it holds a comma, a quote or a line break,
// quotes doubled inside.
std::string CsvField(const std::string& value)
{
    std::string field = value;
    while (!field.empty() && (field.back() == '\r' || field.back() == '\n')) {
        field.pop_back();
    }
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        return field;
    }
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string JoinLine(const std::string (&fields)[9], bool csv)
{
    std::string line;
    for (int i = 0; i < 9; ++i) {
        if (i > 0) {
            line += csv ? ',' : '\t';
        }
        line += csv ? CsvField(fields[i]) : TableField(fields[i]);
    }
    line += '\n';
    return line;
}

// The settings of this run: the overrides go into the document in memory only.
void ApplyOverrides(ConfigStore& store, const HeadlessScanOptions& options)
{
    if (!options.threads && !options.timeoutMs) {
        return;
    }
    std::lock_guard lock(store.Mutex());
    ConfigRecord settings = store.LoadSettings();
    if (options.threads) {
        settings.SetValue(kAutoscanThreads, std::to_string(*options.threads));
    }
    if (options.timeoutMs) {
        settings.SetValue(kNetbiosTimeoutMSeconds, std::to_string(*options.timeoutMs));
    }
    store.WriteOrAddRecord(settings);
}

// The window of a scan without a display. Its calls arrive on the workers' threads
// and are handled there at once, serialised by one lock; every line is written whole.
class HeadlessWindow : public ScanWindow
{
public:
    HeadlessWindow(std::FILE* out, std::FILE* err, bool csv)
        : m_out(out), m_err(err), m_csv(csv), m_progress(::isatty(::fileno(err)) == 1)
    {}

    void ScanStarted(int total) override
    {
        std::lock_guard lock(m_mutex);
        m_total = total;
    }
    void ScanStep() override
    {
        std::lock_guard lock(m_mutex);
        ++m_steps;
        ShowProgressLocked(false);
    }
    void HostFound(const HostRecord& record) override
    {
        const std::string line = HeadlessHostLine(record, m_csv);
        std::lock_guard lock(m_mutex);
        ++m_online;
        ClearProgressLocked();
        std::fwrite(line.data(), 1, line.size(), m_out);
        std::fflush(m_out);
        ShowProgressLocked(true);
    }
    void ScanFinished() override { m_finished = true; }
    void ScanAddress(const std::string& address) override
    {
        std::lock_guard lock(m_mutex);
        m_current = address;
    }
    void HostSilent(const std::string&) override
    {
        std::lock_guard lock(m_mutex);
        ++m_offline;
    }
    void PostStopCommand() override {}
    std::string LookupText() override { return {}; }

    bool Finished() const { return m_finished.load(); }

    void WriteSummary()
    {
        std::lock_guard lock(m_mutex);
        ClearProgressLocked();
        std::fprintf(m_err, "Online:%d/Offline:%d\n", m_online, m_offline);
        std::fflush(m_err);
    }

private:
    void ShowProgressLocked(bool force)
    {
        if (!m_progress) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - m_lastProgress < kProgressInterval) {
            return;
        }
        m_lastProgress = now;
        std::fprintf(m_err, "\r%lld/%d %s\033[K", m_steps, m_total, m_current.c_str());
        std::fflush(m_err);
        m_progressShown = true;
    }
    void ClearProgressLocked()
    {
        if (m_progressShown) {
            std::fputs("\r\033[K", m_err);
            std::fflush(m_err);
            m_progressShown = false;
        }
    }

    std::FILE* m_out;
    std::FILE* m_err;
    const bool m_csv;
    const bool m_progress;
    std::mutex m_mutex;
    int m_total = 0;
    long long m_steps = 0;
    int m_online = 0;
    int m_offline = 0;
    std::string m_current;
    bool m_progressShown = false;
    std::chrono::steady_clock::time_point m_lastProgress{};
    std::atomic<bool> m_finished{false};
};

// Blocks SIGINT and SIGTERM in this thread and in every thread started while it
// lives, so that Ctrl-C reaches the scan command through sigtimedwait instead of
// ending the process in the middle of a line.
class StopSignals
{
public:
    StopSignals()
    {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_signals, &m_previous);
    }
    ~StopSignals() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool Wait(std::chrono::milliseconds timeout) const
    {
        timespec wait{};
        wait.tv_sec = static_cast<time_t>(timeout.count() / 1000);
        wait.tv_nsec = static_cast<long>(timeout.count() % 1000) * 1000000L;
        return sigtimedwait(&m_signals, nullptr, &wait) > 0;
    }

private:
    sigset_t m_signals{};
    sigset_t m_previous{};
};

// The vendor listing, read on a thread of its own while the scan starts: reading the
// whole IEEE listing takes longer than the first NetBIOS answers, and silent addresses
// need no vendor at all. A lookup waits until the listing is in.
class BackgroundVendorTable final : public VendorLookup
{
public:
    explicit BackgroundVendorTable(std::string path)
        : m_loaded(std::async(std::launch::async, [this, path = std::move(path)] { m_table.Load(path); }).share())
    {}
    ~BackgroundVendorTable() override { m_loaded.wait(); }
    BackgroundVendorTable(const BackgroundVendorTable&) = delete;
    BackgroundVendorTable& operator=(const BackgroundVendorTable&) = delete;

    std::string LookupVendor(const std::string& mac) const override
    {
        m_loaded.wait();
        return m_table.LookupVendor(mac);
    }

private:
    VendorTable m_table;
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

} // namespace

HeadlessParse ParseHeadlessScanArgs(int argc, const char* const* argv, HeadlessScanOptions& options, std::string& error)
{
    if (argc < 2 || std::string_view(argv[1]) != "--scan") {
        return HeadlessParse::NotAScan;
    }
    options = HeadlessScanOptions{};
    std::vector<std::string> addresses;
    for (int i = 2; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--csv") {
            options.csv = true;
            continue;
        }
        if (argument == "--threads" || argument == "--timeout") {
            if (i + 1 >= argc) {
                error = std::string(argument) + " needs a value";
                return HeadlessParse::Error;
            }
            const std::string_view value = argv[++i];
            if (argument == "--threads") {
                options.threads = ParseCount(value, JobPool::kMaxThreads - 1);
                if (!options.threads) {
                    error = "--threads: '" + std::string(value) + "' is not a number from 0 to " +
                            std::to_string(JobPool::kMaxThreads - 1);
                    return HeadlessParse::Error;
                }
            } else {
                options.timeoutMs = ParseCount(value, INT_MAX);
                if (!options.timeoutMs) {
                    error = "--timeout: '" + std::string(value) + "' is not a number of milliseconds";
                    return HeadlessParse::Error;
                }
            }
            continue;
        }
        if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option '" + std::string(argument) + "'";
            return HeadlessParse::Error;
        }
        addresses.emplace_back(argument);
    }
    if (addresses.size() == 1 || addresses.size() > 2) {
        error = "give both the first and the last address of the range, or neither";
        return HeadlessParse::Error;
    }
    if (addresses.size() == 2) {
        const auto first = ParseAddress(addresses[0]);
        const auto last = ParseAddress(addresses[1]);
        for (int i = 0; i < 2; ++i) {
            if (!(i == 0 ? first : last)) {
                error = "'" + addresses[i] + "' is not an IPv4 address";
                return HeadlessParse::Error;
            }
        }
        if (*last < *first) {
            error = "the last address " + addresses[1] + " lies below the first " + addresses[0];
            return HeadlessParse::Error;
        }
        options.first = addresses[0];
        options.last = addresses[1];
    }
    return HeadlessParse::Scan;
}

std::string HeadlessHeaderLine(bool csv)
{
    const std::string fields[9] = {"IP",         "MAC",       "HostName",     "CPU",           "RAM Size",
                                   "Share File", "SystemVer", "NetCard Type", "NetCard Vendor"};
    return JoinLine(fields, csv);
}

std::string HeadlessHostLine(const HostRecord& record, bool csv)
{
    const HostInventory& inventory = record.inventory;
    const std::string fields[9] = {
        record.ip,          record.mac,       record.hostName,         inventory.cpu,
        inventory.memoryMb, inventory.shares, inventory.systemVersion, inventory.adapterSpeed,
        inventory.vendor};
    return JoinLine(fields, csv);
}

int RunHeadlessScan(const HeadlessScanOptions& options, HeadlessScanDeps deps, std::FILE* out, std::FILE* err,
                    const InterruptWait& waitForInterrupt)
{
    ApplyOverrides(deps.store, options);
    const std::string header = HeadlessHeaderLine(options.csv);
    std::fwrite(header.data(), 1, header.size(), out);
    std::fflush(out);

    HeadlessWindow window(out, err, options.csv);
    CServiceAutoScan service(deps.pool, deps.store, deps.probe, deps.vendors, deps.inventory);
    service.StartScan(options.first, options.last, &window, false);
    bool interrupted = false;
    while (!window.Finished()) {
        if (waitForInterrupt(kInterruptPoll)) {
            interrupted = true;
            break;
        }
    }
    // The window's calls are handled on the workers' threads: nothing to dispatch.
    service.StopAndDrain({});
    window.WriteSummary();
    return interrupted ? 130 : 0;
}

int RunHeadlessScanCommand(int argc, char** argv)
{
    HeadlessScanOptions options;
    std::string error;
    switch (ParseHeadlessScanArgs(argc, argv, options, error)) {
    case HeadlessParse::NotAScan:
        return -1;
    case HeadlessParse::Error:
        std::fprintf(stderr,
                     "tessvale --scan: %s\n"
                     "usage: tessvale --scan [FIRST LAST] [--threads N] [--timeout MS] [--csv]\n",
                     error.c_str());
        return 2;
    case HeadlessParse::Scan:
        break;
    }
    if (options.first.empty()) {
        const auto range = FirstAdapterRange();
        if (!range) {
            std::fprintf(stderr, "tessvale --scan: no local IPv4 adapter gives a range; give FIRST and LAST\n");
            return 2;
        }
        options.first = FormatIpv4(range->start);
        options.last = FormatIpv4(range->end);
    }

    ConfigStore store;
    store.Load(ConfigFilePath());
    const auto probe = MakeSystemProbe(store);
    const auto inventory = MakeSystemInventory(store);

    // Blocked before any thread starts: threads inherit the mask.
    const StopSignals signals;
    BackgroundVendorTable vendors(DefaultVendorListingPath(DataFolder()));
    JobPool pool;
    return RunHeadlessScan(options, HeadlessScanDeps{pool, store, *probe, vendors, inventory.get()}, stdout, stderr,
                           [&signals](std::chrono::milliseconds timeout) { return signals.Wait(timeout); });
}

} // namespace tessvale
