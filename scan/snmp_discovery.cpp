#include "scan/snmp_discovery.h"

#include <optional>

namespace tessvale {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The BER tags of the message.
enum BerTag : std::uint8_t
{
    kInteger = 0x02,
    kOctetString = 0x04,
    kSequence = 0x30,
    kGetRequest = 0xA0,
};

constexpr std::uint32_t kMaxMessageSize = 65507;
constexpr std::uint8_t kReportableFlag = 0x04;
constexpr std::uint32_t kUsmSecurityModel = 3;
constexpr std::uint32_t kVersion3 = 3;

Bytes Tlv(std::uint8_t tag, const Bytes& content)
{
    Bytes out{tag};
    const std::size_t size = content.size();
    if (size < 0x80) {
        out.push_back(static_cast<std::uint8_t>(size));
    } else if (size <= 0xFF) {
        out.push_back(0x81);
        out.push_back(static_cast<std::uint8_t>(size));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<std::uint8_t>(size >> 8));
        out.push_back(static_cast<std::uint8_t>(size));
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes Integer(std::uint32_t value)
{
    Bytes content;
    for (int shift = 24; shift >= 0; shift -= 8) {
        content.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    // Minimal two's complement: drop leading zero bytes that the next byte does not need.
    while (content.size() > 1 && content[0] == 0 && (content[1] & 0x80) == 0) {
        content.erase(content.begin());
    }
    if (content[0] & 0x80) {
        content.insert(content.begin(), 0);
    }
    return Tlv(kInteger, content);
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// A bounds-checked reader of one BER element at a time.
class BerReader
{
public:
    explicit BerReader(std::span<const std::uint8_t> data) : m_data(data) {}

    // Reads the next element's tag and content; nullopt when it does not fit.
    std::optional<std::span<const std::uint8_t>> Next(std::uint8_t expectedTag)
    {
        if (m_pos + 2 > m_data.size() || m_data[m_pos] != expectedTag) {
            return std::nullopt;
        }
        std::size_t length = m_data[m_pos + 1];
        std::size_t pos = m_pos + 2;
        if (length & 0x80) {
            const std::size_t count = length & 0x7F;
            if (count == 0 || count > 2 || pos + count > m_data.size()) {
                return std::nullopt;
            }
            length = 0;
            for (std::size_t i = 0; i < count; ++i) {
                length = (length << 8) | m_data[pos++];
            }
        }
        if (length > m_data.size() - pos) {
            return std::nullopt;
        }
        m_pos = pos + length;
        return m_data.subspan(pos, length);
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

std::optional<std::uint64_t> ReadUnsigned(std::span<const std::uint8_t> content)
{
    if (content.empty() || content.size() > 5 || (content[0] & 0x80)) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const std::uint8_t byte : content) {
        value = (value << 8) | byte;
    }
    return value;
}

} // namespace

std::vector<std::uint8_t> BuildSnmpDiscoveryRequest(std::uint32_t id)
{
    const Bytes empty = Tlv(kOctetString, {});
    const Bytes globalData = Tlv(kSequence, Concat({Integer(id), Integer(kMaxMessageSize),
                                                    Tlv(kOctetString, {kReportableFlag}), Integer(kUsmSecurityModel)}));
    const Bytes securityParameters =
        Tlv(kOctetString, Tlv(kSequence, Concat({empty, Integer(0), Integer(0), empty, empty, empty})));
    const Bytes pdu = Tlv(kGetRequest, Concat({Integer(id), Integer(0), Integer(0), Tlv(kSequence, {})}));
    const Bytes scopedPdu = Tlv(kSequence, Concat({empty, empty, pdu}));
    return Tlv(kSequence, Concat({Integer(kVersion3), globalData, securityParameters, scopedPdu}));
}

bool IsSnmpDiscoveryAnswer(std::span<const std::uint8_t> datagram, std::uint32_t id)
{
    BerReader outer(datagram);
    const auto message = outer.Next(kSequence);
    if (!message) {
        return false;
    }
    BerReader fields(*message);
    const auto version = fields.Next(kInteger);
    if (!version || ReadUnsigned(*version) != kVersion3) {
        return false;
    }
    const auto globalData = fields.Next(kSequence);
    if (!globalData) {
        return false;
    }
    BerReader global(*globalData);
    const auto messageId = global.Next(kInteger);
    return messageId && ReadUnsigned(*messageId) == id;
}

} // namespace tessvale
