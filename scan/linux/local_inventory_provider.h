// The inventory of the scanning computer itself, read from the files the kernel and the
// distribution provide.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
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
    std::string smbConf = "/etc/samba/smb.conf"; // the one smbd reads unless told another
    std::string proc = "/proc";
};

// The configuration file of the Samba server that serves the address (this computer's
// own), or nullopt when none does.
using SambaServerProbe = std::function<std::optional<std::string>(const std::string& address)>;

// System version: PRETTY_NAME of os-release. Processor: the first "model name" of
// cpuinfo. Memory: MemTotal of meminfo. Shares: only while a Samba server serves the
// address: the shares its configuration defines, the user shares and IPC$. Adapter
// speed: of the first adapter (by index) whose operstate is "up" and that reports a
// speed.
std::unique_ptr<InventoryProvider> MakeLocalInventoryProvider(const LocalInventoryPaths& paths,
                                                              SambaServerProbe sambaServer);
// With the real probe: RunningSambaConfig over paths.proc, asking the address over SMB.
std::unique_ptr<InventoryProvider> MakeLocalInventoryProvider(const LocalInventoryPaths& paths);

// The configuration file of a running smbd that serves this computer's network: a
// process named smbd in the proc folder whose network namespace is the calling
// thread's, or whose namespace cannot be read (smbd runs as root, a user may not read
// its links), while serverAnswers() says an SMB server answers. An smbd of another
// network namespace counts for nothing, and so does an SMB server that is not Samba's.
// The file is the one its command line names (-s FILE, --configfile=FILE; a relative
// name from its working folder), else defaultConfig. Nullopt when no such smbd runs.
std::optional<std::string> RunningSambaConfig(const std::string& procFolder, const std::string& defaultConfig,
                                              const std::function<bool()>& serverAnswers);

// True when an SMB server answers a NEGOTIATE on port 445 of the address within the
// bound.
bool SmbServerAnswers(const std::string& address, std::chrono::milliseconds bound);

} // namespace tessvale
