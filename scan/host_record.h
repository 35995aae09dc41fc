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
    HostInventory inventory;
};

// Stores text into a field of the given capacity, cut to capacity - 1 characters, with
// every control character (tabs and line breaks too) turned into a blank.
void SetField(std::string& field, std::string_view text, std::size_t capacity);

} // namespace tessvale
