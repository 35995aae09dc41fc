// A range as the user types it into the window or the favorites editor: two address
// entries, each blank, incomplete or complete, or one text that names a whole range.
// No Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "scan/address_forms.h"

namespace tessvale {

// The most addresses one run may scan (a /8).
inline constexpr std::uint64_t kMaxRangeAddresses = std::uint64_t{1} << 24;

// How far an address entry has been filled in.
enum class AddressFill
{
    Blank,      // every octet empty
    Incomplete, // some octets empty
    Complete,
};

enum class RangeProblem
{
    None,
    FirstIncomplete, // the first address is blank or has an empty octet
    LastIncomplete,
    EndBeforeStart,
    TooLarge, // more addresses than one scan may walk
};

struct RangeEntry
{
    AddressFill fill = AddressFill::Blank;
    std::uint32_t address = 0; // host order; meaningful when complete
};

// The problem of a range typed into the window or the favorites editor, the first one
// found in the order of the enumeration.
RangeProblem CheckRange(const RangeEntry& first, const RangeEntry& last, std::uint64_t maxAddresses);

// How many addresses a range holds (0 when the end is before the start).
std::uint64_t RangeSize(std::uint32_t first, std::uint32_t last);

// A whole range as typed or pasted: a subnet ("198.18.0.0/24"), two addresses with a
// dash between them ("198.18.40.1-198.18.40.50", blanks around the dash allowed) or an
// address and a last octet ("198.18.40.1-50"). nullopt for any other text, and for an
// end before the start.
std::optional<AddressRange> ParseTypedRange(std::string_view text);

} // namespace tessvale
