// The columns of a host table, in one place: the result list's columns with their
// initial widths, the names the table forms write for them (the header of the
// tab-separated and CSV forms, the keys of the JSON lines) and the keys of a stored
// host in the configuration file. The list's own header texts, which are translated,
// are the string table's.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

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

// The column after the ten: what changed since the baseline. It is the list's own; the
// copies and the store keep the ten.
inline constexpr int kColumnChange = kColumnCount;
inline constexpr int kListColumnCount = kColumnCount + 1;

// The nine columns of a host, IP to NetCard Vendor, that every table form writes.
inline constexpr int kHostColumnCount = kColumnCount - kColumnIp;

struct HostColumn
{
    int column;              // the ListColumn, or kColumnChange
    std::string_view name;   // the header of the TSV and CSV forms and the key of the JSON form
    int width;               // the list's initial width in pixels
    std::string_view xmlKey; // the key of a stored host's item; empty for the list's own columns
};

inline constexpr std::array<HostColumn, kListColumnCount> kHostColumns = {{
    {kColumnStatus, "Status", 43, ""},
    {kColumnIp, "IP", 90, "IP"},
    {kColumnMac, "MAC", 110, "MAC"},
    {kColumnHostName, "HostName", 80, "HostName"},
    {kColumnCpu, "CPU", 80, "Cpu"},
    {kColumnRam, "RAM Size", 80, "RAMMSize"},
    {kColumnShareFile, "Share File", 80, "ShareFile"},
    {kColumnSystemVer, "SystemVer", 80, "SystemVer"},
    {kColumnNetCardType, "NetCard Type", 73, "NetCardType"},
    {kColumnNetCardVendor, "NetCard Vendor", 80, "NetCardVendor"},
    {kColumnChange, "Change", 110, ""},
}};

constexpr const HostColumn& ColumnOf(int column)
{
    return kHostColumns[static_cast<std::size_t>(column)];
}

// Initial widths of the ten columns in pixels, and of the change column.
inline constexpr std::array<int, kColumnCount> kColumnWidths = [] {
    std::array<int, kColumnCount> widths{};
    for (std::size_t i = 0; i < widths.size(); ++i) {
        widths[i] = kHostColumns[i].width;
    }
    return widths;
}();
inline constexpr int kChangeColumnWidth = ColumnOf(kColumnChange).width;

} // namespace tessvale
