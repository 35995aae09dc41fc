// The NetBIOS node-status query (RFC 1002, 4.2.17 NODE STATUS REQUEST and 4.2.18
// NODE STATUS RESPONSE) as bytes.
//
// Request, 50 bytes, big-endian:
//   0  transaction id 0      2  flags 0 (query)     4  QDCOUNT 1
//   6  ANCOUNT 0             8  NSCOUNT 0          10  ARCOUNT 0
//  12  0x20, "CK" + 30 x "A" (first-level encoding of "*" padded with zero bytes), 0x00
//  46  type NBSTAT 0x0021   48  class IN 0x0001
//
// Answer as read, the question name echoed uncompressed:
//   0  56 bytes of header, name, type, class, TTL, RDLENGTH
//  56  NUM_NAMES N
//  57  N x 18 bytes: 15 name bytes, suffix, 2 flag bytes
//  57 + 18 N  unit id, 6 bytes (the adapter's MAC)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "scan/address_forms.h"

namespace tessvale {

inline constexpr std::size_t kNodeStatusRequestSize = 50;
inline constexpr std::uint16_t kNetbiosNamePort = 137;

std::array<std::uint8_t, kNodeStatusRequestSize> BuildNodeStatusRequest();

struct NodeStatusAnswer
{
    int nameCount = 0;
    std::string firstName; // UTF-8, trailing white space removed; empty when nameCount is 0
    MacAddress unitId{};
};

// Reads an answer. Nothing when the name table or the unit id does not lie completely
// inside the received bytes.
std::optional<NodeStatusAnswer> ParseNodeStatusAnswer(std::span<const std::uint8_t> datagram);

// Puts a parsed answer into the caller's fields. Returns 1 when it counts as an answer:
// an all-ones unit id does not (0, fields unchanged). An all-zeros unit id, which Samba
// sends, takes the MAC from `arp` when ARP knows the host and stays 00:00:00:00:00:00
// otherwise. The host name is set only when the answer lists names.
int TakeNodeStatusAnswer(const NodeStatusAnswer& answer, std::string& mac, std::string& hostName,
                         const std::function<bool(std::string& mac)>& arp);

} // namespace tessvale
