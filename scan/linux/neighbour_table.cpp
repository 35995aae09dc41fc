// The kernel's neighbour table over rtnetlink, and the interface subnets that decide
// which addresses ARP can reach.
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/interface_list.h"
#include "common/unique_fd.h"
#include "scan/arp_resolver.h"

namespace tessvale {

namespace {

std::atomic<std::uint32_t> g_sequence{1};

class KernelNeighbourTable final : public NeighbourTable
{
public:
    std::optional<NeighbourEntry> Find(std::uint32_t address) override
    {
        const UniqueFd socketFd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
        if (!socketFd.Valid()) {
            return std::nullopt;
        }
        const std::uint32_t sequence = g_sequence.fetch_add(1);
        const auto request = EncodeNeighbourDumpRequest(sequence);
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (sendto(socketFd.Get(), request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&kernel),
                   sizeof kernel) < 0) {
            return std::nullopt;
        }
        std::vector<NeighbourEntry> entries;
        std::vector<std::uint8_t> buffer(32768);
        for (;;) {
            // The kernel answers a dump at once; the wait only guards against a lost reply.
            pollfd waitFor{socketFd.Get(), POLLIN, 0};
            if (poll(&waitFor, 1, 1000) <= 0) {
                return std::nullopt;
            }
            const ssize_t received = recv(socketFd.Get(), buffer.data(), buffer.size(), 0);
            if (received <= 0) {
                return std::nullopt;
            }
            const auto status = DecodeNeighbourDump(
                std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(received)), sequence, entries);
            if (status == NetlinkDecode::Done) {
                break;
            }
            if (status != NetlinkDecode::More) {
                return std::nullopt;
            }
        }
        for (const auto& entry : entries) {
            if (entry.address == address) {
                return entry;
            }
        }
        return std::nullopt;
    }

    bool OnLink(std::uint32_t address) override
    {
        bool onLink = false;
        for (const InterfaceAddress& item : ReadInterfaceAddresses()) {
            if (item.loopback || item.netmask == 0) {
                continue;
            }
            if (item.address == address) {
                return false;
            }
            if ((item.address & item.netmask) == (address & item.netmask)) {
                onLink = true;
            }
        }
        return onLink;
    }

    void Trigger(std::uint32_t address) override
    {
        const UniqueFd socketFd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (!socketFd.Valid()) {
            return;
        }
        sockaddr_in destination{};
        destination.sin_family = AF_INET;
        destination.sin_port = htons(9); // discard
        destination.sin_addr.s_addr = htonl(address);
        // The datagram itself does not matter: sending it makes the kernel resolve the
        // address. Errors (no route, broadcast refused) leave the table as it is.
        (void)sendto(socketFd.Get(), "", 0, 0, reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    }
};

} // namespace

NeighbourTable& SystemNeighbourTable()
{
    static KernelNeighbourTable table;
    return table;
}

} // namespace tessvale
