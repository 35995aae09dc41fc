// A scripted SweepTransport over a manual clock: hosts answer node status and ARP as
// scripted, Receive advances the clock by its whole wait and hands over what the hosts
// answered. Records every request. Thread-safe, so that tests may read it while a
// scan pumps.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "scan/probe_sweep.h"

namespace tessvale::fakes {

// A node-status answer as a host sends it: transaction id, 56 bytes of header and
// echoed question, the name count, the names padded to 15 bytes, the unit id.
inline std::vector<std::uint8_t> NodeStatusAnswerBytes(std::uint16_t transaction, const std::vector<std::string>& names,
                                                       const MacAddress& unitId)
{
    std::vector<std::uint8_t> bytes(56, 0);
    bytes[0] = static_cast<std::uint8_t>(transaction >> 8);
    bytes[1] = static_cast<std::uint8_t>(transaction & 0xFF);
    bytes[2] = 0x84;
    bytes.push_back(static_cast<std::uint8_t>(names.size()));
    for (const auto& name : names) {
        std::string padded = name;
        padded.resize(15, ' ');
        bytes.insert(bytes.end(), padded.begin(), padded.end());
        bytes.insert(bytes.end(), {0x00, 0x04, 0x00});
    }
    bytes.insert(bytes.end(), unitId.begin(), unitId.end());
    return bytes;
}

class ManualClock
{
public:
    std::chrono::steady_clock::time_point Now() const
    {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    void Advance(std::chrono::microseconds step)
    {
        std::lock_guard lock(m_mutex);
        m_now += step;
    }

private:
    mutable std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_now{std::chrono::hours(1)};
};

struct FakeSweepState
{
    struct Host
    {
        std::vector<std::string> names; // node status answer names (answers when hasNetbios)
        MacAddress unitId{};
        bool hasNetbios = false;
        std::vector<MacAddress> arpMacs; // each answers ARP (on-link addresses only)
        int dropFirst = 0;               // requests of each kind the host does not hear
        bool refusesNetbios = false;     // no name service: answers port unreachable
    };

    std::mutex mutex;
    std::map<std::uint32_t, Host> hosts;
    std::uint32_t linkMask = 0;    // on-link: (address & linkMask) == linkNetwork
    std::uint32_t linkNetwork = 1; // none by default
    bool arpFirst = false;
    std::size_t headroom = SIZE_MAX;
    int refuseOnLink = 0; // node-status requests to on-link addresses refused (a full table)
    int refused = 0;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> nodeStatusSent;
    std::vector<std::uint32_t> arpSent;
    std::vector<SweepAnswer> queued;
    std::vector<SweepAnswer> injected;             // delivered by the next Receive as they are
    std::map<std::uint32_t, MacAddress> knownMacs; // what the system's table knows
    int knownMacAsked = 0;
    std::map<std::uint32_t, MacAddress> ownMacs; // the computer's own addresses
    bool realTime = false;                       // Receive sleeps its wait instead of advancing the manual clock
    std::chrono::milliseconds kernelArpInterval{0};
    bool woken = false; // a Wake not yet used up by a Receive
    int wakes = 0;
    int receives = 0;
    std::condition_variable wakeChanged; // real time: ends the sleep of Receive
};

class FakeSweepTransport : public SweepTransport
{
public:
    FakeSweepTransport(FakeSweepState& state, ManualClock& clock) : m_state(state), m_clock(clock) {}

    bool OnLink(std::uint32_t address) override
    {
        std::lock_guard lock(m_state.mutex);
        return (address & m_state.linkMask) == m_state.linkNetwork;
    }
    bool ArpFirst() const override
    {
        std::lock_guard lock(m_state.mutex);
        return m_state.arpFirst;
    }
    std::size_t ArpHeadroom() override
    {
        std::lock_guard lock(m_state.mutex);
        return m_state.headroom;
    }
    bool SendNodeStatus(std::uint32_t address, std::uint16_t transaction) override
    {
        std::lock_guard lock(m_state.mutex);
        if (m_state.refuseOnLink > 0 && (address & m_state.linkMask) == m_state.linkNetwork) {
            --m_state.refuseOnLink;
            ++m_state.refused;
            return false;
        }
        m_state.nodeStatusSent.emplace_back(address, transaction);
        const auto host = m_state.hosts.find(address);
        if (host != m_state.hosts.end() && host->second.hasNetbios && Hears(host->second, m_nodeStatusHeard[address])) {
            SweepAnswer answer;
            answer.address = address;
            answer.datagram = NodeStatusAnswerBytes(transaction, host->second.names, host->second.unitId);
            m_state.queued.push_back(std::move(answer));
        } else if (host != m_state.hosts.end() && host->second.refusesNetbios) {
            SweepAnswer answer;
            answer.kind = SweepAnswer::Kind::NodeStatusRefused;
            answer.address = address;
            answer.datagram = {static_cast<std::uint8_t>(transaction >> 8),
                               static_cast<std::uint8_t>(transaction & 0xFF)};
            m_state.queued.push_back(std::move(answer));
        }
        return true;
    }
    void SendArp(std::uint32_t address) override
    {
        std::lock_guard lock(m_state.mutex);
        m_state.arpSent.push_back(address);
        const auto host = m_state.hosts.find(address);
        if (host == m_state.hosts.end() || !Hears(host->second, m_arpHeard[address])) {
            return;
        }
        for (const auto& mac : host->second.arpMacs) {
            SweepAnswer answer;
            answer.kind = SweepAnswer::Kind::Arp;
            answer.address = address;
            answer.mac = mac;
            m_state.queued.push_back(answer);
        }
    }
    std::chrono::milliseconds KernelArpInterval() const override
    {
        std::lock_guard lock(m_state.mutex);
        return m_state.kernelArpInterval;
    }
    void Wake() override
    {
        {
            std::lock_guard lock(m_state.mutex);
            m_state.woken = true;
            ++m_state.wakes;
        }
        m_state.wakeChanged.notify_all();
    }
    std::optional<MacAddress> OwnMac(std::uint32_t address) override
    {
        std::lock_guard lock(m_state.mutex);
        const auto own = m_state.ownMacs.find(address);
        return own == m_state.ownMacs.end() ? std::nullopt : std::optional<MacAddress>(own->second);
    }
    std::optional<MacAddress> KnownMac(std::uint32_t address) override
    {
        std::lock_guard lock(m_state.mutex);
        ++m_state.knownMacAsked;
        const auto known = m_state.knownMacs.find(address);
        return known == m_state.knownMacs.end() ? std::nullopt : std::optional<MacAddress>(known->second);
    }
    void Receive(std::chrono::microseconds wait, std::vector<SweepAnswer>& answers) override
    {
        std::unique_lock lock(m_state.mutex);
        ++m_state.receives;
        if (m_state.queued.empty() && m_state.injected.empty() && !m_state.woken) {
            // Nothing arrives: the whole wait passes, unless a Wake ends it.
            if (m_state.realTime) {
                m_state.wakeChanged.wait_for(lock, wait, [this] { return m_state.woken; });
            } else {
                m_clock.Advance(wait);
            }
        }
        m_state.woken = false;
        answers.insert(answers.end(), m_state.injected.begin(), m_state.injected.end());
        answers.insert(answers.end(), m_state.queued.begin(), m_state.queued.end());
        m_state.injected.clear();
        m_state.queued.clear();
    }

private:
    static bool Hears(const FakeSweepState::Host& host, int& heard) { return ++heard > host.dropFirst; }

    FakeSweepState& m_state;
    ManualClock& m_clock;
    std::map<std::uint32_t, int> m_nodeStatusHeard;
    std::map<std::uint32_t, int> m_arpHeard;
};

} // namespace tessvale::fakes
