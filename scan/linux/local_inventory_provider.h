// The inventory of the scanning computer itself, read from the files the kernel and the
// distribution provide.
#pragma once

#include <memory>
#include <string>

#include "scan/inventory_provider.h"

namespace tessvale {

struct LocalInventoryPaths
{
    std::string osRelease = "/etc/os-release";
    std::string osReleaseFallback = "/usr/lib/os-release";
    std::string cpuInfo = "/proc/cpuinfo";
    std::string memInfo = "/proc/meminfo";
    std::string netClass = "/sys/class/net";
    std::string smbConf = "/etc/samba/smb.conf";
    std::string smbd = "/usr/sbin/smbd"; // Samba counts as installed when this exists
};

// System version: PRETTY_NAME of os-release. Processor: the first "model name" of
// cpuinfo. Memory: MemTotal of meminfo. Shares: the shares of smb.conf and the Samba
// user shares, when Samba is installed. Adapter speed: of the first adapter (by index)
// whose operstate is "up" and that reports a speed.
std::unique_ptr<InventoryProvider> MakeLocalInventoryProvider(const LocalInventoryPaths& paths);

} // namespace tessvale
