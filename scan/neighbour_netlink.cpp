#include "scan/neighbour_netlink.h"

#include <cstring>

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include "scan/byte_order.h"

namespace tessvale {

namespace {

constexpr std::size_t Align(std::size_t length)
{
    return (length + 3u) & ~std::size_t{3};
}

template <typename T> T ReadStruct(const std::uint8_t* at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// removed: the message is RTM_DELNEIGH; the entry then carries state 0.
void DecodeNeighbour(std::span<const std::uint8_t> payload, bool removed, std::vector<NeighbourEntry>& entries)
{
    if (payload.size() < sizeof(ndmsg)) {
        return;
    }
    const auto header = ReadStruct<ndmsg>(payload.data());
    if (header.ndm_family != AF_INET) {
        return;
    }
    NeighbourEntry entry;
    entry.interfaceIndex = header.ndm_ifindex;
    entry.state = removed ? 0 : header.ndm_state;
    bool hasAddress = false;
    std::size_t offset = Align(sizeof(ndmsg));
    while (offset + sizeof(rtattr) <= payload.size()) {
        const auto attribute = ReadStruct<rtattr>(payload.data() + offset);
        if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > payload.size() - offset) {
            return; // a broken attribute list: the entry is not trusted
        }
        const std::uint8_t* data = payload.data() + offset + sizeof(rtattr);
        const std::size_t dataLength = attribute.rta_len - sizeof(rtattr);
        if (attribute.rta_type == NDA_DST && dataLength == 4) {
            entry.address = GetBe32({data, 4}, 0);
            hasAddress = true;
        } else if (attribute.rta_type == NDA_LLADDR && dataLength == 6) {
            MacAddress mac;
            std::memcpy(mac.data(), data, mac.size());
            entry.mac = mac;
        }
        offset += Align(attribute.rta_len);
    }
    if (hasAddress) {
        entries.push_back(entry);
    }
}

} // namespace

std::vector<std::uint8_t> EncodeNeighbourDumpRequest(std::uint32_t sequence)
{
    nlmsghdr header{};
    header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
    header.nlmsg_type = RTM_GETNEIGH;
    header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    header.nlmsg_seq = sequence;
    ndmsg body{};
    body.ndm_family = AF_INET;
    std::vector<std::uint8_t> bytes(header.nlmsg_len, 0);
    std::memcpy(bytes.data(), &header, sizeof header);
    std::memcpy(bytes.data() + NLMSG_HDRLEN, &body, sizeof body);
    return bytes;
}

NetlinkDecode DecodeNeighbourDump(std::span<const std::uint8_t> datagram, std::uint32_t sequence,
                                  std::vector<NeighbourEntry>& entries)
{
    std::size_t offset = 0;
    while (offset < datagram.size()) {
        if (datagram.size() - offset < sizeof(nlmsghdr)) {
            return NetlinkDecode::Malformed;
        }
        const auto header = ReadStruct<nlmsghdr>(datagram.data() + offset);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > datagram.size() - offset) {
            return NetlinkDecode::Malformed;
        }
        const auto payload = datagram.subspan(offset + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN);
        if (header.nlmsg_seq == sequence) {
            if (header.nlmsg_type == NLMSG_DONE) {
                return NetlinkDecode::Done;
            }
            if (header.nlmsg_type == NLMSG_ERROR) {
                if (payload.size() < sizeof(int)) {
                    return NetlinkDecode::Malformed;
                }
                if (ReadStruct<int>(payload.data()) != 0) {
                    return NetlinkDecode::Error;
                }
            } else if (header.nlmsg_type == RTM_NEWNEIGH || header.nlmsg_type == RTM_DELNEIGH) {
                DecodeNeighbour(payload, header.nlmsg_type == RTM_DELNEIGH, entries);
            }
        }
        offset += Align(header.nlmsg_len);
    }
    return NetlinkDecode::More;
}

} // namespace tessvale
