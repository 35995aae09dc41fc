#include <array>
#include <cstring>
#include <list>
#include <optional>
#include <string>
#include <utility>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include "common/interface_list.h"
#include "scan/adapter_list.h"
#include "scan/address_forms.h"

namespace tessvale {
namespace {

// One strict reading everywhere: the forms inet_aton would also take (octal,
// hexadecimal, shortened, one number) would send probes elsewhere ("010.0.0.1" to
// 8.0.0.1), so they are refused; leading zeros are decimal.
TEST(AddressForms, ReadsOnlyFourDecimalParts)
{
    struct Case
    {
        const char* text;
        std::optional<std::uint32_t> value;
    };
    const Case cases[] = {
        {"192.168.1.10", 0xC0A8010Au},    {"255.255.255.255", 0xFFFFFFFFu}, {"0.0.0.0", 0u},
        {"198.018.052.001", 0xC6123401u}, // decimal, as --scan always read it
        {"010.0.0.1", 0x0A000001u},       // 10.0.0.1, never 8.0.0.1
        {"198.18.52.010", 0xC612340Au},   {"10.1", std::nullopt},           {"198.18.13322", std::nullopt},
        {"3323081738", std::nullopt},     {"0xc612340a", std::nullopt},     {"0xC6.0x12.0x34.0x0A", std::nullopt},
        {"198.18.52.0010", std::nullopt}, // four digits
        {"256.1.1.1", std::nullopt},      {"1.2.3.4.", std::nullopt},       {".1.2.3.4", std::nullopt},
        {"1..2.3", std::nullopt},         {" 1.2.3.4", std::nullopt},       {"1.2.3.4 ", std::nullopt},
        {"+1.2.3.4", std::nullopt},       {"1.2.3.-4", std::nullopt},       {"", std::nullopt},
        {"10.0.0.x", std::nullopt},       {"host", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseIpv4(c.text), c.value) << c.text;
        EXPECT_EQ(ParseDottedQuad(c.text), c.value) << c.text;
    }
}

TEST(AddressForms, FormatsFromTheHighByteDown)
{
    EXPECT_EQ(FormatIpv4(0xC0A8010Au), "192.168.1.10");
    EXPECT_EQ(FormatIpv4(0), "0.0.0.0");
    EXPECT_EQ(FormatIpv4(0xFFFFFFFFu), "255.255.255.255");
}

TEST(AddressForms, ParsesEveryWrittenMacFormToTheSameBytes)
{
    const MacAddress expected{0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};
    EXPECT_EQ(ParseMac("00:1B:21:0A:0B:0C"), expected);
    EXPECT_EQ(ParseMac("00-1b-21-0a-0b-0c"), expected);
    EXPECT_EQ(ParseMac("001B210A0B0C"), expected);
    EXPECT_EQ(FormatMac(expected), "00:1B:21:0A:0B:0C");
}

TEST(AddressForms, RefusesMalformedMacs)
{
    EXPECT_FALSE(ParseMac("00:1B:21:0A:0B"));       // five bytes
    EXPECT_FALSE(ParseMac("00:1B:21-0A:0B:0C"));    // mixed separators
    EXPECT_FALSE(ParseMac("00.1B.21.0A.0B.0C"));    // other separator
    EXPECT_FALSE(ParseMac("0G:1B:21:0A:0B:0C"));    // not hexadecimal
    EXPECT_FALSE(ParseMac("001B210A0B0"));          // 11 digits
    EXPECT_FALSE(ParseMac("00:1B:21:0A:0B:0C:0D")); // too long
}

TEST(AddressForms, RecognisesTheNoAnswerMacInEitherCase)
{
    EXPECT_TRUE(IsNoAnswerMac("FF:FF:FF:FF:FF:FF"));
    EXPECT_TRUE(IsNoAnswerMac("ff:ff:ff:ff:ff:ff"));
    EXPECT_FALSE(IsNoAnswerMac("FF:FF:FF:FF:FF:FE"));
    EXPECT_FALSE(IsNoAnswerMac(""));
}

// "start-end" of a range, "none" without one.
std::string RangeText(const std::optional<AddressRange>& range)
{
    return range ? FormatIpv4(range->start) + "-" + FormatIpv4(range->end) : "none";
}

TEST(DefaultRange, CoversTheAdaptersSubnet)
{
    // Address, mask, range.
    const std::array<const char*, 3> cases[] = {
        {"192.168.1.10", "255.255.255.0", "192.168.1.1-192.168.1.255"}, // to the broadcast address
        {"10.0.0.5", "255.255.255.252", "10.0.0.5-10.0.0.7"},
        {"10.0.0.5", "255.255.255.255", "10.0.0.6-10.0.0.5"}, // a /32 ends one below the start
        {"198.18.1.7", "255.254.0.0", "198.18.0.1-198.19.255.255"},
        {"10.0.0.5", "0.0.0.0", "none"},
        {"10.0.0.5", "", "none"},
        {"", "255.255.255.0", "none"},
    };
    for (const auto& [address, mask, range] : cases) {
        EXPECT_EQ(RangeText(DefaultRange(address, mask)), range) << address << " " << mask;
    }
}

// An interface list: (name, address, mask) triples, up, loopback for 127.x.
class FakeInterfaces
{
public:
    void Add(const char* name, const char* address, const char* mask)
    {
        InterfaceAddress& item = m_list.emplace_back();
        item.name = name;
        item.address = *ParseDottedQuad(address);
        item.netmask = *ParseDottedQuad(mask);
        item.up = true;
        item.loopback = (item.address >> 24) == 127;
    }
    const std::vector<InterfaceAddress>& List() const { return m_list; }

private:
    std::vector<InterfaceAddress> m_list;
};

TEST(AdapterList, OneEntryPerIpv4AddressWithoutLoopback)
{
    FakeInterfaces interfaces;
    interfaces.Add("lo", "127.0.0.1", "255.0.0.0");
    interfaces.Add("eth0", "198.18.0.1", "255.255.255.0");
    interfaces.Add("eth0", "198.18.4.1", "255.255.252.0");
    const auto entries = AdapterEntriesFrom(interfaces.List());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].address, "198.18.0.1");
    EXPECT_EQ(entries[0].description, "eth0");
    EXPECT_EQ(entries[1].address, "198.18.4.1");
    EXPECT_EQ(entries[1].description, "eth0");
    EXPECT_TRUE(AdapterEntriesFrom({}).empty());
}

TEST(AdapterList, MaskOfTheExactLocalAddressAndTheSubnetEnds)
{
    FakeInterfaces interfaces;
    interfaces.Add("lo", "127.0.0.1", "255.0.0.0");
    interfaces.Add("eth0", "198.18.0.1", "255.255.255.0");
    interfaces.Add("eth1", "198.18.4.1", "255.255.252.0");
    interfaces.Add("tun0", "198.19.0.6", "255.255.255.254");
    EXPECT_EQ(MaskFrom(interfaces.List(), "198.18.4.1"), "255.255.252.0");
    EXPECT_EQ(MaskFrom(interfaces.List(), "198.18.0.2"), "");
    EXPECT_EQ(MaskFrom({}, "198.18.0.1"), "");
    // Network and broadcast of each subnet; neither loopback nor a point-to-point /31.
    const std::vector<std::uint32_t> ends{0xC6120000U, 0xC61200FFU, 0xC6120400U, 0xC61207FFU};
    EXPECT_EQ(SubnetEndsFrom(interfaces.List()), ends);
}

TEST(AdapterList, TheSystemListHoldsNoLoopbackEntry)
{
    for (const auto& entry : ListAdapters()) {
        EXPECT_NE(entry.address, "127.0.0.1");
        EXPECT_FALSE(LookupMask(entry.address).empty()) << entry.address;
    }
    EXPECT_EQ(LookupMask("127.0.0.1"), "255.0.0.0");
}

TEST(AddressForms, CidrGivesTheSubnetWithoutNetworkAndBroadcast)
{
    const std::pair<const char*, const char*> cases[] = {
        {"198.18.0.0/24", "198.18.0.1-198.18.0.254"},
        {"198.18.5.77/22", "198.18.4.1-198.18.7.254"}, // host bits are ignored; a /22 crosses octets
        {"198.18.0.6/31", "198.18.0.6-198.18.0.7"},    // a point-to-point /31 has two hosts
        {"198.18.0.9/32", "198.18.0.9-198.18.0.9"},    // a /32 one
        {"0.0.0.0/0", "0.0.0.1-255.255.255.254"},
    };
    for (const auto& [text, range] : cases) {
        EXPECT_EQ(RangeText(ParseCidr(text)), range) << text;
    }
}

TEST(AddressForms, CidrRefusesAnythingButAQuadAndAPrefix)
{
    for (const char* text : {"198.18.0.0", "198.18.0.0/", "198.18.0.0/33", "198.18.0.0/-1", "198.18.0.0/2x",
                             "198.18.0/24", "198.18.0.256/24", "198.18.0.0/024", " 198.18.0.0/24", "/24", ""}) {
        EXPECT_FALSE(ParseCidr(text)) << text;
    }
}

TEST(AddressForms, DottedQuadTakesExactlyFourDecimalOctets)
{
    EXPECT_EQ(ParseDottedQuad("10.0.0.1"), 0x0A000001u);
    EXPECT_EQ(ParseDottedQuad("255.255.255.255"), 0xFFFFFFFFu);
    for (const char* text : {"10.0.1", "10.0.0.1.", "10.0.0.256", "0x0A.0.0.1", "10.0.0.1 ", "1234.0.0.1"}) {
        EXPECT_FALSE(ParseDottedQuad(text)) << text;
    }
}

} // namespace
} // namespace tessvale
