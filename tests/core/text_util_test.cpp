#include <climits>

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
