// The inventory of an answering host as a scan worker takes it: the local provider for
// the scanning computer itself, else the remote providers in turn.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scan/host_probe.h"
#include "scan/inventory_provider.h"

namespace tessvale {

struct InventoryCredentials
{
    std::string login;
    std::string password;
};

// Where the query learns about the scanning computer. Each is called on scan worker
// threads, concurrently, once per query.
struct InventorySources
{
    std::function<std::string()> workgroup;                 // empty: no inventory
    std::function<InventoryCredentials()> credentials;      // re-read per host
    std::function<bool(const std::string&)> isLocalAddress; // one of this machine's IPv4 addresses
};

class HostInventoryQuery : public InventoryQuery
{
public:
    // local may be null (no provider for this machine); remote providers are tried in
    // order, each filling the fields it answers that no earlier provider filled.
    HostInventoryQuery(std::unique_ptr<InventoryProvider> local, std::vector<std::unique_ptr<InventoryProvider>> remote,
                       InventorySources sources);

    // Without any provider: 0, nothing written. Otherwise the five fields (not the
    // vendor) start as "-"; without a workgroup or credentials the query stops there
    // (0). A provider that cannot connect leaves its fields "-"; a query that fails
    // leaves its field empty. 1 when some provider connected.
    int QueryInventory(const std::string& address, HostInventory& inventory) override;

private:
    std::unique_ptr<InventoryProvider> m_local;
    std::vector<std::unique_ptr<InventoryProvider>> m_remote;
    InventorySources m_sources;
};

// Time a remote provider may spend on one host: connecting and each answer.
inline constexpr std::chrono::milliseconds kInventoryAnswerBound{3000};

// The real providers of this platform.
std::unique_ptr<InventoryProvider> MakeLocalInventoryProvider();
std::unique_ptr<InventoryProvider> MakeSmbShareProvider(std::chrono::milliseconds bound = kInventoryAnswerBound);
std::unique_ptr<InventoryProvider> MakeSnmpInventoryProvider(std::chrono::milliseconds bound = kInventoryAnswerBound);

// True when address (dotted text) is one of this machine's IPv4 addresses.
bool IsLocalIpv4Address(const std::string& address);

// The inventory the scan engine uses: local provider, shares over SMB, the rest over
// SNMPv3; workgroup from the local Samba configuration; credentials asked of
// `credentials` for every host.
std::unique_ptr<InventoryQuery> MakeSystemInventory(std::function<InventoryCredentials()> credentials);

} // namespace tessvale
