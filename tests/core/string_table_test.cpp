#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/string_table.h"

namespace tessvale {
namespace {

TEST(StringTable, BarListsSplitIntoTheirPieces)
{
    struct Case
    {
        std::string list;
        std::vector<std::string> pieces;
    };
    const std::vector<Case> cases = {
        {"Name|IP Range|", {"Name", "IP Range"}},
        {"a|b|c", {"a", "b", "c"}},
        {"a||b|", {"a", "", "b"}},
        {"|a", {"", "a"}},
        {"one", {"one"}},
        {"|", {""}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitBarList(c.list), c.pieces) << c.list;
    }
    EXPECT_EQ(SplitBarList(DefaultString(IDS_TOOLBAR)).size(), 9u);
}

TEST(StringTable, TextsGoThroughTheInstalledHooksAndBackToEnglishWithout)
{
    EXPECT_EQ(DefaultString(IDS_STATUS), "Status:");
    EXPECT_EQ(DefaultString(99999), "");
    EXPECT_EQ(UiString(IDS_STATUS), "Status:");
    EXPECT_EQ(UiText("&File"), "&File");

    std::vector<int> askedIds;
    SetTranslationHooks(
        [&askedIds](int id, const std::string& english) {
            askedIds.push_back(id);
            return "<" + english + ">";
        },
        [](const std::string& english) { return "[" + english + "]"; });
    EXPECT_EQ(UiString(IDS_STATUS), "<Status:>");
    EXPECT_EQ(UiString(99999), "<>"); // the hook sees the unknown id with an empty default
    EXPECT_EQ(UiText("&File"), "[&File]");
    EXPECT_EQ(askedIds, (std::vector<int>{IDS_STATUS, 99999}));

    SetTranslationHooks({}, {});
    EXPECT_EQ(UiString(IDS_STATUS), "Status:");
    EXPECT_EQ(UiText("&File"), "&File");
}

} // namespace
} // namespace tessvale
