// What the core writer must know of the processor: the machine the core file names, where
// a thread's stack pointer lies among its registers, and how the failure's context becomes
// the registers of the failing thread. One file per processor, chosen in CMake.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <elf.h>
#include <ucontext.h>

#include <sys/procfs.h>
#include <sys/user.h>

namespace tessvale {

// The e_machine value of the core file's header.
Elf64_Half CoreMachine();

// The stack pointer among registers as PTRACE_GETREGSET(NT_PRSTATUS) gives them.
std::uint64_t StackPointer(const elf_gregset_t& registers);

// registers as the kernel lays them out for this processor (user_regs_struct).
inline user_regs_struct RegisterLayout(const elf_gregset_t& registers)
{
    user_regs_struct layout{};
    std::memcpy(&layout, &registers, std::min(sizeof layout, sizeof registers));
    return layout;
}

// Replaces registers with those of the interrupted context, so that the core's first frame
// is the failing instruction and not the handler the thread waits in. Where the processor
// has no such mapping the registers stay as they are and the debugger unwinds through the
// signal frame.
void ApplyFailureContext(elf_gregset_t& registers, const ucontext_t& context);

} // namespace tessvale
