// The local adapters the main window offers as scan ranges, and the mask of a local address.
#pragma once

#include <string>
#include <vector>

struct ifaddrs;

namespace tessvale {

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

// The same over an interface list as getifaddrs returns it (for tests).
std::vector<AdapterEntry> AdapterEntriesFrom(const ifaddrs* list);
std::string MaskFrom(const ifaddrs* list, const std::string& address);

} // namespace tessvale
