#include "app/tessvale_app.h"

#include <QApplication>
#include <QMainWindow>

#include "app/command_line_lookup.h"
#include "app/headless_scan.h"
#include "common/crash_handler.h"
#include "common/paths.h"
#include "common/update_check.h"
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
    const LookupContext context{*probe, ProgramFolder(), [](const std::string& mac) { return SendWakeOnLan(mac); }};
    return RunCommandLineLookup(commandLine, context);
}

int RunMainWindow(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessvale"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Tessvale"));
    window.resize(855, 500);
    window.show();
    return QApplication::exec();
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
    if (RunUpdateCheck(argc, argv) != -1) {
        return 0;
    }

    // "--scan": the scanner without a window, also where no display exists.
    if (const int scanResult = RunHeadlessScanCommand(argc, argv); scanResult != -1) {
        return scanResult;
    }

    const std::string commandLine = CommandLineText(argc, argv);
    // The single-instance test and "-uninstall" come here, before the lookups.
    if (RunLookupSwitches(commandLine)) {
        return 0;
    }
    return RunMainWindow(argc, argv);
}

} // namespace tessvale
