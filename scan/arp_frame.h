// The ARP packet for IPv4 over Ethernet (RFC 826) as bytes, without the Ethernet header
// (a packet socket of type SOCK_DGRAM adds and removes it).
//
// 28 bytes, big-endian:
//   0  hardware type 1 (Ethernet)     2  protocol type 0x0800 (IPv4)
//   4  hardware size 6                5  protocol size 4
//   6  operation: 1 request, 2 reply
//   8  sender MAC      14  sender IPv4 address
//  18  target MAC      24  target IPv4 address (a request leaves the target MAC zero)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "scan/address_forms.h"

namespace tessvale {

inline constexpr std::size_t kArpPacketSize = 28;

// A request from (senderMac, senderAddress) for targetAddress; addresses in host order.
std::array<std::uint8_t, kArpPacketSize> BuildArpRequest(const MacAddress& senderMac, std::uint32_t senderAddress,
                                                         std::uint32_t targetAddress);

struct ArpReply
{
    std::uint32_t address = 0; // the sender's IPv4 address, host order
    MacAddress mac{};          // the sender's MAC
};

// Reads an IPv4-over-Ethernet ARP reply: nothing for a request, a packet of another
// hardware or protocol type, or fewer than 28 bytes. Bytes after the 28 are padding.
std::optional<ArpReply> ParseArpReply(std::span<const std::uint8_t> packet);

} // namespace tessvale
