// The rows of the main window's result list and the rules that keep them in step with
// the scan: insertion in address order, updates in place, silent marks, the counters of
// the current scan and the sort order of each column. No Qt: the window mirrors it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/logic/change_tracking.h"
#include "app/logic/store_scan.h"
#include "scan/address_forms.h"
#include "scan/host_record.h"
#include "store/config_store.h"
#include "store/host_columns.h"

namespace tessvale {

// How the status icon of a row is tinted after a comparison.
enum class ChangeTint : int
{
    None = 0,
    New,
    Changed,
    Conflict,
    Gone,
};

// Which rows the list shows.
enum class ListFilter : int
{
    All = 0,
    Answered,
    Changed,
};

// Images of the status column.
enum StatusImage : int
{
    kImageAnswered = 0,
    kImageSilent = 1,
};

struct ResultRow
{
    int image = kImageAnswered;
    std::array<std::string, kColumnCount> text; // column 0 stays empty
    std::uint32_t address = 0;                  // host order; 0 when the IP text is no address
    std::string change;                         // "new", "MAC changed, name changed", ...; empty when unchanged
    ChangeTint tint = ChangeTint::None;
    HostNames names; // the names by source and the services of the last answer (not a column, not stored)

    const std::string& Ip() const { return text[kColumnIp]; }
};

class ResultList
{
public:
    // An answering host: updates the row with the same IP text or inserts a new one in
    // numeric address order. Counts one online host. Returns the row index.
    struct Change
    {
        int row = -1;
        bool inserted = false;
    };
    Change HostFound(const HostRecord& record);
    // Where HostFound would put a record with this IP, without changing anything: the
    // row with that IP, else the place in address order.
    Change Placement(const std::string& ip) const;
    // The same for a whole record: a new row goes where the sort of the last header
    // click puts it (address order before any click), so the order holds while rows arrive.
    Change Placement(const HostRecord& record) const;
    // The same for a host of the baseline that MarkGone lists.
    Change Placement(const HostSnapshot& host) const;

    // A silent address: every row with that IP text turns silent and counts offline.
    // Returns the indices of the rows that changed their image.
    std::vector<int> HostSilent(const std::string& ip);

    // Appends a stored host as answered (filling the list from a stored result).
    void AppendStored(const StoredHost& host);

    void Clear();

    // The comparison's marks: every row unchanged again.
    void ClearChanges();
    // Sets the change text and tint of the row with this IP; its index, or -1 when no
    // row has that IP.
    int MarkChange(const std::string& ip, const std::string& text, ChangeTint tint);
    // A host of the baseline that did not answer: its row is marked gone (and silent);
    // without a row, one is inserted in address order from the baseline's texts.
    Change MarkGone(const HostSnapshot& host);
    void RemoveRow(int row);
    // Where an updated row belongs in the order of the last header click: its index
    // after MoveRow(row, SortedIndexOf(row)); the row's own index when it is in place
    // or no column is sorted.
    int SortedIndexOf(int row) const;
    // Moves a row so that it stands at index `to` afterwards.
    void MoveRow(int row, int to);

    void ResetCounters();
    int Online() const { return m_online; }
    int Offline() const { return m_offline; }

    int Count() const { return static_cast<int>(m_rows.size()); }
    const ResultRow& Row(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }
    const std::vector<ResultRow>& Rows() const { return m_rows; }

    // A click on a column header: the same column again flips the direction, another
    // column sorts ascending. Equal rows keep their relative order.
    void SortByColumn(int column);
    bool SortAscending() const { return m_sortAscending; }
    int SortColumn() const { return m_sortColumn; }

    // Compares two rows by one column in ascending order: negative, zero or positive.
    static int Compare(const ResultRow& a, const ResultRow& b, int column);

    // Whether any row lacks a host name / system information ("-", any case).
    bool AnyHostNameMissing() const;
    bool AnyCpuMissing() const;

    // The rows as the store takes them, top to bottom.
    std::vector<StoredHost> ToStoredHosts() const;

private:
    // Where a new row goes in the current order.
    int InsertionIndex(const ResultRow& row) const;
    static ResultRow GoneRow(const HostSnapshot& host);

    std::vector<ResultRow> m_rows;
    int m_online = 0;
    int m_offline = 0;
    int m_sortColumn = -1;
    bool m_sortAscending = true;
};

// Whether a row passes the list's filter: Answered keeps the rows that answered,
// Changed those with a change (gone ones included).
bool RowPasses(const ResultRow& row, ListFilter filter);

// Whether a row holds the typed text (any case) in its IP, MAC, host name, vendor or
// change; a MAC also matches without its separators ("0011aa"). An empty text matches.
bool RowMatchesText(const ResultRow& row, std::string_view text);

// The strongest tint of a set of changes of one address: conflict, then MAC or name
// changed, then new, then gone.
ChangeTint TintOf(const std::vector<HostChange>& changes);

// A host as the comparison sees it, from an answer or from a stored result.
HostSnapshot SnapshotOf(const HostRecord& record);
std::vector<HostSnapshot> SnapshotsOf(const std::vector<StoredHost>& hosts);

// The nine column texts of a row as a host record (the properties dialog's source).
HostRecord RowToRecord(const ResultRow& row);

} // namespace tessvale
