#include "scan/dns_message.h"

#include <algorithm>

#include "common/text_util.h"
#include "scan/byte_order.h"

namespace tessvale {

namespace {

// Each pointer must point before the part of the name that holds it, so a chain
// cannot loop; the bound keeps a long chain of tiny hops cheap as well.
constexpr int kMaxPointerHops = 32;
constexpr int kMaxCnameHops = 8;
constexpr std::uint16_t kClassMask = 0x7FFF;  // mDNS: top bit is cache flush / unicast response
constexpr std::size_t kFixedRecordBytes = 10; // TYPE, CLASS, TTL, RDLENGTH

// Reads the name at offset; end becomes the offset just after the name's bytes in
// place (after its zero byte or its first pointer).
bool ReadName(std::span<const std::uint8_t> message, std::size_t offset, DnsName& name, std::size_t& end)
{
    name.clear();
    std::size_t wire = 1; // the final zero byte
    std::size_t position = offset;
    std::size_t limit = offset; // a pointer must point below the start of the part being read
    bool jumped = false;
    int hops = 0;
    for (;;) {
        if (position >= message.size()) {
            return false;
        }
        const std::uint8_t length = message[position];
        if ((length & 0xC0) == 0xC0) {
            if (position + 1 >= message.size()) {
                return false;
            }
            const std::size_t target = (static_cast<std::size_t>(length & 0x3F) << 8) | message[position + 1];
            if (!jumped) {
                end = position + 2;
            }
            if (target < kDnsHeaderSize || target >= limit || ++hops > kMaxPointerHops) {
                return false;
            }
            jumped = true;
            limit = target;
            position = target;
            continue;
        }
        if ((length & 0xC0) != 0) {
            return false; // the label types 01 and 10 are not in use
        }
        if (length == 0) {
            if (!jumped) {
                end = position + 1;
            }
            return true;
        }
        if (position + 1 + length > message.size()) {
            return false;
        }
        wire += 1 + std::size_t{length};
        if (wire > kDnsMaxNameBytes) {
            return false;
        }
        const auto first = message.begin() + static_cast<std::ptrdiff_t>(position + 1);
        name.emplace_back(first, first + length);
        position += 1 + std::size_t{length};
    }
}

struct Record
{
    DnsName owner;
    std::uint16_t type = 0;
    DnsName target;
};

// Every record of the three sections, checked for its bounds; the answer section's
// records of the asked type and CNAMEs kept with their target names.
bool ReadRecords(std::span<const std::uint8_t> message, std::size_t position, std::uint16_t type,
                 std::vector<Record>& found)
{
    const std::size_t answers = GetBe16(message, 6);
    const std::size_t records = answers + GetBe16(message, 8) + GetBe16(message, 10);
    for (std::size_t i = 0; i < records; ++i) {
        Record record;
        std::size_t fixed = 0;
        if (!ReadName(message, position, record.owner, fixed) || fixed + kFixedRecordBytes > message.size()) {
            return false;
        }
        record.type = GetBe16(message, fixed);
        const std::uint16_t rclass = GetBe16(message, fixed + 2) & kClassMask;
        const std::size_t length = GetBe16(message, fixed + 8);
        const std::size_t data = fixed + kFixedRecordBytes;
        if (data + length > message.size()) {
            return false;
        }
        position = data + length;
        if (i >= answers || rclass != kDnsClassIn || (record.type != type && record.type != kDnsTypeCname)) {
            continue;
        }
        std::size_t targetEnd = 0;
        if (!ReadName(message, data, record.target, targetEnd) || targetEnd != data + length) {
            return false; // the name must fill its record's data exactly
        }
        found.push_back(std::move(record));
    }
    return true;
}

// The targets of the records of the asked type whose owner is the question's name, or
// the end of a chain of aliases from it (RFC 2317 delegations of reverse zones use
// them), each once.
std::vector<DnsName> TargetsOf(const std::vector<Record>& found, const DnsName& question, std::uint16_t type)
{
    std::vector<DnsName> targets;
    DnsName owner = question;
    for (int hop = 0; hop < kMaxCnameHops; ++hop) {
        const auto alias = std::find_if(found.begin(), found.end(), [&](const Record& record) {
            return record.type == kDnsTypeCname && type != kDnsTypeCname && SameDnsName(record.owner, owner);
        });
        if (alias == found.end()) {
            break;
        }
        owner = alias->target;
    }
    for (const auto& record : found) {
        if (record.type != type || !SameDnsName(record.owner, owner) || targets.size() >= kMaxDnsTargets) {
            continue;
        }
        const bool seen = std::any_of(targets.begin(), targets.end(),
                                      [&](const DnsName& target) { return SameDnsName(target, record.target); });
        if (!seen) {
            targets.push_back(record.target);
        }
    }
    return targets;
}

bool ParseDecimalOctet(const std::string& label, std::uint32_t& value)
{
    if (label.empty() || label.size() > 3 || (label.size() > 1 && label[0] == '0')) {
        return false;
    }
    value = 0;
    for (const char c : label) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value <= 255;
}

} // namespace

std::string ReverseName(std::uint32_t address)
{
    std::string name;
    for (int shift = 0; shift < 32; shift += 8) {
        name += std::to_string((address >> shift) & 0xFF);
        name += '.';
    }
    return name + "in-addr.arpa";
}

std::optional<std::uint32_t> ParseReverseName(const DnsName& name)
{
    if (name.size() != 6 || !EqualsNoCase(name[4], "in-addr") || !EqualsNoCase(name[5], "arpa")) {
        return std::nullopt;
    }
    std::uint32_t address = 0;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t octet = 0;
        if (!ParseDecimalOctet(name[static_cast<std::size_t>(i)], octet)) {
            return std::nullopt;
        }
        address |= octet << (8 * i);
    }
    return address;
}

std::optional<DnsName> SplitDnsName(std::string_view text)
{
    DnsName name;
    std::size_t wire = 1;
    while (!text.empty()) {
        const std::size_t dot = text.find('.');
        const std::string_view label = text.substr(0, dot);
        if (label.empty() || label.size() > kDnsMaxLabelBytes) {
            return std::nullopt;
        }
        wire += 1 + label.size();
        if (wire > kDnsMaxNameBytes) {
            return std::nullopt;
        }
        name.emplace_back(label);
        if (dot == std::string_view::npos) {
            break;
        }
        text.remove_prefix(dot + 1);
        if (text.empty()) {
            break; // a final dot: the root
        }
    }
    return name;
}

std::string DnsNameText(const DnsName& name)
{
    std::string text;
    for (const auto& label : name) {
        if (!text.empty()) {
            text += '.';
        }
        text += label;
    }
    return text;
}

bool SameDnsName(const DnsName& a, const DnsName& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) { return EqualsNoCase(x, y); });
}

std::vector<std::uint8_t> BuildDnsQuery(std::uint16_t id, std::string_view name, std::uint16_t type, bool recursion)
{
    const auto labels = SplitDnsName(name);
    if (!labels || labels->empty()) {
        return {};
    }
    std::vector<std::uint8_t> query;
    query.reserve(kDnsHeaderSize + name.size() + 6);
    AppendBe16(query, id);
    AppendBe16(query, recursion ? 0x0100 : 0x0000);
    AppendBe16(query, 1); // one question
    AppendBe16(query, 0);
    AppendBe16(query, 0);
    AppendBe16(query, 0);
    for (const auto& label : *labels) {
        query.push_back(static_cast<std::uint8_t>(label.size()));
        query.insert(query.end(), label.begin(), label.end());
    }
    query.push_back(0);
    AppendBe16(query, type);
    AppendBe16(query, kDnsClassIn);
    return query;
}

std::optional<DnsQuestionRead> ReadDnsQuestion(std::span<const std::uint8_t> message)
{
    if (message.size() < kDnsHeaderSize || GetBe16(message, 4) == 0) {
        return std::nullopt;
    }
    DnsQuestionRead read;
    read.id = GetBe16(message, 0);
    read.response = (message[2] & 0x80) != 0;
    std::size_t end = 0;
    if (!ReadName(message, kDnsHeaderSize, read.name, end) || end + 4 > message.size()) {
        return std::nullopt;
    }
    read.type = GetBe16(message, end);
    read.qclass = static_cast<std::uint16_t>(GetBe16(message, end + 2) & kClassMask);
    return read;
}

DnsAnswer ReadDnsAnswer(std::span<const std::uint8_t> message, std::uint16_t id, const DnsName& question,
                        std::uint16_t type)
{
    DnsAnswer answer;
    if (message.size() < kDnsHeaderSize) {
        return answer;
    }
    const std::uint8_t flags = message[2];
    const bool response = (flags & 0x80) != 0;
    const int opcode = (flags >> 3) & 0x0F;
    if (GetBe16(message, 0) != id || !response || opcode != 0 || GetBe16(message, 4) != 1) {
        answer.status = DnsAnswerStatus::NotOurs;
        return answer;
    }
    DnsName name;
    std::size_t position = 0;
    if (!ReadName(message, kDnsHeaderSize, name, position) || position + 4 > message.size()) {
        return answer;
    }
    if (!SameDnsName(name, question) || GetBe16(message, position) != type ||
        (GetBe16(message, position + 2) & kClassMask) != kDnsClassIn) {
        answer.status = DnsAnswerStatus::NotOurs;
        return answer;
    }
    position += 4;
    const int rcode = message[3] & 0x0F;
    if (rcode == 3) {
        answer.status = DnsAnswerStatus::NoName;
        return answer;
    }
    if (rcode != 0) {
        answer.status = DnsAnswerStatus::Failure;
        return answer;
    }

    std::vector<Record> found;
    if (!ReadRecords(message, position, type, found)) {
        return answer;
    }
    answer.targets = TargetsOf(found, question, type);
    answer.status = DnsAnswerStatus::Answer;
    return answer;
}

} // namespace tessvale
