// The two probes a scan worker runs per address, behind one seam so that the engine
// can be driven by a scripted fake in tests.
#pragma once

#include <memory>
#include <string>

#include "scan/host_record.h"

namespace tessvale {

class SweepTransport;

class HostProbe
{
public:
    virtual ~HostProbe() = default;

    // NetBIOS node status. True when the host answered with a usable unit id; then
    // mac holds the MAC text and hostName the first name (left as it was when the
    // answer lists no names). Called concurrently from every worker.
    virtual bool NodeStatus(const std::string& address, std::string& mac, std::string& hostName) = 0;

    // ARP through the kernel neighbour table. True when the host answered; then mac
    // holds the MAC text.
    virtual bool Arp(const std::string& address, std::string& mac) = 0;

    // The sockets of a paced sweep over a whole range, when this probe offers one;
    // null (the default) makes a scan probe address by address with the calls above.
    virtual std::unique_ptr<SweepTransport> MakeSweepTransport();
};

// Completes an answering host's inventory (OS, CPU, memory, shares, adapter speed).
// Called on scan worker threads, concurrently.
class InventoryQuery
{
public:
    virtual ~InventoryQuery() = default;
    // Returns 1 when the queries ran, else 0; the fields carry the outcome.
    virtual int QueryInventory(const std::string& address, HostInventory& inventory) = 0;
};

// Finds the vendor of a MAC's OUI. Called on scan worker threads, concurrently.
class VendorLookup
{
public:
    virtual ~VendorLookup() = default;
    virtual std::string LookupVendor(const std::string& mac) const = 0;
};

} // namespace tessvale
