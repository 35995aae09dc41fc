// System version, processor, memory and adapter speed over SNMPv3 (RFC 3414 user-based
// security, SHA authentication with AES privacy or without privacy), read from the
// standard MIBs: sysDescr (RFC 3418), hrDeviceDescr and hrMemorySize (RFC 2790),
// ifOperStatus, ifType, ifSpeed and ifHighSpeed (RFC 2863).
//
// net-snmp keeps its users and engine ids in process-wide lists that it does not lock
// (its notes on threads say its SNMPv3 support was never made thread-safe, and this
// build has no reentrant locking), so no two threads may be inside the library at once.
// Instead of one lock that every worker waits for, each host is asked from a child
// process of its own (scan/linux/inventory_child.h): workers never wait for each other,
// and an agent that stalls costs only its own child. Before a child is started, a
// discovery request on a socket of our own tells within the bound whether an agent
// answers at all; hosts without an agent cost no child.

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/fd_wait.h"
#include "common/unique_fd.h"
#include "scan/host_inventory_query.h"
#include "scan/linux/inventory_child.h"
#include "scan/linux/inventory_jobs.h"
#include "scan/linux/peer_address.h"
#include "scan/linux/snmp_agent_answers.h"
#include "scan/snmp_discovery.h"

namespace tessvale {
namespace {

constexpr std::uint16_t kSnmpPort = 161;
constexpr int kDiscoveryTries = 2;
// A child asks the agent for at most this many bounds: a stalled request costs one bound
// at most (each try a third of it, and one retry), an agent that answers every request
// slowly is cut off here.
constexpr int kAgentExchanges = 3;

bool AgentResponds(const std::string& address, std::chrono::milliseconds bound)
{
    const std::optional<sockaddr_in> peer = PeerAddress(address, kSnmpPort);
    if (!peer) {
        return false;
    }
    const UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    // Connected, so that a port without an agent reports itself at once.
    if (fd.Get() < 0 || ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&*peer), sizeof *peer) != 0) {
        return false;
    }
    thread_local std::mt19937 random(std::random_device{}());
    const std::uint32_t id = std::uniform_int_distribution<std::uint32_t>(1, 0x7FFFFFFF)(random);
    const std::vector<std::uint8_t> request = BuildSnmpDiscoveryRequest(id);
    const auto perTry = bound / kDiscoveryTries;
    for (int attempt = 0; attempt < kDiscoveryTries; ++attempt) {
        if (::send(fd.Get(), request.data(), request.size(), 0) < 0) {
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + perTry;
        while (WaitForDescriptor(fd.Get(), POLLIN, deadline)) {
            std::uint8_t answer[2048];
            const ssize_t size = ::recv(fd.Get(), answer, sizeof answer, 0);
            if (size < 0) {
                if (errno == ECONNREFUSED) {
                    return false;
                }
                continue;
            }
            if (IsSnmpDiscoveryAnswer(std::span<const std::uint8_t>(answer, static_cast<std::size_t>(size)), id)) {
                return true;
            }
        }
    }
    return false;
}

// The items of an agent's answers, in their order.
constexpr std::array<InventoryItem, std::tuple_size_v<AgentAnswers>> kAgentItems = {
    InventoryItem::SystemVersion, InventoryItem::Processor, InventoryItem::Memory, InventoryItem::AdapterSpeed};

class SnmpInventoryProvider : public InventoryProvider
{
public:
    explicit SnmpInventoryProvider(std::chrono::milliseconds bound) : m_bound(bound) {}

    bool Answers(InventoryItem item) const override { return item != InventoryItem::Shares; }

    std::unique_ptr<InventorySession> Connect(const std::string& address, const InventoryIdentity* identity) override
    {
        if (!identity || identity->user.empty() || !AgentResponds(address, m_bound)) {
            return nullptr;
        }
        const std::optional<std::vector<std::uint8_t>> message =
            RunInChild(kAgentQueryJob, HostJobMessage(address, *identity, m_bound),
                       std::chrono::steady_clock::now() + kAgentExchanges * m_bound, kMaxAgentMessage);
        std::optional<AgentAnswers> answers = message ? ReadAgentAnswers(*message) : std::nullopt;
        if (!answers) {
            return nullptr;
        }
        std::map<InventoryItem, InventoryObjects> answered;
        for (std::size_t i = 0; i < kAgentItems.size(); ++i) {
            if ((*answers)[i].ok) {
                answered.emplace(kAgentItems[i], std::move((*answers)[i].objects));
            }
        }
        return std::make_unique<AnsweredSession>(std::move(answered));
    }

private:
    std::chrono::milliseconds m_bound;
};

} // namespace

std::unique_ptr<InventoryProvider> MakeSnmpInventoryProvider(std::chrono::milliseconds bound)
{
    return std::make_unique<SnmpInventoryProvider>(bound);
}

} // namespace tessvale
