#include "scan/probe_sweep.h"

#include <algorithm>
#include <random>

#include "scan/netbios_packet.h"

namespace tessvale {

namespace {

constexpr std::size_t kMaxOtherMacs = 4;
constexpr std::chrono::milliseconds kSecondArpWait{500};
// How often a sweep that may not start more addresses (the neighbour table or the
// untaken hosts are full) looks again without any other event.
constexpr std::chrono::milliseconds kBlockedRecheck{50};
// How far apart the pump's wake-ups may fall behind the events they serve.
constexpr std::chrono::milliseconds kEventSlack{2};

bool AllBytes(const MacAddress& mac, std::uint8_t value)
{
    return std::all_of(mac.begin(), mac.end(), [value](std::uint8_t byte) { return byte == value; });
}

std::uint16_t FirstTransaction()
{
    std::random_device device;
    return static_cast<std::uint16_t>(device());
}

} // namespace

ProbeSweep::ProbeSweep(AddressWalk walk, std::unique_ptr<SweepTransport> transport, SweepSettings settings, Clock clock)
    : m_walk(std::move(walk)), m_count(m_walk.Count()), m_transport(std::move(transport)),
      m_settings(std::move(settings)), m_clock(std::move(clock)), m_nextTransaction(FirstTransaction()),
      m_names(m_settings.names)
{
    m_settings.ratePerSecond = std::max(1, m_settings.ratePerSecond);
    m_settings.retries = std::clamp(m_settings.retries, 0, 10);
    m_settings.timeout = std::max(m_settings.timeout, std::chrono::milliseconds(0));
    m_settings.readyLimit = std::max<std::size_t>(1, m_settings.readyLimit);
    m_paceStart = Now();
    m_credit = 1.0; // the first request goes out at once
}

ProbeSweep::~ProbeSweep() = default;

ProbeSweep::TimePoint ProbeSweep::Now() const
{
    return m_clock ? m_clock() : std::chrono::steady_clock::now();
}

bool ProbeSweep::Take(SweepResult& result)
{
    std::lock_guard lock(m_mutex);
    if (m_ready.empty()) {
        return false;
    }
    result = std::move(m_ready.front());
    m_ready.pop_front();
    return true;
}

std::size_t ProbeSweep::TakeSilent(std::vector<std::uint32_t>& addresses)
{
    std::lock_guard lock(m_mutex);
    const std::size_t count = m_silent.size();
    addresses.insert(addresses.end(), m_silent.begin(), m_silent.end());
    m_silent.clear();
    return count;
}

void ProbeSweep::ExpectCaller()
{
    std::lock_guard lock(m_mutex);
    ++m_coming;
}

void ProbeSweep::ForgetCaller()
{
    std::lock_guard lock(m_mutex);
    if (m_coming > 0) {
        --m_coming;
    }
}

bool ProbeSweep::Over() const
{
    std::lock_guard lock(m_mutex);
    return m_sweepOver || m_stopped;
}

ProbeSweep::Turn ProbeSweep::Await(SweepResult& result, bool newcomer)
{
    std::unique_lock lock(m_mutex);
    if (newcomer && m_coming > 0) {
        --m_coming;
    }
    for (;;) {
        if (m_stopped) {
            return Turn::Over;
        }
        if (!m_ready.empty()) {
            result = std::move(m_ready.front());
            m_ready.pop_front();
            return Turn::Host;
        }
        if (m_sweepOver) {
            return Turn::Over;
        }
        if (!m_pumpOwned) {
            m_pumpOwned = true;
            return Turn::Pump;
        }
        ++m_waiting;
        m_readyChanged.wait(lock);
        --m_waiting;
        if (m_waking > 0) {
            --m_waking;
        }
        ++m_wakeups;
    }
}

void ProbeSweep::WakeOneLocked()
{
    // Only a caller that nobody woke yet: a second host while the first woken caller is
    // still on its way wakes a second caller, a host nobody waits for wakes nobody.
    if (m_waiting > m_waking) {
        ++m_waking;
        m_readyChanged.notify_one();
    }
}

void ProbeSweep::ReleasePump()
{
    std::lock_guard lock(m_mutex);
    m_pumpOwned = false;
    if (!m_sweepOver && !m_stopped) {
        WakeOneLocked();
    }
}

void ProbeSweep::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_readyChanged.notify_all();
    if (m_transport) {
        m_transport->Wake();
    }
}

std::size_t ProbeSweep::Unserved() const
{
    std::lock_guard lock(m_mutex);
    const std::size_t coming = m_waking + m_coming;
    return m_ready.size() > coming ? m_ready.size() - coming : 0;
}

std::size_t ProbeSweep::Waiting() const
{
    std::lock_guard lock(m_mutex);
    return m_waiting;
}

std::uint64_t ProbeSweep::Wakeups() const
{
    std::lock_guard lock(m_mutex);
    return m_wakeups;
}

bool ProbeSweep::Exhausted() const
{
    std::lock_guard lock(m_mutex);
    return m_sweepOver && m_ready.empty() && m_silent.empty();
}

std::size_t ProbeSweep::InFlight() const
{
    return m_pending.size();
}

void ProbeSweep::Pump(std::chrono::microseconds wait)
{
    // Answers that arrived while nobody pumped count before any deadline is looked at.
    Receive(std::chrono::microseconds(0));
    TimePoint now = Now();
    Retry(now);
    SendDue(now);
    Expire(now);
    const TimePoint until = std::min(now + wait, NextEvent(now));
    Receive(std::max(std::chrono::duration_cast<std::chrono::microseconds>(until - now), std::chrono::microseconds(0)));
    now = Now();
    Expire(now);
    Retry(now);
    SendDue(now);
    if (m_walkOver && !m_hasHeld && m_pending.empty()) {
        bool first = false;
        {
            std::lock_guard lock(m_mutex);
            first = !m_sweepOver;
            m_sweepOver = true;
        }
        if (first) {
            m_readyChanged.notify_all(); // the end wakes every waiting caller, once
        }
    }
}

void ProbeSweep::Receive(std::chrono::microseconds wait)
{
    m_answers.clear();
    if (m_transport) {
        m_transport->Receive(wait, m_answers);
    }
    const TimePoint now = Now();
    for (const auto& answer : m_answers) {
        Handle(answer, now);
    }
}

ProbeSweep::TimePoint ProbeSweep::NextEvent(TimePoint now) const
{
    // Deadlines a moment apart are handled in one wake-up, and requests go out a few
    // at a time: the pump wakes at most every kEventSlack while it sends or expires.
    TimePoint next = TimePoint::max();
    if (!m_due.empty()) {
        next = std::min(next, m_due.front().at + kEventSlack);
    }
    if (!m_retries.empty()) {
        next = std::min(next, m_retries.front().first + kEventSlack);
    }
    if ((!m_walkOver || m_hasHeld) && m_sendingBlocked) {
        // Room comes back with an answer or a neighbour event (which end the wait) or
        // as held entries age out: looked at again now and then, not at the rate.
        next = std::min(next, now + kBlockedRecheck);
    } else if (!m_walkOver || m_hasHeld) {
        const double cap = std::max(1.0, m_settings.ratePerSecond / 50.0);
        const double batch =
            std::min(cap, std::max(1.0, m_settings.ratePerSecond * std::chrono::duration<double>(kEventSlack).count()));
        const double missing = std::max(0.0, batch - m_credit);
        next = std::min(next, now + std::chrono::microseconds(
                                        static_cast<long long>(missing * 1e6 / m_settings.ratePerSecond + 1)));
    }
    return std::max(next, now);
}

void ProbeSweep::SendDue(TimePoint now)
{
    // A burst after a late pump is bounded to a fiftieth of a second's worth.
    const double cap = std::max(1.0, m_settings.ratePerSecond / 50.0);
    const double elapsed = std::chrono::duration<double>(now - m_paceStart).count();
    m_paceStart = now;
    m_credit = std::min(cap, m_credit + std::max(0.0, elapsed) * m_settings.ratePerSecond);
    m_sendingBlocked = false;
    while (m_credit >= 1.0) {
        {
            // Finished addresses the workers have not taken yet pause the sweep, so that
            // memory stays flat when the workers are the slower side.
            std::lock_guard lock(m_mutex);
            if (m_ready.size() + m_silent.size() >= m_settings.readyLimit) {
                m_sendingBlocked = true;
                return;
            }
        }
        if (!StartNext(now)) {
            m_sendingBlocked = !m_walkOver || m_hasHeld;
            return;
        }
        m_credit -= 1.0;
    }
}

bool ProbeSweep::StartNext(TimePoint now)
{
    if (!m_hasHeld) {
        if (m_walkOver || !m_walk.Next(m_held)) {
            m_walkOver = true;
            return false;
        }
        m_hasHeld = true;
        if (m_pending.count(m_held) != 0) {
            // Asked already (a walk never gives an address twice): counted as silent.
            m_hasHeld = false;
            std::lock_guard lock(m_mutex);
            m_silent.push_back(m_held);
            return true;
        }
    }
    const bool onLink = m_transport && m_transport->OnLink(m_held);
    if (onLink && m_transport->ArpHeadroom() == 0) {
        return false; // kept for a later pump
    }
    m_hasHeld = false;
    Pending& pending = m_pending[m_held];
    pending.onLink = onLink;
    pending.transaction = m_nextTransaction++;
    // With ARP first, a silent address waits only for ARP, which a host's kernel answers
    // at once: half the timeout. A host ARP finds gets its node-status request then,
    // with the whole timeout.
    const auto own = m_transport ? m_transport->OwnMac(m_held) : std::nullopt;
    const bool arpOnly = onLink && !own && m_transport->ArpFirst();
    auto wait = arpOnly ? m_settings.timeout / 2 : m_settings.timeout;
    if (onLink && !own && !m_transport->ArpFirst() && m_settings.retries > 0) {
        // The kernel resolves the address and repeats its request at its own interval:
        // a retry is heard only when the address waits for the repeated request's answer.
        const auto interval = m_transport->KernelArpInterval();
        if (interval.count() > 0) {
            wait = std::max(wait,
                            std::min(interval * m_settings.retries + m_settings.timeout / 4, m_settings.timeout * 3));
        }
    }
    pending.deadline = now + wait;
    AddDue(pending.deadline, m_held, arpOnly ? DueKind::ArpOnly : DueKind::Answer);
    if (own) {
        // The computer itself answers with its adapter's MAC; a local name server may
        // still give its name.
        pending.onLink = true;
        pending.arpAnswered = true;
        pending.arpMac = *own;
        SendNodeStatus(m_held, pending, now);
        AskNames(m_held, pending);
        return true;
    }
    if (onLink) {
        pending.retriesLeft = m_settings.retries;
        m_transport->SendArp(m_held);
        if (pending.retriesLeft > 0) {
            pending.nextRetry = now + wait / (m_settings.retries + 1);
            m_retries.emplace_back(pending.nextRetry, m_held);
        }
    }
    if (!onLink || !m_transport->ArpFirst()) {
        pending.netbiosSent = true;
        if (!m_transport->SendNodeStatus(m_held, pending.transaction) && onLink && !m_transport->ArpFirst()) {
            // Refused (the kernel's neighbour table is full): the address waits for
            // room and is started again, rather than reported silent unasked.
            m_hasHeld = true;
            m_pending.erase(m_held);
            return false;
        }
    }
    return true;
}

void ProbeSweep::SendNodeStatus(std::uint32_t address, Pending& pending, TimePoint now)
{
    (void)now;
    pending.netbiosSent = true;
    if (m_transport) {
        m_transport->SendNodeStatus(address, pending.transaction);
    }
}

void ProbeSweep::Retry(TimePoint now)
{
    while (!m_retries.empty() && m_retries.front().first <= now) {
        const std::uint32_t address = m_retries.front().second;
        m_retries.pop_front();
        const auto found = m_pending.find(address);
        if (found == m_pending.end()) {
            continue;
        }
        Pending& pending = found->second;
        if (pending.netbiosAnswered || pending.netbiosRefused || pending.arpAnswered || pending.retriesLeft <= 0) {
            continue;
        }
        --pending.retriesLeft;
        m_transport->SendArp(address);
        if (pending.netbiosSent) {
            m_transport->SendNodeStatus(address, pending.transaction);
        }
        if (pending.retriesLeft > 0) {
            const auto wait = pending.netbiosSent ? m_settings.timeout : m_settings.timeout / 2;
            pending.nextRetry = now + wait / (m_settings.retries + 1);
            m_retries.emplace_back(pending.nextRetry, address);
        }
    }
}

void ProbeSweep::Handle(const SweepAnswer& answer, TimePoint now)
{
    const bool name = answer.kind == SweepAnswer::Kind::Name;
    if (name || answer.kind == SweepAnswer::Kind::NameRefused) {
        std::uint32_t host = 0;
        if (m_names.HostOf(answer.address, answer.port, answer.datagram, host)) {
            HandleName(answer, host, now);
            return;
        }
        if (!name) {
            return;
        }
        // From a port the name probes do not use: read as a node-status answer, which
        // some hosts send from another port than they were asked on.
    }
    const auto found = m_pending.find(answer.address);
    if (found == m_pending.end()) {
        return; // an address this sweep does not wait for (or no longer)
    }
    if (answer.kind == SweepAnswer::Kind::NodeStatus || name) {
        HandleNodeStatus(answer, found->second);
        AskKnownMac(answer.address, found->second);
        if (found->second.netbiosAnswered) {
            AskNames(answer.address, found->second);
        }
    } else if (answer.kind == SweepAnswer::Kind::NodeStatusRefused) {
        HandleRefused(answer, found->second);
        if (found->second.netbiosRefused) {
            AskNames(answer.address, found->second);
        }
    } else {
        HandleArp(answer, found->second, now);
    }
    if (Complete(found->second)) {
        FinishOrHold(answer.address, found->second, now);
    }
}

void ProbeSweep::FinishOrHold(std::uint32_t address, Pending& pending, TimePoint now)
{
    // A second host that claims the address answers ARP too: a host ARP found is kept
    // after its first answer as long as an address without an answer waits for ARP (half
    // the timeout, at most half a second), however fast its node status was done. A
    // range ends no later for it.
    const TimePoint until =
        pending.firstArpAt + std::min<std::chrono::milliseconds>(m_settings.timeout / 2, kSecondArpWait);
    if (pending.arpAnswered && pending.firstArpAt != TimePoint{} && now < until) {
        if (!pending.held) {
            pending.held = true;
            pending.deadline = until;
            AddDue(until, address, DueKind::Hold);
        }
        return;
    }
    Finish(address);
}

void ProbeSweep::HandleNodeStatus(const SweepAnswer& answer, Pending& pending)
{
    if (pending.netbiosAnswered || !pending.netbiosSent || answer.datagram.size() < 2) {
        return;
    }
    const auto transaction = static_cast<std::uint16_t>((answer.datagram[0] << 8) | answer.datagram[1]);
    if (transaction != pending.transaction) {
        return;
    }
    const auto parsed = ParseNodeStatusAnswer(answer.datagram);
    if (!parsed || AllBytes(parsed->unitId, 0xFF)) {
        return; // no usable answer: the address keeps waiting for its deadline
    }
    pending.netbiosAnswered = true;
    pending.unitId = parsed->unitId;
    if (parsed->nameCount > 0) {
        pending.name = parsed->firstName;
    }
}

void ProbeSweep::HandleRefused(const SweepAnswer& answer, Pending& pending)
{
    if (!pending.netbiosSent || pending.netbiosAnswered) {
        return;
    }
    // The quoted request, when the host quoted enough of it, must be this one.
    if (answer.datagram.size() >= 2 &&
        static_cast<std::uint16_t>((answer.datagram[0] << 8) | answer.datagram[1]) != pending.transaction) {
        return;
    }
    pending.netbiosRefused = true;
}

void ProbeSweep::AskKnownMac(std::uint32_t address, Pending& pending)
{
    // The answer came, so the system has resolved the host: its table knows the MAC the
    // answer left out.
    if (!pending.netbiosAnswered || !pending.onLink || pending.arpAnswered || !AllBytes(pending.unitId, 0)) {
        return;
    }
    if (const auto mac = m_transport->KnownMac(address)) {
        pending.arpAnswered = true;
        pending.arpMac = *mac;
    }
}

void ProbeSweep::HandleArp(const SweepAnswer& answer, Pending& pending, TimePoint now)
{
    if (!pending.onLink) {
        return; // off the local segments only NetBIOS counts
    }
    if (!pending.arpAnswered) {
        pending.arpAnswered = true;
        pending.arpMac = answer.mac;
        pending.firstArpAt = now;
        AskNames(answer.address, pending);
        if (!pending.netbiosSent) {
            // The host is there: its node-status request goes out now, with its own wait.
            SendNodeStatus(answer.address, pending, now);
            pending.deadline = now + m_settings.timeout;
            AddDue(pending.deadline, answer.address, DueKind::Answer);
        }
        return;
    }
    const std::string text = FormatMac(answer.mac);
    if (answer.mac != pending.arpMac && pending.otherMacs.size() < kMaxOtherMacs &&
        std::find(pending.otherMacs.begin(), pending.otherMacs.end(), text) == pending.otherMacs.end()) {
        pending.otherMacs.push_back(text);
    }
}

bool ProbeSweep::Complete(const Pending& pending) const
{
    bool netbiosDone = false;
    if (pending.netbiosRefused && !pending.netbiosAnswered) {
        // No NetBIOS name will come: an on-link host is done once ARP found it, any
        // other address at once (off the segment only NetBIOS finds a host).
        netbiosDone = pending.arpAnswered || !pending.onLink;
    } else {
        // A unit id of zeros (Samba sends it) waits for ARP to learn the real MAC.
        netbiosDone =
            pending.netbiosAnswered && (!AllBytes(pending.unitId, 0) || pending.arpAnswered || !pending.onLink);
    }
    // A host NetBIOS did not name waits for its name queries too, within the same
    // deadline; one it named is done (its hold for a second ARP answer still lets
    // answers that come meanwhile count).
    const bool named = m_settings.names.netbios && !pending.name.empty();
    return netbiosDone && (named || pending.names.Settled());
}

void ProbeSweep::AskNames(std::uint32_t address, Pending& pending)
{
    if (pending.names.asked || !m_transport || (m_settings.names.netbios && !pending.name.empty())) {
        return;
    }
    m_names.Ask(address, pending.names, [this](std::uint32_t to, std::uint16_t port, std::span<const std::uint8_t> m) {
        return m_transport->SendName(to, port, m);
    });
}

void ProbeSweep::HandleName(const SweepAnswer& answer, std::uint32_t host, TimePoint now)
{
    const auto found = m_pending.find(host);
    if (found == m_pending.end() || !found->second.names.asked) {
        return; // no query of this sweep waits for it (or no longer)
    }
    const auto send = [this](std::uint32_t to, std::uint16_t port, std::span<const std::uint8_t> m) {
        return m_transport->SendName(to, port, m);
    };
    const bool refused = answer.kind == SweepAnswer::Kind::NameRefused;
    if (m_names.Take(host, answer.address, answer.port, refused, answer.datagram, found->second.names, send) &&
        Complete(found->second)) {
        FinishOrHold(host, found->second, now);
    }
}

bool ProbeSweep::DueLater(const Due& left, const Due& right)
{
    return left.at != right.at ? left.at > right.at : left.sequence > right.sequence;
}

void ProbeSweep::AddDue(TimePoint at, std::uint32_t address, DueKind kind)
{
    m_due.push_back({at, m_dueSequence++, address, kind});
    std::push_heap(m_due.begin(), m_due.end(), &ProbeSweep::DueLater);
}

void ProbeSweep::Expire(TimePoint now)
{
    while (!m_due.empty() && m_due.front().at <= now) {
        std::pop_heap(m_due.begin(), m_due.end(), &ProbeSweep::DueLater);
        const Due due = m_due.back();
        m_due.pop_back();
        const auto found = m_pending.find(due.address);
        if (found == m_pending.end()) {
            continue; // finished already
        }
        switch (due.kind) {
        case DueKind::Answer:
        case DueKind::ArpOnly:
            // Ends the address unless ARP's answer or a hold gave it a later wait.
            if (found->second.deadline <= now) {
                Finish(due.address);
            }
            break;
        case DueKind::Hold:
            // The second ARP answer had its time: the complete host is handed over.
            Finish(due.address);
            break;
        }
    }
}

void ProbeSweep::Finish(std::uint32_t address)
{
    const auto found = m_pending.find(address);
    Pending& pending = found->second;
    if (!pending.netbiosAnswered && !pending.arpAnswered) {
        // Silent: counted by the pump's owner, never handed to a taker.
        m_pending.erase(found);
        std::lock_guard lock(m_mutex);
        m_silent.push_back(address);
        return;
    }
    SweepResult result;
    result.address = FormatIpv4(address);
    result.online = true;
    if (pending.netbiosAnswered) {
        const bool useArp = AllBytes(pending.unitId, 0) && pending.arpAnswered;
        result.mac = FormatMac(useArp ? pending.arpMac : pending.unitId);
    } else if (pending.arpAnswered) {
        result.mac = FormatMac(pending.arpMac);
    }
    if (m_settings.names.netbios) {
        result.names.netbios = std::move(pending.name);
    }
    result.names.mdns = std::move(pending.names.mdnsNameFound);
    result.names.dns = std::move(pending.names.dnsNameFound);
    result.names.services = std::move(pending.names.services);
    result.hostName = result.names.Chosen();
    result.otherMacs = std::move(pending.otherMacs);
    if (pending.netbiosAnswered && pending.arpAnswered && !AllBytes(pending.unitId, 0) &&
        pending.unitId != pending.arpMac && result.otherMacs.size() < kMaxOtherMacs) {
        // The NetBIOS answer names another adapter than the one that answered ARP.
        result.otherMacs.insert(result.otherMacs.begin(), FormatMac(pending.arpMac));
    }
    m_pending.erase(found);
    std::lock_guard lock(m_mutex);
    m_ready.push_back(std::move(result));
    WakeOneLocked(); // one host, at most one waiting caller
}

} // namespace tessvale
