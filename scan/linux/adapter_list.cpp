#include "scan/adapter_list.h"

#include <memory>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace tessvale {

namespace {

struct IfaddrsDeleter
{
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};
using IfaddrsList = std::unique_ptr<ifaddrs, IfaddrsDeleter>;

IfaddrsList ReadInterfaces()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return nullptr;
    }
    return IfaddrsList(list);
}

std::string DottedText(const sockaddr* address)
{
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    return text;
}

bool IsIpv4(const sockaddr* address)
{
    return address != nullptr && address->sa_family == AF_INET;
}

} // namespace

std::vector<AdapterEntry> AdapterEntriesFrom(const ifaddrs* list)
{
    std::vector<AdapterEntry> entries;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (!IsIpv4(entry->ifa_addr)) {
            continue;
        }
        std::string text = DottedText(entry->ifa_addr);
        if (text == "127.0.0.1") {
            continue;
        }
        entries.push_back({std::move(text), entry->ifa_name != nullptr ? entry->ifa_name : ""});
    }
    return entries;
}

std::string MaskFrom(const ifaddrs* list, const std::string& address)
{
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (IsIpv4(entry->ifa_addr) && IsIpv4(entry->ifa_netmask) && DottedText(entry->ifa_addr) == address) {
            return DottedText(entry->ifa_netmask);
        }
    }
    return {};
}

std::vector<std::uint32_t> SubnetEndsFrom(const ifaddrs* list)
{
    std::vector<std::uint32_t> ends;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (!IsIpv4(entry->ifa_addr) || !IsIpv4(entry->ifa_netmask) || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        const std::uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
        const std::uint32_t mask = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr);
        if (mask >= 0xFFFFFFFEU) {
            continue; // point-to-point: both addresses are hosts
        }
        ends.push_back(address & mask);
        ends.push_back((address & mask) | ~mask);
    }
    return ends;
}

std::vector<std::uint32_t> LocalSubnetEnds()
{
    const IfaddrsList list = ReadInterfaces();
    return SubnetEndsFrom(list.get());
}

std::vector<AdapterEntry> ListAdapters()
{
    const IfaddrsList list = ReadInterfaces();
    return AdapterEntriesFrom(list.get());
}

std::string LookupMask(const std::string& address)
{
    const IfaddrsList list = ReadInterfaces();
    return MaskFrom(list.get(), address);
}

} // namespace tessvale
