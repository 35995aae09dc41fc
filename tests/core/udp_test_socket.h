// UDP sockets for tests: bound with a receive timeout, and a reader that drains them.
#pragma once

#include <cstdint>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace tessvale::test {

struct UdpBinding
{
    int fd = -1;
    bool bound = false;
    std::uint16_t port = 0; // the port actually bound (a free one when 0 was asked for)
};

// A UDP socket bound to address:port (host order; port 0 picks a free one) whose
// receives give up after receiveTimeoutUs microseconds. The caller closes fd.
inline UdpBinding BindUdp(std::uint32_t address, std::uint16_t port, long receiveTimeoutUs)
{
    UdpBinding binding;
    binding.fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    binding.bound = bind(binding.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    socklen_t length = sizeof local;
    getsockname(binding.fd, reinterpret_cast<sockaddr*>(&local), &length);
    binding.port = ntohs(local.sin_port);
    timeval wait{receiveTimeoutUs / 1000000, receiveTimeoutUs % 1000000};
    setsockopt(binding.fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return binding;
}

// Every datagram that arrives until a receive times out.
inline std::vector<std::vector<std::uint8_t>> ReceiveAll(int fd)
{
    std::vector<std::vector<std::uint8_t>> datagrams;
    std::vector<std::uint8_t> buffer(2048);
    ssize_t received;
    while ((received = recv(fd, buffer.data(), buffer.size(), 0)) >= 0) {
        datagrams.emplace_back(buffer.begin(), buffer.begin() + received);
    }
    return datagrams;
}

} // namespace tessvale::test
