// The computer's network interfaces and their IPv4 addresses: the one place that asks
// the system (getifaddrs on Linux). Everything else reads the list this gives, so tests
// hand in lists of their own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessvale {

struct InterfaceAddress
{
    std::string name;
    unsigned index = 0;        // the interface's index, 0 when unknown
    std::uint32_t address = 0; // IPv4, host order
    std::uint32_t netmask = 0; // host order
    bool up = false;
    bool loopback = false;
    bool hasMac = false; // an Ethernet-style hardware address of six bytes
    std::array<std::uint8_t, 6> mac{};
};

// One entry per IPv4 address of each interface, in the order the system lists them.
// Empty when the interfaces cannot be read.
std::vector<InterfaceAddress> ReadInterfaceAddresses();

} // namespace tessvale
