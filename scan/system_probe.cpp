#include "scan/system_probe.h"

#include "scan/arp_resolver.h"
#include "scan/node_status.h"
#include "scan/probe_sweep.h"

namespace tessvale {

namespace {

class SystemProbe final : public HostProbe
{
public:
    explicit SystemProbe(std::function<int()> timeoutMs) : m_timeoutMs(std::move(timeoutMs)) {}

    bool NodeStatus(const std::string& address, std::string& mac, std::string& hostName) override
    {
        const int timeout = m_timeoutMs ? m_timeoutMs() : kDefaultNetbiosTimeoutMs;
        return QueryNodeStatus(address, mac, hostName, timeout) == 1;
    }

    bool Arp(const std::string& address, std::string& mac) override { return ResolveByArp(mac, address) == 1; }

    std::unique_ptr<SweepTransport> MakeSweepTransport() override { return MakeSystemSweepTransport(); }

private:
    std::function<int()> m_timeoutMs;
};

} // namespace

std::unique_ptr<SweepTransport> HostProbe::MakeSweepTransport()
{
    return nullptr;
}

std::unique_ptr<HostProbe> MakeSystemProbe(std::function<int()> timeoutMs)
{
    return std::make_unique<SystemProbe>(std::move(timeoutMs));
}

} // namespace tessvale
