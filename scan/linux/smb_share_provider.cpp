// Shares over SMB: the share list a host's server service gives an authenticated
// client, read through libsmbclient in a child process of its own per host.
//
// libsmbclient keeps process-wide state (its configuration, which setting a context's
// debug level changes, and the caches behind name resolution) and does not promise that
// separate contexts may be used from several threads at once. A child per host
// (scan/linux/inventory_child.h) gives every worker a copy of the library of its own.

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <random>
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
#include "scan/linux/local_inventory_provider.h"
#include "scan/linux/peer_address.h"
#include "scan/smb_negotiate.h"

namespace tessvale {
namespace {

constexpr std::uint16_t kSmbPort = 445;
constexpr int kListingExchanges = 4;
constexpr std::size_t kMaxListing = kMaxShares * (sizeof(std::uint32_t) + 256); // bytes a child may send in all

// Before a child is started, a NEGOTIATE exchange on a socket of our own tells within
// the bound whether the server answers at all: a firewalled port (which libsmbclient
// would wait twenty seconds for) or a server that accepts and never answers costs no
// child.
bool ServerAnswers(const std::string& address, std::chrono::milliseconds bound)
{
    const std::optional<sockaddr_in> peer = PeerAddress(address, kSmbPort);
    if (!peer) {
        return false;
    }
    const UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + bound;
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&*peer), sizeof *peer) != 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (errno != EINPROGRESS || !WaitForDescriptor(fd.Get(), POLLOUT, deadline) ||
            ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            return false;
        }
    }
    std::array<std::uint8_t, 16> guid{};
    thread_local std::mt19937 random(std::random_device{}());
    for (std::uint8_t& byte : guid) {
        byte = static_cast<std::uint8_t>(random());
    }
    const std::vector<std::uint8_t> request = BuildSmb2NegotiateRequest(guid);
    if (::send(fd.Get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        return false;
    }
    std::vector<std::uint8_t> received;
    constexpr std::size_t kEnough = 4 + 20; // direct-TCP header and the SMB2 header up to its flags
    while (received.size() < kEnough && WaitForDescriptor(fd.Get(), POLLIN, deadline)) {
        std::uint8_t buffer[512];
        const ssize_t size = ::recv(fd.Get(), buffer, sizeof buffer, 0);
        if (size == 0 || (size < 0 && errno != EINTR && errno != EAGAIN)) {
            return false;
        }
        if (size > 0) {
            received.insert(received.end(), buffer, buffer + size);
        }
    }
    return IsSmbReply(received);
}

// Reads the share list of one host in a child process. libsmbclient gives every
// exchange with the host the bound, so a host that stalls ends its child after one
// bound; a host that keeps answering slowly is cut off after kListingExchanges bounds
// (connecting, negotiating, authenticating, the tree and pipe of the share list, the
// listing itself and its close). The child sends each name as a text part.
bool ListSharesInChild(const std::string& address, const InventoryIdentity& identity, std::chrono::milliseconds bound,
                       InventoryObjects& shares)
{
    const auto listing = RunInChild(kShareListingJob, HostJobMessage(address, identity, bound),
                                    std::chrono::steady_clock::now() + kListingExchanges * bound, kMaxListing);
    if (!listing) {
        return false;
    }
    ChildMessageReader reader(*listing);
    while (!reader.AtEnd()) {
        const std::optional<std::string> name = reader.Text(kMaxShareName);
        if (!name) {
            return false;
        }
        if (shares.size() < kMaxShares) {
            shares.emplace_back(CellText(*name));
        }
    }
    return true;
}

class SmbShareProvider : public InventoryProvider
{
public:
    explicit SmbShareProvider(std::chrono::milliseconds bound) : m_bound(bound) {}

    bool Answers(InventoryItem item) const override { return item == InventoryItem::Shares; }

    std::unique_ptr<InventorySession> Connect(const std::string& address, const InventoryIdentity* identity) override
    {
        if (!identity || !ServerAnswers(address, m_bound)) {
            return nullptr;
        }
        InventoryObjects shares;
        if (!ListSharesInChild(address, *identity, m_bound, shares)) {
            return nullptr;
        }
        std::map<InventoryItem, InventoryObjects> answers;
        answers.emplace(InventoryItem::Shares, std::move(shares));
        return std::make_unique<AnsweredSession>(std::move(answers));
    }

private:
    std::chrono::milliseconds m_bound;
};

} // namespace

bool SmbServerAnswers(const std::string& address, std::chrono::milliseconds bound)
{
    return ServerAnswers(address, bound);
}

std::unique_ptr<InventoryProvider> MakeSmbShareProvider(std::chrono::milliseconds bound)
{
    return std::make_unique<SmbShareProvider>(bound);
}

} // namespace tessvale
