#include "scan/neighbour_budget.h"

#include <algorithm>

namespace tessvale {

namespace {

// After a refusal the limit grows back by one for this many settled entries.
constexpr std::size_t kSettledPerRaise = 8;

} // namespace

NeighbourBudget::NeighbourBudget(std::size_t limit, std::chrono::milliseconds life)
    : m_ceiling(std::max<std::size_t>(1, limit)), m_limit(m_ceiling), m_life(life)
{}

bool NeighbourBudget::Start(std::uint32_t address, TimePoint now)
{
    if (!m_held.try_emplace(address, now).second) {
        return false;
    }
    m_order.emplace_back(now, address);
    return true;
}

void NeighbourBudget::Settle(std::uint32_t address)
{
    if (m_held.erase(address) == 0 || m_limit >= m_ceiling) {
        return;
    }
    if (++m_settledSinceRaise >= kSettledPerRaise) {
        m_settledSinceRaise = 0;
        ++m_limit;
    }
}

void NeighbourBudget::Refused(std::uint32_t address)
{
    m_held.erase(address);
    m_limit = std::max<std::size_t>(1, std::min(m_limit, m_held.size() - m_held.size() / 8));
    m_settledSinceRaise = 0;
}

void NeighbourBudget::Reconcile(const std::unordered_set<std::uint32_t>& incomplete)
{
    std::erase_if(m_held, [&incomplete](const auto& held) { return incomplete.count(held.first) == 0; });
    if (m_held.empty()) {
        m_order.clear();
    }
}

std::size_t NeighbourBudget::Headroom(TimePoint now)
{
    Expire(now);
    return m_held.size() >= m_limit ? 0 : m_limit - m_held.size();
}

void NeighbourBudget::Expire(TimePoint now)
{
    const TimePoint oldest = now - m_life;
    while (!m_order.empty() && m_order.front().first <= oldest) {
        const auto [started, address] = m_order.front();
        m_order.pop_front();
        // Settled and started again since: the later start is the one that counts.
        const auto held = m_held.find(address);
        if (held != m_held.end() && held->second == started) {
            m_held.erase(held);
        }
    }
}

std::size_t NeighbourLimit(std::size_t threshold, std::size_t present)
{
    const std::size_t reserve = std::max<std::size_t>(32, threshold / 16);
    const std::size_t used = present + reserve;
    return threshold > used + 16 ? threshold - used : 16;
}

} // namespace tessvale
