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

#include "scan/address_forms.h"
#include "scan/host_record.h"
#include "store/config_store.h"

namespace tessvale {

enum ListColumn : int
{
    kColumnStatus = 0,
    kColumnIp,
    kColumnMac,
    kColumnHostName,
    kColumnCpu,
    kColumnRam,
    kColumnShareFile,
    kColumnSystemVer,
    kColumnNetCardType,
    kColumnNetCardVendor,
    kColumnCount
};

// Images of the status column.
enum StatusImage : int
{
    kImageAnswered = 0,
    kImageSilent = 1,
};

// Initial widths of the ten columns in pixels.
inline constexpr std::array<int, kColumnCount> kColumnWidths = {43, 90, 110, 80, 80, 80, 80, 80, 73, 80};

struct ResultRow
{
    int image = kImageAnswered;
    std::array<std::string, kColumnCount> text; // column 0 stays empty
    std::uint32_t address = 0;                  // host order; 0 when the IP text is no address

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
    // Where HostFound would put a record with this IP, without changing anything.
    Change Placement(const std::string& ip) const;

    // A silent address: every row with that IP text turns silent and counts offline.
    // Returns the indices of the rows that changed their image.
    std::vector<int> HostSilent(const std::string& ip);

    // Appends a stored host as answered (filling the list from a stored result).
    void AppendStored(const StoredHost& host);

    void Clear();
    void RemoveRow(int row);

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

    // Compares two rows by one column in ascending order: negative, zero or positive.
    static int Compare(const ResultRow& a, const ResultRow& b, int column);

    // Whether any row lacks a host name / system information ("-", any case).
    bool AnyHostNameMissing() const;
    bool AnyCpuMissing() const;

    // The rows as the store takes them, top to bottom.
    std::vector<StoredHost> ToStoredHosts() const;

private:
    std::vector<ResultRow> m_rows;
    int m_online = 0;
    int m_offline = 0;
    int m_sortColumn = -1;
    bool m_sortAscending = true;
};

// The nine column texts of a row as a host record (the properties dialog's source).
HostRecord RowToRecord(const ResultRow& row);

} // namespace tessvale
