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

} // namespace
} // namespace tessvale
