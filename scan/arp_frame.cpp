#include "scan/arp_frame.h"

#include <algorithm>

#include "scan/byte_order.h"
namespace tessvale {

namespace {

constexpr std::array<std::uint8_t, 6> kHeader{0, 1, 8, 0, 6, 4};
constexpr std::uint8_t kRequest = 1;
constexpr std::uint8_t kReply = 2;

} // namespace

std::array<std::uint8_t, kArpPacketSize> BuildArpRequest(const MacAddress& senderMac, std::uint32_t senderAddress,
                                                         std::uint32_t targetAddress)
{
    std::array<std::uint8_t, kArpPacketSize> packet{};
    std::copy(kHeader.begin(), kHeader.end(), packet.begin());
    packet[7] = kRequest;
    std::copy(senderMac.begin(), senderMac.end(), packet.begin() + 8);
    PutBe32(packet, 14, senderAddress);
    PutBe32(packet, 24, targetAddress);
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
    reply.address = GetBe32(packet, 14);
    return reply;
}

} // namespace tessvale
