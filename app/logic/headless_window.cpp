#include "app/logic/headless_window.h"

#include <algorithm>

#include <sys/ioctl.h>
#include <unistd.h>

#include "scan/address_forms.h"
#include "scan/host_record.h"

namespace tessvale {
namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// At least two digits.
std::string TwoDigits(long long value)
{
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// "mm:ss", or "h:mm:ss" from an hour on.
std::string Duration(std::chrono::seconds duration)
{
    const long long total = duration.count() < 0 ? 0 : static_cast<long long>(duration.count());
    const std::string minutesAndSeconds = TwoDigits(total / 60 % 60) + ":" + TwoDigits(total % 60);
    if (total >= 3600) {
        return std::to_string(total / 3600) + ":" + minutesAndSeconds;
    }
    return TwoDigits(total / 60) + ":" + TwoDigits(total % 60);
}

} // namespace

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

HeadlessWindow::HeadlessWindow(CheckedOutput& out, std::FILE* err, const HeadlessScanOptions& options,
                               std::uint64_t total, const std::vector<HostSnapshot>* baseline, WaitWake wake)
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

void HeadlessWindow::ScanStep()
{
    std::lock_guard lock(m_mutex);
    ++m_steps;
    ShowProgressLocked(false);
}

void HeadlessWindow::HostFound(const HostRecord& record)
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

void HeadlessWindow::ScanFinished()
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

void HeadlessWindow::HostSilent(const std::string&)
{
    std::lock_guard lock(m_mutex);
    ++m_offline;
}

void HeadlessWindow::HostsSilent(std::span<const std::uint32_t> addresses)
{
    std::lock_guard lock(m_mutex);
    m_steps += addresses.size();
    m_offline += static_cast<int>(addresses.size());
    ShowProgressLocked(false);
}

void HeadlessWindow::Note(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    ClearProgressLocked();
    Say(text + "\n");
}

int HeadlessWindow::Online()
{
    std::lock_guard lock(m_mutex);
    return m_online;
}

void HeadlessWindow::WriteEnd(bool complete)
{
    std::lock_guard lock(m_mutex);
    ClearProgressLocked();
    if (m_tracker && complete) {
        AddGoneRowsLocked();
    }
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) { return a.address < b.address; });
    for (const Row& row : m_rows) {
        if (!m_out.Write(row.line)) {
            break;
        }
    }
    if (m_out.Failed()) {
        // The write error is all there is to say; a reader that went away wants nothing.
        return;
    }
    std::string counts = "Online:" + std::to_string(m_online) + "/Offline:" + std::to_string(m_offline) + "\n";
    if (m_tracker) {
        const std::string summary = ChangeSummary(m_tracker->Changes());
        counts += "Changes: " + (summary.empty() ? std::string("none") : summary) + "\n";
    }
    Say(counts);
}

bool HeadlessWindow::Changed()
{
    std::lock_guard lock(m_mutex);
    return m_tracker && !m_tracker->Changes().empty();
}

std::string HeadlessWindow::LineLocked(const HostRecord& record)
{
    if (!m_tracker) {
        return HeadlessHostLine(record, m_format);
    }
    // Kept per address: asking the tracker would go through every change so far.
    std::string& change = m_changeText[record.ip];
    for (const HostChange& found :
         m_tracker->Answered(HostSnapshot{record.ip, record.mac, record.hostName, record.otherMacs})) {
        AppendChangeWord(change, found.kind);
    }
    return HeadlessHostLine(record, m_format, &change);
}

void HeadlessWindow::AddGoneRowsLocked()
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

void HeadlessWindow::ShowProgressLocked(bool force)
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
    Say("\r" + line + "\033[K");
    m_progressShown = true;
}

void HeadlessWindow::ClearProgressLocked()
{
    if (m_progressShown) {
        Say("\r\033[K");
        m_progressShown = false;
    }
}

} // namespace tessvale
