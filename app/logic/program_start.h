// What the program does with its command line before any window: the console answers
// (--help, --version, unknown options), --scan, the lookups -m, -i and -w. None of it
// loads Qt: the window is a program of its own (tessvale-window) that this process
// becomes, with the same arguments, only when the command line asks for a window.
#pragma once

#include <string>

namespace tessvale {

// Runs the process and returns its exit code (it does not return when it becomes the
// window program).
int RunProgram(int argc, char** argv);

// The window program beside this one: ../libexec/tessvale/tessvale-window from an
// installed or unpacked package, else tessvale-window in the same folder (a build
// tree). Empty when there is none.
std::string WindowProgramPath();

} // namespace tessvale
