#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/dns_answer_bytes.h"
#include "scan/dns_message.h"
#include "scan/resolver_config.h"

namespace tessvale {
namespace {

using fakes::DnsBytes;
using fakes::PtrAnswer;

constexpr std::uint16_t kId = 0x4D2A;
constexpr const char* kReverse = "5.0.18.198.in-addr.arpa";

DnsName Reverse()
{
    return *SplitDnsName(kReverse);
}

DnsAnswer Read(const std::vector<std::uint8_t>& message)
{
    return ReadDnsAnswer(message, kId, Reverse(), kDnsTypePtr);
}

std::vector<std::string> Texts(const DnsAnswer& answer)
{
    std::vector<std::string> texts;
    for (const auto& target : answer.targets) {
        texts.push_back(DnsNameText(target));
    }
    return texts;
}

TEST(DnsQuery, IsTheHeaderAndOneQuestion)
{
    const std::vector<std::uint8_t> expected = {
        0x4D, 0x2A, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // id, RD, one question
        1,    '5',  1,    '0',  2,    '1',  '8',  3,    '1',  '9',  '8',  7,    'i',  'n', '-',
        'a',  'd',  'd',  'r',  4,    'a',  'r',  'p',  'a',  0,    0x00, 0x0C, 0x00, 0x01};
    EXPECT_EQ(BuildDnsQuery(kId, kReverse, kDnsTypePtr, true), expected);
    // The mDNS query leaves recursion off.
    auto mdns = expected;
    mdns[2] = 0x00;
    EXPECT_EQ(BuildDnsQuery(kId, kReverse, kDnsTypePtr, false), mdns);
}

TEST(DnsQuery, RefusesNamesThatCannotBeWritten)
{
    EXPECT_TRUE(BuildDnsQuery(1, "", kDnsTypePtr, false).empty());
    EXPECT_TRUE(BuildDnsQuery(1, "a..b", kDnsTypePtr, false).empty());
    EXPECT_TRUE(BuildDnsQuery(1, std::string(64, 'x') + ".local", kDnsTypePtr, false).empty());
    EXPECT_FALSE(BuildDnsQuery(1, std::string(63, 'x') + ".local", kDnsTypePtr, false).empty());
    // 4 labels of 63 bytes: 4 x 64 + 1 = 257 bytes on the wire.
    const std::string label(63, 'y');
    EXPECT_TRUE(BuildDnsQuery(1, label + "." + label + "." + label + "." + label, kDnsTypePtr, false).empty());
    EXPECT_FALSE(
        BuildDnsQuery(1, label + "." + label + "." + label + "." + std::string(61, 'y'), kDnsTypePtr, false).empty());
}

TEST(ReverseName, RoundTripsAndRefusesOtherNames)
{
    EXPECT_EQ(ReverseName(0xC6120005), kReverse);
    EXPECT_EQ(ParseReverseName(Reverse()), 0xC6120005u);
    EXPECT_EQ(ParseReverseName(*SplitDnsName("255.0.0.10.IN-ADDR.ARPA")), 0x0A0000FFu);
    for (const char* other : {"5.0.18.in-addr.arpa", "5.0.18.198.ip6.arpa", "05.0.18.198.in-addr.arpa",
                              "256.0.18.198.in-addr.arpa", "x.0.18.198.in-addr.arpa", "5.0.18.198.in-addr.arpa.x"}) {
        EXPECT_FALSE(ParseReverseName(*SplitDnsName(other))) << other;
    }
}

TEST(DnsAnswer, TakesThePtrTargetsOfTheAskedName)
{
    const auto answer = Read(PtrAnswer(kId, kReverse, {"printer-hall.local"}));
    EXPECT_EQ(answer.status, DnsAnswerStatus::Answer);
    EXPECT_EQ(Texts(answer), std::vector<std::string>{"printer-hall.local"});

    // Two records, one twice: each target once, in order; names compared without case.
    const auto two = Read(PtrAnswer(kId, "5.0.18.198.IN-ADDR.arpa", {"a.example", "b.example", "A.EXAMPLE"}));
    EXPECT_EQ(Texts(two), (std::vector<std::string>{"a.example", "b.example"}));

    // No record: an answer without a name.
    const auto none = Read(PtrAnswer(kId, kReverse, {}));
    EXPECT_EQ(none.status, DnsAnswerStatus::Answer);
    EXPECT_TRUE(none.targets.empty());
}

TEST(DnsAnswer, ReadsTheMulticastForms)
{
    // mDNS: the cache-flush bit in the record's class, a compressed target that
    // points back into an earlier record, and an additional record after it.
    DnsBytes message;
    message.Header(kId, 0x8400, 1, 1, 0, 1).Question(kReverse, 12, 0x8001);
    const auto owner = static_cast<std::uint16_t>(message.Size());
    // The target's pointer points at itself, not before the name.
    message.Pointer(12).U16(12).U16(0x8001).U32(10).U16(8).Labels("alpha").Pointer(owner + 18);
    EXPECT_EQ(Read(message.bytes).status, DnsAnswerStatus::Malformed);

    DnsBytes good;
    good.Header(kId, 0x8400, 1, 2, 0, 1).Question(kReverse);
    good.Pointer(12).U16(1).U16(0x8001).U32(10).U16(4).U32(0xC6120005); // an A record first: skipped
    const auto alpha = static_cast<std::uint16_t>(good.Size() + 12);
    good.Pointer(12).U16(12).U16(0x8001).U32(10).U16(13).Labels("alpha").Name("local");
    good.Pointer(alpha).U16(1).U16(0x8001).U32(10).U16(4).U32(0xC6120005); // additional, owner alpha.local
    const auto answer = Read(good.bytes);
    EXPECT_EQ(answer.status, DnsAnswerStatus::Answer);
    EXPECT_EQ(Texts(answer), std::vector<std::string>{"alpha.local"});
}

TEST(DnsAnswer, FollowsAnAliasOfTheReverseName)
{
    // A delegated reverse zone (RFC 2317): the name is an alias of one inside it.
    DnsBytes message;
    message.Header(kId, 0x8180, 1, 2).Question(kReverse);
    const auto alias = static_cast<std::uint16_t>(message.Size() + 12);
    message.NameRecord(12, kDnsTypeCname, "5.0/25.0.18.198.in-addr.arpa");
    message.Pointer(alias); // owner: the CNAME's target
    message.U16(12).U16(1).U32(60).U16(12).Name("db.example");
    EXPECT_EQ(Texts(Read(message.bytes)), std::vector<std::string>{"db.example"});
}

TEST(DnsAnswer, ErrorCodesSayWhyThereIsNoName)
{
    EXPECT_EQ(Read(PtrAnswer(kId, kReverse, {}, 3)).status, DnsAnswerStatus::NoName);
    EXPECT_EQ(Read(PtrAnswer(kId, kReverse, {}, 2)).status, DnsAnswerStatus::Failure);
    EXPECT_EQ(Read(PtrAnswer(kId, kReverse, {}, 5)).status, DnsAnswerStatus::Failure);
}

struct Hostile
{
    const char* what;
    std::vector<std::uint8_t> message;
    DnsAnswerStatus expected;
};

// message with the byte at index changed to value.
std::vector<std::uint8_t> WithByte(std::vector<std::uint8_t> message, std::size_t index, int value)
{
    message[index] = static_cast<std::uint8_t>(value);
    return message;
}

std::vector<Hostile> HostileMessages()
{
    std::vector<Hostile> cases;
    const auto good = PtrAnswer(kId, kReverse, {"alpha.local"});
    cases.push_back({"shorter than a header", std::vector<std::uint8_t>(good.begin(), good.begin() + 11),
                     DnsAnswerStatus::Malformed});
    for (std::size_t cut = 12; cut < good.size(); cut += 7) {
        cases.push_back({"cut short", std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<long>(cut)),
                         DnsAnswerStatus::Malformed});
    }
    cases.push_back({"another id", PtrAnswer(kId + 1, kReverse, {"alpha.local"}), DnsAnswerStatus::NotOurs});
    cases.push_back(
        {"another question", PtrAnswer(kId, "6.0.18.198.in-addr.arpa", {"alpha.local"}), DnsAnswerStatus::NotOurs});
    cases.push_back({"a query, not a response", WithByte(good, 2, good[2] & 0x7F), DnsAnswerStatus::NotOurs});
    cases.push_back({"another opcode", WithByte(good, 2, good[2] | 0x10), DnsAnswerStatus::NotOurs});
    cases.push_back({"no question repeated", WithByte(good, 5, 0), DnsAnswerStatus::NotOurs});
    cases.push_back({"two questions", WithByte(good, 5, 2), DnsAnswerStatus::NotOurs});
    {
        DnsBytes m;
        m.Header(kId, 0x8400, 1, 1).Question(kReverse, 1);
        cases.push_back({"another type", m.bytes, DnsAnswerStatus::NotOurs});
    }
    return cases;
}

// Broken records and names.
std::vector<Hostile> HostileRecords()
{
    std::vector<Hostile> cases;
    const auto good = PtrAnswer(kId, kReverse, {"alpha.local"});
    cases.push_back({"more answers counted than sent", WithByte(good, 7, 2), DnsAnswerStatus::Malformed});
    cases.push_back({"an additional record counted, none sent", WithByte(good, 11, 1), DnsAnswerStatus::Malformed});
    // RDLENGTH past the end
    cases.push_back({"record data past the end", WithByte(good, good.size() - 13 - 1, 40), DnsAnswerStatus::Malformed});
    {
        DnsBytes m;
        m.Header(kId, 0x8400, 1, 1).Question(kReverse);
        m.Pointer(12).U16(12).U16(1).U32(1).U16(14).Name("alpha.local").U8(0);
        cases.push_back({"a target shorter than its record data", m.bytes, DnsAnswerStatus::Malformed});
    }
    {
        DnsBytes m;
        m.Header(kId, 0x8400, 1, 1).Question(kReverse);
        const auto self = static_cast<std::uint16_t>(m.Size());
        m.Pointer(self).U16(12).U16(1).U32(1).U16(2).Pointer(12);
        cases.push_back({"a pointer to itself", m.bytes, DnsAnswerStatus::Malformed});
    }
    {
        DnsBytes m;
        m.Header(kId, 0x8400, 1, 1).Question(kReverse);
        const auto at = static_cast<std::uint16_t>(m.Size());
        m.Pointer(static_cast<std::uint16_t>(at + 2)).Pointer(at).U16(12).U16(1).U32(1).U16(2).Pointer(12);
        cases.push_back({"two pointers pointing at each other", m.bytes, DnsAnswerStatus::Malformed});
    }
    {
        // The target points forward to a well-formed name in the additional record.
        DnsBytes m;
        m.Header(kId, 0x8400, 1, 1, 0, 1).Question(kReverse);
        const auto later = static_cast<std::uint16_t>(m.Size() + 14 + 12);
        m.Pointer(12).U16(12).U16(1).U32(1).U16(2).Pointer(later);
        m.Pointer(12).U16(16).U16(1).U32(1).U16(13).Name("alpha.local");
        cases.push_back({"a pointer forward", m.bytes, DnsAnswerStatus::Malformed});
    }
    {
        DnsBytes m;
        m.Header(kId, 0x8400, 1, 1).Question(kReverse);
        m.Pointer(4).U16(12).U16(1).U32(1).U16(2).Pointer(12);
        cases.push_back({"a pointer into the header", m.bytes, DnsAnswerStatus::Malformed});
    }
    {
        DnsBytes m;
        m.Header(kId, 0x8400, 1, 1).Question(kReverse);
        m.Pointer(12).U16(12).U16(1).U32(1).U16(66).U8(64);
        m.bytes.insert(m.bytes.end(), 64, 'x');
        m.U8(0);
        cases.push_back({"a label of 64 bytes", m.bytes, DnsAnswerStatus::Malformed});
    }
    {
        DnsBytes m;
        m.Header(kId, 0x8400, 1, 1).Question(kReverse);
        m.Pointer(12).U16(12).U16(1).U32(1).U16(3).U8(0x80).U8(1).U8(0);
        cases.push_back({"a reserved label type", m.bytes, DnsAnswerStatus::Malformed});
    }
    {
        // 200 bytes of labels in one record, then a name that adds 60 more and points
        // to them: 261 bytes in all.
        DnsBytes m;
        m.Header(kId, 0x8400, 1, 2).Question(kReverse);
        const std::string label(49, 'a');
        const std::string four = label + "." + label + "." + label + "." + label;
        m.Pointer(12).U16(16).U16(1).U32(1).U16(static_cast<std::uint16_t>(four.size() + 2));
        const auto longName = static_cast<std::uint16_t>(m.Size());
        m.Name(four);
        m.Pointer(12).U16(12).U16(1).U32(1).U16(62).Labels(std::string(59, 'b')).Pointer(longName);
        cases.push_back({"a name over 255 bytes through a pointer", m.bytes, DnsAnswerStatus::Malformed});
    }
    return cases;
}

TEST(DnsAnswer, HostileMessagesGiveNoName)
{
    auto cases = HostileMessages();
    const auto records = HostileRecords();
    cases.insert(cases.end(), records.begin(), records.end());
    for (const auto& hostile : cases) {
        const auto answer = Read(hostile.message);
        EXPECT_EQ(answer.status, hostile.expected) << hostile.what;
        EXPECT_TRUE(answer.targets.empty()) << hostile.what;
    }
}

TEST(DnsAnswer, KeepsAtMostTheBoundOfTargets)
{
    std::vector<std::string> targets;
    targets.reserve(100);
    for (int i = 0; i < 100; ++i) {
        targets.push_back("h" + std::to_string(i) + ".local");
    }
    const auto answer = Read(PtrAnswer(kId, kReverse, targets));
    EXPECT_EQ(answer.status, DnsAnswerStatus::Answer);
    EXPECT_EQ(answer.targets.size(), kMaxDnsTargets);
}

TEST(DnsQuestion, ReadsTheIdAndQuestionOfAQueryOrAQuotedPart)
{
    const auto query = BuildDnsQuery(kId, kReverse, kDnsTypePtr, true);
    const auto read = ReadDnsQuestion(query);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->id, kId);
    EXPECT_FALSE(read->response);
    EXPECT_TRUE(SameDnsName(read->name, Reverse()));
    EXPECT_EQ(read->type, kDnsTypePtr);
    // An ICMP error that quotes only part of the query says nothing.
    EXPECT_FALSE(ReadDnsQuestion(std::vector<std::uint8_t>(query.begin(), query.begin() + 20)));
}

TEST(NameServers, AreTheNameserverLinesOfTheResolverConfiguration)
{
    struct Case
    {
        const char* text;
        std::vector<std::uint32_t> servers;
    };
    const std::vector<Case> cases = {
        {"nameserver 198.18.0.53\n", {0xC6120035}},
        {"# comment\n; other\nsearch example\nnameserver\t198.18.0.53 # resolver\r\nnameserver 198.18.0.54\n",
         {0xC6120035, 0xC6120036}},
        {"nameserver 198.18.0.53#x\n", {0xC6120035}},
        {"  nameserver 1.1.1.1\nnameserver 1.1.1.1\nnameserver 2.2.2.2\nnameserver 3.3.3.3\nnameserver 4.4.4.4\n",
         {0x01010101, 0x02020202, 0x03030303}},
        {"nameserver fd00::53\nnameserver 198.18.0.53\n", {0xC6120035}},
        {"nameserver fd00::53\n", {}},                                 // IPv6 only: nothing the probe can ask
        {"", {0x7F000001}},                                            // none given: the computer's own
        {"search example\nnameserver not-an-address\n", {0x7F000001}}, // unreadable lines are skipped
        {"nameserver 0.0.0.0\n", {0x7F000001}},
        {"#nameserver 198.18.0.53\nnameservers 198.18.0.54\n", {0x7F000001}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseNameServers(c.text), c.servers) << c.text;
    }
    EXPECT_EQ(ReadNameServers("/nonexistent/resolv.conf"), std::vector<std::uint32_t>{0x7F000001});
}

} // namespace
} // namespace tessvale
