// The local adapters the main window offers as scan ranges, and the mask of a local address.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessvale {

struct InterfaceAddress;

struct AdapterEntry
{
    std::string address;     // dotted IPv4 text
    std::string description; // the interface name
};

// One entry per IPv4 address of each interface, in the order the system lists them;
// 127.0.0.1 gives none. Empty when the interfaces cannot be read.
std::vector<AdapterEntry> ListAdapters();

// The dotted mask of the local interface address equal to `address`, else empty.
std::string LookupMask(const std::string& address);

// The network and broadcast addresses (host order) of every local IPv4 subnet, the
// ones a scan leaves out. Loopback and subnets of /31 and /32 give none.
std::vector<std::uint32_t> LocalSubnetEnds();

// The same over an interface list (common/interface_list.h; tests give their own).
std::vector<AdapterEntry> AdapterEntriesFrom(const std::vector<InterfaceAddress>& interfaces);
std::string MaskFrom(const std::vector<InterfaceAddress>& interfaces, const std::string& address);
std::vector<std::uint32_t> SubnetEndsFrom(const std::vector<InterfaceAddress>& interfaces);

} // namespace tessvale
