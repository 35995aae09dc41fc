#include "app/tessvale_app.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <unistd.h>

#include <QApplication>

#include "app/logic/command_line_help.h"
#include "app/logic/command_line_lookup.h"
#include "app/logic/headless_scan.h"
#include "app/logic/save_failure.h"
#include "app/logic/string_table.h"
#include "app/logic/user_locale.h"
#include "app/qt_text.h"
#include "app/qt_translations.h"
#include "app/single_instance.h"
#include "app/system_environment.h"
#include "app/tessvale_dlg.h"
#include "app/update_run_ui.h"
#include "app/window_prompts.h"
#include "app/window_translation.h"
#include "common/checked_output.h"
#include "common/crash_handler.h"
#include "common/paths.h"
#include "common/text_util.h"
#include "common/update_check.h"
#include "scan/host_inventory_query.h"
#include "scan/job_pool.h"
#include "scan/service_auto_scan.h"
#include "scan/system_probe.h"
#include "scan/vendor_table.h"
#include "scan/wake_on_lan.h"
#include "store/config_record.h"
#include "store/config_store.h"

namespace tessvale {

namespace {

constexpr char kNoWindowHint[] = "Without a window: tessvale --scan RANGE, -m, -i or -w; see 'tessvale --help'.\n";

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

// True while QApplication connects to the display: a fatal message of Qt then is no
// crash of the program but a display it cannot use, and gets a message, not a dump.
std::atomic<bool> g_openingDisplay{false};
QtMessageHandler g_previousMessageHandler = nullptr;

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg && g_openingDisplay.load()) {
        std::fprintf(stderr, "tessvale: the window cannot be shown: %s\n%s", message.toLocal8Bit().constData(),
                     kNoWindowHint);
        std::fflush(stderr);
        _exit(1);
    }
    if (g_previousMessageHandler != nullptr) {
        g_previousMessageHandler(type, context, message);
    }
}

bool HasDisplay()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    // A platform chosen on purpose (offscreen, vnc ...) needs neither variable.
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

int RunMainWindow(int argc, char** argv)
{
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "tessvale: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n%s",
                     kNoWindowHint);
        return 1;
    }
    g_previousMessageHandler = qInstallMessageHandler(OnQtMessage);
    g_openingDisplay = true;
    QApplication application(argc, argv);
    g_openingDisplay = false;
    QApplication::setApplicationName(QStringLiteral("Tessvale"));
    // Ties the window to the installed desktop entry and its icon (Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("net.tessvale.Tessvale"));
    // The window hides into the tray and its dialogs close; only the window's own end
    // ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's own texts (standard buttons, entry menus) in the chosen language.
    InstallQtTranslationsForCurrentLanguage();

    InstanceServer instances;
    if (!instances.Listen()) {
        // Another copy started at the same moment and answered the request to show.
        return 0;
    }

    ConfigStore store;
    store.Load(ConfigFilePath());
    // A configuration file that is there but cannot be used is not replaced unasked.
    if (const std::string question = LoadFailureQuestion(store);
        !question.empty() && ShowMessage(nullptr, ToQString(question), QStringLiteral("Tessvale"),
                                         kMbYesNo | kMbIconWarning) != kAnswerYes) {
        return 1;
    }
    // Stored settings out of their range are replaced by their defaults: said once.
    if (const std::vector<std::string> problems = store.SettingProblems(); !problems.empty()) {
        std::string text = UiText("Some settings in the configuration file are out of their range; their defaults "
                                  "are used:");
        for (const std::string& problem : problems) {
            text += "\n" + BlankControlCharacters(problem);
        }
        ShowMessage(nullptr, ToQString(text), QStringLiteral("Tessvale"), kMbOk | kMbIconWarning);
    }
    VendorTable vendors;
    vendors.Load(DefaultVendorListingPath(DataFolder()));
    const auto probe = MakeSystemProbe(store);
    const auto inventory = MakeSystemInventory(store);
    JobPool pool;
    CServiceAutoScan service(pool, store, *probe, vendors, inventory.get());

    SystemEnvironment environment(store, service.MaxWorkers());
    DialogPrompts prompts(&store);
    CTessvaleDlg window(service, environment, prompts);
    service.SetEventPump(window.EventPump());
    QObject::connect(&instances, &InstanceServer::ShowRequested, &window, &CTessvaleDlg::ShowFromTray);
    QObject::connect(&instances, &InstanceServer::CloseRequested, &window, &CTessvaleDlg::CloseInstance);
    QObject::connect(&instances, &InstanceServer::NewVersionMenuItemRequested, &window,
                     &CTessvaleDlg::AddNewVersionMenuItem);
    window.RememberLayoutIn(QString::fromStdString(DataFolder()) + QStringLiteral("/Window.ini"));
    // Not exec(): hiding into the tray would end a dialog's exec() and the program.
    window.Run();
    return 0;
}

} // namespace

int CTessvaleApp::InitInstance(int argc, char** argv)
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
    // Then the update run: any result but -1 means this process was the update run.
    SetUpdateRunFrontEnd(MakeUpdateRunFrontEnd);
    if (RunUpdateCheck(argc, argv) != -1) {
        return 0;
    }

    // A reader that went away ends a command-line form with its write-error status.
    ReportBrokenPipeAsError();

    // "--help", "--version" and unknown "--" options: answered on the console, before
    // any display is needed.
    if (const auto exitCode = RunInformationalOption(argc, argv, stdout, stderr)) {
        return *exitCode;
    }

    // "--scan": the scanner without a window, also where no display exists.
    if (const int scanResult = RunHeadlessScanCommand(argc, argv); scanResult != -1) {
        return scanResult;
    }

    const std::string commandLine = CommandLineText(argc, argv);
    // "-uninstall" closes the running copy as its OK command would, and ends.
    if (commandLine == "-uninstall") {
        SendToRunningInstance(InstanceRequest::Close);
        return 0;
    }
    if (const int lookupResult = RunLookupSwitches(commandLine); lookupResult != -1) {
        return lookupResult;
    }
    // A mistyped command line must not open a window (nor ask a running copy to show).
    if (const std::string error = WindowArgumentError(argc, argv); !error.empty()) {
        return ReportWindowArgumentError(error, stderr);
    }
    // A running copy shows its window (also from the tray); this start ends there.
    if (SendToRunningInstance(InstanceRequest::Show)) {
        return 0;
    }
    RestoreBrokenPipeSignal();
    return RunMainWindow(argc, argv);
}

} // namespace tessvale
