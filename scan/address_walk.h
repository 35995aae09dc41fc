// The order in which a scan visits the addresses of a range, produced one address at a
// time so that memory stays flat whatever the range.
//
// The range is walked octet by octet over four nested levels. Every octet is bounded by
// the end address's octet at its level; each of the first three levels makes at most
// 255 passes and the last at most 254. The first pass of each level starts at the start
// address's octet; later passes restart the third octet at 0 and the last at 1. So
// 192.168.1.1 - 192.168.1.254 gives 254 addresses, 192.168.1.0 - 192.168.1.255 gives .0
// to .253, and 10.0.0.100 - 10.0.1.50 gives only 10.0.1.1 - 10.0.1.50.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

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
    AddressWalk(std::string_view start, std::string_view end);

    // Writes the next address ("%u.%u.%u.%u") and advances; false when the walk is over.
    bool Next(std::string& address);

    // Number of addresses the whole walk yields, computed without walking.
    std::uint64_t Count() const;

private:
    enum class Stage
    {
        Check1,
        Enter2,
        Check2,
        Enter3,
        Check3,
        Enter4,
        Check4,
        After4,
        After3,
        After2,
        End,
    };

    // The steps of Next: a check or entry of the first three levels, a visit of the last
    // octet (true when it wrote an address), and the carry to the next octet above.
    void Descend();
    bool VisitLastOctet(std::string& address);
    void Ascend();

    std::array<std::uint32_t, 4> m_start{};
    std::array<std::uint32_t, 4> m_end{};
    std::uint32_t m_a = 0, m_b = 0, m_c = 0, m_d = 0;
    int m_pass1 = 0, m_pass2 = 0, m_pass3 = 0, m_pass4 = 0;
    Stage m_stage = Stage::End;
    bool m_hasRange = false;
};

} // namespace tessvale
