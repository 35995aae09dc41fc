// One record of the configuration document as the program reads and writes it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "store/host_columns.h"

namespace tessvale {

struct ConfigRecord
{
    static constexpr int kMaxFields = 30;

    std::string tablePath; // XPath of the table's records, e.g. "//config/Result/Result"
    std::array<std::string, kMaxFields> fieldNames;
    std::uint32_t id = 0;
    std::array<std::string, kMaxFields> values; // parallel to fieldNames
    int fieldCount = 0;

    // Value of the named field; empty when the record has no such field.
    const std::string& Value(std::string_view field) const;
    // Sets the named field; returns false when the record has no such field.
    bool SetValue(std::string_view field, std::string value);
};

// Settings keys.
inline constexpr const char* kAutoscanSpanSeconds = "AutoscanSpanSeconds"; // minutes, despite the name
inline constexpr const char* kAutoscanThreads = "AutoscanThreads";
inline constexpr const char* kNetbiosTimeoutMSeconds = "NetbiosTimeoutMSeconds";
inline constexpr const char* kAutoUpdate = "AutoUpdate";
inline constexpr const char* kWmiLogin = "WmiLogin";
inline constexpr const char* kWmiPassword = "WmiPassword";
inline constexpr const char* kProbeRatePerSecond = "ProbeRatePerSecond"; // the scan's requests per second
inline constexpr const char* kProbeRetries = "ProbeRetries";             // further requests to silent on-link addresses
// The name sources of a scan, "1" on (the default) or "0" off.
inline constexpr const char* kNameNetbios = "NameNetbios";
inline constexpr const char* kNameMdns = "NameMdns";
inline constexpr const char* kNameDns = "NameDns";
// "0": the window no longer asks to save / to draw the chart after a scan; else it asks.
inline constexpr const char* kAskSaveAfterScan = "AskSaveAfterScan";
inline constexpr const char* kAskChartAfterScan = "AskChartAfterScan";

// Result keys.
inline constexpr const char* kResultName = "Name";
inline constexpr const char* kResultIpRange = "IPRange";

// Item keys.
inline constexpr const char* kItemResultId = "ResultId";
// A host's columns are keyed as the column table names them (its keys are literals, so
// each view is a C string too).
inline constexpr const char* kItemIp = ColumnOf(kColumnIp).xmlKey.data();
inline constexpr const char* kItemMac = ColumnOf(kColumnMac).xmlKey.data();
inline constexpr const char* kItemHostName = ColumnOf(kColumnHostName).xmlKey.data();
inline constexpr const char* kItemCpu = ColumnOf(kColumnCpu).xmlKey.data();
inline constexpr const char* kItemRam = ColumnOf(kColumnRam).xmlKey.data();
inline constexpr const char* kItemGroup = "Group";
inline constexpr const char* kItemShareFile = ColumnOf(kColumnShareFile).xmlKey.data();
inline constexpr const char* kItemSystemVer = ColumnOf(kColumnSystemVer).xmlKey.data();
inline constexpr const char* kItemNetCardType = ColumnOf(kColumnNetCardType).xmlKey.data();
inline constexpr const char* kItemNetCardVendor = ColumnOf(kColumnNetCardVendor).xmlKey.data();
inline constexpr const char* kItemDescription = "Description";

// Fresh buffers of the three tables: table path and field names set, values empty.
// A record's id as the store reads it: decimal, 0 when it is none, at most UINT32_MAX.
std::uint32_t ParseRecordId(const char* text);

ConfigRecord MakeSettingsRecord();
ConfigRecord MakeResultRecord();
ConfigRecord MakeItemRecord();

} // namespace tessvale
