// Runs the main window over the real engine and network, drives it like a user and
// either saves screenshots or checks the list against the test network's host table.
//
//   window_driver shots FOLDER          screenshots during and after a scan, of the
//                                       About box, the save prompt and Properties
//   window_driver check TESTNET_FOLDER  exit 0 when the scan listed exactly the hosts
//                                       of hosts.txt with their MACs and names
//
// Run inside the scanner's network namespace; the chooser's first entry (the scanner's
// own adapter) gives the range.
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QTreeView>

#include "app/about_dlg.h"
#include "app/chart_window.h"
#include "app/language_switch.h"
#include "app/qt_translations.h"
#include "app/system_environment.h"
#include "app/tessvale_dlg.h"
#include "app/update_run_ui.h"
#include "app/window_prompts.h"
#include "common/localization.h"
#include "common/paths.h"
#include "common/update_check.h"
#include "dialogs/attribute_dlg.h"
#include "dialogs/dlg_prompt.h"
#include "dialogs/favorites_manage.h"
#include "dialogs/setting_dlg.h"
#include "scan/host_inventory_query.h"
#include "scan/job_pool.h"
#include "scan/service_auto_scan.h"
#include "scan/system_probe.h"
#include "scan/vendor_table.h"
#include "store/config_store.h"

using namespace tessvale;

namespace {

void Wait(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

bool Save(QWidget* widget, const QString& folder, const char* name)
{
    widget->show();
    widget->raise();
    Wait(400);
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    const bool saved = widget->grab().save(path);
    std::fprintf(stderr, "window_driver: %s %s\n", saved ? "saved" : "could not save", qPrintable(path));
    return saved;
}

// Photographs the modal box that `open` shows (a message box runs its own loop) and
// closes it.
void SaveModal(const QString& folder, const char* name, const std::function<void()>& open)
{
    QTimer::singleShot(800, qApp, [folder, name] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            const QString path = folder + QLatin1Char('/') + QLatin1String(name);
            const bool saved = box->grab().save(path);
            std::fprintf(stderr, "window_driver: %s %s\n", saved ? "saved" : "could not save", qPrintable(path));
            box->close();
        }
    });
    open();
}

// The real dialogs, except that the end-of-scan questions are recorded (and, for
// screenshots, the save prompt photographed) instead of waiting for a user.
class DriverPrompts : public DialogPrompts
{
public:
    explicit DriverPrompts(QString folder) : m_folder(std::move(folder)) {}

    bool RunSavePrompt(QWidget* owner, bool hostNameLink, bool systemInfoLink) override
    {
        ++savePrompts;
        if (!m_folder.isEmpty()) {
            CDlgPrompt prompt(hostNameLink, systemInfoLink, owner);
            Save(&prompt, m_folder, "save-prompt.png");
        }
        return false;
    }
    bool AskYesNo(QWidget*, const QString& text) override
    {
        questions.push_back(text);
        return false;
    }

    int savePrompts = 0;
    std::vector<QString> questions;

private:
    QString m_folder;
};

struct ExpectedHost
{
    std::string mac;
    std::string name;
};

int Check(const CTessvaleDlg& window, const std::string& testnet)
{
    std::map<std::string, ExpectedHost> expected;
    std::ifstream hosts(testnet + "/hosts.txt");
    std::string line;
    while (std::getline(hosts, line)) {
        std::istringstream fields(line);
        std::string ip, mac, name, kind;
        if (fields >> ip >> mac >> name >> kind) {
            expected[ip] = {mac, kind == "netbios" ? name : ""};
        }
    }
    int failures = 0;
    const auto fail = [&](const std::string& what) {
        std::fprintf(stderr, "window_driver: %s\n", what.c_str());
        ++failures;
    };
    if (expected.empty()) {
        fail("no hosts in " + testnet + "/hosts.txt");
    }
    const ResultList& list = window.Results();
    std::uint32_t previous = 0;
    for (const ResultRow& row : list.Rows()) {
        if (row.address < previous) {
            fail("rows out of address order at " + row.Ip());
        }
        previous = row.address;
        const auto it = expected.find(row.Ip());
        if (it == expected.end()) {
            // The scanner's own address may answer ARP from its own table; nothing else.
            if (row.text[kColumnHostName] != "-" || row.Ip().empty()) {
                fail("unexpected row " + row.Ip());
            }
            continue;
        }
        if (row.image != kImageAnswered) {
            fail(row.Ip() + " is not marked answered");
        }
        if (row.text[kColumnMac] != it->second.mac) {
            fail(row.Ip() + " has MAC " + row.text[kColumnMac] + ", expected " + it->second.mac);
        }
        if (!it->second.name.empty() && row.text[kColumnHostName] != it->second.name) {
            fail(row.Ip() + " has name " + row.text[kColumnHostName] + ", expected " + it->second.name);
        }
        expected.erase(it);
    }
    for (const auto& [ip, host] : expected) {
        fail("host " + ip + " is missing from the list");
    }
    if (list.Online() != list.Count()) {
        fail("online count " + std::to_string(list.Online()) + " differs from " + std::to_string(list.Count()) +
             " rows");
    }
    std::fprintf(stderr, "window_driver: %d rows, status \"%s\", %d failures\n", list.Count(),
                 qPrintable(window.StatusText()), failures);
    return failures == 0 ? 0 : 1;
}

} // namespace

// The About box, Properties, Settings and Favorites dialogs, a chart failure and the
// update run's question, over the window after its scan.
void SaveDialogShots(CTessvaleDlg& window, ConfigStore& store, int maxWorkers, const QString& folder, int argc,
                     char** argv)
{
    CAboutDlg about(&window);
    Save(&about, folder, "about.png");
    about.hide();
    if (window.Results().Count() > 0) {
        const HostRecord first = RowToRecord(window.Results().Row(0));
        store.SetNote(first.mac, "Printer, 2nd floor (asset 4711)");
        CAttribute properties(&window, &store);
        properties.Fill(first);
        Save(&properties, folder, "properties.png");
        properties.hide();
    }
    SettingsDialogServices settingsServices;
    AddLanguageServices(settingsServices, &window);
    CSettingDlg settings(store, std::move(settingsServices), maxWorkers, &window);
    Save(&settings, folder, "settings.png");
    settings.hide();
    for (const auto& [name, range] :
         {std::pair{"Office", "198.18.60.1-198.18.60.254"}, std::pair{"Lab printers", "198.18.61.1-198.18.61.40"}}) {
        ConfigRecord result = MakeResultRecord();
        result.SetValue(kResultName, name);
        result.SetValue(kResultIpRange, range);
        store.AddRecord(result);
    }
    CFavoritesManage favorites(store, FavoritesDialogServices{}, &window);
    Save(&favorites, folder, "favorites.png");
    favorites.hide();
    // A failure of the chart and the update run's question, as the user sees them.
    ChartWindowMessages chartMessages(&window);
    SaveModal(folder, "chart-error.png",
              [&chartMessages] { chartMessages.ShowChartMessage(ChartMessageKind::Localised, "SaveError!"); });
    QtUpdateUi updateUi(argc, argv);
    SaveModal(folder, "update-question.png", [&updateUi] {
        updateUi.AskYesNo(std::string(kProductName) + " " + Translate(kQuestionUpgrade),
                          Translate(std::string(kProductName) + " Update"));
    });
}

int main(int argc, char** argv)
{
    if (argc != 3 || (std::string(argv[1]) != "shots" && std::string(argv[1]) != "check")) {
        std::fprintf(stderr, "usage: window_driver shots FOLDER | check TESTNET_FOLDER\n");
        return 2;
    }
    const bool shots = std::string(argv[1]) == "shots";
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallQtTranslationsForCurrentLanguage(); // as the program does at start-up

    ConfigStore store;
    store.Load(ConfigFilePath());
    VendorTable vendors;
    vendors.Load(DefaultVendorListingPath(DataFolder()));
    const auto probe = MakeSystemProbe(store);
    const auto inventory = MakeSystemInventory(store);
    JobPool pool;
    CServiceAutoScan service(pool, store, *probe, vendors, inventory.get());
    SystemEnvironment environment(store);
    DriverPrompts prompts(shots ? QString::fromLocal8Bit(argv[2]) : QString());
    CTessvaleDlg window(service, environment, prompts);
    service.SetEventPump(window.EventPump());
    window.show();
    Wait(300);

    const QString folder = QString::fromLocal8Bit(argv[2]);
    window.OnCommand(32771); // Start
    if (shots) {
        Wait(1500);
        Save(&window, folder, "main-during-scan.png");
    }
    QElapsedTimer elapsed;
    elapsed.start();
    while (window.State().Busy() && elapsed.elapsed() < 120000) {
        Wait(50);
    }
    Wait(500); // the end-of-scan questions run queued
    if (window.State().Busy()) {
        std::fprintf(stderr, "window_driver: the scan did not finish\n");
        return 1;
    }
    if (!shots) {
        const int result = Check(window, argv[2]);
        if (prompts.savePrompts != 1) {
            std::fprintf(stderr, "window_driver: save prompt shown %d times\n", prompts.savePrompts);
            return 1;
        }
        return result;
    }
    auto* view = window.findChild<QTreeView*>(QStringLiteral("resultListView"));
    if (view->model()->rowCount() > 0) {
        view->selectionModel()->select(view->model()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    Save(&window, folder, "main-after-scan.png");
    SaveDialogShots(window, store, service.MaxWorkers(), folder, argc, argv);
    window.OnCommand(1);
    return 0;
}
