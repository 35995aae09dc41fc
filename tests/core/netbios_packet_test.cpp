#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/fake_sweep_transport.h"
#include "scan/netbios_packet.h"

namespace tessvale {
namespace {

std::vector<std::uint8_t> ReadGolden(const char* name)
{
    std::ifstream file(std::string(TESSVALE_TEST_DATA) + "/netbios/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// An answer as a host would send it, with transaction id 0.
std::vector<std::uint8_t> Answer(const std::vector<std::string>& names, const MacAddress& unitId)
{
    return fakes::NodeStatusAnswerBytes(0, names, unitId);
}

constexpr MacAddress kUnitId{0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};
constexpr MacAddress kAllZeros{};
constexpr MacAddress kAllOnes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

TEST(NodeStatusRequest, IsTheFiftyTabledBytes)
{
    const auto golden = ReadGolden("node_status_request.bin");
    ASSERT_EQ(golden.size(), kNodeStatusRequestSize);
    const auto request = BuildNodeStatusRequest();
    EXPECT_EQ(std::vector<std::uint8_t>(request.begin(), request.end()), golden);
}

TEST(NodeStatusAnswer, ReadsACapturedSambaAnswer)
{
    // Captured from nmbd 4.17 on the test network: five names, unit id all zeros.
    const auto answer = ParseNodeStatusAnswer(ReadGolden("nmbd_answer.bin"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->nameCount, 5);
    EXPECT_EQ(answer->firstName, "TVGOLDEN1N1");
    EXPECT_EQ(answer->unitId, kAllZeros);
}

TEST(NodeStatusAnswer, FirstNameLosesItsPaddingBlanks)
{
    const auto answer = ParseNodeStatusAnswer(Answer({"PC01", "WORKGROUP"}, kUnitId));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->firstName, "PC01");
    EXPECT_EQ(answer->unitId, kUnitId);
}

TEST(NodeStatusAnswer, NameStopsAtAZeroByte)
{
    auto bytes = Answer({"PC01"}, kUnitId);
    bytes[57 + 4] = 0;
    bytes[57 + 5] = 'X';
    const auto answer = ParseNodeStatusAnswer(bytes);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->firstName, "PC01");
}

TEST(NodeStatusAnswer, NoNamesStillGivesTheUnitId)
{
    const auto answer = ParseNodeStatusAnswer(Answer({}, kUnitId));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->nameCount, 0);
    EXPECT_EQ(answer->unitId, kUnitId);
}

TEST(NodeStatusAnswer, ReadsNothingOutsideTheReceivedBytes)
{
    const auto full = Answer({"PC01", "WORKGROUP"}, kUnitId);
    // Cut inside the unit id, inside the name table, and before the name count.
    for (const std::size_t size : {full.size() - 1, std::size_t{57 + 20}, std::size_t{56}, std::size_t{0}}) {
        EXPECT_FALSE(ParseNodeStatusAnswer(std::span(full.data(), size))) << size;
    }
    // A name count that points past the data.
    auto lying = full;
    lying[56] = 200;
    EXPECT_FALSE(ParseNodeStatusAnswer(lying));
    // The largest count with its table and unit id present is read.
    std::vector<std::uint8_t> largest(57 + 18 * 255 + 6, 0x41);
    largest[56] = 255;
    const auto answer = ParseNodeStatusAnswer(largest);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->nameCount, 255);
}

TEST(NodeStatusAnswer, TakenIntoTheCallersFields)
{
    std::string mac;
    std::string hostName = "-";
    const auto noArp = [](std::string&) { return false; };
    EXPECT_EQ(TakeNodeStatusAnswer(*ParseNodeStatusAnswer(Answer({"PC01"}, kUnitId)), mac, hostName, noArp), 1);
    EXPECT_EQ(mac, "00:1B:21:0A:0B:0C");
    EXPECT_EQ(hostName, "PC01");

    // No names: the host name keeps what the caller put there.
    hostName = "-";
    EXPECT_EQ(TakeNodeStatusAnswer(*ParseNodeStatusAnswer(Answer({}, kUnitId)), mac, hostName, noArp), 1);
    EXPECT_EQ(hostName, "-");
}

TEST(NodeStatusAnswer, AllOnesUnitIdIsNoAnswer)
{
    std::string mac = "before";
    std::string hostName = "-";
    bool arpAsked = false;
    const auto arp = [&arpAsked](std::string&) { return arpAsked = true; };
    EXPECT_EQ(TakeNodeStatusAnswer(*ParseNodeStatusAnswer(Answer({"PC01"}, kAllOnes)), mac, hostName, arp), 0);
    EXPECT_EQ(mac, "before");
    EXPECT_EQ(hostName, "-");
    EXPECT_FALSE(arpAsked);
}

TEST(NodeStatusAnswer, AllZerosUnitIdTakesArpMac)
{
    std::string mac;
    std::string hostName = "-";
    const auto arp = [](std::string& arpMac) {
        arpMac = "02:00:5E:10:00:01";
        return true;
    };
    EXPECT_EQ(TakeNodeStatusAnswer(*ParseNodeStatusAnswer(Answer({"NAS"}, kAllZeros)), mac, hostName, arp), 1);
    EXPECT_EQ(mac, "02:00:5E:10:00:01");
    EXPECT_EQ(hostName, "NAS");
}

TEST(NodeStatusAnswer, AllZerosUnitIdStaysWhenArpKnowsNothing)
{
    std::string mac;
    std::string hostName = "-";
    const auto arp = [](std::string&) { return false; };
    EXPECT_EQ(TakeNodeStatusAnswer(*ParseNodeStatusAnswer(Answer({"NAS"}, kAllZeros)), mac, hostName, arp), 1);
    EXPECT_EQ(mac, "00:00:00:00:00:00");
    EXPECT_EQ(hostName, "NAS");
}

} // namespace
} // namespace tessvale
