// Whether an address belongs to this machine.

#include <algorithm>

#include "common/interface_list.h"
#include "scan/address_forms.h"
#include "scan/host_inventory_query.h"

namespace tessvale {

bool IsLocalIpv4Address(const std::string& address)
{
    const auto wanted = ParseDottedQuad(address);
    if (!wanted) {
        return false;
    }
    const auto interfaces = ReadInterfaceAddresses();
    return std::any_of(interfaces.begin(), interfaces.end(),
                       [&](const InterfaceAddress& item) { return item.address == *wanted; });
}

} // namespace tessvale
