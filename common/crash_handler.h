// Crash handler: a fatal failure has a second copy of the program write a core dump.
//
// The failing process never writes its own dump: it starts the program again as
// "PROGRAM -dump -p PID -e ADDRESS -t TID", waits until that writer has attached to it
// and written an ELF core file into the "dump" folder, and then ends with exit code 1.
#pragma once

#include <string>

namespace tessvale {

// The process-wide owner of the installed handlers; created the first time they are
// installed and kept until the process ends.
class CCrashHandler
{
public:
    virtual ~CCrashHandler();
};

// Called first at start-up with the process arguments. When the arguments make this
// process the dump writer ("-dump", any case) it writes the dump and returns false;
// start-up then ends. Otherwise installs the handlers and returns true.
bool InstallCrashHandler(int argc, char** argv);

// The per-thread part of the handlers: an alternate signal stack, so that a thread
// whose stack has overflowed still reaches the handler. InstallCrashHandler does this
// for the calling thread; every worker thread calls it once when it starts (the stack
// is released when the thread ends). Does nothing before InstallCrashHandler.
void InstallThreadCrashHandler();

// The failing side: starts the dump writer for this process with the given failure
// information (an address inside this process), waits for it and ends the process with
// exit code 1. Only the first failing thread gets here; any other blocks for good.
[[noreturn]] void SpawnDumpWriter(const void* exceptionInformation);

// The dump-writer side: arguments is the command line after the program's path
// ("-dump -p PID -e ADDRESS -t TID"). Writes the core of that process into the dump
// folder; when that fails the file holds the reason instead. True when a core was written.
bool WriteCrashDump(const std::string& arguments);

} // namespace tessvale
