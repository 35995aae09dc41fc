// What the processor says about itself, for the machine identity. One backend per
// architecture, chosen in CMake.
#pragma once

#include <cstdint>
#include <string>

namespace tessvale {

struct CpuIdentity
{
    std::string vendor; // the 12-character vendor text of CPUID leaf 0
    std::uint32_t leaf1Eax = 0;
    std::uint32_t leaf1Edx = 0;
    std::uint32_t leaf3Eax = 0;
    std::uint32_t leaf3Edx = 0;
};

CpuIdentity ReadCpuIdentity();

} // namespace tessvale
