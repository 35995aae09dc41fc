#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "scan/wake_on_lan.h"

namespace tessvale {

int SendWakeOnLan(const std::string& mac, const WakeDestination& destination, WakeSendReport* report)
{
    WakeSendReport ignored;
    WakeSendReport& result = report != nullptr ? *report : ignored;
    result = {};
    const auto bytes = ParseWakeMac(mac);
    if (!bytes) {
        return 0;
    }
    const auto packet = BuildWakeOnLanPacket(*bytes);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        result.error = errno;
        return 1;
    }
    const int on = 1;
    (void)setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(destination.port);
    target.sin_addr.s_addr = htonl(destination.address);
    for (int i = 0; i < kWakeOnLanRepeats; ++i) {
        if (sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target) ==
            static_cast<ssize_t>(packet.size())) {
            ++result.sent;
        } else {
            result.error = errno;
        }
    }
    close(fd);
    return 1;
}

} // namespace tessvale
