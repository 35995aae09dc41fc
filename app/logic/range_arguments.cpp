#include "app/logic/range_arguments.h"

#include <algorithm>

#include "common/text_util.h"
#include "scan/address_forms.h"

namespace tessvale {

namespace {

constexpr std::size_t kShownChars = 60;

// An argument as a message quotes it: control characters blanked, cut.
std::string Quoted(const std::string& text)
{
    std::string shown = BlankControlCharacters(CutToCapacity(text, kShownChars + 1));
    if (shown.size() < text.size()) {
        shown += "...";
    }
    return "'" + shown + "'";
}

bool CheckSize(const AddressSpan& span, const std::string& text, std::string& error)
{
    if (std::uint64_t{span.last} - span.first + 1 > kMaxRangeAddresses) {
        error = "the range " + text + " holds more than " + std::to_string(kMaxRangeAddresses) +
                " addresses; give smaller ones";
        return false;
    }
    return true;
}

bool IsCidrText(const std::string& text)
{
    return text.find('/') != std::string::npos;
}

} // namespace

bool ReadRangeArgument(const std::vector<std::string>& arguments, std::size_t& at, bool lastOptional, AddressSpan& span,
                       std::string& error)
{
    if (at >= arguments.size()) {
        error = "a range is missing: FIRST LAST, or a CIDR range such as 198.18.0.0/24";
        return false;
    }
    const std::string& text = arguments[at];
    if (IsCidrText(text)) {
        const auto block = ParseCidr(text);
        if (!block) {
            error = Quoted(text) + " is not a CIDR range such as 198.18.0.0/24";
            return false;
        }
        span = AddressSpan{block->start, block->end};
        ++at;
        return CheckSize(span, text, error);
    }
    const auto first = ParseDottedQuad(text);
    if (!first) {
        error = Quoted(text) + " is not an IPv4 address";
        return false;
    }
    if (at + 1 >= arguments.size() || IsCidrText(arguments[at + 1])) {
        if (lastOptional) {
            span = AddressSpan{*first, *first};
            ++at;
            return true;
        }
        error = "the range from " + text + " needs its last address (FIRST LAST), or give a CIDR range";
        return false;
    }
    const std::string& lastText = arguments[at + 1];
    const auto last = ParseDottedQuad(lastText);
    if (!last) {
        error = Quoted(lastText) + " is not an IPv4 address";
        return false;
    }
    if (*last < *first) {
        error = "the last address " + lastText + " lies below the first " + text;
        return false;
    }
    span = AddressSpan{*first, *last};
    at += 2;
    return CheckSize(span, text + " " + lastText, error);
}

std::vector<AddressSpan> WithoutRepeats(const std::vector<AddressSpan>& spans)
{
    std::vector<AddressSpan> result;
    // What the spans so far cover, in address order and disjoint.
    std::vector<AddressSpan> covered;
    for (const AddressSpan& span : spans) {
        std::uint64_t from = span.first;
        for (const AddressSpan& done : covered) {
            if (from > span.last) {
                break;
            }
            if (done.last < from) {
                continue;
            }
            if (done.first > from) {
                result.push_back(
                    AddressSpan{static_cast<std::uint32_t>(from), std::min<std::uint32_t>(span.last, done.first - 1)});
            }
            from = std::uint64_t{done.last} + 1;
        }
        if (from <= span.last) {
            result.push_back(AddressSpan{static_cast<std::uint32_t>(from), span.last});
        }
        covered.push_back(span);
        std::sort(covered.begin(), covered.end(),
                  [](const AddressSpan& a, const AddressSpan& b) { return a.first < b.first; });
        std::vector<AddressSpan> joined;
        for (const AddressSpan& piece : covered) {
            if (!joined.empty() && std::uint64_t{piece.first} <= std::uint64_t{joined.back().last} + 1) {
                joined.back().last = std::max(joined.back().last, piece.last);
            } else {
                joined.push_back(piece);
            }
        }
        covered = std::move(joined);
    }
    return result;
}

std::uint64_t AddressCount(const std::vector<AddressSpan>& spans)
{
    std::uint64_t count = 0;
    for (const AddressSpan& span : spans) {
        count += std::uint64_t{span.last} - span.first + 1;
    }
    return count;
}

} // namespace tessvale
