#include "common/interface_list.h"

#include <cstring>
#include <memory>
#include <unordered_map>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

namespace tessvale {

namespace {

std::uint32_t HostOrder(const sockaddr* address)
{
    sockaddr_in in{};
    std::memcpy(&in, address, sizeof in);
    return ntohl(in.sin_addr.s_addr);
}

} // namespace

std::vector<InterfaceAddress> ReadInterfaceAddresses()
{
    std::vector<InterfaceAddress> interfaces;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return interfaces;
    }
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, freeifaddrs);
    // The hardware addresses come as entries of their own (AF_PACKET), by name.
    std::unordered_map<std::string, std::array<std::uint8_t, 6>> macs;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_PACKET && entry->ifa_name != nullptr) {
            sockaddr_ll link{};
            std::memcpy(&link, entry->ifa_addr, sizeof link);
            if (link.sll_halen == 6) {
                std::array<std::uint8_t, 6> mac{};
                std::memcpy(mac.data(), link.sll_addr, mac.size());
                macs[entry->ifa_name] = mac;
            }
        }
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || entry->ifa_name == nullptr) {
            continue;
        }
        InterfaceAddress item;
        item.name = entry->ifa_name;
        item.index = if_nametoindex(entry->ifa_name);
        item.address = HostOrder(entry->ifa_addr);
        if (entry->ifa_netmask != nullptr && entry->ifa_netmask->sa_family == AF_INET) {
            item.netmask = HostOrder(entry->ifa_netmask);
        }
        item.up = (entry->ifa_flags & IFF_UP) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        const auto mac = macs.find(item.name);
        item.hasMac = mac != macs.end();
        if (item.hasMac) {
            item.mac = mac->second;
        }
        interfaces.push_back(std::move(item));
    }
    return interfaces;
}

} // namespace tessvale
