// Writing an ELF core file of another, running process (the dump writer's work).
#pragma once

#include <cstdint>

#include <sys/types.h>

namespace tessvale {

// Attaches to every thread of process pid with ptrace, stops them, and writes an ELF core
// file of it to fd: one NT_PRSTATUS (and NT_PRFPREG) note per thread, with thread
// crashedThread first, NT_PRPSINFO, NT_SIGINFO, NT_AUXV, NT_FILE, and one PT_LOAD per
// readable mapping (text of unchanged files is left to the debugger, which reads it from
// the files themselves). reportAddress, when not 0, is the address of the failing
// process's CrashReport. The threads are detached and resumed afterwards.
// Returns 0 on success, else the errno value of the step that failed.
int WriteProcessCore(pid_t pid, pid_t crashedThread, std::uintptr_t reportAddress, int fd);

} // namespace tessvale
