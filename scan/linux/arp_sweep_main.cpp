// The ARP sweep helper: a tiny program installed with the raw-socket capability (a file
// capability set when the package is installed) so that a scan without that capability
// can still send ARP requests and see every reply, a second MAC for an address included.
// It opens the raw ARP socket, drops every capability before it reads a single request,
// runs nothing and reads no environment, and then does one job (see
// scan/arp_sweep_protocol.h): ARP requests for the opened interface's subnet, paced at the
// rate asked (at most kArpSweepMaxRate), and the replies from that subnet back. A request
// that breaks a rule ends it with an error record and exit status 2; the end of its input
// ends it with 0.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/if_ether.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "common/write_all.h"
#include "scan/arp_frame.h"
#include "scan/arp_sweep_protocol.h"

namespace {

using tessvale::ArpSweepError;
using Clock = std::chrono::steady_clock;

// Probes that wait to be sent; the input is read no further while this many wait.
constexpr std::size_t kMaxQueued = 4096;
// How far the sending may fall behind its schedule and still catch up: a helper kept
// from running for a moment sends what fell due meanwhile, and never more than this
// much of the rate at once, so that the average stays at the rate asked.
constexpr std::chrono::milliseconds kCatchUp{20};

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Standard input, output and error are open (on /dev/null when the caller closed one), so
// that no socket of this program becomes one of them.
bool StandardFdsOpen()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            const int opened = ::open("/dev/null", O_RDWR);
            if (opened != fd) {
                return false;
            }
        }
    }
    return true;
}

bool WriteRecord(const tessvale::ArpSweepRecord& record)
{
    return tessvale::WriteAll(STDOUT_FILENO, record.data(), record.size());
}

[[noreturn]] void Refuse(ArpSweepError error, std::uint32_t value)
{
    (void)WriteRecord(tessvale::EncodeArpSweepError(error, value));
    ::_exit(2);
}

// No capability is left in any set, none can come back through exec, and none is kept
// for a child: checked, not assumed.
bool DropCapabilities()
{
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return false;
    }
    (void)prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0); // absent before Linux 4.3
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capset, &header, data) != 0) {
        return false;
    }
    __user_cap_data_struct check[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &header, check) != 0) {
        return false;
    }
    return std::all_of(std::begin(check), std::end(check), [](const auto& set) {
        return set.effective == 0 && set.permitted == 0 && set.inheritable == 0;
    });
}

struct LinkInfo
{
    tessvale::ArpSweepSession::Link link;
    tessvale::MacAddress mac{};
};

// The interface's IPv4 address, netmask and Ethernet MAC, asked of the kernel.
std::optional<LinkInfo> LookUp(std::uint32_t index)
{
    char name[IF_NAMESIZE] = {};
    if (index == 0 || index > 0x7FFFFFFFU || if_indextoname(index, name) == nullptr) {
        return std::nullopt;
    }
    const Fd probe(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (probe.Get() < 0) {
        return std::nullopt;
    }
    ifreq request{};
    std::memcpy(request.ifr_name, name, sizeof name);
    LinkInfo info;
    if (ioctl(probe.Get(), SIOCGIFHWADDR, &request) != 0 || request.ifr_hwaddr.sa_family != ARPHRD_ETHER) {
        return std::nullopt;
    }
    std::memcpy(info.mac.data(), request.ifr_hwaddr.sa_data, 6);
    if (ioctl(probe.Get(), SIOCGIFADDR, &request) != 0 || request.ifr_addr.sa_family != AF_INET) {
        return std::nullopt;
    }
    sockaddr_in address{};
    std::memcpy(&address, &request.ifr_addr, sizeof address);
    info.link.address = ntohl(address.sin_addr.s_addr);
    if (ioctl(probe.Get(), SIOCGIFNETMASK, &request) != 0) {
        return std::nullopt;
    }
    std::memcpy(&address, &request.ifr_netmask, sizeof address);
    info.link.netmask = ntohl(address.sin_addr.s_addr);
    return info;
}

std::optional<LinkInfo> g_link;

std::optional<tessvale::ArpSweepSession::Link> LookUpForSession(std::uint32_t index, void*)
{
    g_link = LookUp(index);
    if (!g_link) {
        return std::nullopt;
    }
    return g_link->link;
}

class Sweep
{
public:
    explicit Sweep(int raw) : m_raw(raw), m_session(LookUpForSession, nullptr) {}

    // Reads what the input holds; false at its end.
    bool ReadInput()
    {
        std::uint8_t bytes[4096];
        const ssize_t got = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (got < 0) {
            return errno == EINTR || errno == EAGAIN;
        }
        if (got == 0) {
            if (m_reader.Partial()) {
                Refuse(ArpSweepError::Truncated, 0);
            }
            return false;
        }
        m_reader.Append(std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(got)));
        while (auto record = m_reader.Next()) {
            Take(*record);
        }
        return true;
    }

    void ReadReplies()
    {
        std::uint8_t packet[256];
        for (int i = 0; i < 256; ++i) {
            sockaddr_ll from{};
            socklen_t length = sizeof from;
            const ssize_t got =
                recvfrom(m_raw, packet, sizeof packet, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
            if (got < 0) {
                return;
            }
            if (!m_session.Opened() || from.sll_pkttype == PACKET_OUTGOING ||
                from.sll_ifindex != static_cast<int>(m_session.InterfaceIndex())) {
                continue;
            }
            const auto reply =
                tessvale::ParseArpReply(std::span<const std::uint8_t>(packet, static_cast<std::size_t>(got)));
            if (reply && m_session.InSubnet(reply->address) &&
                !WriteRecord(tessvale::EncodeArpSweepAnswer(reply->address, reply->mac))) {
                ::_exit(0); // the scanner is gone
            }
        }
    }

    // Sends what is due; returns the wait until the next one is (negative for none queued).
    std::chrono::nanoseconds SendDue()
    {
        if (m_queue.empty()) {
            return std::chrono::nanoseconds(-1);
        }
        const auto now = Clock::now();
        const auto spacing = std::chrono::nanoseconds(1000000000LL / m_session.Rate());
        if (m_next < now - kCatchUp) {
            m_next = now - kCatchUp; // after a long pause no more than kCatchUp's worth
        }
        while (!m_queue.empty() && m_next <= now) {
            Send(m_queue.front());
            m_queue.pop_front();
            m_next += spacing;
        }
        if (m_queue.empty()) {
            return std::chrono::nanoseconds(-1);
        }
        return std::max(std::chrono::nanoseconds(0), m_next - now);
    }

    bool QueueFull() const { return m_queue.size() >= kMaxQueued; }

private:
    void Take(const tessvale::ArpSweepRecord& record)
    {
        ArpSweepError error = ArpSweepError::None;
        const auto request = tessvale::DecodeArpSweepRequest(record, error);
        if (!request) {
            Refuse(error, 0);
        }
        error = m_session.Accept(*request);
        if (error != ArpSweepError::None) {
            const bool open = request->kind == tessvale::ArpSweepRequest::Kind::Open;
            Refuse(error, open && error == ArpSweepError::RateRefused ? request->rate
                          : open                                      ? request->interfaceIndex
                                                                      : request->address);
        }
        if (request->kind == tessvale::ArpSweepRequest::Kind::Open) {
            if (!WriteRecord(tessvale::EncodeArpSweepReady(g_link->link.address, g_link->link.netmask))) {
                ::_exit(0);
            }
            return;
        }
        m_queue.push_back(request->address);
    }

    void Send(std::uint32_t address)
    {
        const auto packet = tessvale::BuildArpRequest(g_link->mac, g_link->link.address, address);
        sockaddr_ll destination{};
        destination.sll_family = AF_PACKET;
        destination.sll_protocol = htons(ETH_P_ARP);
        destination.sll_ifindex = static_cast<int>(m_session.InterfaceIndex());
        destination.sll_halen = 6;
        std::memset(destination.sll_addr, 0xFF, 6);
        // A frame the interface cannot take now is lost like one lost on the wire; the
        // scanner's retry covers both.
        (void)sendto(m_raw, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&destination),
                     sizeof destination);
    }

    int m_raw;
    tessvale::ArpSweepSession m_session;
    tessvale::ArpSweepRecordReader m_reader;
    std::deque<std::uint32_t> m_queue;
    Clock::time_point m_next{};
};

} // namespace

int main()
{
    if (!StandardFdsOpen()) {
        return 2;
    }
    const Fd raw(socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ARP)));
    const int socketError = errno;
    if (!DropCapabilities()) {
        Refuse(ArpSweepError::CapabilityKept, 0);
    }
    if (raw.Get() < 0) {
        Refuse(ArpSweepError::SocketFailed, static_cast<std::uint32_t>(socketError));
    }
    Sweep sweep(raw.Get());
    bool input = true;
    while (input) {
        // Waits to the nanosecond for the next frame: a wait in milliseconds would spin
        // through the last one.
        const auto wait = sweep.SendDue();
        timespec until{};
        until.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
        until.tv_nsec = static_cast<long>(wait.count() % 1000000000);
        pollfd polled[2] = {{raw.Get(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const nfds_t count = sweep.QueueFull() ? 1 : 2;
        if (ppoll(polled, count, wait.count() < 0 ? nullptr : &until, nullptr) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return 2;
        }
        if ((polled[0].revents & POLLIN) != 0) {
            sweep.ReadReplies();
        }
        if (count == 2 && (polled[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            input = sweep.ReadInput();
        }
    }
    return 0;
}
