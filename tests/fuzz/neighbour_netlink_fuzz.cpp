// The decoder of the kernel's neighbour-table dump: every length in a netlink message
// and its route attributes is checked against the received bytes. The input is one
// datagram; the dump's sequence number is the one of its first message, as when the
// kernel answers our request, and a second pass reads it as a datagram of another
// dump.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "scan/neighbour_netlink.h"

namespace {

using tessvale::NeighbourEntry;
using tessvale::NetlinkDecode;
using tessvale::fuzz::Require;

constexpr std::size_t kSequenceOffset = 8; // nlmsghdr: len, type, flags, seq, pid

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> datagram(data, size);
    std::uint32_t sequence = 0;
    if (size >= kSequenceOffset + sizeof sequence) {
        std::memcpy(&sequence, data + kSequenceOffset, sizeof sequence);
    }

    // Entries of earlier datagrams of the same dump stay in front.
    std::vector<NeighbourEntry> entries(1);
    const NetlinkDecode status = tessvale::DecodeNeighbourDump(datagram, sequence, entries);
    Require(status == NetlinkDecode::More || status == NetlinkDecode::Done || status == NetlinkDecode::Error ||
                status == NetlinkDecode::Malformed,
            "decode status out of range");
    Require(entries.front().address == 0 && !entries.front().mac, "an earlier entry was changed");
    // One attribute list of at least a message header, an ndmsg and an NDA_DST per entry.
    Require((entries.size() - 1) * (16 + 12 + 8) <= size, "more entries than the bytes can hold");

    std::vector<NeighbourEntry> other;
    tessvale::DecodeNeighbourDump(datagram, sequence + 1, other);
    Require(other.size() * (16 + 12 + 8) <= size, "more entries than the bytes can hold");
    return 0;
}
