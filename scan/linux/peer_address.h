// The socket address of a host the inventory asks over its own sockets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace tessvale {

// address (a dotted quad) and port; nothing when address is not a dotted quad.
inline std::optional<sockaddr_in> PeerAddress(const std::string& address, std::uint16_t port)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        return std::nullopt;
    }
    return peer;
}

} // namespace tessvale
