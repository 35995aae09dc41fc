#include "app/tessvale_app.h"

#include <climits>

#include <unistd.h>

#include <QApplication>
#include <QMainWindow>

#include "app/command_line_lookup.h"
#include "app/update_run_ui.h"
#include "common/crash_handler.h"
#include "common/update_check.h"
#include "scan/node_status.h"
#include "scan/system_probe.h"
#include "scan/wake_on_lan.h"

namespace tessvale {

namespace {

// Folder of the running executable, where the lookup files are written.
std::string ExecutableFolder()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return ".";
    }
    const std::string text(path, static_cast<std::size_t>(length));
    const std::size_t slash = text.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : text.substr(0, slash);
}

// "-w ", "-m " and "-i ": answered on this thread without a window. True when the
// command line was one of them.
bool RunLookupSwitches(const std::string& commandLine)
{
    if (MatchLookupSwitch(commandLine) == LookupSwitch::None) {
        return false;
    }
    // The configuration document is never loaded on these paths, so every NetBIOS
    // query waits the default timeout.
    const auto probe = MakeSystemProbe([] { return kDefaultNetbiosTimeoutMs; });
    const LookupContext context{*probe, ExecutableFolder(), [](const std::string& mac) { return SendWakeOnLan(mac); }};
    return RunCommandLineLookup(commandLine, context);
}

int RunMainWindow(int argc, char** argv)
{

    const std::string commandLine = CommandLineText(argc, argv);
    // The single-instance test and "-uninstall" come here, before the lookups.
    if (RunLookupSwitches(commandLine)) {
        return 0;
    }
    return RunMainWindow(argc, argv);
}

} // namespace

std::string CommandLineText(int argc, char** argv)
{
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    return text;
}

int CTessvaleApp::InitInstance(int argc, char** argv)
{
    // The crash handler comes first: in a dump-writer process it does its work and
    // this process ends.
    if (!InstallCrashHandler(argc, argv)) {
        return 0;
    }
    // Then the update run: any result but -1 means this process was the update run.
    SetUpdateRunFrontEnd(MakeUpdateRunFrontEnd);
    if (RunUpdateCheck(argc, argv) != -1) {
        return 0;
    }

    const std::string commandLine = CommandLineText(argc, argv);
    // The single-instance test and "-uninstall" come here, before the lookups.
    if (RunLookupSwitches(commandLine)) {
        return 0;
    }
    return RunMainWindow(argc, argv);
}

} // namespace tessvale
