// Processors without CPUID: the vendor and a stable description come from /proc/cpuinfo.
// The description's first line words stand in for the signature words of leaf 1.
#include <cstdint>
#include <fstream>

#include "common/linux/cpu_identity.h"
#include "common/text_util.h"

namespace tessvale {

CpuIdentity ReadCpuIdentity()
{
    CpuIdentity identity;
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    std::string description;
    while (std::getline(cpuinfo, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            if (!description.empty()) {
                break; // end of the first processor's block
            }
            continue;
        }
        const std::string key = Trim(std::string_view(line).substr(0, colon));
        const std::string value = Trim(std::string_view(line).substr(colon + 1));
        if (identity.vendor.empty() && (key == "vendor_id" || key == "CPU implementer" || key == "uarch")) {
            identity.vendor = value.substr(0, 12);
        }
        if (key != "processor" && key != "BogoMIPS" && key != "bogomips" && key != "cpu MHz") {
            description += key + "=" + value + ";";
        }
    }
    // FNV-1a: the same description must give the same words in every build.
    std::uint64_t digest = 0xcbf29ce484222325ULL;
    for (const char c : description) {
        digest = (digest ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    identity.leaf1Eax = static_cast<std::uint32_t>(digest);
    identity.leaf1Edx = static_cast<std::uint32_t>(digest >> 32);
    return identity;
}

} // namespace tessvale
