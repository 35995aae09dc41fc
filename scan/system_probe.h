// The real probes of a scan: NetBIOS node status, then ARP.
#pragma once

#include <functional>
#include <memory>

#include "scan/host_probe.h"

namespace tessvale {

// The probes with the NetBIOS timeout (milliseconds) asked of `timeoutMs` before each
// query.
std::unique_ptr<HostProbe> MakeSystemProbe(std::function<int()> timeoutMs);

} // namespace tessvale
