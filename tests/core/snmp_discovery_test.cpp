#include <vector>

#include <gtest/gtest.h>

#include "scan/snmp_discovery.h"

namespace tessvale {
namespace {

// msgID 0x1234: version 3, header (id, max size 65507, flags reportable, USM), empty
// security parameters, a get-request 0x1234 without bindings.
const std::vector<std::uint8_t> kRequest1234 = {
    0x30, 0x3A,                                                 // message
    0x02, 0x01, 0x03,                                           // msgVersion 3
    0x30, 0x0F, 0x02, 0x02, 0x12, 0x34, 0x02, 0x03, 0x00, 0xFF, // msgGlobalData: msgID, msgMaxSize
    0xE3, 0x04, 0x01, 0x04, 0x02, 0x01, 0x03,                   //   msgFlags, msgSecurityModel
    0x04, 0x10, 0x30, 0x0E, 0x04, 0x00, 0x02, 0x01, 0x00, 0x02, // msgSecurityParameters
    0x01, 0x00, 0x04, 0x00, 0x04, 0x00, 0x04, 0x00,             //
    0x30, 0x12, 0x04, 0x00, 0x04, 0x00,                         // scopedPDU: contextEngineID, name
    0xA0, 0x0C, 0x02, 0x02, 0x12, 0x34, 0x02, 0x01, 0x00, 0x02, // get-request
    0x01, 0x00, 0x30, 0x00,                                     //
};

TEST(SnmpDiscovery, RequestMatchesGoldenBytes)
{
    EXPECT_EQ(BuildSnmpDiscoveryRequest(0x1234), kRequest1234);
}

TEST(SnmpDiscovery, IntegersUseTheirShortestSignedForm)
{
    const auto small = BuildSnmpDiscoveryRequest(0x7F);
    const auto large = BuildSnmpDiscoveryRequest(0x80); // needs a leading zero byte
    EXPECT_EQ(large.size(), small.size() + 2);
    EXPECT_TRUE(IsSnmpDiscoveryAnswer(small, 0x7F));
    EXPECT_TRUE(IsSnmpDiscoveryAnswer(large, 0x80));
    EXPECT_TRUE(IsSnmpDiscoveryAnswer(BuildSnmpDiscoveryRequest(0x7FFFFFFF), 0x7FFFFFFF));
}

TEST(SnmpDiscovery, AnswerMustCarryTheSameMessageId)
{
    EXPECT_TRUE(IsSnmpDiscoveryAnswer(kRequest1234, 0x1234));
    EXPECT_FALSE(IsSnmpDiscoveryAnswer(kRequest1234, 0x1235));
}

TEST(SnmpDiscovery, RejectsOtherVersionsAndBrokenDatagrams)
{
    std::vector<std::uint8_t> v2c = kRequest1234;
    v2c[4] = 0x01;
    EXPECT_FALSE(IsSnmpDiscoveryAnswer(v2c, 0x1234));
    for (std::size_t length = 0; length < 11; ++length) {
        const std::vector<std::uint8_t> cut(kRequest1234.begin(),
                                            kRequest1234.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(IsSnmpDiscoveryAnswer(cut, 0x1234)) << length;
    }
    std::vector<std::uint8_t> overlong = kRequest1234;
    overlong[1] = 0x82; // length of two bytes that runs past the end
    overlong.insert(overlong.begin() + 2, {0xFF, 0xFF});
    EXPECT_FALSE(IsSnmpDiscoveryAnswer(overlong, 0x1234));
}

} // namespace
} // namespace tessvale
