#include "scan/wake_on_lan.h"

#include <algorithm>

namespace tessvale {

std::array<std::uint8_t, kWakeOnLanPacketSize> BuildWakeOnLanPacket(const MacAddress& mac)
{
    std::array<std::uint8_t, kWakeOnLanPacketSize> packet{};
    std::fill_n(packet.begin(), 6, std::uint8_t{0xFF});
    for (std::size_t repeat = 0; repeat < 16; ++repeat) {
        std::copy(mac.begin(), mac.end(), packet.begin() + static_cast<std::ptrdiff_t>(6 + repeat * mac.size()));
    }
    return packet;
}

std::optional<MacAddress> ParseWakeMac(std::string_view text)
{
    if (text.size() != 17) {
        return std::nullopt;
    }
    return ParseMac(text);
}

} // namespace tessvale
