#include "scan/host_inventory_query.h"

#include <array>

#include "common/text_util.h"

namespace tessvale {
namespace {

constexpr std::size_t kUserTextCapacity = 514; // domain + '\' + login: 513 characters kept
constexpr std::size_t kPasswordCapacity = 257; // 256 characters kept
constexpr const char* kNoValue = "-";

using FilledItems = std::array<bool, kInventoryItems.size()>;

// Runs the queries of one provider that no earlier provider answered. True when it
// connected.
bool RunProvider(InventoryProvider& provider, const std::string& address, const InventoryIdentity* identity,
                 HostInventory& inventory, FilledItems& filled)
{
    bool needed = false;
    for (std::size_t i = 0; i < kInventoryItems.size(); ++i) {
        needed = needed || (!filled[i] && provider.Answers(kInventoryItems[i]));
    }
    if (!needed) {
        return false;
    }
    const std::unique_ptr<InventorySession> session = provider.Connect(address, identity);
    if (!session) {
        return false;
    }
    for (std::size_t i = 0; i < kInventoryItems.size(); ++i) {
        const InventoryItem item = kInventoryItems[i];
        if (filled[i] || !provider.Answers(item)) {
            continue;
        }
        InventoryObjects objects;
        const bool ok = session->Query(item, objects);
        StoreInventoryField(inventory, item, ok ? InventoryResultText(item, objects) : std::string());
        filled[i] = true;
    }
    return true;
}

} // namespace

HostInventoryQuery::HostInventoryQuery(std::unique_ptr<InventoryProvider> local,
                                       std::vector<std::unique_ptr<InventoryProvider>> remote, InventorySources sources)
    : m_local(std::move(local)), m_remote(std::move(remote)), m_sources(std::move(sources))
{}

int HostInventoryQuery::QueryInventory(const std::string& address, HostInventory& inventory)
{
    if (!m_local && m_remote.empty()) {
        return 0;
    }
    for (const InventoryItem item : kInventoryItems) {
        StoreInventoryField(inventory, item, kNoValue);
    }

    const std::string workgroup = m_sources.workgroup ? m_sources.workgroup() : std::string();
    if (workgroup.empty()) {
        return 0;
    }
    const InventoryCredentials credentials = m_sources.credentials ? m_sources.credentials() : InventoryCredentials();
    if (credentials.login.empty() || credentials.password.empty()) {
        return 0;
    }

    FilledItems filled{};
    if (m_local && m_sources.isLocalAddress && m_sources.isLocalAddress(address)) {
        return RunProvider(*m_local, address, nullptr, inventory, filled) ? 1 : 0;
    }

    // The user text is built and cut as one, then split again at its first '\'.
    const std::string userText = CutToCapacity(workgroup + "\\" + credentials.login, kUserTextCapacity);
    const std::size_t split = userText.find('\\');
    if (split == std::string::npos) {
        return 0;
    }
    InventoryIdentity identity;
    identity.domain = userText.substr(0, split);
    identity.user = userText.substr(split + 1);
    identity.password = CutToCapacity(credentials.password, kPasswordCapacity);

    bool connected = false;
    for (const std::unique_ptr<InventoryProvider>& provider : m_remote) {
        connected = RunProvider(*provider, address, &identity, inventory, filled) || connected;
    }
    return connected ? 1 : 0;
}

} // namespace tessvale
