// The ARP packet codec and the ARP sweep helper's rules, byte by byte.
#include <array>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "scan/arp_frame.h"
#include "scan/arp_sweep_protocol.h"

namespace tessvale {
namespace {

constexpr MacAddress kMac{0x02, 0x54, 0x56, 0x0A, 0x0B, 0x0C};

TEST(ArpFrame, RequestIsRfc826Bytes)
{
    const auto packet = BuildArpRequest(kMac, 0xC6120001U, 0xC612000AU); // 198.18.0.1 asks for .10
    const std::array<std::uint8_t, kArpPacketSize> expected{0,    1,    8,    0,    6,    4,
                                                            0,    1, // Ethernet, IPv4, sizes, request
                                                            0x02, 0x54, 0x56, 0x0A, 0x0B, 0x0C, // sender MAC
                                                            198,  18,   0,    1,                // sender address
                                                            0,    0,    0,    0,    0,    0,    // target MAC unknown
                                                            198,  18,   0,    10};              // target address
    EXPECT_EQ(packet, expected);
}

TEST(ArpFrame, ReadsRepliesOnly)
{
    std::vector<std::uint8_t> reply{0,   1,  8, 0,  6, 4, 0, 2, 0x02, 0x54, 0x56, 0x0A, 0x0B, 0x0C,
                                    198, 18, 0, 10, 2, 0, 0, 0, 0,    1,    198,  18,   0,    1};
    const auto read = ParseArpReply(reply);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->address, 0xC612000AU);
    EXPECT_EQ(read->mac, kMac);

    auto padded = reply; // Ethernet's minimum frame pads 28 bytes to 46
    padded.resize(46, 0);
    EXPECT_TRUE(ParseArpReply(padded));

    struct Case
    {
        const char* what;
        std::size_t at;
        std::uint8_t value;
    };
    for (const Case& broken : {Case{"request", 7, 1}, Case{"operation high byte", 6, 1}, Case{"token ring", 1, 6},
                               Case{"IPv6", 2, 0x86}, Case{"MAC size 8", 4, 8}, Case{"address size 16", 5, 16}}) {
        auto bytes = reply;
        bytes[broken.at] = broken.value;
        EXPECT_FALSE(ParseArpReply(bytes)) << broken.what;
    }
    reply.pop_back();
    EXPECT_FALSE(ParseArpReply(reply)) << "27 bytes";
    EXPECT_FALSE(ParseArpReply({})) << "nothing";
}

TEST(ArpSweepProtocol, RecordsRoundTrip)
{
    ArpSweepError error = ArpSweepError::OutOfOrder;
    const auto open = DecodeArpSweepRequest(EncodeArpSweepOpen(7, 2000), error);
    ASSERT_TRUE(open);
    EXPECT_EQ(error, ArpSweepError::None);
    EXPECT_EQ(open->kind, ArpSweepRequest::Kind::Open);
    EXPECT_EQ(open->interfaceIndex, 7U);
    EXPECT_EQ(open->rate, 2000U);
    const auto probe = DecodeArpSweepRequest(EncodeArpSweepProbe(0xC612000AU), error);
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->kind, ArpSweepRequest::Kind::Probe);
    EXPECT_EQ(probe->address, 0xC612000AU);

    const auto answer = DecodeArpSweepReply(EncodeArpSweepAnswer(0xC612000AU, kMac));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->kind, ArpSweepReply::Kind::Answer);
    EXPECT_EQ(answer->address, 0xC612000AU);
    EXPECT_EQ(answer->mac, kMac);
    const auto ready = DecodeArpSweepReply(EncodeArpSweepReady(0xC6120001U, 0xFFFFFF00U));
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->kind, ArpSweepReply::Kind::Ready);
    EXPECT_EQ(ready->netmask, 0xFFFFFF00U);
    const auto refused = DecodeArpSweepReply(EncodeArpSweepError(ArpSweepError::OffSubnet, 0x08080808U));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->error, ArpSweepError::OffSubnet);
    EXPECT_EQ(refused->address, 0x08080808U);

    // Requests with anything in their reserved bytes, or of no known operation, are none.
    for (std::size_t at : {1U, 2U, 3U, 12U, 15U}) {
        auto bytes = EncodeArpSweepOpen(7, 2000);
        bytes[at] = 1;
        EXPECT_FALSE(DecodeArpSweepRequest(bytes, error)) << "byte " << at;
        EXPECT_EQ(error, ArpSweepError::Malformed);
    }
    auto tail = EncodeArpSweepProbe(1);
    tail[8] = 1;
    EXPECT_FALSE(DecodeArpSweepRequest(tail, error)) << "a probe's second word";
    for (std::uint8_t operation : {0, 3, 0x81, 0xFF}) {
        auto bytes = EncodeArpSweepProbe(1);
        bytes[0] = operation;
        EXPECT_FALSE(DecodeArpSweepRequest(bytes, error)) << int{operation};
    }
    auto unknownError = EncodeArpSweepError(ArpSweepError::OffSubnet, 0);
    unknownError[1] = 0x40;
    EXPECT_FALSE(DecodeArpSweepReply(unknownError));
}

TEST(ArpSweepProtocol, ReaderWaitsForWholeRecords)
{
    const auto first = EncodeArpSweepProbe(1);
    const auto second = EncodeArpSweepProbe(2);
    std::vector<std::uint8_t> stream(first.begin(), first.end());
    stream.insert(stream.end(), second.begin(), second.end());
    ArpSweepRecordReader reader;
    reader.Append(std::span<const std::uint8_t>(stream).first(5));
    EXPECT_FALSE(reader.Next());
    EXPECT_TRUE(reader.Partial());
    reader.Append(std::span<const std::uint8_t>(stream).subspan(5, 20));
    EXPECT_EQ(reader.Next(), first);
    EXPECT_FALSE(reader.Next());
    reader.Append(std::span<const std::uint8_t>(stream).subspan(25));
    EXPECT_EQ(reader.Next(), second);
    EXPECT_FALSE(reader.Partial());
}

// Interface 2 is 198.18.0.1/24, interface 3 a /31, interface 4 has a broken netmask.
std::optional<ArpSweepSession::Link> Links(std::uint32_t index, void*)
{
    switch (index) {
    case 2:
        return ArpSweepSession::Link{0xC6120001U, 0xFFFFFF00U};
    case 3:
        return ArpSweepSession::Link{0xC6130000U, 0xFFFFFFFEU};
    case 4:
        return ArpSweepSession::Link{0xC6120001U, 0xFF00FF00U};
    default:
        return std::nullopt;
    }
}

ArpSweepRequest Open(std::uint32_t index, std::uint32_t rate)
{
    return ArpSweepRequest{ArpSweepRequest::Kind::Open, index, rate, 0};
}

ArpSweepRequest Probe(std::uint32_t address)
{
    return ArpSweepRequest{ArpSweepRequest::Kind::Probe, 0, 0, address};
}

TEST(ArpSweepSession, KeepsToTheOpenedSubnetAndRate)
{
    struct Case
    {
        const char* what;
        std::vector<ArpSweepRequest> requests; // all but the last are accepted
        ArpSweepError last;
    };
    const std::vector<Case> cases{
        {"a host of the subnet", {Open(2, 2000), Probe(0xC612000AU)}, ArpSweepError::None},
        {"the subnet's last host", {Open(2, 2000), Probe(0xC61200FEU)}, ArpSweepError::None},
        {"the highest rate", {Open(2, kArpSweepMaxRate)}, ArpSweepError::None},
        {"both ends of a /31", {Open(3, 1), Probe(0xC6130001U)}, ArpSweepError::None},
        {"another subnet", {Open(2, 2000), Probe(0xC6120101U)}, ArpSweepError::OffSubnet},
        {"far away", {Open(2, 2000), Probe(0x08080808U)}, ArpSweepError::OffSubnet},
        {"the network address", {Open(2, 2000), Probe(0xC6120000U)}, ArpSweepError::OffSubnet},
        {"the broadcast address", {Open(2, 2000), Probe(0xC61200FFU)}, ArpSweepError::OffSubnet},
        {"its own address", {Open(2, 2000), Probe(0xC6120001U)}, ArpSweepError::OffSubnet},
        {"rate 0", {Open(2, 0)}, ArpSweepError::RateRefused},
        {"rate above the maximum", {Open(2, kArpSweepMaxRate + 1)}, ArpSweepError::RateRefused},
        {"an unknown interface", {Open(9, 2000)}, ArpSweepError::NoInterface},
        {"a netmask with holes", {Open(4, 2000)}, ArpSweepError::NoInterface},
        {"a probe before the open", {Probe(0xC612000AU)}, ArpSweepError::OutOfOrder},
        {"a second open", {Open(2, 2000), Open(3, 2000)}, ArpSweepError::OutOfOrder},
    };
    for (const auto& c : cases) {
        ArpSweepSession session(Links, nullptr);
        for (std::size_t i = 0; i + 1 < c.requests.size(); ++i) {
            ASSERT_EQ(session.Accept(c.requests[i]), ArpSweepError::None) << c.what << ", request " << i;
        }
        EXPECT_EQ(session.Accept(c.requests.back()), c.last) << c.what;
    }
    ArpSweepSession refusedOpen(Links, nullptr);
    EXPECT_EQ(refusedOpen.Accept(Open(2, 0)), ArpSweepError::RateRefused);
    EXPECT_FALSE(refusedOpen.Opened());
    EXPECT_EQ(refusedOpen.Accept(Probe(0xC612000AU)), ArpSweepError::OutOfOrder) << "a refused open opens nothing";
    EXPECT_FALSE(refusedOpen.InSubnet(0xC612000AU)) << "no reply is taken before an open";
}

} // namespace
} // namespace tessvale
