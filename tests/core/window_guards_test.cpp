#include <gtest/gtest.h>

#include "app/logic/window_guards.h"

namespace tessvale {
namespace {

StoredHost Stored(const std::string& ip, const std::string& name = "PC")
{
    return {ip, "00:11:22:33:44:55", name, "-", "", "", "", "", "Acme"};
}

TEST(WindowGuards, RowsCountAsUnsavedUnlessStoredExactlyAsShown)
{
    const std::vector<StoredHost> shown = {Stored("10.0.0.1"), Stored("10.0.0.2")};
    std::vector<StoredHost> renamed = shown;
    renamed[1].hostName = "OTHER";
    const std::vector<StoredHost> fewer = {shown[0]};
    struct Case
    {
        const char* what;
        std::vector<StoredHost> rows;
        const std::vector<StoredHost>* stored;
        bool unsaved;
    };
    const std::vector<Case> cases = {
        {"an empty list loses nothing", {}, nullptr, false},
        {"rows of an adapter's range are stored nowhere", shown, nullptr, true},
        {"rows as stored", shown, &shown, false},
        {"one field differs", shown, &renamed, true},
        {"a row more than stored", shown, &fewer, true},
        {"a row was deleted", fewer, &shown, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HoldsUnsavedRows(c.rows, c.stored), c.unsaved) << c.what;
    }
}

TEST(WindowGuards, ReplacingAsksOnlyWhenRowsWouldBeLostAndFollowsTheAnswer)
{
    EXPECT_EQ(StepBeforeReplacing(false, std::nullopt), ReplaceStep::Go);
    EXPECT_EQ(StepBeforeReplacing(false, UnsavedAnswer::Cancel), ReplaceStep::Go);
    EXPECT_EQ(StepBeforeReplacing(true, UnsavedAnswer::Save), ReplaceStep::SaveFirst);
    EXPECT_EQ(StepBeforeReplacing(true, UnsavedAnswer::Discard), ReplaceStep::Go);
    EXPECT_EQ(StepBeforeReplacing(true, UnsavedAnswer::Cancel), ReplaceStep::Stay);
    EXPECT_EQ(StepBeforeReplacing(true, std::nullopt), ReplaceStep::Stay);
}

TEST(WindowGuards, CountsAreThoseOfTheRows)
{
    ResultList list;
    HostRecord record;
    record.ip = "10.0.0.1";
    list.HostFound(record);
    list.HostFound(record); // twice the same host: still one row
    record.ip = "10.0.0.2";
    list.HostFound(record);
    list.HostSilent("10.0.0.2");
    list.HostSilent("10.0.0.9"); // no row
    const RowCounts counts = CountRows(list.Rows());
    EXPECT_EQ(counts.online, 1);
    EXPECT_EQ(counts.offline, 1);
    EXPECT_EQ(CountRows({}).online + CountRows({}).offline, 0);
}

TEST(WindowGuards, RangeProblemsAreFoundInOrder)
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

TEST(WindowGuards, TypedRangesInTheirThreeForms)
{
    struct Case
    {
        const char* text;
        const char* first; // nullptr: no range
        const char* last;
    };
    const std::vector<Case> cases = {
        {"198.18.40.1-198.18.40.50", "198.18.40.1", "198.18.40.50"},
        {" 198.18.40.1 - 198.18.41.2 ", "198.18.40.1", "198.18.41.2"},
        {"198.18.40.1-50", "198.18.40.1", "198.18.40.50"},
        {"198.18.40.0/24", "198.18.40.1", "198.18.40.254"},
        {"198.18.40.50-198.18.40.5", nullptr, nullptr},
        {"198.18.40.50-5", nullptr, nullptr},
        {"198.18.40.1-256", nullptr, nullptr},
        {"198.18.40.-198.18.40.9", nullptr, nullptr},
        {"198.18.40.1-198.18.40.", nullptr, nullptr},
        {"198.18.40.1--2", nullptr, nullptr},
        {"198.18.40.1", nullptr, nullptr},
        {"198.18.40.0/33", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const auto range = ParseTypedRange(c.text);
        if (c.first == nullptr) {
            EXPECT_FALSE(range.has_value()) << c.text;
            continue;
        }
        ASSERT_TRUE(range.has_value()) << c.text;
        EXPECT_EQ(FormatIpv4(range->start), c.first) << c.text;
        EXPECT_EQ(FormatIpv4(range->end), c.last) << c.text;
    }
}

} // namespace
} // namespace tessvale
