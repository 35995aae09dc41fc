#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "scan/typed_range.h"

namespace tessvale {
namespace {

TEST(TypedRange, RangeProblemsAreFoundInOrder)
{
    const auto at = [](const char* text) { return RangeEntry{AddressFill::Complete, *ParseDottedQuad(text)}; };
    const RangeEntry incomplete{AddressFill::Incomplete, *ParseDottedQuad("198.18.40.0")};
    const RangeEntry blank{};
    struct Case
    {
        RangeEntry first;
        RangeEntry last;
        std::uint64_t max;
        RangeProblem problem;
    };
    const std::vector<Case> cases = {
        {at("198.18.40.1"), at("198.18.40.50"), 1u << 24, RangeProblem::None},
        {at("198.18.40.7"), at("198.18.40.7"), 1, RangeProblem::None},
        {incomplete, at("198.18.40.50"), 1u << 24, RangeProblem::FirstIncomplete},
        {blank, blank, 1u << 24, RangeProblem::FirstIncomplete},
        {at("198.18.40.1"), incomplete, 1u << 24, RangeProblem::LastIncomplete},
        {at("198.18.40.50"), at("198.18.40.5"), 1u << 24, RangeProblem::EndBeforeStart},
        {at("10.0.0.0"), at("10.255.255.255"), 1u << 24, RangeProblem::None},
        {at("10.0.0.0"), at("11.0.0.0"), 1u << 24, RangeProblem::TooLarge},
        {at("0.0.0.0"), at("255.255.255.255"), 1u << 24, RangeProblem::TooLarge},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckRange(c.first, c.last, c.max), c.problem)
            << FormatIpv4(c.first.address) << "-" << FormatIpv4(c.last.address);
    }
    EXPECT_EQ(RangeSize(0, 0xFFFFFFFFu), std::uint64_t{1} << 32);
    EXPECT_EQ(RangeSize(5, 4), 0u);
}

TEST(TypedRange, TypedRangesInTheirThreeForms)
{
    // Each text with the range it names as "first-last"; empty: it names none.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"198.18.40.1-198.18.40.50", "198.18.40.1-198.18.40.50"},
        {" 198.18.40.1 - 198.18.41.2 ", "198.18.40.1-198.18.41.2"},
        {"198.18.40.1-50", "198.18.40.1-198.18.40.50"},
        {"198.18.40.0/24", "198.18.40.1-198.18.40.254"},
        {"198.18.40.50-198.18.40.5", ""},
        {"198.18.40.50-5", ""},
        {"198.18.40.1-256", ""},
        {"198.18.40.-198.18.40.9", ""},
        {"198.18.40.1-198.18.40.", ""},
        {"198.18.40.1--2", ""},
        {"198.18.40.1", ""},
        {"198.18.40.0/33", ""},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) {
        const auto range = ParseTypedRange(text);
        EXPECT_EQ(range ? FormatIpv4(range->start) + "-" + FormatIpv4(range->end) : std::string(), expected) << text;
    }
}

} // namespace
} // namespace tessvale
