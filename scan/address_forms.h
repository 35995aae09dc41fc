// Text forms of IPv4 and MAC addresses and the default scan range of a local subnet.
// Addresses travel as dotted-quad text and are walked and compared as host-order
// unsigned 32-bit numbers (first octet in the high byte).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/dotted_quad.h"

namespace tessvale {

using MacAddress = std::array<std::uint8_t, 6>;

// What a probe leaves when it learned nothing: an all-ones MAC.
inline constexpr std::string_view kNoAnswerMac = "FF:FF:FF:FF:FF:FF";

// An IPv4 address as the program reads it everywhere: ParseDottedQuad (four decimal
// parts 0-255; no octal, hexadecimal or shortened forms). Returns the host-order value.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);

// "%u.%u.%u.%u" from the most significant byte down.
std::string FormatIpv4(std::uint32_t hostOrder);

// Parses six hexadecimal byte pairs separated by ':' or by '-' (one kind throughout),
// or 12 bare hexadecimal digits. Either case.
std::optional<MacAddress> ParseMac(std::string_view text);

// "%02X:%02X:%02X:%02X:%02X:%02X".
std::string FormatMac(const MacAddress& mac);

// True for the all-ones MAC text, compared without regard to case.
bool IsNoAnswerMac(std::string_view mac);

struct AddressRange
{
    std::uint32_t start = 0; // host order
    std::uint32_t end = 0;   // host order; one below start for a /32
};

// The range the main window proposes for a local address and its mask: from the
// subnet address + 1 to the subnet's directed broadcast address. No range for a mask
// of 0.0.0.0 or unparsable texts.
std::optional<AddressRange> DefaultRange(std::string_view address, std::string_view mask);

// A range written as a subnet, "198.18.0.0/24" (a dotted quad, "/", a prefix length
// 0-32; host bits in the address are ignored): from the subnet address + 1 to its
// broadcast address - 1. A /31 gives both of its addresses, a /32 its one. No range
// for any other text.
std::optional<AddressRange> ParseCidr(std::string_view text);

} // namespace tessvale
