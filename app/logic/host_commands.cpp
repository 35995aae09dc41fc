#include "app/logic/host_commands.h"

#include <array>
#include <utility>

#include "scan/address_forms.h"

namespace tessvale {
namespace {

bool IsAddress(const std::string& ip)
{
    return ParseDottedQuad(ip).has_value();
}

} // namespace

std::optional<std::vector<std::string>> SshCommand(const std::string& ip,
                                                   const std::function<bool(const std::string&)>& onPath)
{
    if (!IsAddress(ip)) {
        return std::nullopt;
    }
    // Each terminal's own way of running one command after its options.
    static const std::array<std::pair<const char*, const char*>, 5> kTerminals = {{
        {"x-terminal-emulator", "-e"},
        {"gnome-terminal", "--"},
        {"konsole", "-e"},
        {"xfce4-terminal", "-x"},
        {"xterm", "-e"},
    }};
    for (const auto& [terminal, run] : kTerminals) {
        if (onPath(terminal)) {
            return std::vector<std::string>{terminal, run, "ssh", ip};
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> PingCommand(const std::string& ip)
{
    if (!IsAddress(ip)) {
        return std::nullopt;
    }
    return std::vector<std::string>{"ping", "-n", "-c", "4", "-W", "1", ip};
}

std::string WebAddress(const std::string& ip, bool https)
{
    return (https ? "https://" : "http://") + ip;
}

} // namespace tessvale
