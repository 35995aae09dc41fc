// What the ARP sweep helper reads: its request stream from whoever starts it (it holds
// the raw-socket capability), and ARP replies from any host of the subnet. A stream is
// cut into records and each decoded and checked against the session's rules as the
// helper does; the rules must hold for every request accepted, and every ARP reply read
// must come from inside the packet.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "fuzz_support.h"
#include "scan/arp_frame.h"
#include "scan/arp_sweep_protocol.h"

namespace {

using tessvale::fuzz::Require;

std::optional<tessvale::ArpSweepSession::Link> Links(std::uint32_t index, void*)
{
    if (index == 2) {
        return tessvale::ArpSweepSession::Link{0xC6120001U, 0xFFFFF000U};
    }
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    if (const auto reply = tessvale::ParseArpReply(bytes)) {
        Require(size >= tessvale::kArpPacketSize && data[7] == 2, "a reply read from a request or a short packet");
        Require(reply->address == ((std::uint32_t{data[14]} << 24) | (std::uint32_t{data[15]} << 16) |
                                   (std::uint32_t{data[16]} << 8) | data[17]),
                "the sender address not taken from its place");
    }

    tessvale::ArpSweepSession session(Links, nullptr);
    tessvale::ArpSweepRecordReader reader;
    // Fed in uneven pieces, as reads from a pipe come.
    std::size_t offset = 0;
    for (std::size_t piece = 1; offset < size; piece = piece * 3 % 17 + 1) {
        const std::size_t take = std::min(piece, size - offset);
        reader.Append(bytes.subspan(offset, take));
        offset += take;
        while (const auto record = reader.Next()) {
            tessvale::ArpSweepError error = tessvale::ArpSweepError::None;
            const auto request = tessvale::DecodeArpSweepRequest(*record, error);
            if (!request) {
                Require(error == tessvale::ArpSweepError::Malformed, "an undecoded request not called malformed");
                return 0; // the helper stops here
            }
            const bool wasOpen = session.Opened();
            if (session.Accept(*request) != tessvale::ArpSweepError::None) {
                return 0;
            }
            if (request->kind == tessvale::ArpSweepRequest::Kind::Open) {
                Require(!wasOpen, "a second open accepted");
                Require(request->rate >= 1 && request->rate <= tessvale::kArpSweepMaxRate, "a rate out of bounds");
            } else {
                Require(wasOpen, "a probe before the open accepted");
                Require((request->address & 0xFFFFF000U) == 0xC6120000U, "a probe off the subnet accepted");
                Require(request->address != 0xC6120001U && request->address != 0xC6120000U &&
                            request->address != 0xC6120FFFU,
                        "a probe of the own, network or broadcast address accepted");
            }
        }
    }
    Require(size % tessvale::kArpSweepRecordSize == 0 || reader.Partial(), "bytes of a record lost");
    return 0;
}
