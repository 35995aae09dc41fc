#include "app/tessvale_app.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include <QApplication>

#include "app/logic/user_locale.h"
#include "app/qt_translations.h"
#include "app/single_instance.h"
#include "app/system_environment.h"
#include "app/tessvale_dlg.h"
#include "app/update_run_ui.h"
#include "app/window_prompts.h"
#include "app/window_translation.h"
#include "common/crash_handler.h"
#include "common/paths.h"
#include "common/string_table.h"
#include "common/text_util.h"
#include "common/update_check.h"
#include "dialogs/qt_text.h"
#include "scan/host_inventory_query.h"
#include "scan/job_pool.h"
#include "scan/service_auto_scan.h"
#include "scan/vendor_table.h"
#include "store/config_record.h"
#include "store/config_store.h"
#include "store/save_failure.h"
#include "store/scan_settings.h"

namespace tessvale {

namespace {

constexpr char kNoWindowHint[] = "Without a window: tessvale --scan RANGE, -m, -i or -w; see 'tessvale --help'.\n";

// True while QApplication connects to the display: a fatal message of Qt then is no
// crash of the program but a display it cannot use, and gets a message, not a dump.
std::atomic<bool> g_openingDisplay{false};
QtMessageHandler g_previousMessageHandler = nullptr;

// Says a line of the program on stderr. Nothing is left to tell when stderr itself
// cannot be written, so a failure is not reported.
void SayOnStderr(const std::string& text)
{
    (void)std::fputs(text.c_str(), stderr);
    (void)std::fflush(stderr);
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg && g_openingDisplay.load()) {
        SayOnStderr("tessvale: the window cannot be shown: " + std::string(message.toLocal8Bit().constData()) + "\n" +
                    kNoWindowHint);
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

// The application's settings once it has its display.
void SetUpApplication()
{
    QApplication::setApplicationName(QStringLiteral("Tessvale"));
    // Ties the window to the installed desktop entry and its icon (Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("net.tessvale.Tessvale"));
    // The window hides into the tray and its dialogs close; only the window's own end
    // ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's own texts (standard buttons, entry menus) in the chosen language.
    InstallQtTranslationsForCurrentLanguage();
}

// Tells what is wrong with the loaded configuration; false when the user would rather
// not start with the defaults.
bool ConfigurationAccepted(ConfigStore& store)
{
    // A configuration file that is there but cannot be used is not replaced unasked.
    if (const std::string question = LoadFailureQuestion(store);
        !question.empty() && ShowMessage(nullptr, ToQString(question), QStringLiteral("Tessvale"),
                                         kMbYesNo | kMbIconWarning) != kAnswerYes) {
        return false;
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
    return true;
}

// What another start of the program asks of this one.
void ConnectInstances(InstanceServer& instances, CTessvaleDlg& window)
{
    QObject::connect(&instances, &InstanceServer::ShowRequested, &window, &CTessvaleDlg::ShowFromTray);
    QObject::connect(&instances, &InstanceServer::CloseRequested, &window, &CTessvaleDlg::CloseInstance);
    QObject::connect(&instances, &InstanceServer::NewVersionMenuItemRequested, &window,
                     &CTessvaleDlg::AddNewVersionMenuItem);
}

int RunMainWindow(int argc, char** argv)
{
    if (!HasDisplay()) {
        SayOnStderr(std::string("tessvale: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
                                "set)\n") +
                    kNoWindowHint);
        return 1;
    }
    g_previousMessageHandler = qInstallMessageHandler(OnQtMessage);
    g_openingDisplay = true;
    QApplication application(argc, argv);
    g_openingDisplay = false;
    SetUpApplication();

    InstanceServer instances;
    if (!instances.Listen()) {
        // Another copy started at the same moment and answered the request to show.
        return 0;
    }

    ConfigStore store;
    store.Load(ConfigFilePath());
    if (!ConfigurationAccepted(store)) {
        return 1;
    }
    ScanStack scanning(store);
    CServiceAutoScan& service = scanning.Service();
    SystemEnvironment environment(store, service.MaxWorkers());
    DialogPrompts prompts(&store);
    CTessvaleDlg window(service, environment, prompts);
    service.SetEventPump(window.EventPump());
    ConnectInstances(instances, window);
    window.RememberLayoutIn(QString::fromStdString(DataFolder()) + QStringLiteral("/Window.ini"));
    // Not exec(): hiding into the tray would end a dialog's exec() and the program.
    window.Run();
    return 0;
}

// The vendor listing of the data folder; without it the vendor column stays empty.
std::unique_ptr<VendorTable> LoadedVendors()
{
    auto vendors = std::make_unique<VendorTable>();
    vendors->Load(DefaultVendorListingPath(DataFolder()));
    return vendors;
}

} // namespace

ScanStack::ScanStack(ConfigStore& store)
    : m_vendors(LoadedVendors()), m_probe(MakeSystemProbe(store)), m_inventory(MakeSystemInventory(store)),
      m_service(m_pool, ScanSettingsFrom(store), *m_probe, *m_vendors, m_inventory.get())
{}

int CTessvaleApp::InitInstance(int argc, char** argv)
{
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

    // The command line's own answers (--help, --scan, the lookups) were given by
    // tessvale, which starts this program for everything else.
    const std::string commandLine = CommandLineText(argc, argv);
    // "-uninstall" closes the running copy as its OK command would, and ends.
    if (commandLine == "-uninstall") {
        SendToRunningInstance(InstanceRequest::Close);
        return 0;
    }
    // A running copy shows its window (also from the tray); this start ends there.
    if (SendToRunningInstance(InstanceRequest::Show)) {
        return 0;
    }
    return RunMainWindow(argc, argv);
}

} // namespace tessvale
