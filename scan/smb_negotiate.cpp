#include "scan/smb_negotiate.h"

#include <algorithm>

namespace tessvale {
namespace {

constexpr std::size_t kTcpHeaderSize = 4;
constexpr std::size_t kSmb2HeaderSize = 64;
constexpr std::uint32_t kServerToRedirector = 0x00000001;
constexpr std::uint16_t kDialects[] = {0x0202, 0x0210, 0x0300, 0x0302};

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutZeros(std::vector<std::uint8_t>& out, std::size_t count)
{
    out.insert(out.end(), count, 0);
}

} // namespace

std::vector<std::uint8_t> BuildSmb2NegotiateRequest(const std::array<std::uint8_t, 16>& clientGuid)
{
    std::vector<std::uint8_t> message;
    // SMB2 header: protocol id, structure size, credit charge, status, command,
    // credits requested, flags, next command, message id, process id, tree id,
    // session id, signature.
    message.insert(message.end(), {0xFE, 'S', 'M', 'B'});
    Put16(message, kSmb2HeaderSize);
    PutZeros(message, 2 + 4);
    Put16(message, 0); // NEGOTIATE
    Put16(message, 1);
    PutZeros(message, 4 + 4 + 8 + 4 + 4 + 8 + 16);
    // NEGOTIATE request.
    Put16(message, 36);
    Put16(message, static_cast<std::uint16_t>(std::size(kDialects)));
    Put16(message, 1); // signing enabled
    PutZeros(message, 2 + 4);
    message.insert(message.end(), clientGuid.begin(), clientGuid.end());
    PutZeros(message, 8);
    for (const std::uint16_t dialect : kDialects) {
        Put16(message, dialect);
    }

    std::vector<std::uint8_t> framed(kTcpHeaderSize + message.size(), 0);
    framed[1] = static_cast<std::uint8_t>(message.size() >> 16);
    framed[2] = static_cast<std::uint8_t>(message.size() >> 8);
    framed[3] = static_cast<std::uint8_t>(message.size());
    std::copy(message.begin(), message.end(), framed.begin() + kTcpHeaderSize);
    return framed;
}

bool IsSmbReply(std::span<const std::uint8_t> received)
{
    if (received.size() < kTcpHeaderSize + 4 || received[0] != 0) {
        return false;
    }
    const std::size_t length = (std::size_t{received[1]} << 16) | (std::size_t{received[2]} << 8) | received[3];
    const auto smb = received.subspan(kTcpHeaderSize);
    if (smb[1] != 'S' || smb[2] != 'M' || smb[3] != 'B') {
        return false;
    }
    if (smb[0] == 0xFF) {
        return length >= 4; // an SMB1-only server answering in its own dialect
    }
    if (smb[0] != 0xFE || length < kSmb2HeaderSize || smb.size() < 20) {
        return false;
    }
    const std::uint32_t flags =
        smb[16] | (std::uint32_t{smb[17]} << 8) | (std::uint32_t{smb[18]} << 16) | (std::uint32_t{smb[19]} << 24);
    return (flags & kServerToRedirector) != 0;
}

} // namespace tessvale
