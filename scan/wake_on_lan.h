// Wake-on-LAN: the magic packet broadcast for one MAC.
//
// Datagram, 108 bytes: 6 x 0xFF, the six MAC bytes 16 times, 6 zero bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scan/address_forms.h"

namespace tessvale {

inline constexpr std::size_t kWakeOnLanPacketSize = 108;
inline constexpr int kWakeOnLanRepeats = 10;

std::array<std::uint8_t, kWakeOnLanPacketSize> BuildWakeOnLanPacket(const MacAddress& mac);

// The MAC texts the sender accepts: 17 characters, six hexadecimal pairs separated by
// ':' or by '-'.
std::optional<MacAddress> ParseWakeMac(std::string_view text);

struct WakeDestination
{
    std::uint32_t address = 0xFFFFFFFFu; // host order; the limited broadcast
    std::uint16_t port = 4000;
};

// What a send achieved: how many of the datagrams went out, and the errno of the last
// one that did not (0 when all did).
struct WakeSendReport
{
    int sent = 0;
    int error = 0;
};

// Sends the packet for the MAC text ten times to the destination. Returns 1 when the
// text was accepted, 0 without sending anything when it does not parse as six
// hexadecimal bytes. Send errors do not change the result; `report`, when given, is
// told how many datagrams went out.
int SendWakeOnLan(const std::string& mac, const WakeDestination& destination = {}, WakeSendReport* report = nullptr);

} // namespace tessvale
