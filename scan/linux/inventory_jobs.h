// The jobs a child of the remote inventory serves (scan/linux/inventory_child.h), and
// the call that makes the program such a child when it was started as one.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "scan/child_jobs.h"
#include "scan/inventory_provider.h"
#include "scan/linux/inventory_child.h"

namespace tessvale {

// The share list of one host over SMB (scan/linux/smb_share_provider.cpp).
inline constexpr const char* kShareListingJob = "shares";
inline constexpr std::size_t kMaxShares = 4096;    // names a child may send
inline constexpr std::size_t kMaxShareName = 1024; // bytes a child may send per name
ChildJobResult ShareListingJob(ChildMessageReader& request, int out);
// The answers of one host's SNMP agent (scan/linux/snmp_inventory_provider.cpp).
inline constexpr const char* kAgentQueryJob = "snmp";
ChildJobResult AgentQueryJob(ChildMessageReader& request, int out);

// What both jobs are asked: the host, who to be there, and the bound of each exchange.
// The password travels only here, through the child's standard input, never on its
// command line (which every user of the machine can read).
struct HostJobRequest
{
    std::string address;
    InventoryIdentity identity;
    std::chrono::milliseconds bound{0};
};
std::vector<std::uint8_t> HostJobMessage(const std::string& address, const InventoryIdentity& identity,
                                         std::chrono::milliseconds bound);
// nullopt when the request is not of that form (or a text is longer than its limit).
std::optional<HostJobRequest> ReadHostJobRequest(ChildMessageReader& request);

// RunChildJobIfAsked (scan/child_jobs.h) with jobs of the caller's after the program's
// own ones (tests).
std::optional<int> RunChildJobIfAsked(int argc, char** argv, std::span<const ChildJob> moreJobs);

} // namespace tessvale
