#include <vector>

#include <gtest/gtest.h>

#include "scan/smb_negotiate.h"

namespace tessvale {
namespace {

const std::array<std::uint8_t, 16> kGuid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

TEST(SmbNegotiate, RequestLayout)
{
    const std::vector<std::uint8_t> request = BuildSmb2NegotiateRequest(kGuid);
    ASSERT_EQ(request.size(), 4u + 64u + 36u + 8u);
    EXPECT_EQ(std::vector<std::uint8_t>(request.begin(), request.begin() + 10),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x6C, 0xFE, 'S', 'M', 'B', 0x40, 0x00}));
    EXPECT_EQ(request[4 + 12], 0x00); // command NEGOTIATE
    EXPECT_EQ(request[4 + 14], 0x01); // one credit asked
    const std::size_t body = 4 + 64;
    EXPECT_EQ(std::vector<std::uint8_t>(request.begin() + body, request.begin() + body + 6),
              (std::vector<std::uint8_t>{0x24, 0x00, 0x04, 0x00, 0x01, 0x00}));
    EXPECT_EQ(std::vector<std::uint8_t>(request.begin() + body + 12, request.begin() + body + 28),
              std::vector<std::uint8_t>(kGuid.begin(), kGuid.end()));
    EXPECT_EQ(std::vector<std::uint8_t>(request.end() - 8, request.end()),
              (std::vector<std::uint8_t>{0x02, 0x02, 0x10, 0x02, 0x00, 0x03, 0x02, 0x03}));
}

TEST(SmbNegotiate, RecognisesServerReplies)
{
    std::vector<std::uint8_t> reply = BuildSmb2NegotiateRequest(kGuid);
    EXPECT_FALSE(IsSmbReply(reply)); // a request, not a reply
    reply[4 + 16] = 0x01;            // server-to-client flag
    EXPECT_TRUE(IsSmbReply(reply));
    EXPECT_TRUE(IsSmbReply(std::vector<std::uint8_t>(reply.begin(), reply.begin() + 24))); // header start suffices
    EXPECT_FALSE(IsSmbReply(std::vector<std::uint8_t>(reply.begin(), reply.begin() + 20)));
    const std::vector<std::uint8_t> smb1 = {0x00, 0x00, 0x00, 0x23, 0xFF, 'S', 'M', 'B', 0x72};
    EXPECT_TRUE(IsSmbReply(smb1));
    std::vector<std::uint8_t> other = reply;
    other[5] = 'X';
    EXPECT_FALSE(IsSmbReply(other));
    other = reply;
    other[0] = 0x85; // a NetBIOS keep-alive or session message of another kind
    EXPECT_FALSE(IsSmbReply(other));
    EXPECT_FALSE(IsSmbReply({}));
}

} // namespace
} // namespace tessvale
