// The order in which a scan visits the addresses of a range, produced one address at a
// time so that memory stays flat whatever the range.
//
// Every address from the first to the last in numeric order, leaving out only the
// network and broadcast addresses of the local adapters' subnets (given to the walk).
// So 192.168.1.1 - 192.168.1.254 gives 254 addresses, 10.0.0.100 - 10.0.1.50 gives 207,
// and a /20 includes the .255 and .0 addresses inside it. Octets above 255 are read as
// 255; a first address above the last gives none.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale {

// Splits dotted text into four octets the way the walk reads its ends: each piece is a
// decimal number (leading white space and a sign accepted, reading stops at the first
// non-digit) taken as an unsigned 32-bit value; missing pieces are 0.
std::array<std::uint32_t, 4> SplitOctets(std::string_view dotted);

class AddressWalk
{
public:
    // An empty walk.
    AddressWalk() = default;
    // skipped: addresses (host order) the walk leaves out, in any order.
    AddressWalk(std::string_view start, std::string_view end, std::vector<std::uint32_t> skipped = {});

    // Writes the next address ("%u.%u.%u.%u") and advances; false when the walk is over.
    bool Next(std::string& address);
    // The same, as a number in host order (first octet highest).
    bool Next(std::uint32_t& address);

    // Number of addresses the whole walk yields, computed without walking.
    std::uint64_t Count() const;

private:
    std::uint64_t m_next = 1;
    std::uint64_t m_first = 1;
    std::uint64_t m_last = 0;
    std::vector<std::uint32_t> m_skipped; // sorted, unique
};

} // namespace tessvale
