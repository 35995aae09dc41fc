#include "app/logic/remote_desktop.h"

namespace tessvale {

std::optional<std::vector<std::string>> RemoteDesktopCommand(const std::string& ip,
                                                             const std::function<bool(const std::string&)>& onPath)
{
    const std::string target = ip + ":3389";
    for (const char* client : {"xfreerdp3", "xfreerdp"}) {
        if (onPath(client)) {
            return std::vector<std::string>{client, "/v:" + target};
        }
    }
    if (onPath("remmina")) {
        return std::vector<std::string>{"remmina", "-c", "rdp://" + target};
    }
    return std::nullopt;
}

} // namespace tessvale
