// The one reading of an IPv4 address the program has, for the command line, the
// address fields, favorites, settings and baselines alike: a dotted quad of exactly
// four decimal parts 0-255, nothing before or after. Leading zeros are decimal
// ("010" is 10, never octal 8); hexadecimal ("0xc6"), shortened ("10.1") and
// single-number ("3323081738") forms are refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessvale {

// The address as a host-order number (first part in the high byte).
std::optional<std::uint32_t> ParseDottedQuad(std::string_view text);

} // namespace tessvale
