#include "scan/netbios_packet.h"

#include <algorithm>

#include "common/text_util.h"
#include "scan/host_record.h"

namespace tessvale {

namespace {

constexpr std::size_t kNameCountOffset = 56;
constexpr std::size_t kNameTableOffset = 57;
constexpr std::size_t kNameEntrySize = 18;
constexpr std::size_t kNameBytes = 15;

} // namespace

std::array<std::uint8_t, kNodeStatusRequestSize> BuildNodeStatusRequest()
{
    std::array<std::uint8_t, kNodeStatusRequestSize> request{};
    request[5] = 0x01; // one question
    request[12] = 0x20;
    // "*" is 0x2A: high nibble 2 and low nibble 10 become 'A' + 2 and 'A' + 10; the 15
    // padding zero bytes become "AA" each.
    request[13] = 'C';
    request[14] = 'K';
    std::fill(request.begin() + 15, request.begin() + 45, static_cast<std::uint8_t>('A'));
    request[45] = 0x00;
    request[47] = 0x21; // NBSTAT
    request[49] = 0x01; // IN
    return request;
}

std::optional<NodeStatusAnswer> ParseNodeStatusAnswer(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() <= kNameCountOffset) {
        return std::nullopt;
    }
    NodeStatusAnswer answer;
    answer.nameCount = datagram[kNameCountOffset];
    const std::size_t unitIdOffset = kNameTableOffset + kNameEntrySize * static_cast<std::size_t>(answer.nameCount);
    if (unitIdOffset + answer.unitId.size() > datagram.size()) {
        return std::nullopt;
    }
    std::copy_n(datagram.begin() + static_cast<std::ptrdiff_t>(unitIdOffset), answer.unitId.size(),
                answer.unitId.begin());
    if (answer.nameCount > 0) {
        const auto name = datagram.subspan(kNameTableOffset, kNameBytes);
        const auto end = std::find(name.begin(), name.end(), std::uint8_t{0});
        std::string text = AnsiToUtf8(std::string(name.begin(), end));
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                                 text.back() == '\n' || text.back() == '\v' || text.back() == '\f')) {
            text.pop_back();
        }
        answer.firstName = std::move(text);
    }
    return answer;
}

int TakeNodeStatusAnswer(const NodeStatusAnswer& answer, std::string& mac, std::string& hostName,
                         const std::function<bool(std::string& mac)>& arp)
{
    const std::string unitId = FormatMac(answer.unitId);
    if (IsNoAnswerMac(unitId)) {
        return 0;
    }
    mac = unitId;
    if (answer.unitId == MacAddress{}) {
        std::string arpMac;
        if (arp && arp(arpMac)) {
            mac = arpMac;
        }
    }
    if (answer.nameCount > 0) {
        SetField(hostName, answer.firstName, HostRecord::kHostNameCapacity);
    }
    return 1;
}

} // namespace tessvale
