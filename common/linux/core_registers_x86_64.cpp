// x86-64: user_regs_struct is the layout of NT_PRSTATUS, mcontext_t's gregs the context.
#include <cstring>

#include <sys/user.h>

#include "common/linux/core_registers.h"

#if !defined(__x86_64__)
#error "This file holds the register layout of x86-64"
#endif

namespace tessvale {

Elf64_Half CoreMachine()
{
    return EM_X86_64;
}

std::uint64_t StackPointer(const elf_gregset_t& registers)
{
    return RegisterLayout(registers).rsp;
}

void ApplyFailureContext(elf_gregset_t& registers, const ucontext_t& context)
{
    user_regs_struct layout = RegisterLayout(registers);
    const greg_t* general = context.uc_mcontext.gregs;
    layout.r8 = static_cast<unsigned long long>(general[REG_R8]);
    layout.r9 = static_cast<unsigned long long>(general[REG_R9]);
    layout.r10 = static_cast<unsigned long long>(general[REG_R10]);
    layout.r11 = static_cast<unsigned long long>(general[REG_R11]);
    layout.r12 = static_cast<unsigned long long>(general[REG_R12]);
    layout.r13 = static_cast<unsigned long long>(general[REG_R13]);
    layout.r14 = static_cast<unsigned long long>(general[REG_R14]);
    layout.r15 = static_cast<unsigned long long>(general[REG_R15]);
    layout.rdi = static_cast<unsigned long long>(general[REG_RDI]);
    layout.rsi = static_cast<unsigned long long>(general[REG_RSI]);
    layout.rbp = static_cast<unsigned long long>(general[REG_RBP]);
    layout.rbx = static_cast<unsigned long long>(general[REG_RBX]);
    layout.rdx = static_cast<unsigned long long>(general[REG_RDX]);
    layout.rax = static_cast<unsigned long long>(general[REG_RAX]);
    layout.rcx = static_cast<unsigned long long>(general[REG_RCX]);
    layout.rsp = static_cast<unsigned long long>(general[REG_RSP]);
    layout.rip = static_cast<unsigned long long>(general[REG_RIP]);
    layout.eflags = static_cast<unsigned long long>(general[REG_EFL]);
    layout.orig_rax = static_cast<unsigned long long>(-1);
    std::memcpy(&registers, &layout, sizeof layout);
}

} // namespace tessvale
