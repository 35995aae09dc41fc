// The rtnetlink messages that read the kernel's IPv4 neighbour (ARP) table.
//
// Request (rtnetlink(7)): struct nlmsghdr { len, RTM_GETNEIGH, NLM_F_REQUEST|NLM_F_DUMP,
// seq, pid 0 } followed by struct ndmsg { family AF_INET, ... all zero }.
// Answer: a stream of messages, each an nlmsghdr and, for RTM_NEWNEIGH, an ndmsg with
// route attributes (struct rtattr { len, type }, 4-byte aligned): NDA_DST holds the
// address, NDA_LLADDR the link-layer address. NLMSG_DONE ends the dump, NLMSG_ERROR
// reports a failure. Every length is checked against the received bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "scan/address_forms.h"

namespace tessvale {

struct NeighbourEntry
{
    int interfaceIndex = 0;
    std::uint16_t state = 0;       // NUD_* bits; 0 for an entry the kernel removed
    std::uint32_t address = 0;     // host order
    std::optional<MacAddress> mac; // present when the entry carries a 6-byte link-layer address
};

std::vector<std::uint8_t> EncodeNeighbourDumpRequest(std::uint32_t sequence);

enum class NetlinkDecode
{
    More,     // all messages read, the dump continues in the next datagram
    Done,     // NLMSG_DONE seen
    Error,    // NLMSG_ERROR with a non-zero code
    Malformed // a length points outside the bytes
};

// Appends the IPv4 entries of one received datagram to `entries` (RTM_NEWNEIGH, and
// RTM_DELNEIGH as entries of state 0). Messages of other sequence numbers are skipped.
NetlinkDecode DecodeNeighbourDump(std::span<const std::uint8_t> datagram, std::uint32_t sequence,
                                  std::vector<NeighbourEntry>& entries);

} // namespace tessvale
