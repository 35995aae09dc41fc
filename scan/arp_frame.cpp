#include "scan/arp_frame.h"

#include <algorithm>

namespace tessvale {

namespace {

constexpr std::array<std::uint8_t, 6> kHeader{0, 1, 8, 0, 6, 4};
constexpr std::uint8_t kRequest = 1;
constexpr std::uint8_t kReply = 2;

void PutAddress(std::uint8_t* at, std::uint32_t address)
{
    at[0] = static_cast<std::uint8_t>(address >> 24);
    at[1] = static_cast<std::uint8_t>(address >> 16);
    at[2] = static_cast<std::uint8_t>(address >> 8);
    at[3] = static_cast<std::uint8_t>(address);
}

} // namespace

std::array<std::uint8_t, kArpPacketSize> BuildArpRequest(const MacAddress& senderMac, std::uint32_t senderAddress,
                                                         std::uint32_t targetAddress)
{
    std::array<std::uint8_t, kArpPacketSize> packet{};
    std::copy(kHeader.begin(), kHeader.end(), packet.begin());
    packet[7] = kRequest;
    std::copy(senderMac.begin(), senderMac.end(), packet.begin() + 8);
    PutAddress(packet.data() + 14, senderAddress);
    PutAddress(packet.data() + 24, targetAddress);
    return packet;
}

std::optional<ArpReply> ParseArpReply(std::span<const std::uint8_t> packet)
{
    if (packet.size() < kArpPacketSize || !std::equal(kHeader.begin(), kHeader.end(), packet.begin()) ||
        packet[6] != 0 || packet[7] != kReply) {
        return std::nullopt;
    }
    ArpReply reply;
    std::copy(packet.begin() + 8, packet.begin() + 14, reply.mac.begin());
    reply.address = (std::uint32_t{packet[14]} << 24) | (std::uint32_t{packet[15]} << 16) |
                    (std::uint32_t{packet[16]} << 8) | std::uint32_t{packet[17]};
    return reply;
}

} // namespace tessvale
