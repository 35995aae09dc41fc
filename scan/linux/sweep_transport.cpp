// The sockets of a real sweep: UDP for NetBIOS and the name probes, a raw packet socket
// for ARP when the process may open one, else the ARP sweep helper when it is installed
// with that right, else the kernel's neighbour table through netlink events.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/interface_list.h"
#include "common/unique_fd.h"
#include "scan/arp_frame.h"
#include "scan/byte_order.h"
#include "scan/linux/arp_sweep_client.h"
#include "scan/neighbour_budget.h"
#include "scan/neighbour_netlink.h"
#include "scan/netbios_packet.h"
#include "scan/probe_sweep.h"

namespace tessvale {

namespace {

constexpr int kReceiveBuffer = 1 << 20;
constexpr int kSendBuffer = 4 << 20;
constexpr int kEventBuffer = 4 << 20; // bursts of neighbour events (capped by rmem_max)
// A datagram to an address the kernel is still resolving waits in its socket's send
// buffer until the address answers or fails (seconds): the node-status requests go out
// over several sockets, so that hundreds of silent addresses in flight do not stop the
// sending (EAGAIN) without raising the system's buffer limits.
constexpr std::size_t kUdpSockets = 8;
constexpr int kMaxDatagramsPerCall = 512;
// Frames per second asked of the ARP sweep helper: above the sweep's own pace with its
// retries, which stays the one that counts.
constexpr std::uint32_t kHelperRate = 5000;
constexpr std::chrono::milliseconds kHelperStart{1000};
// An incomplete entry's life when the kernel's settings cannot be read: six
// solicitations (three unicast, three broadcast) one second apart.
constexpr std::chrono::milliseconds kDefaultNeighbourLife{6000};

struct Link
{
    int index = 0;
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
    MacAddress mac{};
    bool hasMac = false;
};

std::vector<Link> ReadLinks()
{
    std::vector<Link> links;
    for (const InterfaceAddress& item : ReadInterfaceAddresses()) {
        if (item.netmask == 0 || item.loopback || !item.up) {
            continue;
        }
        Link link;
        link.index = static_cast<int>(item.index);
        link.address = item.address;
        link.mask = item.netmask;
        link.hasMac = item.hasMac;
        link.mac = item.mac;
        links.push_back(link);
    }
    return links;
}

std::size_t ReadThreshold(const std::vector<Link>& links)
{
    std::size_t threshold = 0;
    for (const auto& link : links) {
        char name[IF_NAMESIZE] = {};
        if (if_indextoname(static_cast<unsigned>(link.index), name) != nullptr) {
            std::ifstream file(std::string("/proc/sys/net/ipv4/neigh/") + name + "/gc_thresh3");
            std::size_t value = 0;
            if (file >> value && value > 0) {
                threshold = threshold == 0 ? value : std::min(threshold, value);
            }
        }
    }
    if (threshold == 0) {
        std::ifstream file("/proc/sys/net/ipv4/neigh/default/gc_thresh3");
        if (!(file >> threshold) || threshold == 0) {
            threshold = 1024; // the kernel's default
        }
    }
    return threshold;
}

long ReadNeighbourSetting(const std::string& link, const char* name)
{
    std::ifstream file("/proc/sys/net/ipv4/neigh/" + link + "/" + name);
    long value = -1;
    return file >> value ? value : -1;
}

// The interval at which the kernel repeats its request for an unresolved address on
// these links (the longest of them); its default when the settings cannot be read.
std::chrono::milliseconds ReadRetransmitInterval(const std::vector<Link>& links)
{
    long longest = 0;
    for (const auto& link : links) {
        char name[IF_NAMESIZE] = {};
        if (if_indextoname(static_cast<unsigned>(link.index), name) != nullptr) {
            longest = std::max(longest, ReadNeighbourSetting(name, "retrans_time_ms"));
        }
    }
    return std::chrono::milliseconds(longest > 0 ? std::min(longest, 60000L) : 1000L);
}

// The longest an incomplete entry lives on these links: its solicitations (unicast,
// by the resolver daemon, broadcast) times their interval, and a second to spare.
std::chrono::milliseconds ReadNeighbourLife(const std::vector<Link>& links)
{
    std::chrono::milliseconds life{0};
    for (const auto& link : links) {
        char name[IF_NAMESIZE] = {};
        if (if_indextoname(static_cast<unsigned>(link.index), name) == nullptr) {
            continue;
        }
        const long unicast = ReadNeighbourSetting(name, "ucast_solicit");
        const long daemon = ReadNeighbourSetting(name, "app_solicit");
        const long broadcast = ReadNeighbourSetting(name, "mcast_solicit");
        const long interval = ReadNeighbourSetting(name, "retrans_time_ms");
        if (unicast < 0 || daemon < 0 || broadcast < 0 || interval <= 0) {
            return kDefaultNeighbourLife + std::chrono::seconds(1);
        }
        const long probes = std::clamp(unicast + daemon + broadcast, 1L, 100L);
        life = std::max(life, std::chrono::milliseconds(probes * std::min(interval, 60000L)));
    }
    return (life.count() > 0 ? life : kDefaultNeighbourLife) + std::chrono::seconds(1);
}

// Errors an earlier datagram's ICMP answer leaves on a socket that reports them
// (IP_RECVERR): the next call on the socket returns it once, and the call itself did
// nothing.
bool IcmpError(int error)
{
    return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH || error == EHOSTDOWN;
}

bool Usable(const NeighbourEntry& entry)
{
    return entry.mac && (entry.state & (NUD_INCOMPLETE | NUD_FAILED | NUD_NOARP)) == 0 && entry.state != 0 &&
           !std::all_of(entry.mac->begin(), entry.mac->end(), [](std::uint8_t byte) { return byte == 0; });
}

class SystemSweepTransport final : public SweepTransport
{
public:
    SystemSweepTransport(std::vector<UniqueFd> udp, std::uint16_t port)
        : m_udp(std::move(udp)), m_port(port), m_links(ReadLinks()), m_wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {}

    // Without a raw socket of its own, ARP goes through this helper program where it can
    // (started per link when the sweep first reaches it).
    void UseHelper(std::string program) { m_helperPath = std::move(program); }

    // Opens the raw packet socket; false when the process may not.
    bool OpenRaw()
    {
        m_raw = UniqueFd(socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ARP)));
        if (m_raw.Valid()) {
            (void)setsockopt(m_raw.Get(), SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
        }
        return m_raw.Valid();
    }

    // Subscribes to the kernel's neighbour events and reads the table once.
    void OpenNeighbourEvents();

    bool OnLink(std::uint32_t address) override
    {
        const Link* link = FindLink(address);
        m_currentHelper = link != nullptr ? HelperFor(*link) : nullptr;
        return link != nullptr;
    }
    // Of the address last asked about in OnLink.
    bool ArpFirst() const override { return m_raw.Valid() || m_currentHelper != nullptr; }
    bool SeesArpConflicts() const override
    {
        return m_raw.Valid() || std::any_of(m_helpers.begin(), m_helpers.end(),
                                            [](const auto& helper) { return helper.second && helper.second->Alive(); });
    }
    // Of the address last asked about in OnLink, too: the kernel resolves it.
    std::chrono::milliseconds KernelArpInterval() const override
    {
        return ArpFirst() ? std::chrono::milliseconds(0) : m_retransmit;
    }
    void Wake() override
    {
        if (m_wake.Valid()) {
            const std::uint64_t one = 1;
            (void)!write(m_wake.Get(), &one, sizeof one);
        }
    }
    std::size_t ArpHeadroom() override;
    bool SendNodeStatus(std::uint32_t address, std::uint16_t transaction) override;
    bool SendName(std::uint32_t address, std::uint16_t port, std::span<const std::uint8_t> message) override;
    void SendArp(std::uint32_t address) override;
    void Receive(std::chrono::microseconds wait, std::vector<SweepAnswer>& answers) override;
    std::optional<MacAddress> OwnMac(std::uint32_t address) override
    {
        for (const auto& link : m_links) {
            if (link.address == address && link.hasMac) {
                return link.mac;
            }
        }
        return std::nullopt;
    }
    std::optional<MacAddress> KnownMac(std::uint32_t address) override
    {
        const Link* link = FindLink(address);
        if (m_raw.Valid() || !m_netlink.Valid() || (link != nullptr && HelperFor(*link) != nullptr)) {
            return std::nullopt; // the raw socket's own answer comes first
        }
        std::vector<NeighbourEntry> entries;
        ReadTable(entries);
        Settle(entries);
        std::optional<MacAddress> found;
        for (const auto& entry : entries) {
            if (!Usable(entry)) {
                continue;
            }
            if (entry.address == address) {
                found = entry.mac;
            }
            // The table also answers for the other addresses in flight.
            SweepAnswer answer;
            answer.kind = SweepAnswer::Kind::Arp;
            answer.address = entry.address;
            answer.mac = *entry.mac;
            m_queued.push_back(std::move(answer));
        }
        return found;
    }

private:
    const Link* FindLink(std::uint32_t address) const
    {
        for (const auto& link : m_links) {
            if (link.address == address) {
                return nullptr; // the computer's own address
            }
        }
        for (const auto& link : m_links) {
            if (link.mask != 0xFFFFFFFFU && (link.address & link.mask) == (address & link.mask)) {
                return &link;
            }
        }
        return nullptr;
    }
    void ReadUdp(int fd, std::vector<SweepAnswer>& answers);
    // ICMP port-unreachable answers to node-status requests, from the socket's error queue.
    void ReadRefusals(int fd, std::vector<SweepAnswer>& answers);
    void ReadRaw(std::vector<SweepAnswer>& answers);
    void ReadHelper(ArpSweepClient& helper, std::vector<SweepAnswer>& answers);
    // The helper for the link, started on first use; null without one.
    ArpSweepClient* HelperFor(const Link& link)
    {
        if (m_raw.Valid() || m_helperPath.empty() || !link.hasMac) {
            return nullptr;
        }
        auto found = m_helpers.find(link.index);
        if (found == m_helpers.end()) {
            found = m_helpers
                        .emplace(link.index, ArpSweepClient::Start(m_helperPath, static_cast<std::uint32_t>(link.index),
                                                                   kHelperRate, kHelperStart))
                        .first;
        }
        return found->second && found->second->Alive() ? found->second.get() : nullptr;
    }
    // Sends over the next UDP socket, again while the error is one of an earlier datagram's;
    // when false, errno says why.
    bool SendDatagram(std::uint32_t address, std::uint16_t port, std::span<const std::uint8_t> datagram);
    void ReadNeighbours(std::vector<SweepAnswer>& answers);
    // Reads the whole table once over the event socket; true when the dump was whole.
    bool ReadTable(std::vector<NeighbourEntry>& entries);
    // Entries the kernel reports settled free their place in the budget.
    void Settle(const std::vector<NeighbourEntry>& entries);

    std::vector<UniqueFd> m_udp;
    std::size_t m_nextUdp = 0;
    std::vector<pollfd> m_polled;
    std::uint16_t m_port;
    std::vector<Link> m_links;
    UniqueFd m_raw;
    UniqueFd m_netlink;
    std::uint32_t m_dumpSequence = 1;
    std::unordered_map<std::uint32_t, MacAddress> m_known; // entries the table held at the start
    std::vector<SweepAnswer> m_queued;                     // answers known without a datagram
    std::optional<NeighbourBudget> m_budget;               // without the raw socket
    std::vector<std::uint8_t> m_buffer = std::vector<std::uint8_t>(65536);
    std::string m_helperPath;
    std::unordered_map<int, std::unique_ptr<ArpSweepClient>> m_helpers; // by link; null: could not start
    ArpSweepClient* m_currentHelper = nullptr;
    std::vector<ArpSweepClient::Answer> m_helperAnswers;
    UniqueFd m_wake;                              // ends a Receive's wait (an eventfd)
    std::chrono::milliseconds m_retransmit{1000}; // the kernel's interval between requests
};

void SystemSweepTransport::OpenNeighbourEvents()
{
    m_retransmit = ReadRetransmitInterval(m_links);
    m_budget.emplace(16, ReadNeighbourLife(m_links));
    m_netlink = UniqueFd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!m_netlink.Valid()) {
        return;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_NEIGH;
    if (bind(m_netlink.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        m_netlink.Close();
        return;
    }
    (void)setsockopt(m_netlink.Get(), SOL_SOCKET, SO_RCVBUF, &kEventBuffer, sizeof kEventBuffer);
    std::vector<NeighbourEntry> entries;
    ReadTable(entries);
    for (const auto& entry : entries) {
        if (Usable(entry)) {
            m_known[entry.address] = *entry.mac;
        }
    }
    m_budget.emplace(NeighbourLimit(ReadThreshold(m_links), entries.size()), ReadNeighbourLife(m_links));
}

bool SystemSweepTransport::ReadTable(std::vector<NeighbourEntry>& entries)
{
    ++m_dumpSequence;
    const auto request = EncodeNeighbourDumpRequest(m_dumpSequence);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(m_netlink.Get(), request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&kernel),
               sizeof kernel) < 0) {
        return false;
    }
    // Bounded: at most this many datagrams, each awaited at most half a second.
    for (int datagram = 0; datagram < 1024; ++datagram) {
        pollfd ready{m_netlink.Get(), POLLIN, 0};
        if (poll(&ready, 1, 500) <= 0) {
            break;
        }
        const ssize_t received = recv(m_netlink.Get(), m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
        if (received < 0 && errno == ENOBUFS) {
            continue; // events overflowed meanwhile: the dump itself goes on
        }
        if (received <= 0) {
            break;
        }
        const auto bytes = std::span<const std::uint8_t>(m_buffer.data(), static_cast<std::size_t>(received));
        // Events that arrive during the dump count as well.
        (void)DecodeNeighbourDump(bytes, 0, entries);
        const NetlinkDecode decoded = DecodeNeighbourDump(bytes, m_dumpSequence, entries);
        if (decoded != NetlinkDecode::More) {
            return decoded == NetlinkDecode::Done;
        }
    }
    return false;
}

void SystemSweepTransport::Settle(const std::vector<NeighbourEntry>& entries)
{
    if (!m_budget) {
        return;
    }
    for (const auto& entry : entries) {
        if ((entry.state & NUD_INCOMPLETE) == 0) {
            m_budget->Settle(entry.address);
        }
    }
}

std::size_t SystemSweepTransport::ArpHeadroom()
{
    if (m_raw.Valid() || m_currentHelper != nullptr) {
        return SIZE_MAX; // silent addresses create no neighbour entries
    }
    return m_budget ? m_budget->Headroom(std::chrono::steady_clock::now()) : 16;
}

bool SystemSweepTransport::SendNodeStatus(std::uint32_t address, std::uint16_t transaction)
{
    auto request = BuildNodeStatusRequest();
    PutBe16(request, 0, transaction);
    if (SendDatagram(address, m_port, request)) {
        return true;
    }
    // EINVAL: the kernel could not make a neighbour entry for the address, its table is
    // full. The datagram was dropped; the sweep sends it again later.
    if (errno == EINVAL && m_budget && !m_raw.Valid() && FindLink(address) != nullptr) {
        m_budget->Refused(address);
    }
    return false;
}

bool SystemSweepTransport::SendName(std::uint32_t address, std::uint16_t port, std::span<const std::uint8_t> message)
{
    if (message.empty()) {
        return false;
    }
    return SendDatagram(address, port, message);
}

bool SystemSweepTransport::SendDatagram(std::uint32_t address, std::uint16_t port,
                                        std::span<const std::uint8_t> datagram)
{
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    destination.sin_addr.s_addr = htonl(address);
    const int fd = m_udp[m_nextUdp++ % m_udp.size()].Get();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&destination),
                   sizeof destination) > 0) {
            return true;
        }
        if (!IcmpError(errno)) {
            break; // an ICMP error of an earlier datagram is reported once: send again
        }
    }
    return false;
}

void SystemSweepTransport::SendArp(std::uint32_t address)
{
    const Link* link = FindLink(address);
    if (link == nullptr) {
        return;
    }
    if (ArpSweepClient* helper = HelperFor(*link); helper != nullptr) {
        (void)helper->Probe(address); // a helper that went is not asked again
        return;
    }
    if (!m_raw.Valid()) {
        // The node-status datagram makes the kernel resolve the address; an entry the
        // table already held answers at once. A retry adds nothing here: the kernel
        // repeats its own solicitations while the entry is unresolved.
        if (m_budget && !m_budget->Start(address, std::chrono::steady_clock::now())) {
            return;
        }
        const auto known = m_known.find(address);
        if (known != m_known.end()) {
            SweepAnswer answer;
            answer.kind = SweepAnswer::Kind::Arp;
            answer.address = address;
            answer.mac = known->second;
            m_queued.push_back(std::move(answer));
            if (m_budget) {
                m_budget->Settle(address); // a known entry makes no new one
            }
        }
        return;
    }
    if (!link->hasMac) {
        return;
    }
    const auto packet = BuildArpRequest(link->mac, link->address, address);
    sockaddr_ll destination{};
    destination.sll_family = AF_PACKET;
    destination.sll_protocol = htons(ETH_P_ARP);
    destination.sll_ifindex = link->index;
    destination.sll_halen = 6;
    std::memset(destination.sll_addr, 0xFF, 6);
    (void)sendto(m_raw.Get(), packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&destination),
                 sizeof destination);
}

void SystemSweepTransport::Receive(std::chrono::microseconds wait, std::vector<SweepAnswer>& answers)
{
    if (!m_queued.empty()) {
        answers.insert(answers.end(), m_queued.begin(), m_queued.end());
        m_queued.clear();
        wait = std::chrono::microseconds(0);
    }
    m_polled.clear();
    for (const auto& udp : m_udp) {
        m_polled.push_back(pollfd{udp.Get(), POLLIN, 0});
    }
    if (m_wake.Valid()) {
        m_polled.push_back(pollfd{m_wake.Get(), POLLIN, 0});
    }
    const int other = m_raw.Valid() ? m_raw.Get() : m_netlink.Get();
    if (other >= 0) {
        m_polled.push_back(pollfd{other, POLLIN, 0});
    }
    const std::size_t helpersFrom = m_polled.size();
    for (const auto& [index, helper] : m_helpers) {
        if (helper && helper->Alive()) {
            m_polled.push_back(pollfd{helper->Fd(), POLLIN, 0});
        }
    }
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(wait.count() / 1000000);
    timeout.tv_nsec = static_cast<long>((wait.count() % 1000000) * 1000);
    if (ppoll(m_polled.data(), m_polled.size(), &timeout, nullptr) <= 0) {
        return;
    }
    if (m_wake.Valid() && (m_polled[m_udp.size()].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        (void)!read(m_wake.Get(), &count, sizeof count);
    }
    for (std::size_t i = 0; i < m_udp.size(); ++i) {
        if ((m_polled[i].revents & POLLERR) != 0) {
            ReadRefusals(m_polled[i].fd, answers);
        }
        if ((m_polled[i].revents & POLLIN) != 0) {
            ReadUdp(m_polled[i].fd, answers);
        }
    }
    if (other >= 0 && (m_polled[helpersFrom - 1].revents & POLLIN) != 0) {
        if (m_raw.Valid()) {
            ReadRaw(answers);
        } else {
            ReadNeighbours(answers);
        }
    }
    for (std::size_t i = helpersFrom; i < m_polled.size(); ++i) {
        if ((m_polled[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        for (const auto& [index, helper] : m_helpers) {
            if (helper && helper->Fd() == m_polled[i].fd) {
                ReadHelper(*helper, answers);
            }
        }
    }
}

void SystemSweepTransport::ReadHelper(ArpSweepClient& helper, std::vector<SweepAnswer>& answers)
{
    m_helperAnswers.clear();
    (void)helper.Read(m_helperAnswers); // one that went leaves the rest to the timeout
    for (const auto& found : m_helperAnswers) {
        SweepAnswer answer;
        answer.kind = SweepAnswer::Kind::Arp;
        answer.address = found.address;
        answer.mac = found.mac;
        answers.push_back(std::move(answer));
    }
}

void SystemSweepTransport::ReadRefusals(int fd, std::vector<SweepAnswer>& answers)
{
    for (int i = 0; i < kMaxDatagramsPerCall; ++i) {
        sockaddr_in destination{};
        alignas(cmsghdr) std::array<std::uint8_t, 512> control{};
        iovec data{m_buffer.data(), 4096};
        msghdr message{};
        message.msg_name = &destination;
        message.msg_namelen = sizeof destination;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t received = recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (message.msg_namelen < sizeof destination || destination.sin_family != AF_INET) {
            continue;
        }
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_IP || header->cmsg_type != IP_RECVERR ||
                header->cmsg_len < CMSG_LEN(sizeof(sock_extended_err) + sizeof(sockaddr_in))) {
                continue;
            }
            sock_extended_err error{};
            std::memcpy(&error, CMSG_DATA(header), sizeof error);
            sockaddr_in offender{};
            std::memcpy(&offender, CMSG_DATA(header) + sizeof error, sizeof offender);
            // Port unreachable from the very host the request went to: nothing listens
            // there. A router's or the system's own report says nothing about NetBIOS.
            constexpr std::uint8_t kUnreachable = 3;
            constexpr std::uint8_t kPortUnreachable = 3;
            if (error.ee_origin != SO_EE_ORIGIN_ICMP || error.ee_type != kUnreachable ||
                error.ee_code != kPortUnreachable || offender.sin_family != AF_INET ||
                offender.sin_addr.s_addr != destination.sin_addr.s_addr) {
                continue;
            }
            SweepAnswer answer;
            answer.port = ntohs(destination.sin_port);
            answer.kind = answer.port == m_port ? SweepAnswer::Kind::NodeStatusRefused : SweepAnswer::Kind::NameRefused;
            answer.address = ntohl(destination.sin_addr.s_addr);
            answer.datagram.assign(m_buffer.begin(), m_buffer.begin() + received);
            answers.push_back(std::move(answer));
        }
    }
}

void SystemSweepTransport::ReadUdp(int fd, std::vector<SweepAnswer>& answers)
{
    for (int i = 0; i < kMaxDatagramsPerCall; ++i) {
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t received =
            recvfrom(fd, m_buffer.data(), 4096, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sender), &length);
        if (received < 0) {
            if (errno == EINTR || IcmpError(errno)) {
                continue;
            }
            return;
        }
        if (length < sizeof sender || sender.sin_family != AF_INET) {
            continue;
        }
        SweepAnswer answer;
        answer.address = ntohl(sender.sin_addr.s_addr);
        answer.port = ntohs(sender.sin_port);
        if (answer.port != m_port) {
            answer.kind = SweepAnswer::Kind::Name; // the sweep tells the name probes' answers apart
        }
        answer.datagram.assign(m_buffer.begin(), m_buffer.begin() + received);
        answers.push_back(std::move(answer));
    }
}

void SystemSweepTransport::ReadRaw(std::vector<SweepAnswer>& answers)
{
    for (int i = 0; i < kMaxDatagramsPerCall; ++i) {
        sockaddr_ll from{};
        socklen_t length = sizeof from;
        const ssize_t received = recvfrom(m_raw.Get(), m_buffer.data(), m_buffer.size(), MSG_DONTWAIT,
                                          reinterpret_cast<sockaddr*>(&from), &length);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        const auto reply =
            ParseArpReply(std::span<const std::uint8_t>(m_buffer.data(), static_cast<std::size_t>(received)));
        if (!reply || from.sll_pkttype == PACKET_OUTGOING) {
            continue;
        }
        SweepAnswer answer;
        answer.kind = SweepAnswer::Kind::Arp;
        answer.mac = reply->mac;
        answer.address = reply->address;
        answers.push_back(std::move(answer));
    }
}

void SystemSweepTransport::ReadNeighbours(std::vector<SweepAnswer>& answers)
{
    std::vector<NeighbourEntry> entries;
    bool lost = false;
    for (int i = 0; i < kMaxDatagramsPerCall; ++i) {
        const ssize_t received = recv(m_netlink.Get(), m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            lost = errno == ENOBUFS;
            break;
        }
        // Events carry sequence 0.
        (void)DecodeNeighbourDump(std::span<const std::uint8_t>(m_buffer.data(), static_cast<std::size_t>(received)), 0,
                                  entries);
    }
    Settle(entries);
    if (lost) {
        // Events were dropped (the receive buffer overflowed): the table is read once
        // instead, so that no resolved address goes missing and no settled entry keeps
        // its place in the budget.
        std::vector<NeighbourEntry> table;
        if (ReadTable(table) && m_budget) {
            std::unordered_set<std::uint32_t> incomplete;
            for (const auto& entry : table) {
                if ((entry.state & NUD_INCOMPLETE) != 0) {
                    incomplete.insert(entry.address);
                }
            }
            m_budget->Reconcile(incomplete);
        }
        entries.insert(entries.end(), table.begin(), table.end());
    }
    for (const auto& entry : entries) {
        if (Usable(entry)) {
            SweepAnswer answer;
            answer.kind = SweepAnswer::Kind::Arp;
            answer.address = entry.address;
            answer.mac = *entry.mac;
            answers.push_back(std::move(answer));
        }
    }
}

} // namespace

std::unique_ptr<SweepTransport> MakeSystemSweepTransport(bool allowRaw, std::uint16_t netbiosPort)
{
    return MakeSystemSweepTransport(allowRaw, netbiosPort, allowRaw ? FindArpSweepHelper() : std::string());
}

std::unique_ptr<SweepTransport> MakeSystemSweepTransport(bool allowRaw, std::uint16_t netbiosPort,
                                                         const std::string& arpHelper)
{
    std::vector<UniqueFd> udp;
    for (std::size_t i = 0; i < kUdpSockets; ++i) {
        UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!fd.Valid()) {
            break;
        }
        (void)setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
        (void)setsockopt(fd.Get(), SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
        // A host that runs no NetBIOS name service says so (ICMP port unreachable): its
        // wait ends then instead of at the timeout.
        const int on = 1;
        (void)setsockopt(fd.Get(), SOL_IP, IP_RECVERR, &on, sizeof on);
        udp.push_back(std::move(fd));
    }
    if (udp.empty()) {
        return nullptr;
    }
    auto transport = std::make_unique<SystemSweepTransport>(std::move(udp), netbiosPort);
    if (!allowRaw || !transport->OpenRaw()) {
        transport->OpenNeighbourEvents();
        transport->UseHelper(arpHelper);
    }
    return transport;
}

} // namespace tessvale
