// The paced probe sweep of one scan. It sends the NetBIOS node-status request of
// address after address at a fixed rate ahead of the workers (and ARP for addresses on a
// local segment), matches the answers by sender and transaction id, and hands each
// address over once its answer or its deadline has come. No thread waits for one
// address: whoever pumps the sweep waits for all of them at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "scan/address_forms.h"
#include "scan/address_walk.h"
#include "scan/name_probe.h"

namespace tessvale {

struct SweepSettings
{
    int ratePerSecond = 2000; // requests per second, NetBIOS and ARP together
    std::chrono::milliseconds timeout{1000};
    int retries = 1;               // further requests to on-link addresses that gave no answer yet
    std::size_t readyLimit = 4096; // finished addresses not yet taken before sending pauses
    NameSettings names;            // the mDNS and DNS name probes of the hosts found
};

// One datagram as the transport received it.
struct SweepAnswer
{
    enum class Kind
    {
        NodeStatus,
        Arp,
        NodeStatusRefused, // the host itself said no NetBIOS name service listens (ICMP port unreachable)
        Name,              // a datagram from another port than NetBIOS's (mDNS, DNS)
        NameRefused        // port unreachable for a datagram sent with SendName: of the request, as quoted
    };
    Kind kind = Kind::NodeStatus;
    std::uint32_t address = 0;          // the sender, host order
    std::vector<std::uint8_t> datagram; // NodeStatus: the bytes received; NodeStatusRefused: of the request, as quoted
    MacAddress mac{};                   // Arp: the sender's hardware address
    std::uint16_t port = 0;             // Name: the sender's port; NameRefused: the request's destination port
};

// The sockets of a sweep, the seam that tests replace.
class SweepTransport
{
public:
    virtual ~SweepTransport() = default;
    // True when ARP can reach the address: it lies in a local segment and is not one of
    // the computer's own addresses.
    virtual bool OnLink(std::uint32_t address) = 0;
    // True when ARP requests go out on their own (a raw packet socket): on-link addresses
    // then get their node-status request only once ARP has found them, so that silent
    // addresses leave no entries in the kernel's neighbour table.
    virtual bool ArpFirst() const = 0;
    // How many more on-link addresses may be started now without overfilling the
    // kernel's neighbour table.
    virtual std::size_t ArpHeadroom() = 0;
    // One node-status request with this transaction id; false when it could not be sent.
    virtual bool SendNodeStatus(std::uint32_t address, std::uint16_t transaction) = 0;
    // Asks for the address's hardware address.
    virtual void SendArp(std::uint32_t address) = 0;
    // The adapter's MAC when the address is one of the computer's own addresses.
    virtual std::optional<MacAddress> OwnMac(std::uint32_t address)
    {
        (void)address;
        return std::nullopt;
    }
    // The hardware address the system already knows for the address, asked only for a
    // host whose node-status answer carried a unit id of zeros (Samba sends it).
    virtual std::optional<MacAddress> KnownMac(std::uint32_t address)
    {
        (void)address;
        return std::nullopt;
    }
    // True when every host that claims an address can be heard: ARP requests go out
    // from the sweep (a raw socket, or a helper that holds one) so that each claimant
    // answers. Asked when a scan has ended.
    virtual bool SeesArpConflicts() const { return ArpFirst(); }
    // When the kernel resolves on-link addresses itself (no ARP of the sweep's own goes
    // out): the interval at which it repeats its request for an unresolved address, so
    // that a retry can wait for the answer to the repeated request. Zero otherwise.
    virtual std::chrono::milliseconds KernelArpInterval() const { return std::chrono::milliseconds(0); }
    // One datagram of the name probes to address:port from the sweep's sockets, whose
    // answers Receive reports as Name; false when it could not be sent.
    virtual bool SendName(std::uint32_t address, std::uint16_t port, std::span<const std::uint8_t> message)
    {
        (void)address;
        (void)port;
        (void)message;
        return false;
    }
    // Waits at most `wait` for datagrams and appends what arrived (bounded per call).
    virtual void Receive(std::chrono::microseconds wait, std::vector<SweepAnswer>& answers) = 0;
    // Ends a Receive that waits now, or else the next one, at once. Any thread.
    virtual void Wake() {}
};

// What the sweep learned of one answering host.
struct SweepResult
{
    std::string address;
    bool online = false;
    std::string mac;
    std::string hostName = "-";         // "-" when no name was learned
    std::vector<std::string> otherMacs; // further hardware addresses that answered ARP for it
    HostNames names;                    // hostName is names.Chosen()
};

class ProbeSweep
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Clock = std::function<TimePoint()>;

    // What a taker is to do next (Await).
    enum class Turn
    {
        Host, // an answering host was taken
        Pump, // the pump had no owner: the caller owns it until ReleasePump
        Over  // the sweep is over and every host taken, or it was stopped
    };

    // clock: empty for the steady clock.
    ProbeSweep(AddressWalk walk, std::unique_ptr<SweepTransport> transport, SweepSettings settings, Clock clock = {});
    ~ProbeSweep();
    ProbeSweep(const ProbeSweep&) = delete;
    ProbeSweep& operator=(const ProbeSweep&) = delete;

    // Sends what is due, waits at most `wait` for answers (less when something falls due
    // sooner, or Wake/Stop is called) and hands over the addresses whose answer or
    // deadline came. One thread at a time: the pump's owner.
    void Pump(std::chrono::microseconds wait);
    // Takes the oldest answering host; false when none is ready. Any thread.
    bool Take(SweepResult& result);
    // Moves the silent addresses finished since the last call (host order, in the order
    // they finished) to the end of `addresses`; returns how many. Silent addresses are
    // never handed to takers.
    std::size_t TakeSilent(std::vector<std::uint32_t>& addresses);

    // Blocks until the caller has something to do. Waiting callers sleep without a
    // timeout: an answering host wakes one of them, a released pump one, the end of the
    // sweep and Stop all of them.
    // newcomer: the caller is the one an ExpectCaller announced.
    Turn Await(SweepResult& result, bool newcomer = false);
    // Announces a caller on its way to take a host (a worker being started for it), and
    // takes the announcement back when that caller cannot come.
    void ExpectCaller();
    void ForgetCaller();
    // Gives up the pump Await handed over; wakes one waiting caller to take it on.
    void ReleasePump();
    // Ends every Await and the pump's wait; later calls of Await return Over.
    void Stop();
    // Answering hosts ready that no woken or announced caller is on its way to take.
    std::size_t Unserved() const;
    // True once the sweep is over or stopped.
    bool Over() const;
    // True when ARP goes out from the sweep itself, so that every claimant answers it.
    bool SeesArpConflicts() const { return m_transport && m_transport->SeesArpConflicts(); }
    // Callers blocked in Await now, and how often one woke up since the start.
    std::size_t Waiting() const;
    std::uint64_t Wakeups() const;

    // True when every address of the walk has been handed over and taken.
    bool Exhausted() const;
    // Addresses of the whole walk.
    std::uint64_t Count() const { return m_count; }
    // Addresses sent and not yet finished (memory stays bounded by rate x timeout).
    std::size_t InFlight() const;

private:
    struct Pending
    {
        std::uint16_t transaction = 0;
        bool onLink = false;
        bool netbiosSent = false;
        bool netbiosAnswered = false;
        bool netbiosRefused = false;
        bool arpAnswered = false;
        int retriesLeft = 0;
        TimePoint deadline{};
        TimePoint nextRetry{};
        TimePoint firstArpAt{}; // when ARP first answered
        bool held = false;      // complete, kept a moment for a second ARP answer
        MacAddress unitId{};
        std::string name;
        MacAddress arpMac{};
        std::vector<std::string> otherMacs;
        HostNameQueries names;
    };

    // What a deadline ends.
    enum class DueKind : std::uint8_t
    {
        Answer,  // the wait for any answer (NetBIOS, or ARP and NetBIOS)
        ArpOnly, // the shorter wait of an on-link address for ARP alone
        Hold     // a complete host kept for a second ARP answer
    };
    struct Due
    {
        TimePoint at{};
        std::uint64_t sequence = 0;
        std::uint32_t address = 0;
        DueKind kind = DueKind::Answer;
    };
    // Orders the heap: the earliest deadline on top, the first set among equal ones.
    static bool DueLater(const Due& left, const Due& right);
    void AddDue(TimePoint at, std::uint32_t address, DueKind kind);

    TimePoint Now() const;
    void Receive(std::chrono::microseconds wait);
    void SendDue(TimePoint now);
    bool StartNext(TimePoint now);
    void SendNodeStatus(std::uint32_t address, Pending& pending, TimePoint now);
    void Retry(TimePoint now);
    void Handle(const SweepAnswer& answer, TimePoint now);
    void HandleNodeStatus(const SweepAnswer& answer, Pending& pending);
    void HandleRefused(const SweepAnswer& answer, Pending& pending);
    void AskKnownMac(std::uint32_t address, Pending& pending);
    void HandleArp(const SweepAnswer& answer, Pending& pending, TimePoint now);
    // The name probes: asked once the host is known to be there, unless NetBIOS named it.
    void AskNames(std::uint32_t address, Pending& pending);
    void HandleName(const SweepAnswer& answer, std::uint32_t host, TimePoint now);
    bool Complete(const Pending& pending) const;
    void Expire(TimePoint now);
    void FinishOrHold(std::uint32_t address, Pending& pending, TimePoint now);
    void Finish(std::uint32_t address);
    TimePoint NextEvent(TimePoint now) const;

    AddressWalk m_walk;
    std::uint64_t m_count = 0;
    std::unique_ptr<SweepTransport> m_transport;
    SweepSettings m_settings;
    Clock m_clock;

    // Pump's own state (one thread at a time).
    bool m_walkOver = false;
    std::uint32_t m_held = 0; // taken from the walk, waiting for the neighbour table's headroom
    bool m_hasHeld = false;
    bool m_sendingBlocked = false; // no room to start more: the rate does not make the next event
    std::unordered_map<std::uint32_t, Pending> m_pending;
    // Every deadline of the pending addresses, earliest first (the order they were set
    // in among equal ones); an address whose wait was replaced by a later one keeps its
    // old entry, which then does nothing. A heap over one vector: no allocation per
    // address once it has grown.
    std::vector<Due> m_due;
    std::uint64_t m_dueSequence = 0;
    std::deque<std::pair<TimePoint, std::uint32_t>> m_retries; // in the order of their times
    TimePoint m_paceStart{};
    double m_credit = 0;
    std::uint16_t m_nextTransaction = 0;
    std::vector<SweepAnswer> m_answers;
    NameProbe m_names;

    void WakeOneLocked();

    // Shared with the takers.
    mutable std::mutex m_mutex;
    std::condition_variable m_readyChanged;
    std::deque<SweepResult> m_ready;     // answering hosts
    std::vector<std::uint32_t> m_silent; // silent addresses not yet counted
    bool m_sweepOver = false;            // walk over and nothing pending
    bool m_stopped = false;
    bool m_pumpOwned = false;
    std::size_t m_waiting = 0; // callers blocked in Await
    std::size_t m_waking = 0;  // of them, woken and not yet back
    std::size_t m_coming = 0;  // announced callers not yet arrived
    std::uint64_t m_wakeups = 0;
};

// The sockets of a real sweep: a UDP socket for NetBIOS (towards `netbiosPort`), and for
// ARP a raw packet socket when `allowRaw` and the process may open one, else the ARP
// sweep helper when it is installed with that right, else the kernel's neighbour table
// read through netlink neighbour events. Null when the UDP socket cannot be opened.
std::unique_ptr<SweepTransport> MakeSystemSweepTransport(bool allowRaw = true, std::uint16_t netbiosPort = 137);
// The same with the ARP sweep helper named (empty: none); the one above looks for the
// installation's own.
std::unique_ptr<SweepTransport> MakeSystemSweepTransport(bool allowRaw, std::uint16_t netbiosPort,
                                                         const std::string& arpHelper);

} // namespace tessvale
