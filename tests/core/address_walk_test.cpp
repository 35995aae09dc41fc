#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scan/address_walk.h"

namespace tessvale {
namespace {

std::vector<std::string> Walk(const std::string& start, const std::string& end)
{
    AddressWalk walk(start, end);
    std::vector<std::string> addresses;
    std::string address;
    while (walk.Next(address)) {
        addresses.push_back(address);
    }
    return addresses;
}

TEST(AddressWalk, OneSubnetGivesItsHosts)
{
    const auto addresses = Walk("192.168.1.1", "192.168.1.254");
    ASSERT_EQ(addresses.size(), 254u);
    EXPECT_EQ(addresses.front(), "192.168.1.1");
    EXPECT_EQ(addresses.back(), "192.168.1.254");
    EXPECT_EQ(AddressWalk("192.168.1.1", "192.168.1.254").Count(), 254u);
}

TEST(AddressWalk, LastOctetRunStopsAfter254Addresses)
{
    const auto addresses = Walk("192.168.1.0", "192.168.1.255");
    ASSERT_EQ(addresses.size(), 254u);
    EXPECT_EQ(addresses.front(), "192.168.1.0");
    EXPECT_EQ(addresses.back(), "192.168.1.253");
}

TEST(AddressWalk, LaterRunsOfTheLastOctetStartAtOne)
{
    const auto addresses = Walk("10.0.0.1", "10.0.1.254");
    ASSERT_EQ(addresses.size(), 508u);
    EXPECT_EQ(addresses[253], "10.0.0.254");
    EXPECT_EQ(addresses[254], "10.0.1.1");
    EXPECT_EQ(addresses.back(), "10.0.1.254");

    // Every octet is bounded by the end's octet at its level: .100 to .254 of the first
    // run lie above the end's last octet.
    const auto bounded = Walk("10.0.0.100", "10.0.1.50");
    ASSERT_EQ(bounded.size(), 50u);
    EXPECT_EQ(bounded.front(), "10.0.1.1");
    EXPECT_EQ(bounded.back(), "10.0.1.50");
}

TEST(AddressWalk, DegenerateRanges)
{
    EXPECT_EQ(Walk("10.1.2.3", "10.1.2.3"), std::vector<std::string>{"10.1.2.3"});
    EXPECT_TRUE(Walk("192.168.1.20", "192.168.1.10").empty());
    EXPECT_EQ(AddressWalk("192.168.1.20", "192.168.1.10").Count(), 0u);
    EXPECT_TRUE(Walk("", "").size() == 1u); // "0.0.0.0" to itself
    EXPECT_EQ(AddressWalk().Count(), 0u);
    std::string address;
    AddressWalk empty;
    EXPECT_FALSE(empty.Next(address));
}

TEST(AddressWalk, OctetsAreReadLikeTheDecimalReader)
{
    EXPECT_EQ(SplitOctets(" 10. +2.3x.4"), (std::array<std::uint32_t, 4>{10, 2, 3, 4}));
    EXPECT_EQ(SplitOctets("1.2"), (std::array<std::uint32_t, 4>{1, 2, 0, 0}));
    EXPECT_EQ(SplitOctets("1.2.3.-1")[3], 0xFFFFFFFFu);
}

TEST(AddressWalk, CountAgreesWithTheWalkOnRandomRanges)
{
    std::mt19937 random(4711);
    std::uniform_int_distribution<int> octet(0, 3);
    std::uniform_int_distribution<int> last(0, 255);
    for (int i = 0; i < 400; ++i) {
        const std::string start = "10." + std::to_string(octet(random)) + "." + std::to_string(octet(random)) + "." +
                                  std::to_string(last(random));
        const std::string end = "10." + std::to_string(octet(random)) + "." + std::to_string(octet(random)) + "." +
                                std::to_string(last(random));
        EXPECT_EQ(AddressWalk(start, end).Count(), Walk(start, end).size()) << start << " - " << end;
    }
}

TEST(AddressWalk, HugeRangesAreCountedWithoutWalking)
{
    // 10.0.0.0/8: 255 runs of the second octet, 255 of the third, 254 of the last.
    EXPECT_EQ(AddressWalk("10.0.0.0", "10.255.255.255").Count(), 255u * 255u * 254u);
    // More addresses than a signed 32-bit counter holds.
    EXPECT_EQ(AddressWalk("0.0.0.0", "255.255.255.255").Count(), 255ull * 255ull * 255ull * 254ull);

    AddressWalk walk("10.0.0.0", "10.255.255.255");
    std::string address;
    for (int i = 0; i < 255; ++i) {
        ASSERT_TRUE(walk.Next(address));
    }
    EXPECT_EQ(address, "10.0.1.1"); // 10.0.0.0 to .253, then the next run starts at 1
}

} // namespace
} // namespace tessvale
