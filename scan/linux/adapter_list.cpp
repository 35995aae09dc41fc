#include "scan/adapter_list.h"

#include "common/interface_list.h"
#include "scan/address_forms.h"

namespace tessvale {

namespace {

constexpr std::uint32_t kLoopbackHost = 0x7F000001U; // 127.0.0.1

} // namespace

std::vector<AdapterEntry> AdapterEntriesFrom(const std::vector<InterfaceAddress>& interfaces)
{
    std::vector<AdapterEntry> entries;
    for (const InterfaceAddress& item : interfaces) {
        if (item.address != kLoopbackHost) {
            entries.push_back({FormatIpv4(item.address), item.name});
        }
    }
    return entries;
}

std::string MaskFrom(const std::vector<InterfaceAddress>& interfaces, const std::string& address)
{
    const auto wanted = ParseDottedQuad(address);
    for (const InterfaceAddress& item : interfaces) {
        if (wanted && item.address == *wanted && item.netmask != 0) {
            return FormatIpv4(item.netmask);
        }
    }
    return {};
}

std::vector<std::uint32_t> SubnetEndsFrom(const std::vector<InterfaceAddress>& interfaces)
{
    std::vector<std::uint32_t> ends;
    for (const InterfaceAddress& item : interfaces) {
        if (item.loopback || item.netmask == 0 || item.netmask >= 0xFFFFFFFEU) {
            continue; // point-to-point: both addresses are hosts
        }
        ends.push_back(item.address & item.netmask);
        ends.push_back((item.address & item.netmask) | ~item.netmask);
    }
    return ends;
}

std::vector<std::uint32_t> LocalSubnetEnds()
{
    return SubnetEndsFrom(ReadInterfaceAddresses());
}

std::vector<AdapterEntry> ListAdapters()
{
    return AdapterEntriesFrom(ReadInterfaceAddresses());
}

std::string LookupMask(const std::string& address)
{
    return MaskFrom(ReadInterfaceAddresses(), address);
}

} // namespace tessvale
