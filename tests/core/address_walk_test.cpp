#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scan/address_walk.h"

namespace tessvale {
namespace {

std::vector<std::string> Walk(const std::string& start, const std::string& end, std::vector<std::uint32_t> skipped = {})
{
    AddressWalk walk(start, end, std::move(skipped));
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

TEST(AddressWalk, RangesAcrossSubnetsMissNoAddress)
{
    // Inside a range that crosses a /24 the .255 and .0 addresses are hosts like others.
    const auto crossing = Walk("198.18.112.250", "198.18.113.5");
    EXPECT_EQ(crossing,
              (std::vector<std::string>{"198.18.112.250", "198.18.112.251", "198.18.112.252", "198.18.112.253",
                                        "198.18.112.254", "198.18.112.255", "198.18.113.0", "198.18.113.1",
                                        "198.18.113.2", "198.18.113.3", "198.18.113.4", "198.18.113.5"}));
    // A start above the end's last octet in an earlier /24 walks from the start.
    const auto bounded = Walk("10.0.0.100", "10.0.1.50");
    ASSERT_EQ(bounded.size(), 207u);
    EXPECT_EQ(bounded.front(), "10.0.0.100");
    EXPECT_EQ(bounded[155], "10.0.0.255");
    EXPECT_EQ(bounded.back(), "10.0.1.50");
    EXPECT_EQ(AddressWalk("198.18.112.0", "198.18.127.255").Count(), 4096u);
}

TEST(AddressWalk, LeavesOutTheLocalSubnetsNetworkAndBroadcast)
{
    // 198.18.0.0/23 is local: its .0.0 and .1.255 are left out, the .0.255 and .1.0 inside stay.
    const std::vector<std::uint32_t> ends{0xC6120000, 0xC61201FF};
    const auto addresses = Walk("198.18.0.0", "198.18.2.0", ends);
    EXPECT_EQ(addresses.size(), 513u - 2u);
    EXPECT_EQ(addresses.front(), "198.18.0.1");
    EXPECT_EQ(addresses[254], "198.18.0.255");
    EXPECT_EQ(addresses[255], "198.18.1.0");
    EXPECT_EQ(addresses.back(), "198.18.2.0");
    EXPECT_EQ(AddressWalk("198.18.0.0", "198.18.2.0", ends).Count(), 511u);
    EXPECT_EQ(AddressWalk("198.18.0.1", "198.18.1.254", ends).Count(), 510u); // none inside
    EXPECT_EQ(AddressWalk("198.18.1.255", "198.18.1.255", ends).Count(), 0u);
}

TEST(AddressWalk, DegenerateRanges)
{
    EXPECT_EQ(Walk("10.1.2.3", "10.1.2.3"), std::vector<std::string>{"10.1.2.3"});
    EXPECT_TRUE(Walk("192.168.1.20", "192.168.1.10").empty());
    EXPECT_EQ(AddressWalk("192.168.1.20", "192.168.1.10").Count(), 0u);
    EXPECT_TRUE(Walk("", "").size() == 1u); // "0.0.0.0" to itself
    EXPECT_EQ(AddressWalk().Count(), 0u);
    AddressWalk empty;
    std::string address;
    EXPECT_FALSE(empty.Next(address));
    // Octets above 255 are read as 255: no address text outside IPv4.
    EXPECT_EQ(Walk("10.0.0.254", "10.0.0.300"), (std::vector<std::string>{"10.0.0.254", "10.0.0.255"}));
    EXPECT_EQ(Walk("255.255.255.254", "255.999.999.999"),
              (std::vector<std::string>{"255.255.255.254", "255.255.255.255"}));
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
    const std::vector<std::uint32_t> ends{0x0A010000, 0x0A0101FF, 0x0A0200FF};
    for (int i = 0; i < 400; ++i) {
        const std::string start = "10." + std::to_string(octet(random)) + "." + std::to_string(octet(random)) + "." +
                                  std::to_string(last(random));
        const std::string end = "10." + std::to_string(octet(random)) + "." + std::to_string(octet(random)) + "." +
                                std::to_string(last(random));
        EXPECT_EQ(AddressWalk(start, end, ends).Count(), Walk(start, end, ends).size()) << start << " - " << end;
    }
}

TEST(AddressWalk, HugeRangesAreCountedWithoutWalking)
{
    EXPECT_EQ(AddressWalk("10.0.0.0", "10.255.255.255").Count(), 1u << 24);
    // More addresses than a signed 32-bit counter holds.
    EXPECT_EQ(AddressWalk("0.0.0.0", "255.255.255.255").Count(), 1ull << 32);

    AddressWalk walk("10.0.0.0", "10.255.255.255");
    std::string address;
    for (int i = 0; i < 257; ++i) {
        ASSERT_TRUE(walk.Next(address));
    }
    EXPECT_EQ(address, "10.0.1.0");
}

} // namespace
} // namespace tessvale
