// The inventory as the scan engine runs it on this platform.

#include "scan/host_inventory_query.h"
#include "scan/samba_config.h"

namespace tessvale {
namespace {

constexpr const char* kSambaConfig = "/etc/samba/smb.conf";

} // namespace

std::unique_ptr<InventoryQuery> MakeSystemInventory(std::function<InventoryCredentials()> credentials)
{
    std::vector<std::unique_ptr<InventoryProvider>> remote;
    remote.push_back(MakeSmbShareProvider());
    remote.push_back(MakeSnmpInventoryProvider());
    InventorySources sources;
    sources.workgroup = [] { return ReadSambaWorkgroup(kSambaConfig); };
    sources.credentials = std::move(credentials);
    sources.isLocalAddress = IsLocalIpv4Address;
    return std::make_unique<HostInventoryQuery>(MakeLocalInventoryProvider(), std::move(remote), std::move(sources));
}

} // namespace tessvale
