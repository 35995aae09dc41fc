// How many of the kernel's neighbour (ARP) entries a sweep without a raw socket holds
// unresolved. Each datagram to an unknown on-link address makes the kernel create an
// incomplete entry, which it keeps until the address answers or its solicitations run
// out; the kernel refuses new entries for the whole system once its table reaches
// gc_thresh3. The sweep starts an address only while the entries it holds stay below
// its limit, and an entry counts until the kernel reports it settled (answered, failed
// or removed) or, should that report be lost, until its whole life has passed.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace tessvale {

class NeighbourBudget
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // limit: entries the sweep may hold at once; life: the longest an incomplete entry
    // stays (its solicitations times their interval).
    NeighbourBudget(std::size_t limit, std::chrono::milliseconds life);

    // The address's first request: true when it makes a new entry. A further request
    // while the entry is unresolved counts nothing: the kernel repeats its own
    // solicitations for it.
    bool Start(std::uint32_t address, TimePoint now);
    // The kernel reported the entry in a state other than incomplete, or removed it.
    // Settled entries also win back, slowly, what refusals took from the limit.
    void Settle(std::uint32_t address);
    // The kernel refused the address's entry: its table is full (other programs, or
    // other network namespaces, hold entries too). The address holds no place, and the
    // limit drops below what is held now.
    void Refused(std::uint32_t address);
    // After a full read of the table: every held entry that the table does not list as
    // incomplete has settled.
    void Reconcile(const std::unordered_set<std::uint32_t>& incomplete);
    // Addresses that may be started now.
    std::size_t Headroom(TimePoint now);
    std::size_t Held() const { return m_held.size(); }
    std::size_t Limit() const { return m_limit; }

private:
    void Expire(TimePoint now);

    std::size_t m_ceiling;
    std::size_t m_limit;
    std::size_t m_settledSinceRaise = 0;
    std::chrono::milliseconds m_life;
    std::unordered_map<std::uint32_t, TimePoint> m_held;     // address -> its start
    std::deque<std::pair<TimePoint, std::uint32_t>> m_order; // starts in time order
};

// The limit for a table of `threshold` entries (gc_thresh3) that holds `present`
// entries already: what is left less a reserve for the rest of the system, at least 16.
std::size_t NeighbourLimit(std::size_t threshold, std::size_t present);

} // namespace tessvale
