// The inventory as the scan engine runs it on this platform.

#include "scan/host_inventory_query.h"
#include "scan/samba_config.h"
#include "store/config_store.h"

namespace tessvale {
namespace {

constexpr const char* kSambaConfig = "/etc/samba/smb.conf";

} // namespace

InventoryCredentials ReadInventoryCredentials(ConfigStore& store)
{
    const ConfigRecord settings = store.LoadSettings();
    return {DecodeCredential(settings.Value(kWmiLogin)), DecodeCredential(settings.Value(kWmiPassword))};
}

std::unique_ptr<InventoryQuery> MakeSystemInventory(ConfigStore& store)
{
    std::vector<std::unique_ptr<InventoryProvider>> remote;
    remote.push_back(MakeSmbShareProvider());
    remote.push_back(MakeSnmpInventoryProvider());
    InventorySources sources;
    sources.workgroup = [] { return ReadSambaWorkgroup(kSambaConfig); };
    sources.credentials = [&store] { return ReadInventoryCredentials(store); };
    sources.isLocalAddress = IsLocalIpv4Address;
    return std::make_unique<HostInventoryQuery>(MakeLocalInventoryProvider(), std::move(remote), std::move(sources));
}

} // namespace tessvale
