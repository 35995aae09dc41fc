// The Remote Desktop command: which client program opens a session to a host.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessvale {

// The command line of the first RDP client found (xfreerdp3, xfreerdp, remmina) for a
// session to ip on port 3389; nullopt when none is installed. onPath tells whether a
// program name is found on PATH.
std::optional<std::vector<std::string>> RemoteDesktopCommand(const std::string& ip,
                                                             const std::function<bool(const std::string&)>& onPath);

} // namespace tessvale
