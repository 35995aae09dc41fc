// CPUID on x86: vendor text from leaf 0 (EBX, EDX, ECX), signature and feature words
// from leaf 1, and leaf 3 (the old serial number, zero on current processors).
#include <cstring>

#include <cpuid.h>

#include "common/linux/cpu_identity.h"

namespace tessvale {

CpuIdentity ReadCpuIdentity()
{
    CpuIdentity identity;
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) != 0) {
        char vendor[12];
        std::memcpy(vendor, &ebx, 4);
        std::memcpy(vendor + 4, &edx, 4);
        std::memcpy(vendor + 8, &ecx, 4);
        identity.vendor.assign(vendor, sizeof vendor);
        // The text is cut at a zero byte, as the original wide conversion of a C string does.
        identity.vendor.resize(std::strlen(identity.vendor.c_str()));
    }
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
        identity.leaf1Eax = eax;
        identity.leaf1Edx = edx;
    }
    if (__get_cpuid(3, &eax, &ebx, &ecx, &edx) != 0) {
        identity.leaf3Eax = eax;
        identity.leaf3Edx = edx;
    }
    return identity;
}

} // namespace tessvale
