// AArch64: user_regs_struct (x0..x30, sp, pc, pstate) is the layout of NT_PRSTATUS.
#include "common/linux/core_registers.h"

#if !defined(__aarch64__)
#error "This file holds the register layout of AArch64"
#endif

namespace tessvale {

Elf64_Half CoreMachine()
{
    return EM_AARCH64;
}

std::uint64_t StackPointer(const elf_gregset_t& registers)
{
    return RegisterLayout(registers).sp;
}

void ApplyFailureContext(elf_gregset_t& /*registers*/, const ucontext_t& /*context*/)
{
    // The core keeps the registers of the waiting handler; the debugger unwinds through
    // the signal frame to the failure.
}

} // namespace tessvale
