// Address resolution: learns the MAC of a host on the local segment from the kernel's
// neighbour (ARP) table.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "scan/neighbour_netlink.h"

namespace tessvale {

// The operating system's side of ARP.
class NeighbourTable
{
public:
    virtual ~NeighbourTable() = default;
    // The table's entry for the address (host order), if there is one.
    virtual std::optional<NeighbourEntry> Find(std::uint32_t address) = 0;
    // True when the address lies in the subnet of a local interface (and is not one of
    // its own addresses), so that ARP can reach it.
    virtual bool OnLink(std::uint32_t address) = 0;
    // Sends one datagram to the address so that the kernel resolves it.
    virtual void Trigger(std::uint32_t address) = 0;
};

// The kernel's table over rtnetlink; Trigger sends an empty datagram to the discard port.
NeighbourTable& SystemNeighbourTable();

struct ArpTiming
{
    std::chrono::milliseconds recheck{500}; // how long an untriggered address is watched
    std::chrono::milliseconds poll{10};
};

// ARP of one address. Returns 1 and the MAC text ("%02X:..." upper case) when the table
// has a link-layer address for it; else 0 with `mac` left as it was. An address without
// an entry is triggered once and watched for `timing.recheck`; incomplete or failed
// entries and addresses off the local segments give 0 at once.
int ResolveByArp(std::string& mac, const std::string& address, NeighbourTable& table, const ArpTiming& timing = {});

// The same over the kernel's table.
int ResolveByArp(std::string& mac, const std::string& address);

} // namespace tessvale
