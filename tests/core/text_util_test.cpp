#include <climits>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "common/text_util.h"

namespace tessvale {
namespace {

TEST(TextUtil, Utf16RoundTripKeepsNonAsciiAndSurrogatePairs)
{
    const std::string text = "Grüße \xF0\x9F\x98\x80 end";
    const std::u16string wide = FromUtf8(text);
    EXPECT_EQ(wide.size(), 12u); // the emoji takes two UTF-16 units
    EXPECT_EQ(ToUtf8(wide), text);
}

TEST(TextUtil, InvalidUtf8BecomesReplacementCharacters)
{
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"Caf\xC3\xA9", "Caf\xC3\xA9"},
        {"\xFF", r},
        {"a\xC3", "a" + r},
        {"\xC3(", r + "("},
        {"\xED\xA0\x80", r},                      // an encoded surrogate
        {"\xF4\x90\x80\x80", r},                  // beyond U+10FFFF
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}, // U+1F600 stays
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(ReplaceInvalidUtf8(in), out);
        EXPECT_TRUE(IsValidUtf8(ReplaceInvalidUtf8(in)));
    }
    EXPECT_TRUE(IsValidUtf8(ReplaceInvalidUtf8("A\xC0\xAF"
                                               "B"))); // overlong
}

TEST(TextUtil, CutToCapacityCountsCharactersNotBytes)
{
    EXPECT_EQ(CutToCapacity("abcdef", 4), "abc");
    EXPECT_EQ(CutToCapacity("äöüß", 3), "äö");
    EXPECT_EQ(CutToCapacity("ab", 10), "ab");
    EXPECT_EQ(CutToCapacity("ab", 0), "");
    EXPECT_EQ(CharCount("äöüß"), 4u);
}

TEST(TextUtil, ParseDecimalBehavesLikeAtoiWithoutOverflow)
{
    EXPECT_EQ(ParseDecimal("  42abc"), 42);
    EXPECT_EQ(ParseDecimal("-7"), -7);
    EXPECT_EQ(ParseDecimal("+13"), 13);
    EXPECT_EQ(ParseDecimal("x1"), 0);
    EXPECT_EQ(ParseDecimal(""), 0);
    EXPECT_EQ(ParseDecimal("99999999999999999999999"), LLONG_MAX);
}

TEST(TextUtil, CaseHelpersAndTrim)
{
    EXPECT_TRUE(EqualsNoCase("Silent", "sILENT"));
    EXPECT_FALSE(EqualsNoCase("Silent", "Silen"));
    EXPECT_EQ(ToUpperAscii("0a:bc"), "0A:BC");
    EXPECT_EQ(Trim(" \tPC01  \r\n"), "PC01");
    EXPECT_EQ(Trim("   "), "");
}

TEST(TextUtil, ControlCharactersOfHostTextsBecomeBlanks)
{
    EXPECT_EQ(BlankControlCharacters("PC\t1\r\nX"), "PC 1  X");
    EXPECT_EQ(BlankControlCharacters(std::string("A\0B\x7f", 4)), "A B ");
    // C1 controls are two bytes in UTF-8 and give one blank; other characters stay.
    EXPECT_EQ(BlankControlCharacters("a\xc2\x85z \xc3\x9c"
                                     "BER \xe2\x82\xac"),
              "a z \xc3\x9c"
              "BER \xe2\x82\xac");
    EXPECT_EQ(BlankControlCharacters("<b>PC-1</b>"), "<b>PC-1</b>");
}

} // namespace
} // namespace tessvale
