// The pipe protocol between the scanner and its ARP sweep helper, a small program that
// holds the raw-socket capability so that an unprivileged scan can send ARP requests.
// The helper sends ARP requests only for addresses of the subnet of the interface it
// was opened on, at no more than the rate it was given (itself bounded by
// kArpSweepMaxRate), and reports every ARP reply seen on that interface from that
// subnet. Any request that breaks a rule ends the session with an error record.
//
// Every record is 16 bytes, integers big-endian.
// Requests (scanner -> helper, on the helper's standard input):
//   open   0: 1   1-3: 0   4: interface index   8: frames per second   12: 0
//          first and only once
//   probe  0: 2   1-3: 0   4: IPv4 address      8: 0                   12: 0
// Replies (helper -> scanner, on the helper's standard output):
//   ready  0: 0x81  1-3: 0   4: the interface's IPv4 address   8: its netmask   12: 0
//   answer 0: 0x82  1: 0     2: MAC (6 bytes)                  8: IPv4 address  12: 0
//   error  0: 0x83  1: ArpSweepError   2-3: 0   4: the offending value   8: 0  12: 0
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "scan/address_forms.h"

namespace tessvale {

inline constexpr std::size_t kArpSweepRecordSize = 16;
// Frames per second the helper sends at most, whatever it is asked.
inline constexpr std::uint32_t kArpSweepMaxRate = 10000;

using ArpSweepRecord = std::array<std::uint8_t, kArpSweepRecordSize>;

enum class ArpSweepError : std::uint8_t
{
    None = 0,
    Malformed = 1,     // unknown operation or reserved bytes not zero
    OutOfOrder = 2,    // a probe before the open, or a second open
    NoInterface = 3,   // no such interface, not Ethernet, or without an IPv4 address
    RateRefused = 4,   // zero or above kArpSweepMaxRate
    OffSubnet = 5,     // not an address of the interface's subnet (or its own, network or broadcast)
    SocketFailed = 6,  // the raw socket could not be had
    Truncated = 7,     // the input ended inside a record
    CapabilityKept = 8 // the capabilities could not be dropped
};

struct ArpSweepRequest
{
    enum class Kind
    {
        Open,
        Probe
    };
    Kind kind = Kind::Probe;
    std::uint32_t interfaceIndex = 0; // open
    std::uint32_t rate = 0;           // open
    std::uint32_t address = 0;        // probe, host order
};

struct ArpSweepReply
{
    enum class Kind
    {
        Ready,
        Answer,
        Error
    };
    Kind kind = Kind::Error;
    std::uint32_t address = 0; // ready: the interface's address; answer: the host's; error: the value
    std::uint32_t netmask = 0; // ready
    MacAddress mac{};          // answer
    ArpSweepError error = ArpSweepError::None;
};

ArpSweepRecord EncodeArpSweepOpen(std::uint32_t interfaceIndex, std::uint32_t rate);
ArpSweepRecord EncodeArpSweepProbe(std::uint32_t address);
ArpSweepRecord EncodeArpSweepReady(std::uint32_t address, std::uint32_t netmask);
ArpSweepRecord EncodeArpSweepAnswer(std::uint32_t address, const MacAddress& mac);
ArpSweepRecord EncodeArpSweepError(ArpSweepError error, std::uint32_t value);

// Reads one request record; Malformed (in `error`) when it is none.
std::optional<ArpSweepRequest> DecodeArpSweepRequest(std::span<const std::uint8_t, kArpSweepRecordSize> record,
                                                     ArpSweepError& error);
std::optional<ArpSweepReply> DecodeArpSweepReply(std::span<const std::uint8_t, kArpSweepRecordSize> record);

// Cuts a byte stream into records; the bytes of an unfinished record wait for the rest.
class ArpSweepRecordReader
{
public:
    void Append(std::span<const std::uint8_t> bytes);
    std::optional<ArpSweepRecord> Next();
    bool Partial() const { return m_buffer.size() - m_offset != 0; }

private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_offset = 0;
};

// The helper's rules, without any I/O: the open comes first and once, with a rate in
// 1..kArpSweepMaxRate; every probe is for an address of the opened interface's subnet.
class ArpSweepSession
{
public:
    struct Link
    {
        std::uint32_t address = 0; // host order
        std::uint32_t netmask = 0;
    };

    // The interface named by an open request, or nothing when it has no usable IPv4
    // address (the helper asks the system; tests give a table).
    using LinkLookup = std::optional<Link> (*)(std::uint32_t interfaceIndex, void* context);

    ArpSweepSession(LinkLookup lookup, void* context) : m_lookup(lookup), m_context(context) {}

    // None when the request is allowed.
    ArpSweepError Accept(const ArpSweepRequest& request);
    bool Opened() const { return m_opened; }
    const Link& OpenedLink() const { return m_link; }
    std::uint32_t Rate() const { return m_rate; }
    std::uint32_t InterfaceIndex() const { return m_interfaceIndex; }
    // True for an address a reply may come from: the opened subnet's.
    bool InSubnet(std::uint32_t address) const;

private:
    LinkLookup m_lookup;
    void* m_context;
    bool m_opened = false;
    Link m_link;
    std::uint32_t m_rate = 0;
    std::uint32_t m_interfaceIndex = 0;
};

} // namespace tessvale
