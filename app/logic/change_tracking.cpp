#include "app/logic/change_tracking.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "app/logic/table_writer.h"
#include "common/text_util.h"
#include "common/unique_fd.h"
#include "common/write_all.h"
#include "store/host_columns.h"

namespace tessvale {
namespace {

// A MAC that says nothing: not learned ("-", empty) or the all-zero placeholder.
bool UnknownMac(const std::string& mac)
{
    return mac.empty() || mac == "-" || mac == "00:00:00:00:00:00";
}

// A name that says nothing: not learned.
bool UnknownName(const std::string& name)
{
    return name.empty() || name == "-";
}

} // namespace

std::string_view ChangeWord(HostChangeKind kind)
{
    switch (kind) {
    case HostChangeKind::New:
        return "new";
    case HostChangeKind::Gone:
        return "gone";
    case HostChangeKind::MacChanged:
        return "MAC changed";
    case HostChangeKind::NameChanged:
        return "name changed";
    case HostChangeKind::Conflict:
        return "conflict";
    }
    return {};
}

ChangeTracker::ChangeTracker(const std::vector<HostSnapshot>& baseline)
{
    for (HostSnapshot host : baseline) {
        host.ip = Trim(host.ip);
        host.mac = CanonicalMac(host.mac);
        if (!host.ip.empty()) {
            m_baseline.insert_or_assign(host.ip, std::move(host));
        }
    }
}

void ChangeTracker::Record(std::vector<HostChange>& out, HostChange change)
{
    out.push_back(change);
    m_changes.push_back(std::move(change));
}

std::vector<HostChange> ChangeTracker::Answered(const HostSnapshot& host)
{
    std::vector<HostChange> found;
    const std::string ip = Trim(host.ip);
    const std::string mac = CanonicalMac(host.mac);
    if (ip.empty()) {
        return found;
    }
    const auto seen = m_seen.find(ip);
    if (seen != m_seen.end()) {
        // A second answer for the address in this scan.
        if (!seen->second.conflictReported && !UnknownMac(mac) && !UnknownMac(seen->second.mac) &&
            mac != seen->second.mac) {
            seen->second.conflictReported = true;
            Record(found, {HostChangeKind::Conflict, ip, mac, seen->second.mac, host.name, seen->second.name});
        }
        return found;
    }
    Seen& entry = m_seen[ip];
    entry.mac = mac;
    entry.name = host.name;
    const auto old = m_baseline.find(ip);
    if (old == m_baseline.end()) {
        Record(found, {HostChangeKind::New, ip, mac, {}, host.name, {}});
    } else {
        const HostSnapshot& before = old->second;
        // When the baseline's MAC is among those that answered, the address is in
        // conflict, not taken over: which answer came first is chance.
        const bool stillAnswers =
            std::any_of(host.otherMacs.begin(), host.otherMacs.end(),
                        [&](const std::string& other) { return CanonicalMac(other) == before.mac; });
        if (!UnknownMac(mac) && !UnknownMac(before.mac) && mac != before.mac && !stillAnswers) {
            Record(found, {HostChangeKind::MacChanged, ip, mac, before.mac, host.name, before.name});
        }
        if (!UnknownName(host.name) && !UnknownName(before.name) && Trim(host.name) != Trim(before.name)) {
            Record(found, {HostChangeKind::NameChanged, ip, mac, before.mac, host.name, before.name});
        }
    }
    for (const std::string& other : host.otherMacs) {
        const std::string otherMac = CanonicalMac(other);
        if (!entry.conflictReported && !UnknownMac(otherMac) && !UnknownMac(mac) && otherMac != mac) {
            entry.conflictReported = true;
            Record(found, {HostChangeKind::Conflict, ip, mac, otherMac, host.name, {}});
        }
    }
    return found;
}

std::vector<HostChange> ChangeTracker::Finished()
{
    std::vector<HostChange> found;
    if (m_finished) {
        return found;
    }
    m_finished = true;
    for (const auto& [ip, host] : m_baseline) {
        if (!m_seen.contains(ip)) {
            Record(found, {HostChangeKind::Gone, ip, {}, host.mac, host.name, host.name});
        }
    }
    return found;
}

std::string ChangeTracker::ChangeTextOf(const std::string& ip) const
{
    std::string text;
    const std::string key = Trim(ip);
    for (const HostChange& change : m_changes) {
        if (change.ip == key) {
            AppendChangeWord(text, change.kind);
        }
    }
    return text;
}

void AppendChangeWord(std::string& text, HostChangeKind kind)
{
    if (!text.empty()) {
        text += ", ";
    }
    text += ChangeWord(kind);
}

ChangeCounts CountChanges(const std::vector<HostChange>& changes)
{
    ChangeCounts counts;
    std::set<std::string> changedHosts;
    for (const HostChange& change : changes) {
        switch (change.kind) {
        case HostChangeKind::New:
            ++counts.added;
            break;
        case HostChangeKind::Gone:
            ++counts.gone;
            break;
        case HostChangeKind::MacChanged:
        case HostChangeKind::NameChanged:
            // A host with another MAC and another name is one changed host.
            if (changedHosts.insert(Trim(change.ip)).second) {
                ++counts.changed;
            }
            break;
        case HostChangeKind::Conflict:
            ++counts.conflicts;
            break;
        }
    }
    return counts;
}

std::string ChangeSummary(const std::vector<HostChange>& changes)
{
    const ChangeCounts counts = CountChanges(changes);
    std::string summary;
    const auto add = [&summary](int count, const char* word) {
        if (count > 0) {
            summary += (summary.empty() ? "" : ", ") + std::to_string(count) + " " + word;
        }
    };
    add(counts.added, "new");
    add(counts.gone, "gone");
    add(counts.changed, "changed");
    add(counts.conflicts, counts.conflicts == 1 ? "conflict" : "conflicts");
    return summary;
}

std::string FormatChangeLines(const std::vector<HostChange>& changes, const std::string& time,
                              const std::map<std::string, std::string>& commentOf, bool withHeader)
{
    std::string text;
    if (withHeader) {
        const std::array<TableCell, 7> header = {{{{}, "time"},
                                                  {{}, ColumnOf(kColumnIp).name},
                                                  {{}, ColumnOf(kColumnMac).name},
                                                  {{}, "old MAC"},
                                                  {{}, "name"},
                                                  {{}, "change"},
                                                  {{}, "comment"}}};
        text += TableLine(header, TableForm::ChangeLogCsv);
    }
    for (const HostChange& change : changes) {
        const std::string& owner = change.mac.empty() ? change.oldMac : change.mac;
        const auto comment = commentOf.find(CanonicalMac(owner));
        const std::array<TableCell, 7> cells = {
            {{{}, time},
             {{}, change.ip},
             {{}, change.mac},
             {{}, change.oldMac},
             {{}, change.name},
             {{}, ChangeWord(change.kind)},
             {{}, comment != commentOf.end() ? comment->second : std::string_view()}}};
        text += TableLine(cells, TableForm::ChangeLogCsv);
    }
    return text;
}

bool AppendChangeLog(const std::string& path, const std::vector<HostChange>& changes, const std::string& time,
                     const std::map<std::string, std::string>& commentOf, std::uint64_t rotateBytes)
{
    if (changes.empty()) {
        return true;
    }
    struct stat status
    {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::uint64_t>(status.st_size) >= rotateBytes) {
        std::error_code error;
        std::filesystem::rename(path, path + ".1", error);
        if (error) {
            return false;
        }
    }
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.Valid()) {
        return false;
    }
    struct stat opened
    {};
    if (::fstat(fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
        return false;
    }
    const std::string lines = FormatChangeLines(changes, time, commentOf, opened.st_size == 0);
    const bool written = WriteAll(fd.Get(), lines.data(), lines.size());
    return fd.Close() && written;
}

} // namespace tessvale
