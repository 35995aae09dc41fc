#include <cstring>
#include <map>

#include <gtest/gtest.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include "scan/arp_resolver.h"
#include "scan/neighbour_netlink.h"

namespace tessvale {
namespace {

// Builds rtnetlink answers byte by byte, the way the kernel lays them out.
class NetlinkWriter
{
public:
    void Neighbour(std::uint32_t sequence, std::uint8_t family, std::uint16_t state, const std::uint8_t* dst,
                   std::size_t dstLength, const std::uint8_t* lladdr, std::size_t lladdrLength,
                   std::uint16_t type = RTM_NEWNEIGH)
    {
        const std::size_t start = Begin(sequence, type);
        ndmsg body{};
        body.ndm_family = family;
        body.ndm_ifindex = 2;
        body.ndm_state = state;
        Append(&body, sizeof body);
        if (dst != nullptr) {
            Attribute(NDA_DST, dst, dstLength);
        }
        if (lladdr != nullptr) {
            Attribute(NDA_LLADDR, lladdr, lladdrLength);
        }
        End(start);
    }
    void Done(std::uint32_t sequence) { End(Begin(sequence, NLMSG_DONE)); }
    void Error(std::uint32_t sequence, int code)
    {
        const std::size_t start = Begin(sequence, NLMSG_ERROR);
        nlmsgerr error{};
        error.error = code;
        Append(&error, sizeof error);
        End(start);
    }
    std::vector<std::uint8_t>& Bytes() { return m_bytes; }

private:
    std::size_t Begin(std::uint32_t sequence, std::uint16_t type)
    {
        const std::size_t start = m_bytes.size();
        nlmsghdr header{};
        header.nlmsg_type = type;
        header.nlmsg_seq = sequence;
        Append(&header, sizeof header);
        return start;
    }
    void End(std::size_t start)
    {
        const auto length = static_cast<std::uint32_t>(m_bytes.size() - start);
        std::memcpy(m_bytes.data() + start, &length, sizeof length);
        m_bytes.resize((m_bytes.size() + 3) & ~std::size_t{3}, 0);
    }
    void Attribute(std::uint16_t type, const std::uint8_t* data, std::size_t length)
    {
        rtattr attribute{};
        attribute.rta_len = static_cast<std::uint16_t>(sizeof attribute + length);
        attribute.rta_type = type;
        Append(&attribute, sizeof attribute);
        Append(data, length);
        m_bytes.resize((m_bytes.size() + 3) & ~std::size_t{3}, 0);
    }
    void Append(const void* data, std::size_t length)
    {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + length);
    }
    std::vector<std::uint8_t> m_bytes;
};

const std::uint8_t kDst[4] = {198, 18, 0, 10};
const std::uint8_t kMac[6] = {0x02, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};

TEST(NeighbourNetlink, DumpRequestAsksForTheIpv4Table)
{
    const auto bytes = EncodeNeighbourDumpRequest(7);
    ASSERT_EQ(bytes.size(), NLMSG_LENGTH(sizeof(ndmsg)));
    nlmsghdr header;
    std::memcpy(&header, bytes.data(), sizeof header);
    EXPECT_EQ(header.nlmsg_len, bytes.size());
    EXPECT_EQ(header.nlmsg_type, RTM_GETNEIGH);
    EXPECT_EQ(header.nlmsg_flags, NLM_F_REQUEST | NLM_F_DUMP);
    EXPECT_EQ(header.nlmsg_seq, 7u);
    EXPECT_EQ(bytes[NLMSG_HDRLEN], AF_INET);
}

TEST(NeighbourNetlink, DecodesEntriesAndTheEndOfTheDump)
{
    NetlinkWriter writer;
    writer.Neighbour(5, AF_INET, NUD_REACHABLE, kDst, 4, kMac, 6);
    writer.Neighbour(5, AF_INET, NUD_INCOMPLETE, kDst, 4, nullptr, 0);
    const std::uint8_t dst6[16] = {0xFE, 0x80};
    writer.Neighbour(5, AF_INET6, NUD_REACHABLE, dst6, 16, kMac, 6); // other family: skipped
    writer.Neighbour(4, AF_INET, NUD_REACHABLE, kDst, 4, kMac, 6);   // other request: skipped
    writer.Done(5);
    std::vector<NeighbourEntry> entries;
    EXPECT_EQ(DecodeNeighbourDump(writer.Bytes(), 5, entries), NetlinkDecode::Done);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].address, 0xC612000Au);
    EXPECT_EQ(entries[0].state, NUD_REACHABLE);
    ASSERT_TRUE(entries[0].mac);
    EXPECT_EQ(FormatMac(*entries[0].mac), "02:1B:21:0A:0B:0C");
    EXPECT_FALSE(entries[1].mac);
}

TEST(NeighbourNetlink, ARemovedEntryComesWithStateZero)
{
    // The kernel removes an entry it gave up on; the event still names its last state.
    NetlinkWriter writer;
    writer.Neighbour(0, AF_INET, NUD_FAILED, kDst, 4, nullptr, 0, RTM_DELNEIGH);
    writer.Neighbour(0, AF_INET, NUD_INCOMPLETE, kDst, 4, nullptr, 0, RTM_GETNEIGH); // no entry message
    std::vector<NeighbourEntry> entries;
    EXPECT_EQ(DecodeNeighbourDump(writer.Bytes(), 0, entries), NetlinkDecode::More);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].address, 0xC612000Au);
    EXPECT_EQ(entries[0].state, 0);
}

TEST(NeighbourNetlink, ReportsErrorsAndContinuation)
{
    std::vector<NeighbourEntry> entries;
    NetlinkWriter error;
    error.Error(3, -1);
    EXPECT_EQ(DecodeNeighbourDump(error.Bytes(), 3, entries), NetlinkDecode::Error);
    NetlinkWriter part;
    part.Neighbour(3, AF_INET, NUD_STALE, kDst, 4, kMac, 6);
    EXPECT_EQ(DecodeNeighbourDump(part.Bytes(), 3, entries), NetlinkDecode::More);
    EXPECT_EQ(entries.size(), 1u);
}

TEST(NeighbourNetlink, LengthsOutsideTheBytesAreRefused)
{
    NetlinkWriter writer;
    writer.Neighbour(1, AF_INET, NUD_REACHABLE, kDst, 4, kMac, 6);
    std::vector<NeighbourEntry> entries;

    auto truncated = writer.Bytes();
    truncated.resize(truncated.size() - 4); // message length now points past the end
    EXPECT_EQ(DecodeNeighbourDump(truncated, 1, entries), NetlinkDecode::Malformed);

    auto shortHeader = writer.Bytes();
    shortHeader.resize(10);
    EXPECT_EQ(DecodeNeighbourDump(shortHeader, 1, entries), NetlinkDecode::Malformed);

    // An attribute claiming more bytes than its message holds: the entry is dropped.
    auto badAttribute = writer.Bytes();
    const std::size_t firstAttribute = NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ndmsg));
    const std::uint16_t huge = 200;
    std::memcpy(badAttribute.data() + firstAttribute, &huge, sizeof huge);
    EXPECT_EQ(DecodeNeighbourDump(badAttribute, 1, entries), NetlinkDecode::More);
    EXPECT_TRUE(entries.empty());

    // A link-layer address that is not six bytes long is not a MAC.
    NetlinkWriter oddLength;
    oddLength.Neighbour(1, AF_INET, NUD_REACHABLE, kDst, 4, kMac, 4);
    EXPECT_EQ(DecodeNeighbourDump(oddLength.Bytes(), 1, entries), NetlinkDecode::More);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_FALSE(entries[0].mac);
}

// A neighbour table whose entries appear when the test says so.
class FakeNeighbourTable : public NeighbourTable
{
public:
    std::optional<NeighbourEntry> Find(std::uint32_t address) override
    {
        ++finds;
        if (triggers > 0 && afterTrigger && finds >= findsUntilAnswer) {
            entries[address] = *afterTrigger;
        }
        const auto it = entries.find(address);
        if (it == entries.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    bool OnLink(std::uint32_t address) override { return (address & 0xFFFFFF00u) == 0xC6120000u; }
    void Trigger(std::uint32_t) override { ++triggers; }

    std::map<std::uint32_t, NeighbourEntry> entries;
    std::optional<NeighbourEntry> afterTrigger;
    int findsUntilAnswer = 3;
    int finds = 0;
    int triggers = 0;
};

NeighbourEntry Entry(std::uint16_t state, std::optional<MacAddress> mac)
{
    NeighbourEntry entry;
    entry.address = 0xC612000Au;
    entry.state = state;
    entry.mac = mac;
    return entry;
}

constexpr MacAddress kHostMac{0x02, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};
const ArpTiming kShortTiming{std::chrono::milliseconds(100), std::chrono::milliseconds(5)};

TEST(ArpResolver, AnEntryWithALinkLayerAddressAnswers)
{
    FakeNeighbourTable table;
    table.entries[0xC612000Au] = Entry(NUD_STALE, kHostMac);
    std::string mac = "previous";
    EXPECT_EQ(ResolveByArp(mac, "198.18.0.10", table, kShortTiming), 1);
    EXPECT_EQ(mac, "02:1B:21:0A:0B:0C");
    EXPECT_EQ(table.triggers, 0);
}

TEST(ArpResolver, IncompleteAndFailedEntriesGiveNoAnswerAtOnce)
{
    for (const std::uint16_t state : {std::uint16_t{NUD_INCOMPLETE}, std::uint16_t{NUD_FAILED}}) {
        FakeNeighbourTable table;
        table.entries[0xC612000Au] = Entry(state, std::nullopt);
        std::string mac = "previous";
        EXPECT_EQ(ResolveByArp(mac, "198.18.0.10", table, kShortTiming), 0);
        EXPECT_EQ(mac, "previous");
        EXPECT_EQ(table.triggers, 0);
    }
}

TEST(ArpResolver, AnUnknownAddressIsTriggeredOnceAndWatched)
{
    FakeNeighbourTable table;
    table.afterTrigger = Entry(NUD_REACHABLE, kHostMac);
    std::string mac;
    EXPECT_EQ(ResolveByArp(mac, "198.18.0.10", table, kShortTiming), 1);
    EXPECT_EQ(mac, "02:1B:21:0A:0B:0C");
    EXPECT_EQ(table.triggers, 1);
}

TEST(ArpResolver, AnUnknownAddressThatStaysSilentGivesUpInTime)
{
    FakeNeighbourTable table;
    table.afterTrigger = Entry(NUD_INCOMPLETE, std::nullopt);
    std::string mac = "previous";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ResolveByArp(mac, "198.18.0.10", table, kShortTiming), 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(100));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
    EXPECT_EQ(mac, "previous");
    EXPECT_EQ(table.triggers, 1);
}

TEST(ArpResolver, OffLinkAndBadAddressesAreNotAsked)
{
    FakeNeighbourTable table;
    std::string mac = "previous";
    EXPECT_EQ(ResolveByArp(mac, "198.19.0.10", table, kShortTiming), 0);
    EXPECT_EQ(ResolveByArp(mac, "not an address", table, kShortTiming), 0);
    EXPECT_EQ(table.triggers, 0);
    EXPECT_EQ(table.finds, 0);
    EXPECT_EQ(mac, "previous");
}

TEST(ArpResolver, AnAllOnesLinkLayerAddressIsNoAnswer)
{
    FakeNeighbourTable table;
    table.entries[0xC612000Au] = Entry(NUD_NOARP, MacAddress{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    std::string mac = "previous";
    EXPECT_EQ(ResolveByArp(mac, "198.18.0.10", table, kShortTiming), 0);
    EXPECT_EQ(mac, "previous");
}

} // namespace
} // namespace tessvale
