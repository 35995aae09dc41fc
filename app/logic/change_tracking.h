// What changed on the network since a baseline: hosts new, gone, with another MAC or
// another name, and addresses that two MACs answered for in one scan. No Qt.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_util.h" // CanonicalMac

namespace tessvale {

// A host as the comparison sees it: its address, MAC and NetBIOS name, and the other
// MACs that answered for the same address in the same scan (a second ARP answer, or a
// NetBIOS answer that disagrees with ARP).
struct HostSnapshot
{
    std::string ip, mac, name;
    std::vector<std::string> otherMacs;
};

enum class HostChangeKind
{
    New,         // answered now, not in the baseline
    Gone,        // in the baseline, silent now
    MacChanged,  // answered with another MAC than in the baseline
    NameChanged, // answered with another name than in the baseline
    Conflict,    // two different MACs answered for the address in this scan
};

struct HostChange
{
    HostChangeKind kind = HostChangeKind::New;
    std::string ip, mac, oldMac, name, oldName;
};

// The short English word of a change, as the list's "Change" column and the exports
// write it ("new", "gone", "MAC changed", "name changed", "conflict").
std::string_view ChangeWord(HostChangeKind kind);

// Compares one scan with a baseline, host by host as the answers arrive. Addresses are
// compared as text after trimming; MACs without regard to case or separator style.
class ChangeTracker
{
public:
    explicit ChangeTracker(const std::vector<HostSnapshot>& baseline);

    // An answering host of the scan; the changes it brings (none for an unchanged
    // host). A second answer for the same address is compared with the first: another
    // MAC is a conflict; nothing is reported twice.
    std::vector<HostChange> Answered(const HostSnapshot& host);

    // The scan ended: the baseline's hosts that did not answer are gone. Called once.
    std::vector<HostChange> Finished();

    // Every change found so far, in the order found.
    const std::vector<HostChange>& Changes() const { return m_changes; }

    // The changes of one address joined for the list's column ("MAC changed, name
    // changed"); empty for an unchanged or unknown address.
    std::string ChangeTextOf(const std::string& ip) const;

private:
    struct Seen
    {
        std::string mac, name;
        bool conflictReported = false;
    };
    void Record(std::vector<HostChange>& out, HostChange change);

    std::map<std::string, HostSnapshot> m_baseline;
    std::map<std::string, Seen> m_seen;
    std::vector<HostChange> m_changes;
    bool m_finished = false;
};

// Appends a change's word to a list of them ("MAC changed, name changed"), as the
// "Change" column shows the changes of one host.
void AppendChangeWord(std::string& text, HostChangeKind kind);

// The changes counted as the summaries say them: a host whose MAC and name both
// changed is one changed host; every other change counts once.
struct ChangeCounts
{
    int added = 0;
    int gone = 0;
    int changed = 0;
    int conflicts = 0;

    bool operator==(const ChangeCounts&) const = default;
};
ChangeCounts CountChanges(const std::vector<HostChange>& changes);

// "2 new, 1 gone, 3 changed, 1 conflict": the counts that are not zero, in that order;
// empty when nothing changed.
std::string ChangeSummary(const std::vector<HostChange>& changes);

// The change list as CSV: a header line "time,IP,MAC,old MAC,name,change,comment", then a
// line per change, every field quoted and safe for a spreadsheet, CR LF line ends.
// `time` is written as it is given (ISO 8601 local time); `commentOf` gives a MAC's note.
std::string FormatChangeLines(const std::vector<HostChange>& changes, const std::string& time,
                              const std::map<std::string, std::string>& commentOf, bool withHeader);

// Appends change lines to the change log at `path` (created 0600 with its header when
// missing). When the log has reached `rotateBytes`, it is renamed to `path` + ".1"
// (replacing an older one) and a new log is started. False when it cannot be written.
inline constexpr std::uint64_t kChangeLogRotateBytes = 10ULL * 1024 * 1024;
bool AppendChangeLog(const std::string& path, const std::vector<HostChange>& changes, const std::string& time,
                     const std::map<std::string, std::string>& commentOf,
                     std::uint64_t rotateBytes = kChangeLogRotateBytes);

} // namespace tessvale
