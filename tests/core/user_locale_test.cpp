// The start-up locale: under an unset or "C" locale (cron, systemd units, ssh without
// LANG) host names and credentials keep their characters beyond ASCII.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/logic/user_locale.h"
#include "common/text_util.h"
#include "scan/netbios_packet.h"
#include "store/config_store.h"

namespace tessvale {
namespace {

// A node-status answer with one name and a unit id.
std::vector<std::uint8_t> AnswerNamed(const std::string& name)
{
    std::vector<std::uint8_t> datagram(57 + 18 + 6, 0);
    datagram[56] = 1;
    for (std::size_t i = 0; i < 15; ++i) {
        datagram[57 + i] = i < name.size() ? static_cast<std::uint8_t>(name[i]) : std::uint8_t{' '};
    }
    for (std::size_t i = 0; i < 6; ++i) {
        datagram[57 + 18 + i] = static_cast<std::uint8_t>(i + 1);
    }
    return datagram;
}

TEST(UserLocale, NonAsciiNamesAndPasswordsKeepTheirCharactersUnderTheCLocale)
{
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the test runs on one thread
    ::setenv("LC_ALL", "C", 1);
    ASSERT_TRUE(UseUserLocale());

    const auto answer = ParseNodeStatusAnswer(AnswerNamed("\xc3\x9c"
                                                          "BER"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->firstName, "\xc3\x9c"
                                 "BER"); // ÜBER, not ??BER

    const std::string password = "p\xc3\xa4ssw\xc3\xb6rd"; // pässwörd
    EXPECT_EQ(EncodeCredential(password), "cMOkc3N3w7ZyZA==");
    EXPECT_EQ(DecodeCredential(EncodeCredential(password)), password);
    EXPECT_EQ(AnsiToUtf8(Utf8ToAnsi(password)), password);
}

TEST(UserLocale, AnUnknownLocaleStillGivesUtf8)
{
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the test runs on one thread
    ::setenv("LC_ALL", "xx_NOWHERE.ISO-8859-1", 1);
    EXPECT_TRUE(UseUserLocale());
    EXPECT_EQ(Utf8ToAnsi("\xc3\x9c"), "\xc3\x9c");
}

} // namespace
} // namespace tessvale
