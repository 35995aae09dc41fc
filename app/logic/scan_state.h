// Which scan is running and which commands that allows: the state of the main window's
// range scan, lookup scan and auto-scan, and the decisions taken at the end of a scan.
// No Qt: the window applies the enabling it computes.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/logic/change_tracking.h"

namespace tessvale {

// Enabled state of the three scan commands of the toolbar. The result chooser, the
// lookup button and the Start button follow `start`.
struct ScanControls
{
    bool start = true;
    bool autoScan = true;
    bool stop = false;

    bool operator==(const ScanControls&) const = default;
};

// What the lookup command does with the text of the lookup box.
enum class LookupAction
{
    Nothing,     // empty
    Invalid,     // neither a dotted address nor a MAC: the user is told what to enter
    ScanAddress, // scan that one address
    AskForRange, // a MAC search needs the range: "Please enter the IP range"
    SearchMac,   // scan the range for the host with that MAC (through Start)
};

// What the window does when a scan has finished.
struct EndOfScan
{
    ScanControls controls;
    bool offerSave = false; // show the save prompt, then the chart question
};

class ScanState
{
public:
    // The "AutoscanSpanSeconds" setting (a number of minutes).
    void SetAutoscanSpan(const std::string& minutes) { m_autoscanSpan = minutes; }
    // True when the setting is neither empty nor "0".
    bool AutoScanConfigured() const;
    // The period of the auto-scan timer in milliseconds.
    long long AutoScanPeriodMs() const;

    bool RangeScan() const { return m_rangeScan; }
    bool LookupScan() const { return m_lookupScan; }
    bool AutoScan() const { return m_autoScan; }
    bool Busy() const { return m_rangeScan || m_lookupScan || m_autoScan; }

    // The toolbar state after the last change.
    const ScanControls& Controls() const { return m_controls; }
    // Sets the three commands; AutoScan only when the setting allows it.
    void EnableControls(bool start, bool autoScan, bool stop);
    // The state at the window's start: Start on, Stop off, AutoScan as the setting allows.
    void Initialise();
    // After the settings dialog: AutoScan is available exactly when no auto-scan runs
    // and the setting allows it.
    void AfterSettings();

    // Start: returns false (nothing happens) when a range end is blank. Otherwise marks
    // the range scan; the caller resets the counters and starts the scan with the MAC
    // search flag MacSearch().
    bool Start(bool rangeComplete);
    bool MacSearch() const { return m_lookupScan; }

    // Stop: every scan flag is cleared and the scan commands are available again.
    void Stop();

    // The lookup command with the box's text; marks the lookup scan when one starts.
    // A MAC is six hexadecimal pairs separated by ':' or '-', or 12 bare digits.
    LookupAction Lookup(const std::string& text, bool rangeComplete);

    // Rescan of one row's address.
    void Rescan();

    // AutoScan: true when the repetition starts (the caller then sends Start and
    // starts the timer).
    bool StartAutoScan(bool rangeComplete);

    // The scan finished; rowCount is the number of rows in the list.
    EndOfScan Finished(int rowCount);

    // Menu enabling (checked when a menu opens).
    bool MenuStartEnabled() const { return !Busy(); }
    bool MenuRescanEnabled() const { return !Busy(); }
    bool MenuStopEnabled() const { return Busy(); }
    bool MenuAutoScanEnabled() const;

private:
    std::string m_autoscanSpan = "0";
    bool m_rangeScan = false;
    bool m_lookupScan = false;
    bool m_autoScan = false;
    ScanControls m_controls;
};

// The comparison of the window's range scans with their baseline: the stored result
// shown when the scan started, else the previous complete scan of the same range in this
// run. An AutoScan repetition after the first compares with the one before it.
class ChangeSession
{
public:
    // A range scan of `range` starts. `stored` holds the hosts of the stored result the
    // chooser shows (none when it shows an adapter); `repetition` is true for an
    // AutoScan repetition after the first. True when the scan has a baseline.
    bool Begin(const std::string& range, const std::optional<std::vector<HostSnapshot>>& stored, bool repetition);
    // A scan without comparison (a lookup, a rescan of one row) starts.
    void BeginWithout();
    bool Comparing() const { return m_tracker.has_value(); }

    // An answering host; the changes it brings (none without a baseline).
    std::vector<HostChange> Answered(const HostSnapshot& host);
    // The scan is complete: the baseline's silent hosts come back as gone, and the
    // scan's answers become the range's previous scan.
    std::vector<HostChange> Finished();
    // The scan was stopped: it is neither finished nor a baseline for later scans.
    void Abandon();

    // The changes of the last compared scan, in the order found.
    const std::vector<HostChange>& Changes() const { return m_changes; }
    // The changes of one address in the scan running or finished last.
    std::vector<HostChange> ChangesOf(const std::string& ip) const;
    std::string ChangeTextOf(const std::string& ip) const;

private:
    std::optional<ChangeTracker> m_tracker;
    std::map<std::string, std::vector<HostSnapshot>> m_previous; // the last complete scan of each range
    std::string m_range;
    std::vector<HostSnapshot> m_answered;
    std::set<std::string> m_answeredIps;
    std::vector<HostChange> m_changes;
    bool m_running = false;
};

} // namespace tessvale
