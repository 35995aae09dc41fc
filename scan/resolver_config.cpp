#include "scan/resolver_config.h"

#include <algorithm>
#include <fstream>

#include "scan/address_forms.h"

namespace tessvale {

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;
constexpr std::size_t kMaxFileBytes = std::size_t{64} * 1024;

bool Blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view NextWord(std::string_view& line)
{
    while (!line.empty() && Blank(line.front())) {
        line.remove_prefix(1);
    }
    std::size_t length = 0;
    while (length < line.size() && !Blank(line[length])) {
        ++length;
    }
    const std::string_view word = line.substr(0, length);
    line.remove_prefix(length);
    return word;
}

} // namespace

std::vector<std::uint32_t> ParseNameServers(std::string_view text)
{
    std::vector<std::uint32_t> servers;
    bool anyLine = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && (line.front() == '#' || line.front() == ';')) {
            continue;
        }
        if (NextWord(line) != "nameserver") {
            continue;
        }
        std::string_view address = NextWord(line);
        const std::size_t comment = address.find_first_of("#;");
        address = address.substr(0, comment);
        if (address.empty()) {
            continue;
        }
        if (address.find(':') != std::string_view::npos) {
            anyLine = true; // an IPv6 server: it counts, but the probes cannot ask it
            continue;
        }
        const auto value = ParseIpv4(address);
        if (!value) {
            continue; // the C library skips what it cannot read
        }
        anyLine = true;
        if (servers.size() >= kMaxNameServers) {
            continue;
        }
        // 0.0.0.0 reaches the computer itself, as the C library treats it.
        const std::uint32_t server = *value == 0 ? kLoopback : *value;
        if (std::find(servers.begin(), servers.end(), server) == servers.end()) {
            servers.push_back(server);
        }
    }
    if (!anyLine) {
        servers.push_back(kLoopback);
    }
    return servers;
}

std::vector<std::uint32_t> ReadNameServers(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {kLoopback};
    }
    std::string text(kMaxFileBytes, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    return ParseNameServers(text);
}

} // namespace tessvale
