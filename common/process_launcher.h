// Starting other programs: the update run, the installer, the dump writer.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tessvale {

struct LaunchOptions
{
    std::string workingFolder; // empty: the program's folder
    bool wait = false;         // wait until the process has ended
    bool showWindow = true;    // false: standard input/output/error go to /dev/null
};

// Starts argv[0] (searched on PATH when it holds no '/') with posix_spawn. Every element
// of argv is one argument, so a path with blanks stays one argument. True when the
// process was started. With wait, exitCode receives its exit status (128 + signal when
// it was killed).
bool RunCommandLine(const std::vector<std::string>& argv, const LaunchOptions& options = {}, int* exitCode = nullptr);

} // namespace tessvale
