#include "scan/arp_sweep_protocol.h"

#include <algorithm>

#include "scan/byte_order.h"

namespace tessvale {

namespace {

// The first byte of a record.
enum Operation : std::uint8_t
{
    kOpen = 1,
    kProbe = 2,
    kReady = 0x81,
    kAnswer = 0x82,
    kError = 0x83,
};

bool Zero(std::span<const std::uint8_t, kArpSweepRecordSize> record, std::size_t from, std::size_t to)
{
    return std::all_of(record.begin() + static_cast<std::ptrdiff_t>(from),
                       record.begin() + static_cast<std::ptrdiff_t>(to), [](std::uint8_t b) { return b == 0; });
}

ArpSweepRecord Record(std::uint8_t operation, std::uint32_t first, std::uint32_t second)
{
    ArpSweepRecord record{};
    record[0] = operation;
    PutBe32(record, 4, first);
    PutBe32(record, 8, second);
    return record;
}

} // namespace

ArpSweepRecord EncodeArpSweepOpen(std::uint32_t interfaceIndex, std::uint32_t rate)
{
    return Record(kOpen, interfaceIndex, rate);
}

ArpSweepRecord EncodeArpSweepProbe(std::uint32_t address)
{
    return Record(kProbe, address, 0);
}

ArpSweepRecord EncodeArpSweepReady(std::uint32_t address, std::uint32_t netmask)
{
    return Record(kReady, address, netmask);
}

ArpSweepRecord EncodeArpSweepAnswer(std::uint32_t address, const MacAddress& mac)
{
    ArpSweepRecord record = Record(kAnswer, 0, address);
    std::copy(mac.begin(), mac.end(), record.begin() + 2);
    return record;
}

ArpSweepRecord EncodeArpSweepError(ArpSweepError error, std::uint32_t value)
{
    ArpSweepRecord record = Record(kError, value, 0);
    record[1] = static_cast<std::uint8_t>(error);
    return record;
}

std::optional<ArpSweepRequest> DecodeArpSweepRequest(std::span<const std::uint8_t, kArpSweepRecordSize> record,
                                                     ArpSweepError& error)
{
    error = ArpSweepError::Malformed;
    if (!Zero(record, 1, 4) || !Zero(record, 12, kArpSweepRecordSize)) {
        return std::nullopt;
    }
    ArpSweepRequest request;
    if (record[0] == kOpen) {
        request.kind = ArpSweepRequest::Kind::Open;
        request.interfaceIndex = GetBe32(record, 4);
        request.rate = GetBe32(record, 8);
    } else if (record[0] == kProbe && Zero(record, 8, 12)) {
        request.kind = ArpSweepRequest::Kind::Probe;
        request.address = GetBe32(record, 4);
    } else {
        return std::nullopt;
    }
    error = ArpSweepError::None;
    return request;
}

std::optional<ArpSweepReply> DecodeArpSweepReply(std::span<const std::uint8_t, kArpSweepRecordSize> record)
{
    ArpSweepReply reply;
    switch (record[0]) {
    case kReady:
        if (!Zero(record, 1, 4) || !Zero(record, 12, kArpSweepRecordSize)) {
            return std::nullopt;
        }
        reply.kind = ArpSweepReply::Kind::Ready;
        reply.address = GetBe32(record, 4);
        reply.netmask = GetBe32(record, 8);
        return reply;
    case kAnswer:
        if (record[1] != 0 || !Zero(record, 12, kArpSweepRecordSize)) {
            return std::nullopt;
        }
        reply.kind = ArpSweepReply::Kind::Answer;
        std::copy(record.begin() + 2, record.begin() + 8, reply.mac.begin());
        reply.address = GetBe32(record, 8);
        return reply;
    case kError:
        if (record[1] == 0 || record[1] > static_cast<std::uint8_t>(ArpSweepError::CapabilityKept) ||
            !Zero(record, 2, 4) || !Zero(record, 8, kArpSweepRecordSize)) {
            return std::nullopt;
        }
        reply.kind = ArpSweepReply::Kind::Error;
        reply.error = static_cast<ArpSweepError>(record[1]);
        reply.address = GetBe32(record, 4);
        return reply;
    default:
        return std::nullopt;
    }
}

void ArpSweepRecordReader::Append(std::span<const std::uint8_t> bytes)
{
    if (m_offset != 0) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_offset));
        m_offset = 0;
    }
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
}

std::optional<ArpSweepRecord> ArpSweepRecordReader::Next()
{
    if (m_buffer.size() - m_offset < kArpSweepRecordSize) {
        return std::nullopt;
    }
    ArpSweepRecord record{};
    std::copy_n(m_buffer.begin() + static_cast<std::ptrdiff_t>(m_offset), kArpSweepRecordSize, record.begin());
    m_offset += kArpSweepRecordSize;
    return record;
}

bool ArpSweepSession::InSubnet(std::uint32_t address) const
{
    if (!m_opened || (address & m_link.netmask) != (m_link.address & m_link.netmask) || address == m_link.address) {
        return false;
    }
    // A /31 or /32 has no network or broadcast address of its own.
    if (m_link.netmask < 0xFFFFFFFEU) {
        const std::uint32_t host = address & ~m_link.netmask;
        if (host == 0 || host == ~m_link.netmask) {
            return false;
        }
    }
    return true;
}

ArpSweepError ArpSweepSession::Accept(const ArpSweepRequest& request)
{
    if (request.kind == ArpSweepRequest::Kind::Open) {
        if (m_opened) {
            return ArpSweepError::OutOfOrder;
        }
        if (request.rate == 0 || request.rate > kArpSweepMaxRate) {
            return ArpSweepError::RateRefused;
        }
        const auto link = m_lookup(request.interfaceIndex, m_context);
        // A netmask is a run of ones from the top; /0 would make every address local.
        if (!link || link->netmask == 0 || (~link->netmask & (~link->netmask + 1)) != 0) {
            return ArpSweepError::NoInterface;
        }
        m_opened = true;
        m_link = *link;
        m_rate = request.rate;
        m_interfaceIndex = request.interfaceIndex;
        return ArpSweepError::None;
    }
    if (!m_opened) {
        return ArpSweepError::OutOfOrder;
    }
    return InSubnet(request.address) ? ArpSweepError::None : ArpSweepError::OffSubnet;
}

} // namespace tessvale
