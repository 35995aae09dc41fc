// Address ranges as the command line gives them, read the same way by "--scan" and by
// the lookups "-m" and "-i": a CIDR block ("198.18.0.0/24") or two dotted quads FIRST
// LAST. Addresses are strict dotted quads (four decimal parts 0-255; leading zeros
// read as decimal); no octal, hexadecimal or shortened forms. The messages name the
// argument at fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scan/typed_range.h"

namespace tessvale {

struct AddressSpan
{
    std::uint32_t first = 0; // host order, both ends included
    std::uint32_t last = 0;
};

// Reads the range that starts at arguments[at] and moves `at` past it. With
// lastOptional, a single address without a second one is the range of that address
// alone (the lookups' FIRST [LAST]). False with a message when the arguments there
// are no range, the last address lies below the first, or the range holds more than
// kMaxRangeAddresses addresses.
bool ReadRangeArgument(const std::vector<std::string>& arguments, std::size_t& at, bool lastOptional, AddressSpan& span,
                       std::string& error);

// The spans in the order given, each without the addresses an earlier one covers (a
// span wholly covered goes, one with a covered middle splits in two), so that no
// address is scanned twice.
std::vector<AddressSpan> WithoutRepeats(const std::vector<AddressSpan>& spans);

// The number of addresses of the spans (which WithoutRepeats made disjoint).
std::uint64_t AddressCount(const std::vector<AddressSpan>& spans);

} // namespace tessvale
