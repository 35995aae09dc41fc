#include "app/logic/headless_scan.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <csignal>
#include <future>
#include <iterator>
#include <map>
#include <mutex>
#include <pthread.h>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include <sys/ioctl.h>
#include <unistd.h>

#include "app/logic/list_export.h"
#include "app/logic/scan_baseline.h"
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
#include "store/setting_bounds.h"

namespace tessvale {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);
constexpr auto kInterruptPoll = std::chrono::milliseconds(5); // without a wake only
// Wakes the scan command's wait for the end of a range (blocked like the stop signals).
constexpr int kWakeSignal = SIGUSR1;

// A whole non-negative decimal number, nothing else: the settings' reading without its
// sign and the blanks it allows around a stored value.
std::optional<long long> ParseCount(std::string_view text, long long maximum)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return BoundedNumber(text, 0, maximum);
}

constexpr const char* kColumnNames[9] = {"IP",         "MAC",       "HostName",     "CPU",           "RAM Size",
                                         "Share File", "SystemVer", "NetCard Type", "NetCard Vendor"};

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
// quotes doubled inside; a field a spreadsheet would read as a formula gets a
// leading "'".
std::string CsvField(const std::string& value)
{
    std::string field = value;
    while (!field.empty() && (field.back() == '\r' || field.back() == '\n')) {
        field.pop_back();
    }
    field = SpreadsheetSafe(field);
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

// A JSON string: quotes, backslashes and control characters escaped; bytes that are
// not UTF-8 become '?' so that the line stays valid JSON.
std::string JsonString(const std::string& value)
{
    std::string text = value;
    if (!IsValidUtf8(text)) {
        for (char& c : text) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                c = '?';
            }
        }
    }
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
            json += escape;
        } else {
            json += c;
        }
    }
    json += '"';
    return json;
}

constexpr const char* kChangeColumnName = "Change";

// Every name with its source (null where the source gave none) and the DNS-SD
// service types, as members of a host's JSON object.
std::string JsonNames(const HostNames& names)
{
    const auto value = [](const std::string& name) { return name.empty() ? std::string("null") : JsonString(name); };
    std::string json = R"("names":{"netbios":)" + value(names.netbios) + R"(,"mdns":)" + value(names.mdns) +
                       R"(,"dns":)" + value(names.dns) + R"(},"services":[)";
    for (std::size_t i = 0; i < names.services.size(); ++i) {
        json += (i > 0 ? "," : "") + JsonString(names.services[i]);
    }
    return json + "]";
}

// The fields in the given form; the tenth, when there is one, is the change column.
std::string JoinLine(const std::vector<std::string>& fields, OutputFormat format)
{
    std::string line;
    if (format == OutputFormat::Json) {
        line = "{";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const char* const name = i < 9 ? kColumnNames[i] : kChangeColumnName;
            line += (i > 0 ? "," : "") + JsonString(name) + ":" + JsonString(fields[i]);
        }
        return line + "}\n";
    }
    const bool csv = format == OutputFormat::Csv;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            line += csv ? ',' : '\t';
        }
        line += csv ? CsvField(fields[i]) : TableField(fields[i]);
    }
    line += '\n';
    return line;
}

// "mm:ss", or "h:mm:ss" from an hour on.
std::string Duration(std::chrono::seconds duration)
{
    const long long total = duration.count() < 0 ? 0 : static_cast<long long>(duration.count());
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%02lld:%02lld", total / 60, total % 60);
    }
    return text;
}

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

// The window of a scan without a display. Its calls arrive on the workers' threads
// and are handled there at once, serialised by one lock; every line is written whole.
// One window serves every range of the run: its counts and the progress bar cover the
// whole run.
class HeadlessWindow : public ScanWindow
{
public:
    // baseline: the hosts to compare with (those of the scanned ranges), or none.
    HeadlessWindow(CheckedOutput& out, std::FILE* err, const HeadlessScanOptions& options, std::uint64_t total,
                   const std::vector<HostSnapshot>* baseline, WaitWake wake)
        : m_out(out), m_err(err), m_format(options.format), m_sorted(options.sorted), m_progress(options.progress),
          m_total(total), m_started(std::chrono::steady_clock::now()), m_wake(std::move(wake))
    {
        if (baseline != nullptr) {
            m_tracker.emplace(*baseline);
        }
        winsize size{};
        if (m_progress && ::ioctl(::fileno(err), TIOCGWINSZ, &size) == 0) {
            m_columns = size.ws_col;
        }
    }

    // Each range's own count is known beforehand; a new range starts unfinished.
    void ScanStarted(int) override { m_finished = false; }
    void ScanStep() override
    {
        std::lock_guard lock(m_mutex);
        ++m_steps;
        ShowProgressLocked(false);
    }
    void HostFound(const HostRecord& record) override
    {
        std::lock_guard lock(m_mutex);
        std::string line = LineLocked(record);
        ++m_online;
        if (m_sorted) {
            m_rows.push_back(Row{ParseDottedQuad(record.ip).value_or(0), m_rows.size(), std::move(line)});
            return;
        }
        ClearProgressLocked();
        if (!m_out.Write(line) && m_wake) {
            m_wake(); // nobody gets the lines: the scan ends
        }
        ShowProgressLocked(true);
    }
    void ScanFinished() override
    {
        {
            // The bar shows where each range ended, whatever the throttle let through.
            std::lock_guard lock(m_mutex);
            ShowProgressLocked(true);
        }
        m_finished = true;
        if (m_wake) {
            m_wake();
        }
    }
    void ScanAddress(const std::string&) override {}
    void HostSilent(const std::string&) override
    {
        std::lock_guard lock(m_mutex);
        ++m_offline;
    }
    void HostsSilent(std::span<const std::uint32_t> addresses) override
    {
        std::lock_guard lock(m_mutex);
        m_steps += addresses.size();
        m_offline += static_cast<int>(addresses.size());
        ShowProgressLocked(false);
    }
    void PostStopCommand() override {}
    std::string LookupText() override { return {}; }

    bool Finished() const { return m_finished.load(); }
    // Standard output could not be written: the scan ends, as nobody gets its lines.
    bool OutputFailed() const { return m_out.Failed(); }
    // A line of its own on the error stream, between progress bars.
    void Note(const std::string& text)
    {
        std::lock_guard lock(m_mutex);
        ClearProgressLocked();
        std::fprintf(m_err, "%s\n", text.c_str());
        std::fflush(m_err);
    }
    int Online()
    {
        std::lock_guard lock(m_mutex);
        return m_online;
    }

    // After the last range: the baseline's silent hosts when the scan was complete,
    // the rows kept for address order, then the counts.
    void WriteEnd(bool complete)
    {
        std::lock_guard lock(m_mutex);
        ClearProgressLocked();
        if (m_tracker && complete) {
            AddGoneRowsLocked();
        }
        std::stable_sort(m_rows.begin(), m_rows.end(),
                         [](const Row& a, const Row& b) { return a.address < b.address; });
        for (const Row& row : m_rows) {
            m_out.Write(row.line);
        }
        if (m_out.Failed()) {
            // The write error is all there is to say; a reader that went away wants nothing.
            return;
        }
        std::fprintf(m_err, "Online:%d/Offline:%d\n", m_online, m_offline);
        if (m_tracker) {
            const std::string summary = ChangeSummary(m_tracker->Changes());
            std::fprintf(m_err, "Changes: %s\n", summary.empty() ? "none" : summary.c_str());
        }
        std::fflush(m_err);
    }

    // True when the scan differed from the baseline.
    bool Changed()
    {
        std::lock_guard lock(m_mutex);
        return m_tracker && !m_tracker->Changes().empty();
    }

private:
    struct Row
    {
        std::uint32_t address;
        std::size_t order;
        std::string line;
    };

    std::string LineLocked(const HostRecord& record)
    {
        if (!m_tracker) {
            return HeadlessHostLine(record, m_format);
        }
        // Kept per address: asking the tracker would go through every change so far.
        std::string& change = m_changeText[record.ip];
        for (const HostChange& found :
             m_tracker->Answered(HostSnapshot{record.ip, record.mac, record.hostName, record.otherMacs})) {
            change += (change.empty() ? "" : ", ") + std::string(ChangeWord(found.kind));
        }
        return HeadlessHostLine(record, m_format, &change);
    }

    // A line per baseline host that did not answer: its address, old MAC and name.
    void AddGoneRowsLocked()
    {
        for (const HostChange& change : m_tracker->Finished()) {
            HostRecord gone;
            SetField(gone.ip, change.ip, HostRecord::kIpCapacity);
            SetField(gone.mac, change.oldMac, HostRecord::kMacCapacity);
            SetField(gone.hostName, change.oldName.empty() ? std::string("-") : change.oldName,
                     HostRecord::kHostNameCapacity);
            const std::string word(ChangeWord(change.kind));
            m_rows.push_back(
                Row{ParseDottedQuad(gone.ip).value_or(0), m_rows.size(), HeadlessHostLine(gone, m_format, &word)});
        }
    }

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
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - m_started);
        std::string line = ProgressLine(m_steps, m_total, m_online, elapsed);
        // A line longer than the terminal would wrap, and "\r" would no longer
        // return to its start.
        if (m_columns > 1 && line.size() >= m_columns) {
            line.resize(m_columns - 1);
        }
        std::fprintf(m_err, "\r%s\033[K", line.c_str());
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

    CheckedOutput& m_out;
    std::FILE* m_err;
    const OutputFormat m_format;
    const bool m_sorted;
    const bool m_progress;
    const std::uint64_t m_total;
    const std::chrono::steady_clock::time_point m_started;
    std::size_t m_columns = 0; // of the terminal; 0: unknown
    std::mutex m_mutex;
    std::uint64_t m_steps = 0;
    int m_online = 0;
    int m_offline = 0;
    std::vector<Row> m_rows;
    bool m_progressShown = false;
    std::chrono::steady_clock::time_point m_lastProgress{};
    std::atomic<bool> m_finished{false};
    std::optional<ChangeTracker> m_tracker;          // with a baseline only
    std::map<std::string, std::string> m_changeText; // the Change field of each answered address
    const WaitWake m_wake;
};

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

// Blocks SIGINT, SIGTERM and SIGHUP in this thread and in every thread started while
// it lives, so that they reach the scan command through sigtimedwait instead of ending
// the process in the middle of a line: the hosts found are printed and the counts
// said. Once one came, a second one ends the process at once, as a user pressing
// Ctrl-C again expects while the scan drains.
class StopSignals
{
public:
    StopSignals() : m_waiter(pthread_self())
    {
        sigemptyset(&m_stops);
        sigaddset(&m_stops, SIGINT);
        sigaddset(&m_stops, SIGTERM);
        sigaddset(&m_stops, SIGHUP);
        m_signals = m_stops;
        sigaddset(&m_signals, kWakeSignal);
        pthread_sigmask(SIG_BLOCK, &m_signals, &m_previous);
    }
    ~StopSignals()
    {
        // A wake nobody waited for any more would end the process once unblocked.
        sigset_t wake;
        sigemptyset(&wake);
        sigaddset(&wake, kWakeSignal);
        const timespec now{};
        while (sigtimedwait(&wake, nullptr, &now) > 0) {
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The stop signal that came within the time (milliseconds::max(): without a limit),
    // 0 for a wake or when the time is up.
    int Wait(std::chrono::milliseconds timeout)
    {
        int signal = -1;
        if (timeout == std::chrono::milliseconds::max()) {
            signal = sigwaitinfo(&m_signals, nullptr);
        } else {
            timespec wait{};
            wait.tv_sec = static_cast<time_t>(timeout.count() / 1000);
            wait.tv_nsec = static_cast<long>(timeout.count() % 1000) * 1000000L;
            signal = sigtimedwait(&m_signals, nullptr, &wait);
        }
        if (signal <= 0 || signal == kWakeSignal) {
            return 0;
        }
        if (!m_watching) {
            m_watching = true;
            // The signals stay blocked in every thread: this one takes the next stop.
            std::thread([signals = m_stops] {
                int second = 0;
                while (sigwait(&signals, &second) != 0) {
                }
                std::fflush(stdout);
                _exit(128 + second);
            }).detach();
        }
        return signal;
    }

    // Ends the waiting thread's Wait (any thread): the signal waits for it if needed.
    void Wake() const { pthread_kill(m_waiter, kWakeSignal); }

private:
    sigset_t m_stops{};   // SIGINT, SIGTERM, SIGHUP
    sigset_t m_signals{}; // those and the wake
    sigset_t m_previous{};
    bool m_watching = false;
    pthread_t m_waiter;
};

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

enum class OptionRead
{
    NotAnOption, // a range
    Flag,        // an option without a value
    WithValue,   // an option that took the next argument
    Error,
};

std::optional<OutputFormat> ParseFormat(std::string_view text)
{
    if (text == "tsv") {
        return OutputFormat::Tsv;
    }
    if (text == "csv") {
        return OutputFormat::Csv;
    }
    if (text == "json") {
        return OutputFormat::Json;
    }
    return std::nullopt;
}

// "netbios,mdns,dns" in any order and choice, or "none".
std::optional<NameSourceChoice> ParseNameSources(std::string_view text)
{
    NameSourceChoice choice{false, false, false};
    if (text == "none") {
        return choice;
    }
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view source = text.substr(0, comma);
        if (source == "netbios") {
            choice.netbios = true;
        } else if (source == "mdns") {
            choice.mdns = true;
        } else if (source == "dns") {
            choice.dns = true;
        } else {
            return std::nullopt;
        }
        if (comma == std::string_view::npos) {
            return choice;
        }
        text.remove_prefix(comma + 1);
    }
}

// The options that take a value: --threads, --timeout, --names, --format.
OptionRead ReadValueOption(std::string_view option, std::string_view value, HeadlessScanOptions& options,
                           std::string& error)
{
    if (option == "--threads") {
        options.threads = ParseCount(value, kMaxThreadsSetting);
        if (!options.threads) {
            error = "--threads: '" + std::string(value) + "' is not a number from " + std::to_string(kMinThreads) +
                    " to " + std::to_string(kMaxThreadsSetting);
            return OptionRead::Error;
        }
    } else if (option == "--timeout") {
        options.timeoutMs = ParseCount(value, kMaxTimeoutMs);
        if (!options.timeoutMs || *options.timeoutMs < kMinTimeoutMs) {
            options.timeoutMs.reset();
            error = "--timeout: '" + std::string(value) + "' is not a number of milliseconds from " +
                    std::to_string(kMinTimeoutMs) + " to " + std::to_string(kMaxTimeoutMs);
            return OptionRead::Error;
        }
    } else if (option == "--names") {
        options.names = ParseNameSources(value);
        if (!options.names) {
            error = "--names: '" + std::string(value) + "' is not a list of netbios, mdns and dns, nor none";
            return OptionRead::Error;
        }
    } else {
        const auto format = ParseFormat(value);
        if (!format) {
            error = "--format: '" + std::string(value) + "' is none of tsv, csv, json";
            return OptionRead::Error;
        }
        options.format = *format;
    }
    return OptionRead::WithValue;
}

OptionRead ReadScanOption(std::string_view argument, const char* next, HeadlessScanOptions& options, std::string& error)
{
    if (argument == "--csv") {
        options.format = OutputFormat::Csv;
        return OptionRead::Flag;
    }
    if (argument == "--header" || argument == "--sorted") {
        (argument == "--header" ? options.header : options.sorted) = true;
        return OptionRead::Flag;
    }
    if (argument == "--against") {
        if (next == nullptr || *next == '\0') {
            error = "--against needs the name of a stored result or a file of an earlier --scan";
            return OptionRead::Error;
        }
        options.against = next;
        return OptionRead::WithValue;
    }
    if (argument == "--threads" || argument == "--timeout" || argument == "--format" || argument == "--names") {
        if (next == nullptr) {
            error = std::string(argument) + " needs a value";
            return OptionRead::Error;
        }
        return ReadValueOption(argument, next, options, error);
    }
    if (argument.size() > 1 && argument[0] == '-') {
        error = "unknown option '" + std::string(argument) + "'";
        return OptionRead::Error;
    }
    return OptionRead::NotAnOption;
}

// The ranges in the order given, each address once (what an earlier range covers is
// left out of a later one); the cap holds for the whole run.
bool ReadRanges(const std::vector<std::string>& positional, std::vector<ScanRange>& ranges, std::string& error)
{
    std::vector<AddressSpan> spans;
    for (std::size_t at = 0; at < positional.size();) {
        AddressSpan span;
        if (!ReadRangeArgument(positional, at, false, span, error)) {
            return false;
        }
        spans.push_back(span);
    }
    spans = WithoutRepeats(spans);
    if (AddressCount(spans) > kMaxRangeAddresses) {
        error = "the ranges hold " + std::to_string(AddressCount(spans)) + " addresses together, more than " +
                std::to_string(kMaxRangeAddresses) + "; give smaller ones";
        return false;
    }
    for (const AddressSpan& span : spans) {
        ranges.push_back(ScanRange{FormatIpv4(span.first), FormatIpv4(span.last)});
    }
    return true;
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

HeadlessParse ParseHeadlessScanArgs(int argc, const char* const* argv, HeadlessScanOptions& options, std::string& error)
{
    if (argc < 2 || std::string_view(argv[1]) != "--scan") {
        return HeadlessParse::NotAScan;
    }
    options = HeadlessScanOptions{};
    std::vector<std::string> positional;
    for (int i = 2; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        switch (ReadScanOption(argument, value, options, error)) {
        case OptionRead::Flag:
            continue;
        case OptionRead::WithValue:
            ++i;
            continue;
        case OptionRead::Error:
            return HeadlessParse::Error;
        case OptionRead::NotAnOption:
            break;
        }
        positional.emplace_back(argument);
    }
    if (!ReadRanges(positional, options.ranges, error)) {
        return HeadlessParse::Error;
    }
    return HeadlessParse::Scan;
}

std::string HeadlessHeaderLine(OutputFormat format, bool withChange)
{
    if (format == OutputFormat::Json) {
        return {};
    }
    std::vector<std::string> fields(std::begin(kColumnNames), std::end(kColumnNames));
    if (withChange) {
        fields.emplace_back(kChangeColumnName);
    }
    return JoinLine(fields, format);
}

std::string HeadlessHostLine(const HostRecord& record, OutputFormat format, const std::string* change)
{
    const HostInventory& inventory = record.inventory;
    std::vector<std::string> fields = {
        record.ip,          record.mac,       record.hostName,         inventory.cpu,
        inventory.memoryMb, inventory.shares, inventory.systemVersion, inventory.adapterSpeed,
        inventory.vendor};
    if (change != nullptr) {
        fields.push_back(*change);
    }
    std::string line = JoinLine(fields, format);
    if (format == OutputFormat::Json) {
        line.resize(line.size() - 2); // the object's closing brace and the line feed
        line += "," + JsonNames(record.names) + "}\n";
    }
    return line;
}

std::string ProgressLine(std::uint64_t done, std::uint64_t total, int found, std::chrono::seconds elapsed)
{
    constexpr std::uint64_t kBarWidth = 20;
    const std::uint64_t shown = std::min(done, total);
    const std::uint64_t filled = total == 0 ? kBarWidth : shown * kBarWidth / total;
    std::string line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] ";
    line += std::to_string(shown) + "/" + std::to_string(total) + " addresses, " + std::to_string(found) +
            (found == 1 ? " host" : " hosts") + ", " + Duration(elapsed) + " elapsed";
    if (shown > 0 && shown < total) {
        const auto rest = std::chrono::seconds(static_cast<long long>(
            static_cast<double>(elapsed.count()) * static_cast<double>(total - shown) / static_cast<double>(shown)));
        line += ", about " + Duration(rest) + " left";
    }
    return line;
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
    switch (ParseHeadlessScanArgs(argc, argv, options, error)) {
    case HeadlessParse::NotAScan:
        return -1;
    case HeadlessParse::Error:
        std::fprintf(stderr,
                     "tessvale --scan: %s\n"
                     "usage: tessvale --scan [RANGE]... [--threads N] [--timeout MS] [--format tsv|csv|json]\n"
                     "                       [--names LIST] [--header] [--sorted] [--against NAME|FILE]\n"
                     "Try 'tessvale --help' for more information.\n",
                     error.c_str());
        return 2;
    case HeadlessParse::Scan:
        break;
    }
    if (options.ranges.empty()) {
        const auto range = FirstAdapterRange();
        if (!range) {
            std::fprintf(stderr, "tessvale --scan: no local IPv4 adapter gives a range; give one\n");
            return 2;
        }
        options.ranges.push_back(ScanRange{FormatIpv4(range->start), FormatIpv4(range->end)});
    }
    options.progress = ::isatty(::fileno(stderr)) == 1;

    ConfigStore store;
    if (options.against) {
        LoadStoreForBaseline(store, ConfigFilePath(), *options.against);
    } else {
        store.Load(ConfigFilePath());
    }
    for (const std::string& problem : ConfigFileProblems(store)) {
        std::fprintf(stderr, "tessvale --scan: %s\n", problem.c_str());
    }
    if (options.against) {
        std::vector<HostSnapshot> baseline;
        std::string warning;
        if (!LoadBaseline(store, *options.against, baseline, error, &warning)) {
            std::fprintf(stderr, "tessvale --scan: --against: %s\n", error.c_str());
            return 2;
        }
        if (!warning.empty()) {
            std::fprintf(stderr, "tessvale --scan: --against: %s\n", warning.c_str());
        }
        options.baseline = std::move(baseline);
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
