// The SMB2 NEGOTIATE request (MS-SMB2 2.2.3) over direct TCP (RFC 1001/1002 session
// header as used on port 445), and the test that an answer is an SMB reply. The
// inventory sends it on its own socket before handing the host to the SMB client
// library, to learn within a bounded time whether the server answers at all.
//
//   00 | length (3 bytes, big-endian)                 -- direct TCP header
//   FE 'S' 'M' 'B' | StructureSize 64 | ... Command 0 (NEGOTIATE) ... -- SMB2 header, 64 bytes
//   StructureSize 36 | DialectCount 4 | SecurityMode 1 | 0 | Capabilities 0
//   ClientGuid (16) | 0 (8) | 0x0202 0x0210 0x0300 0x0302    -- little-endian fields
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tessvale {

std::vector<std::uint8_t> BuildSmb2NegotiateRequest(const std::array<std::uint8_t, 16>& clientGuid);

// True when the bytes start with a complete direct-TCP header followed by an SMB2
// server reply (FE 'SMB', server-to-client flag) or an SMB1 reply (FF 'SMB').
bool IsSmbReply(std::span<const std::uint8_t> received);

} // namespace tessvale
