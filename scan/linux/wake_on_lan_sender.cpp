#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "scan/wake_on_lan.h"

namespace tessvale {

int SendWakeOnLan(const std::string& mac, const WakeDestination& destination)
{
    const auto bytes = ParseWakeMac(mac);
    if (!bytes) {
        return 0;
    }
    const auto packet = BuildWakeOnLanPacket(*bytes);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 1; // send failures are not reported
    }
    const int on = 1;
    (void)setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(destination.port);
    target.sin_addr.s_addr = htonl(destination.address);
    for (int i = 0; i < kWakeOnLanRepeats; ++i) {
        (void)sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    }
    close(fd);
    return 1;
}

} // namespace tessvale
