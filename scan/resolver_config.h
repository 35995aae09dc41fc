// The name servers of the system's resolver configuration (resolv.conf(5)): the
// "nameserver" lines, read the way the C library reads them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale {

// The C library asks at most this many name servers.
inline constexpr std::size_t kMaxNameServers = 3;

// The IPv4 name servers (host order) of a resolv.conf text, in their order, each once,
// at most kMaxNameServers. A line is "nameserver" and an address, separated by blanks
// or tabs; '#' and ';' start comments; IPv6 servers are left out (the probes are IPv4).
// A text without any nameserver line means the server on the computer itself
// (127.0.0.1), as for the C library; IPv6 servers alone give none.
std::vector<std::uint32_t> ParseNameServers(std::string_view text);

// ParseNameServers of the file (at most its first 64 KiB); the computer's own server
// when the file cannot be read.
std::vector<std::uint32_t> ReadNameServers(const std::string& path = "/etc/resolv.conf");

} // namespace tessvale
