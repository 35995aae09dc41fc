// The programs the host actions of the main window start: SSH in the desktop's
// terminal, ping, and the web page of a host. No Qt.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessvale {

// The command line that opens `ssh IP` in the first terminal found on PATH
// (x-terminal-emulator, gnome-terminal, konsole, xfce4-terminal, xterm); nullopt when
// there is none, or when the text is no dotted IPv4 address (nothing else is handed to
// a terminal).
std::optional<std::vector<std::string>> SshCommand(const std::string& ip,
                                                   const std::function<bool(const std::string&)>& onPath);

// iputils ping: four echo requests a second apart, one second's wait for the last,
// numeric output; nullopt for a text that is no dotted IPv4 address.
std::optional<std::vector<std::string>> PingCommand(const std::string& ip);

// "http://IP" or "https://IP".
std::string WebAddress(const std::string& ip, bool https);

} // namespace tessvale
