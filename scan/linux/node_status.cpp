#include "scan/node_status.h"

#include <chrono>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/unique_fd.h"
#include "scan/address_forms.h"
#include "scan/arp_resolver.h"
#include "scan/netbios_packet.h"

namespace tessvale {

namespace {} // namespace

int QueryNodeStatus(const std::string& address, std::string& mac, std::string& hostName, int timeoutMs)
{
    return QueryNodeStatus(address, mac, hostName, timeoutMs, kNetbiosNamePort);
}

int QueryNodeStatus(const std::string& address, std::string& mac, std::string& hostName, int timeoutMs,
                    std::uint16_t port)
{
    const auto value = ParseIpv4(address);
    if (!value) {
        return 0;
    }
    const UniqueFd udp(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!udp.Valid() || udp.Get() >= FD_SETSIZE) {
        return 0;
    }
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    destination.sin_addr.s_addr = htonl(*value);
    const auto request = BuildNodeStatusRequest();
    if (sendto(udp.Get(), request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&destination),
               sizeof destination) <= 0) {
        return 0;
    }

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    std::vector<std::uint8_t> buffer(4096);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        timeval wait{};
        if (left.count() > 0) {
            wait.tv_sec = static_cast<time_t>(left.count() / 1000000);
            wait.tv_usec = static_cast<suseconds_t>(left.count() % 1000000);
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(udp.Get(), &readable);
        if (select(udp.Get() + 1, &readable, nullptr, nullptr, &wait) <= 0 || !FD_ISSET(udp.Get(), &readable)) {
            return 0;
        }
        sockaddr_in sender{};
        socklen_t senderLength = sizeof sender;
        const ssize_t received =
            recvfrom(udp.Get(), buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (received <= 0) {
            return 0;
        }
        if (senderLength < sizeof sender || sender.sin_family != AF_INET ||
            sender.sin_addr.s_addr != destination.sin_addr.s_addr) {
            continue; // not the queried host: keep waiting for it until the deadline
        }
        const auto answer =
            ParseNodeStatusAnswer(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(received)));
        if (!answer) {
            return 0;
        }
        return TakeNodeStatusAnswer(*answer, mac, hostName,
                                    [&address](std::string& arpMac) { return ResolveByArp(arpMac, address) == 1; });
    }
}

} // namespace tessvale
