#include "app/logic/program_start.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <system_error>
#include <unistd.h>

#include "app/logic/command_line_help.h"
#include "app/logic/command_line_lookup.h"
#include "app/logic/headless_scan.h"
#include "app/logic/user_locale.h"
#include "common/crash_handler.h"
#include "common/paths.h"
#include "common/text_util.h"
#include "scan/system_probe.h"
#include "scan/wake_on_lan.h"
#include "store/config_store.h"

namespace tessvale {

namespace {

// "-w ", "-m " and "-i ": answered on this thread without a window. True when the
// command line was one of them.
bool RunLookupSwitches(const std::string& commandLine)
{
    if (MatchLookupSwitch(commandLine) == LookupSwitch::None) {
        return false;
    }
    // The configuration document is never loaded on these paths: the probe reads its
    // settings from a store that holds none, so every NetBIOS query waits the default
    // timeout.
    ConfigStore unloaded;
    const auto probe = MakeSystemProbe(unloaded);
    LookupContext context = LookupContextFor(*probe, ProgramFolder(), InstalledLayout(), DataFolder());
    context.wake = [](const std::string& mac) { return SendWakeOnLan(mac); };
    // Where the file went is said only to a person at a terminal; scripts see nothing.
    context.report = ::isatty(::fileno(stderr)) == 1 ? stderr : nullptr;
    return RunCommandLineLookup(commandLine, context);
}

// Becomes the window program with the same arguments; returns only when it cannot.
int BecomeWindowProgram(char** argv)
{
    const std::string window = WindowProgramPath();
    if (window.empty()) {
        std::fprintf(stderr, "tessvale: the window program (tessvale-window) is not installed beside %s\n",
                     ProgramPath().c_str());
        return 1;
    }
    ::execv(window.c_str(), argv);
    std::fprintf(stderr, "tessvale: %s cannot be started: %s\n", window.c_str(), std::strerror(errno));
    return 1;
}

} // namespace

std::string WindowProgramPath()
{
    return CompanionProgramPath("tessvale-window");
}

int RunProgram(int argc, char** argv)
{
    // Before any text is converted, on every path: without it host names and
    // credentials outside the window lose every character beyond ASCII.
    UseUserLocale();
    // The crash handler comes first: in a dump-writer process it does its work and
    // this process ends.
    if (!InstallCrashHandler(argc, argv)) {
        return 0;
    }
    // "--help", "--version" and unknown "--" options: answered on the console.
    if (const auto exitCode = RunInformationalOption(argc, argv, stdout, stderr)) {
        return *exitCode;
    }
    // "--scan": the scanner without a window, also where no display exists.
    if (const int scanResult = RunHeadlessScanCommand(argc, argv); scanResult != -1) {
        return scanResult;
    }
    if (RunLookupSwitches(CommandLineText(argc, argv))) {
        return 0;
    }
    // The update run, -uninstall, a running copy and the window itself.
    return BecomeWindowProgram(argv);
}

} // namespace tessvale
