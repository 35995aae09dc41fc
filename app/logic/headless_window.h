// The window of a scan without a display: the lines of --scan as the hosts arrive (or
// in address order at the end), the progress bar, the comparison with a baseline and
// the counts. No Qt.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/logic/change_tracking.h"
#include "app/logic/headless_scan.h"
#include "common/checked_output.h"
#include "scan/scan_window.h"

namespace tessvale {

// Its calls arrive on the workers' threads and are handled there at once, serialised
// by one lock; every line is written whole. One window serves every range of the run:
// its counts and the progress bar cover the whole run.
class HeadlessWindow : public ScanWindow
{
public:
    // baseline: the hosts to compare with (those of the scanned ranges), or none.
    HeadlessWindow(CheckedOutput& out, std::FILE* err, const HeadlessScanOptions& options, std::uint64_t total,
                   const std::vector<HostSnapshot>* baseline, WaitWake wake);

    // Each range's own count is known beforehand; a new range starts unfinished.
    void ScanStarted(int) override { m_finished = false; }
    void ScanStep() override;
    void HostFound(const HostRecord& record) override;
    void ScanFinished() override;
    void ScanAddress(const std::string&) override {}
    void HostSilent(const std::string&) override;
    void HostsSilent(std::span<const std::uint32_t> addresses) override;
    void PostStopCommand() override {}
    std::string LookupText() override { return {}; }

    bool Finished() const { return m_finished.load(); }
    // Standard output could not be written: the scan ends, as nobody gets its lines.
    bool OutputFailed() const { return m_out.Failed(); }
    // A line of its own on the error stream, between progress bars.
    void Note(const std::string& text);
    int Online();

    // After the last range: the baseline's silent hosts when the scan was complete,
    // the rows kept for address order, then the counts.
    void WriteEnd(bool complete);

    // True when the scan differed from the baseline.
    bool Changed();

private:
    struct Row
    {
        std::uint32_t address;
        std::size_t order;
        std::string line;
    };

    std::string LineLocked(const HostRecord& record);
    // A line per baseline host that did not answer: its address, old MAC and name.
    void AddGoneRowsLocked();
    void ShowProgressLocked(bool force);
    void ClearProgressLocked();
    // The error stream is for the user's eyes: when it fails, nothing else could tell
    // them, and the table and the exit status do not depend on it. Its first failure
    // is kept in m_err, which writes nothing more then.
    void Say(std::string_view text) { static_cast<void>(m_err.Write(text)); }

    CheckedOutput& m_out;
    CheckedOutput m_err;
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

} // namespace tessvale
