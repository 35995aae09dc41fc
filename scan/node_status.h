// The NetBIOS node-status probe: the first probe of every address.
#pragma once

#include <cstdint>
#include <string>

namespace tessvale {

inline constexpr int kDefaultNetbiosTimeoutMs = 1000;

// Sends one node-status request to UDP port 137 of `address` and waits at most
// timeoutMs for the answer of that address (datagrams from other senders are ignored).
// Returns 1 when it answered with a usable unit id: `mac` then holds the MAC text and
// `hostName` the first name of its table (left as it was when the table is empty).
// Returns 0 otherwise, with both fields unchanged.
int QueryNodeStatus(const std::string& address, std::string& mac, std::string& hostName, int timeoutMs);

// The same towards another UDP port (tests answer from loopback).
int QueryNodeStatus(const std::string& address, std::string& mac, std::string& hostName, int timeoutMs,
                    std::uint16_t port);

} // namespace tessvale
