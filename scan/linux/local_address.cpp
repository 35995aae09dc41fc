// Whether an address belongs to this machine.

#include <memory>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include "scan/host_inventory_query.h"

namespace tessvale {

bool IsLocalIpv4Address(const std::string& address)
{
    in_addr wanted{};
    if (inet_pton(AF_INET, address.c_str(), &wanted) != 1) {
        return false;
    }
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return false;
    }
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owned(list, freeifaddrs);
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET &&
            reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == wanted.s_addr) {
            return true;
        }
    }
    return false;
}

} // namespace tessvale
