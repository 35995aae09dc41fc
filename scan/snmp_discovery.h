// The SNMPv3 discovery request (RFC 3414 section 4): an unauthenticated, reportable
// get-request with empty security parameters, which every SNMPv3 agent answers with a
// report carrying its engine id. The inventory sends it first, on its own socket and
// without taking any lock, to learn within a short time whether an agent answers at all.
//
//   SEQUENCE {                          -- SNMPv3Message, BER
//     INTEGER 3                         -- msgVersion
//     SEQUENCE { INTEGER msgID, INTEGER 65507, OCTET STRING 04h, INTEGER 3 }
//     OCTET STRING (SEQUENCE { "" 0 0 "" "" "" })   -- UsmSecurityParameters
//     SEQUENCE { "" "" A0 { INTEGER requestID, 0, 0, SEQUENCE {} } }  -- ScopedPDU
//   }
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessvale {

// msgID and requestID are both set to id (0 .. 2^31 - 1).
std::vector<std::uint8_t> BuildSnmpDiscoveryRequest(std::uint32_t id);

// True when the datagram is an SNMPv3 message whose msgID is id.
bool IsSnmpDiscoveryAnswer(std::span<const std::uint8_t> datagram, std::uint32_t id);

} // namespace tessvale
