// A scripted HostProbe: per address a NetBIOS answer, an ARP answer or silence, with
// an optional delay per probe or a gate that holds every probe until the test opens
// it. Thread-safe; counts calls and concurrent probes.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "fakes/test_gate.h"
#include "scan/host_probe.h"

namespace tessvale::fakes {

class FakeHostProbe : public HostProbe
{
public:
    struct Answer
    {
        bool netbios = false; // answers the node status query (else only ARP)
        std::string mac;
        std::string name; // NetBIOS name; empty: the answer lists no names
    };

    // Set up before the scan starts.
    void AddNetbiosHost(const std::string& address, const std::string& mac, const std::string& name)
    {
        m_hosts[address] = Answer{true, mac, name};
    }
    void AddArpHost(const std::string& address, const std::string& mac) { m_hosts[address] = Answer{false, mac, {}}; }
    void SetDelay(std::chrono::milliseconds delay) { m_delay = delay; }

    // Closes the gate: every NodeStatus call from now on waits until Open.
    void Close() { m_gate.Close(); }
    // Opens the gate for good and lets the held probes go.
    void Open() { m_gate.Open(); }
    // Waits until at least `count` probes are held at the closed gate; false after 10 s.
    bool WaitHeld(int count) { return m_gate.WaitWaiting(count); }

    bool NodeStatus(const std::string& address, std::string& mac, std::string& hostName) override
    {
        Busy busy(*this);
        ++m_nodeStatusCalls;
        m_gate.Pass();
        const auto host = m_hosts.find(address);
        if (host == m_hosts.end() || !host->second.netbios) {
            return false;
        }
        mac = host->second.mac;
        if (!host->second.name.empty()) {
            hostName = host->second.name;
        }
        return true;
    }

    bool Arp(const std::string& address, std::string& mac) override
    {
        ++m_arpCalls;
        const auto host = m_hosts.find(address);
        if (host == m_hosts.end()) {
            mac = "FF:FF:FF:FF:FF:FF";
            return false;
        }
        mac = host->second.mac;
        return true;
    }

    int NodeStatusCalls() const { return m_nodeStatusCalls.load(); }
    int ArpCalls() const { return m_arpCalls.load(); }
    int MaxConcurrent() const { return m_maxConcurrent.load(); }

private:
    // Marks one probe in progress and waits the scripted delay.
    class Busy
    {
    public:
        explicit Busy(FakeHostProbe& probe) : m_probe(probe)
        {
            const int now = ++m_probe.m_concurrent;
            int seen = m_probe.m_maxConcurrent.load();
            while (now > seen && !m_probe.m_maxConcurrent.compare_exchange_weak(seen, now)) {
            }
            if (m_probe.m_delay.count() > 0) {
                std::this_thread::sleep_for(m_probe.m_delay);
            }
        }
        ~Busy() { --m_probe.m_concurrent; }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        FakeHostProbe& m_probe;
    };

    std::map<std::string, Answer> m_hosts; // read-only once the scan runs
    std::chrono::milliseconds m_delay{0};
    std::atomic<int> m_nodeStatusCalls{0};
    std::atomic<int> m_arpCalls{0};
    std::atomic<int> m_concurrent{0};
    std::atomic<int> m_maxConcurrent{0};
    TestGate m_gate{true};
};

// Vendor by the MAC's first three pairs, from a fixed table.
class FakeVendorLookup : public VendorLookup
{
public:
    void Add(const std::string& oui, const std::string& vendor) { m_vendors[oui] = vendor; }
    std::string LookupVendor(const std::string& mac) const override
    {
        const auto vendor = m_vendors.find(mac.substr(0, 8));
        return vendor == m_vendors.end() ? std::string() : vendor->second;
    }

private:
    std::map<std::string, std::string> m_vendors;
};

// Fills a fixed inventory and counts its calls.
class FakeInventory : public InventoryQuery
{
public:
    int QueryInventory(const std::string& address, HostInventory& inventory) override
    {
        ++m_calls;
        inventory.cpu = "cpu of " + address;
        inventory.memoryMb = "2048";
        return 1;
    }
    int Calls() const { return m_calls.load(); }

private:
    std::atomic<int> m_calls{0};
};

} // namespace tessvale::fakes
