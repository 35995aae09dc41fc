#include "store/scan_settings.h"

#include <algorithm>

#include "common/text_util.h"
#include "scan/resolver_config.h"
#include "scan/system_probe.h"
#include "store/config_store.h"

namespace tessvale {

namespace {

// The NetBIOS timeout in milliseconds, within 0 .. 10 minutes.
long long TimeoutOf(const ConfigRecord& settings)
{
    return std::clamp<long long>(ParseDecimal(settings.Value(kNetbiosTimeoutMSeconds)), 0, 600000);
}

} // namespace

ScanSettings ScanSettingsOf(const ConfigRecord& settings)
{
    ScanSettings scan;
    scan.furtherWorkers = ParseDecimal(settings.Value(kAutoscanThreads));
    SweepSettings& sweep = scan.sweep;
    const long long rate = ParseDecimal(settings.Value(kProbeRatePerSecond));
    sweep.ratePerSecond = static_cast<int>(std::clamp<long long>(rate > 0 ? rate : 2000, 1, 1000000));
    sweep.retries = static_cast<int>(std::clamp<long long>(ParseDecimal(settings.Value(kProbeRetries)), 0, 10));
    sweep.timeout = std::chrono::milliseconds(TimeoutOf(settings));
    sweep.names.netbios = settings.Value(kNameNetbios) != "0";
    sweep.names.mdns = settings.Value(kNameMdns) != "0";
    sweep.names.dns = settings.Value(kNameDns) != "0";
    return scan;
}

ScanSettingsSource ScanSettingsFrom(ConfigStore& store)
{
    return [&store] { return ScanSettingsOf(store.LoadSettings()); };
}

NameSettings NameSettingsOf(const ConfigRecord& settings)
{
    NameSettings names = ScanSettingsOf(settings).sweep.names;
    if (names.dns) {
        names.servers = ReadNameServers();
    }
    return names;
}

std::unique_ptr<HostProbe> MakeSystemProbe(ConfigStore& store)
{
    // The settings are read again for every query, so a changed timeout applies to
    // the next address.
    return MakeSystemProbe([&store] { return static_cast<int>(TimeoutOf(store.LoadSettings())); });
}

InventoryCredentials ReadInventoryCredentials(ConfigStore& store)
{
    const ConfigRecord settings = store.LoadSettings();
    return {DecodeCredential(settings.Value(kWmiLogin)), DecodeCredential(settings.Value(kWmiPassword))};
}

std::unique_ptr<InventoryQuery> MakeSystemInventory(ConfigStore& store)
{
    return MakeSystemInventory([&store] { return ReadInventoryCredentials(store); });
}

} // namespace tessvale
