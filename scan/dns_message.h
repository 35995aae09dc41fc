// DNS messages for the name probes (RFC 1035 4.1, with the multicast DNS rules of
// RFC 6762 that a one-shot unicast query meets): a query with one question, and the
// reading of the answer to it. No sockets here; the same reader serves the unicast
// mDNS answers of the hosts and the answers of the resolver's name servers.
//
// Message, big-endian:
//   0  ID       2  QR|Opcode|AA|TC|RD|RA|Z|RCODE     4  QDCOUNT    6  ANCOUNT
//   8  NSCOUNT 10  ARCOUNT                          12  questions, then records
// Question: NAME, TYPE (2), CLASS (2).
// Record:   NAME, TYPE (2), CLASS (2, the top bit is mDNS's cache-flush bit), TTL (4),
//           RDLENGTH (2), RDATA. A PTR record's RDATA is one NAME.
// NAME: labels of 1..63 bytes, each after its length byte, ended by a zero byte, at
// most 255 bytes in all; or ended by a compression pointer (two bytes, top bits 11)
// to an earlier offset of the message.
//
// The reader trusts nothing: every count and length is checked against the end of the
// message, a compression pointer must point before the name that uses it (so no loop
// can form) and is followed a bounded number of times, and the answer must carry the
// query's id and repeat its question.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale {

inline constexpr std::uint16_t kDnsPort = 53;
inline constexpr std::uint16_t kMdnsPort = 5353;
inline constexpr std::uint16_t kDnsTypeCname = 5;
inline constexpr std::uint16_t kDnsTypePtr = 12;
inline constexpr std::uint16_t kDnsClassIn = 1;
inline constexpr std::size_t kDnsMaxNameBytes = 255; // wire form, length bytes and the final zero included
inline constexpr std::size_t kDnsMaxLabelBytes = 63;
inline constexpr std::size_t kDnsHeaderSize = 12;
// The list of a host's DNS-SD service types (RFC 6763 section 9).
inline constexpr const char* kDnsSdServicesName = "_services._dns-sd._udp.local";

// A name as its labels, in order; the root is no label.
using DnsName = std::vector<std::string>;

// "d.c.b.a.in-addr.arpa" of an address in host order.
std::string ReverseName(std::uint32_t address);
// The address (host order) a reverse name of four decimal labels stands for.
std::optional<std::uint32_t> ParseReverseName(const DnsName& name);

// Splits dotted text into labels. Nothing when a label is empty or longer than 63
// bytes, or the wire form would pass 255 bytes.
std::optional<DnsName> SplitDnsName(std::string_view text);
// The labels joined by dots; bytes are kept as they came (the caller blanks control
// characters where the text is shown).
std::string DnsNameText(const DnsName& name);
// Equal labels, ASCII letters compared without regard to case (RFC 1035 2.3.3).
bool SameDnsName(const DnsName& a, const DnsName& b);

// A query for one question of class IN. recursion sets RD (a name server's query; an
// mDNS query leaves it clear). Empty when the name cannot be written.
std::vector<std::uint8_t> BuildDnsQuery(std::uint16_t id, std::string_view name, std::uint16_t type, bool recursion);

struct DnsQuestionRead
{
    std::uint16_t id = 0;
    bool response = false;
    DnsName name;
    std::uint16_t type = 0;
    std::uint16_t qclass = 0; // without the mDNS unicast-response bit
};

// The id and the first question of a message, as far as it is well formed. Used to
// find the query an answer (or a quoted query in an ICMP error) belongs to.
std::optional<DnsQuestionRead> ReadDnsQuestion(std::span<const std::uint8_t> message);

enum class DnsAnswerStatus
{
    Answer,    // a well-formed answer to the query; targets may be empty (no such record)
    NoName,    // the name does not exist (NXDOMAIN)
    Failure,   // the server could not answer (SERVFAIL, REFUSED, any other error code)
    Malformed, // bytes that are no well-formed DNS answer
    NotOurs,   // a query, another id, another question or another opcode
};

struct DnsAnswer
{
    DnsAnswerStatus status = DnsAnswerStatus::Malformed;
    // The targets of the records of the asked type whose owner is the question's name
    // (or the end of a CNAME chain from it), in the order of the message, each at most
    // once; at most kMaxDnsTargets of them.
    std::vector<DnsName> targets;
};

inline constexpr std::size_t kMaxDnsTargets = 64;

// Reads the answer to the query with this id and question (class IN; PTR and CNAME
// targets are names). Every section is checked for its bounds, the answer section read.
DnsAnswer ReadDnsAnswer(std::span<const std::uint8_t> message, std::uint16_t id, const DnsName& question,
                        std::uint16_t type);

} // namespace tessvale
