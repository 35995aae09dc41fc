#include "scan/typed_range.h"

#include <algorithm>
#include <string>

namespace tessvale {
namespace {

std::string_view Trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<std::uint32_t> ParseOctet(std::string_view text)
{
    if (text.empty() || text.size() > 3 || !std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const int value = std::stoi(std::string(text));
    return value <= 255 ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(value)) : std::nullopt;
}

} // namespace

std::uint64_t RangeSize(std::uint32_t first, std::uint32_t last)
{
    return last < first ? 0 : std::uint64_t{last} - first + 1;
}

RangeProblem CheckRange(const RangeEntry& first, const RangeEntry& last, std::uint64_t maxAddresses)
{
    if (first.fill != AddressFill::Complete) {
        return RangeProblem::FirstIncomplete;
    }
    if (last.fill != AddressFill::Complete) {
        return RangeProblem::LastIncomplete;
    }
    if (last.address < first.address) {
        return RangeProblem::EndBeforeStart;
    }
    if (RangeSize(first.address, last.address) > maxAddresses) {
        return RangeProblem::TooLarge;
    }
    return RangeProblem::None;
}

std::optional<AddressRange> ParseTypedRange(std::string_view text)
{
    text = Trimmed(text);
    if (text.find('/') != std::string_view::npos) {
        return ParseCidr(text);
    }
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos || text.find('-', dash + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    const auto first = ParseDottedQuad(Trimmed(text.substr(0, dash)));
    const std::string_view tail = Trimmed(text.substr(dash + 1));
    if (!first) {
        return std::nullopt;
    }
    std::optional<std::uint32_t> last;
    if (tail.find('.') == std::string_view::npos) {
        if (const auto octet = ParseOctet(tail)) {
            last = (*first & 0xFFFFFF00u) | *octet;
        }
    } else {
        last = ParseDottedQuad(tail);
    }
    if (!last || *last < *first) {
        return std::nullopt;
    }
    return AddressRange{*first, *last};
}

} // namespace tessvale
