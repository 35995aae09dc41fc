#include "app/logic/program_start.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <strings.h>
#include <thread>
#include <utility>
#include <vector>

#include <system_error>
#include <unistd.h>

#include "app/logic/command_line_help.h"
#include "app/logic/command_line_lookup.h"
#include "app/logic/headless_scan.h"
#include "app/logic/user_locale.h"
#include "common/checked_output.h"
#include "common/crash_handler.h"
#include "common/paths.h"
#include "common/text_util.h"
#include "scan/job_pool.h"
#include "scan/wake_on_lan.h"
#include "store/config_store.h"
#include "store/scan_settings.h"

namespace tessvale {

namespace {

volatile std::sig_atomic_t g_lookupStopSignal = 0;

void NoteLookupStop(int signal)
{
    g_lookupStopSignal = signal;
}

// Ctrl-C, SIGTERM and SIGHUP end a lookup between two addresses, so that what it found
// is written. No SA_RESTART: a probe's wait ends early.
void CatchLookupStopSignals()
{
    struct sigaction action
    {};
    action.sa_handler = NoteLookupStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

// "-w ", "-m " and "-i ": answered on this thread without a window. -1 when the
// command line is none of them, else the exit status.
int RunLookupSwitches(const std::string& commandLine)
{
    if (MatchLookupSwitch(commandLine) == LookupSwitch::None) {
        return -1;
    }
    CatchLookupStopSignals();
    // The configuration document is never loaded on these paths: the probe reads its
    // settings from a store that holds none, so every NetBIOS query waits the default
    // timeout.
    ConfigStore unloaded;
    const auto probe = MakeSystemProbe(unloaded);
    LookupContext context = LookupContextFor(*probe, ProgramFolder(), InstalledLayout(), DataFolder());
    context.wake = [](const std::string& mac, WakeSendReport& report) { return SendWakeOnLan(mac, {}, &report); };
    // Where the file went is said only to a person at a terminal; failures always.
    context.tellWhere = ::isatty(::fileno(stderr)) == 1;
    context.interrupted = [] { return static_cast<int>(g_lookupStopSignal); };
    // -m probes the whole range at once, as a scan does (a /24 in about a second).
    JobPool pool;
    context.sweep = [&](const AddressSpan& range, std::vector<std::pair<std::uint32_t, std::string>>& found) {
        return SweepForMacs(
            range, pool, unloaded, *probe,
            [](std::chrono::milliseconds timeout) {
                // The signal handler ends the sleep early.
                if (g_lookupStopSignal == 0) {
                    std::this_thread::sleep_for(timeout);
                }
                return static_cast<int>(g_lookupStopSignal);
            },
            found);
    };
    return RunCommandLineLookup(commandLine, context);
}

// The forms the window program answers besides the window: the update run and
// "-uninstall"; their arguments are not the window's.
bool ForTheWindowProgram(int argc, char** argv)
{
    return argc >= 2 && (std::string_view(argv[1]) == "-uninstall" || strcasecmp(argv[1], "-Upgrade") == 0);
}

// Becomes the window program with the same arguments; returns only when it cannot.
int BecomeWindowProgram(char** argv)
{
    const std::string window = WindowProgramPath();
    if (window.empty()) {
        IgnoreResult(std::fprintf(stderr, "tessvale: the window program (tessvale-window) is not installed beside %s\n",
                                  ProgramPath().c_str()));
        return 1;
    }
    ::execv(window.c_str(), argv);
    IgnoreResult(std::fprintf(stderr, "tessvale: %s cannot be started: %s\n", window.c_str(),
                              std::generic_category().message(errno).c_str()));
    return 1;
}

} // namespace

std::string WindowProgramPath()
{
    return CompanionProgramPath("tessvale-window");
}

int RunProgram(int argc, char** argv)
{
    // Before anything opens a descriptor: a closed standard output stays closed for
    // writing instead of becoming the next socket.
    KeepStandardDescriptorsTaken();
    // Before any text is converted, on every path: without it host names and
    // credentials outside the window lose every character beyond ASCII.
    UseUserLocale();
    // The crash handler comes first: in a dump-writer process it does its work and
    // this process ends.
    if (!InstallCrashHandler(argc, argv)) {
        return 0;
    }
    // A reader that went away ends a command-line form with its write-error status.
    ReportBrokenPipeAsError();
    // "--help", "--version" and unknown "--" options: answered on the console.
    if (const auto exitCode = RunInformationalOption(argc, argv, stdout, stderr)) {
        return *exitCode;
    }
    // "--scan": the scanner without a window, also where no display exists.
    if (const int scanResult = RunHeadlessScanCommand(argc, argv); scanResult != -1) {
        return scanResult;
    }
    if (const int lookupResult = RunLookupSwitches(CommandLineText(argc, argv)); lookupResult != -1) {
        return lookupResult;
    }
    // A mistyped command line must not open a window (nor ask a running copy to show).
    if (!ForTheWindowProgram(argc, argv)) {
        if (const std::string error = WindowArgumentError(argc, argv); !error.empty()) {
            return ReportWindowArgumentError(error, stderr);
        }
    }
    // The window program gets the signal as this process was given it.
    RestoreBrokenPipeSignal();
    // The update run, -uninstall, a running copy and the window itself.
    return BecomeWindowProgram(argv);
}

} // namespace tessvale
