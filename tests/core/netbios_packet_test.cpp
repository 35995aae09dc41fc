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

// The caller's MAC starts as "before" and its host name as "-".
TEST(NodeStatusAnswer, TakenIntoTheCallersFields)
{
    struct Case
    {
        const char* what;
        std::vector<std::string> names;
        MacAddress unitId;
        const char* arpMac; // what the ARP lookup knows; nullptr: nothing
        int taken;
        const char* mac;
        const char* hostName;
    };
    constexpr const char* kArpMac = "02:00:5E:10:00:01";
    const Case cases[] = {
        {"the unit id is the MAC", {"PC01"}, kUnitId, nullptr, 1, "00:1B:21:0A:0B:0C", "PC01"},
        {"no names: the host name keeps what the caller put there", {}, kUnitId, nullptr, 1, "00:1B:21:0A:0B:0C", "-"},
        {"an all-ones unit id is no answer", {"PC01"}, kAllOnes, kArpMac, 0, "before", "-"},
        {"an all-zeros unit id takes the ARP MAC", {"NAS"}, kAllZeros, kArpMac, 1, kArpMac, "NAS"},
        {"an all-zeros unit id stays when ARP knows nothing",
         {"NAS"},
         kAllZeros,
         nullptr,
         1,
         "00:00:00:00:00:00",
         "NAS"},
    };
    for (const Case& c : cases) {
        std::string mac = "before";
        std::string hostName = "-";
        bool arpAsked = false;
        const auto arp = [&c, &arpAsked](std::string& arpMac) {
            arpAsked = true;
            if (c.arpMac != nullptr) {
                arpMac = c.arpMac;
            }
            return c.arpMac != nullptr;
        };
        const auto answer = ParseNodeStatusAnswer(Answer(c.names, c.unitId));
        ASSERT_TRUE(answer) << c.what;
        EXPECT_EQ(TakeNodeStatusAnswer(*answer, mac, hostName, arp), c.taken) << c.what;
        EXPECT_EQ(mac, c.mac) << c.what;
        EXPECT_EQ(hostName, c.hostName) << c.what;
        if (c.taken == 0) {
            EXPECT_FALSE(arpAsked) << c.what;
        }
    }
}

} // namespace
} // namespace tessvale
