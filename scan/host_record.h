// One answering host as a scan worker builds it. Texts are UTF-8 without control
// characters; each field keeps at most capacity - 1 characters (the capacities of the
// original fixed buffers).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale {

struct HostInventory
{
    static constexpr std::size_t kCpuCapacity = 256;
    static constexpr std::size_t kMemoryCapacity = 128;
    static constexpr std::size_t kSystemVersionCapacity = 128;
    static constexpr std::size_t kSharesCapacity = 1024;
    static constexpr std::size_t kAdapterSpeedCapacity = 256;
    static constexpr std::size_t kVendorCapacity = 512;

    std::string cpu;           // processor name
    std::string memoryMb;      // memory size in MiB
    std::string systemVersion; // operating system
    std::string shares;        // share names, each followed by ';'
    std::string adapterSpeed;  // Mbit/s
    std::string vendor;        // adapter vendor from the OUI listing

    void Clear();
};

// Every name a host gave, by its source, and the DNS-SD service types it advertises.
// The host name shown is the first of NetBIOS, mDNS and DNS that is there.
struct HostNames
{
    std::string netbios;               // the first name of the node-status answer
    std::string mdns;                  // the PTR target of the unicast mDNS reverse query
    std::string dns;                   // the PTR target of the resolver's name server
    std::vector<std::string> services; // DNS-SD types such as "_ipp._tcp", each once

    bool Empty() const { return netbios.empty() && mdns.empty() && dns.empty() && services.empty(); }
    // NetBIOS, else mDNS, else DNS, else "-".
    std::string Chosen() const;
};

// A DNS-SD service type in plain words where it is well known ("printer", "file
// server", "web", "ssh", "remote desktop", "media"), else the type itself.
std::string ServiceWord(std::string_view type);
// The words of the types, each once, in their order, joined by ", ".
std::string ServiceWords(const std::vector<std::string>& types);

struct HostRecord
{
    static constexpr std::size_t kIpCapacity = 128;
    static constexpr std::size_t kMacCapacity = 128;
    static constexpr std::size_t kHostNameCapacity = 256;

    std::string ip;
    std::string mac;      // "%02X:%02X:%02X:%02X:%02X:%02X"
    std::string hostName; // "-" when no name was learned
    // Further MACs that answered ARP for the address in the same scan (at most a few,
    // each in the form of mac); empty when only one did. Two of them mean a conflict.
    std::vector<std::string> otherMacs;
    HostNames names; // the names by source; hostName is names.Chosen() when a probe set them
    HostInventory inventory;
};

// Stores text into a field of the given capacity, cut to capacity - 1 characters, with
// every control character (tabs and line breaks too) turned into a blank.
void SetField(std::string& field, std::string_view text, std::size_t capacity);

} // namespace tessvale
