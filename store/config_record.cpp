#include "store/config_record.h"

#include <initializer_list>
#include <limits>

#include "common/text_util.h"

namespace tessvale {

std::uint32_t ParseRecordId(const char* text)
{
    const long long value = ParseDecimal(text);
    if (value < 0) {
        return 0;
    }
    if (value > std::numeric_limits<std::uint32_t>::max()) {
        return std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(value);
}

namespace {

ConfigRecord MakeRecord(const char* tablePath, std::initializer_list<const char*> fields)
{
    ConfigRecord record;
    record.tablePath = tablePath;
    for (const char* field : fields) {
        record.fieldNames[static_cast<std::size_t>(record.fieldCount++)] = field;
    }
    return record;
}

} // namespace

const std::string& ConfigRecord::Value(std::string_view field) const
{
    static const std::string kEmpty;
    for (int i = 0; i < fieldCount; ++i) {
        if (fieldNames[static_cast<std::size_t>(i)] == field) {
            return values[static_cast<std::size_t>(i)];
        }
    }
    return kEmpty;
}

bool ConfigRecord::SetValue(std::string_view field, std::string value)
{
    for (int i = 0; i < fieldCount; ++i) {
        if (fieldNames[static_cast<std::size_t>(i)] == field) {
            values[static_cast<std::size_t>(i)] = std::move(value);
            return true;
        }
    }
    return false;
}

ConfigRecord MakeSettingsRecord()
{
    return MakeRecord("//config/settings/settings",
                      {kAutoscanSpanSeconds, kAutoscanThreads, kNetbiosTimeoutMSeconds, kAutoUpdate, kWmiLogin,
                       kWmiPassword, kProbeRatePerSecond, kProbeRetries, kNameNetbios, kNameMdns, kNameDns,
                       kAskSaveAfterScan, kAskChartAfterScan});
}

ConfigRecord MakeResultRecord()
{
    return MakeRecord("//config/Result/Result", {kResultName, kResultIpRange});
}

ConfigRecord MakeItemRecord()
{
    return MakeRecord("//config/Item/Item",
                      {kItemResultId, kItemIp, kItemMac, kItemHostName, kItemCpu, kItemRam, kItemGroup, kItemShareFile,
                       kItemSystemVer, kItemNetCardType, kItemNetCardVendor, kItemDescription});
}

} // namespace tessvale
