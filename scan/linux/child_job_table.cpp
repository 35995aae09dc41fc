// The jobs the inventory's child program serves: the share list over SMB and the
// answers of an SNMP agent, with the client libraries they need, which only this
// program loads (tessvale-inventory, and the tests that serve jobs themselves).
#include <vector>

#include "scan/child_jobs.h"
#include "scan/linux/inventory_jobs.h"

namespace tessvale {

std::optional<int> RunChildJobIfAsked(int argc, char** argv, std::span<const ChildJob> moreJobs)
{
    if (argc < 2 || argv[1] != kInventoryChildOption) {
        return std::nullopt;
    }
    std::vector<ChildJob> jobs = {{kShareListingJob, ShareListingJob}, {kAgentQueryJob, AgentQueryJob}};
    jobs.insert(jobs.end(), moreJobs.begin(), moreJobs.end());
    return ServeChildJob(argc, argv, jobs);
}

std::optional<int> RunChildJobIfAsked(int argc, char** argv)
{
    return RunChildJobIfAsked(argc, argv, {});
}

} // namespace tessvale
