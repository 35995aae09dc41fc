// What a child of the SNMP inventory sends its parent: per item (system version,
// processor, memory, adapter speed) whether the agent answered, and its values, each
// bounded; written by the child (scan/linux/snmp_agent_job.cpp), read by the parent
// (scan/linux/snmp_inventory_provider.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "scan/inventory_provider.h"

namespace tessvale {

inline constexpr std::size_t kMaxAgentValueText = 4096;  // bytes a child may send per value
inline constexpr std::size_t kMaxAgentAnswerObjects = 4; // values a child may send per answer
inline constexpr std::size_t kMaxAgentMessage = 4 * (8 + kMaxAgentAnswerObjects * (8 + kMaxAgentValueText));

struct AgentAnswer
{
    bool ok = false;
    InventoryObjects objects;
};

// The answers of one agent: system version, processor, memory, adapter speed.
using AgentAnswers = std::array<AgentAnswer, 4>;

bool SendAgentAnswers(const AgentAnswers& answers, int out);
std::optional<AgentAnswers> ReadAgentAnswers(const std::vector<std::uint8_t>& message);

} // namespace tessvale
