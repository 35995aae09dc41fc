// Runs the main window over the real engine and network, drives it like a user and
// either saves screenshots or checks the list against the test network's host table.
//
//   window_driver shots FOLDER          screenshots during and after a scan, of the
//                                       About box, the save prompt and Properties
//   window_driver check TESTNET_FOLDER  exit 0 when the scan listed exactly the hosts
//                                       of hosts.txt with their MACs and names
//   window_driver autoscan-changes TESTNET_FOLDER STEP_FOLDER
//                                       two AutoScan repetitions with a change of the
//                                       network between them; exit 0 when the second
//                                       shows exactly the expected changes in its Change
//                                       column and in changes.csv of the data folder
//
// Run inside the scanner's network namespace; the chooser's first entry (the scanner's
// own adapter) gives the range.
//
// The steps of autoscan-changes: the driver turns AutoScan on (every minute), checks the
// first repetition against hosts.txt, holds the repetition timer and creates
// STEP_FOLDER/baseline. The caller changes the network, writes the changes it expects
// to STEP_FOLDER/expected-changes.txt (one line per change, tab-separated: IP, change
// word, MAC, old MAC; "-" for an empty field; a conflict's two MACs in either order)
// and then creates STEP_FOLDER/go. The driver then lets the repetition timer fire once.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QTreeView>

#include "app/about_dlg.h"
#include "app/chart_window.h"
#include "app/language_switch.h"
#include "app/logic/change_tracking.h"
#include "app/logic/command_ids.h"
#include "app/qt_translations.h"
#include "app/system_environment.h"
#include "app/tessvale_app.h"
#include "app/tessvale_dlg.h"
#include "app/update_run_ui.h"
#include "app/window_prompts.h"
#include "common/checked_output.h"
#include "common/localization.h"
#include "common/paths.h"
#include "common/update_check.h"
#include "dialogs/attribute_dlg.h"
#include "dialogs/dlg_prompt.h"
#include "dialogs/favorites_manage.h"
#include "dialogs/qt_text.h"
#include "dialogs/setting_dlg.h"
#include "scan/host_inventory_query.h"
#include "scan/job_pool.h"
#include "scan/linux/inventory_jobs.h"
#include "scan/service_auto_scan.h"
#include "scan/vendor_table.h"
#include "store/config_record.h"
#include "store/config_store.h"
#include "store/scan_settings.h"

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
    IgnoreResult(std::fprintf(stderr, "window_driver: %s %s\n", saved ? "saved" : "could not save", qPrintable(path)));
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
            IgnoreResult(
                std::fprintf(stderr, "window_driver: %s %s\n", saved ? "saved" : "could not save", qPrintable(path)));
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

    bool RunSavePrompt(QWidget* owner, bool hostNameLink, bool systemInfoLink, bool& dontAskAgain) override
    {
        dontAskAgain = false;
        ++savePrompts;
        if (!m_folder.isEmpty()) {
            CDlgPrompt prompt(hostNameLink, systemInfoLink, owner, SavePromptServices());
            Save(&prompt, m_folder, "save-prompt.png");
        }
        return false;
    }
    bool AskYesNo(QWidget*, const QString& text) override
    {
        questions.push_back(text);
        return false;
    }
    bool AskYesNoOnce(QWidget* owner, const QString& text, bool& dontAskAgain) override
    {
        dontAskAgain = false;
        return AskYesNo(owner, text);
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
        IgnoreResult(std::fprintf(stderr, "window_driver: %s\n", what.c_str()));
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
    IgnoreResult(std::fprintf(stderr, "window_driver: %d rows, status \"%s\", %d failures\n", list.Count(),
                              qPrintable(window.StatusText()), failures));
    return failures == 0 ? 0 : 1;
}

// The real window; the driver counts the scans the engine starts and finishes in it.
class CountingWindow : public CTessvaleDlg
{
public:
    using CTessvaleDlg::CTessvaleDlg;

    void ScanStarted(int total) override
    {
        CTessvaleDlg::ScanStarted(total);
        ++started;
    }
    // Returns once the window has handled the end (the base hands it to its thread).
    void ScanFinished() override
    {
        CTessvaleDlg::ScanFinished();
        ++finished;
    }

    std::atomic<int> started{0};
    std::atomic<int> finished{0};
};

// Serves the window until `done` holds or `ms` have passed; whether it held.
bool WaitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > ms) {
            return false;
        }
        Wait(50);
    }
    return true;
}

struct ExpectedChange
{
    std::string change, mac, oldMac;
};

// STEP_FOLDER/expected-changes.txt by IP: "IP<TAB>change<TAB>MAC<TAB>old MAC", "-" empty.
std::map<std::string, ExpectedChange> ReadExpectedChanges(const std::string& path)
{
    std::map<std::string, ExpectedChange> expected;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, '\t')) {
            fields.push_back(field == "-" ? std::string() : field);
        }
        if (fields.size() == 4) {
            expected[fields[0]] = {fields[1], fields[2], fields[3]};
        }
    }
    return expected;
}

// The fields of one CSV line whose fields are all quoted ("a","b ""c""").
std::vector<std::string> QuotedFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (at < line.size() && line[at] == '"') {
        std::string field;
        ++at;
        while (at < line.size() && !(line[at] == '"' && (at + 1 == line.size() || line[at + 1] != '"'))) {
            field += line[at];
            at += line[at] == '"' ? 2 : 1;
        }
        fields.push_back(field);
        at += 2; // the closing quote and the comma
    }
    return fields;
}

// Whether the MACs of a change are those expected; a conflict's two in either order.
bool SameMacs(const ExpectedChange& expected, const std::string& mac, const std::string& oldMac)
{
    if (expected.mac == mac && expected.oldMac == oldMac) {
        return true;
    }
    return expected.change == ChangeWord(HostChangeKind::Conflict) && expected.mac == oldMac && expected.oldMac == mac;
}

// Every row's Change column holds the expected change of its address and nothing for
// the others; the Changed filter shows exactly the changed rows.
int CheckChangeColumn(CTessvaleDlg& window, const std::map<std::string, ExpectedChange>& expected)
{
    int failures = 0;
    const auto fail = [&failures](const std::string& what) {
        IgnoreResult(std::fprintf(stderr, "window_driver: %s\n", what.c_str()));
        ++failures;
    };
    auto* view = window.findChild<QTreeView*>(QStringLiteral("resultListView"));
    const QAbstractItemModel* model = view->model();
    if (view->isColumnHidden(kColumnChange)) {
        fail("the Change column is hidden after a compared repetition");
    }
    std::map<std::string, ExpectedChange> missing = expected;
    window.SetFilter(ListFilter::Changed);
    for (int row = 0; row < model->rowCount(); ++row) {
        const std::string ip = ToStdString(model->index(row, kColumnIp).data().toString());
        const std::string change = ToStdString(model->index(row, kColumnChange).data().toString());
        const auto it = expected.find(ip);
        const std::string wanted = it != expected.end() ? it->second.change : std::string();
        if (change != wanted) {
            std::string what = ip;
            what += " shows the change '" + change;
            what += "', expected '" + wanted + "'";
            fail(what);
        }
        if (view->isRowHidden(row, QModelIndex()) == (it != expected.end())) {
            fail(ip + (it != expected.end() ? " is hidden" : " is shown") + " under the Changed filter");
        }
        missing.erase(ip);
    }
    window.SetFilter(ListFilter::All);
    for (const auto& [ip, change] : missing) {
        fail("no row for " + ip + " (" + change.change + ")");
    }
    return failures;
}

// changes.csv holds its header and exactly the expected changes, one line each.
int CheckChangeLog(const std::string& path, const std::map<std::string, ExpectedChange>& expected)
{
    int failures = 0;
    const auto fail = [&failures](const std::string& what) {
        IgnoreResult(std::fprintf(stderr, "window_driver: %s\n", what.c_str()));
        ++failures;
    };
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            fail("the change log's last line has no CR LF end");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    if (lines.empty() || lines[0] + "\r\n" != FormatChangeLines({}, {}, {}, true)) {
        fail("the change log " + path + " does not start with its header");
        return failures + 1;
    }
    std::map<std::string, ExpectedChange> missing = expected;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = QuotedFields(lines[i]);
        const auto it = fields.size() == 7 ? missing.find(fields[1]) : missing.end();
        if (it == missing.end() || fields[5] != it->second.change || !SameMacs(it->second, fields[2], fields[3])) {
            fail("unexpected change log line " + lines[i]);
            continue;
        }
        if (!QDateTime::fromString(QString::fromStdString(fields[0]), Qt::ISODate).isValid()) {
            fail("the change log line of " + fields[1] + " has no ISO 8601 time");
        }
        missing.erase(it);
    }
    for (const auto& [ip, change] : missing) {
        fail("the change log lacks " + ip + " (" + change.change + ")");
    }
    return failures;
}

// The first AutoScan repetition lists the test network and compares with nothing.
int CheckBaselineRepetition(CountingWindow& window, const std::string& testnet, const std::string& log)
{
    int failures = Check(window, testnet);
    if (!window.Changes().empty() || std::filesystem::exists(log)) {
        IgnoreResult(std::fprintf(stderr, "window_driver: the first repetition reported changes\n"));
        ++failures;
    }
    auto* view = window.findChild<QTreeView*>(QStringLiteral("resultListView"));
    if (!view->isColumnHidden(kColumnChange)) {
        IgnoreResult(std::fprintf(stderr, "window_driver: the Change column is shown without a baseline\n"));
        ++failures;
    }
    return failures;
}

int AutoScanChanges(CountingWindow& window, const std::string& testnet, const std::string& steps)
{
    const std::string log = DataFolder() + "/changes.csv";
    auto* timer = window.findChild<QTimer*>(QStringLiteral("autoScanTimer"));
    window.OnCommand(kIdAutoScan);
    if (!timer->isActive() || !WaitFor([&window] { return window.finished >= 1; }, 120000)) {
        IgnoreResult(std::fprintf(stderr, "window_driver: the first AutoScan repetition did not run to its end\n"));
        return 1;
    }
    // The next repetition waits until the network has changed.
    timer->stop();
    int failures = CheckBaselineRepetition(window, testnet, log);
    if (window.started != 1) {
        IgnoreResult(std::fprintf(stderr, "window_driver: the second repetition started before the network changed\n"));
        return 1;
    }
    std::ofstream(steps + "/baseline").put('\n');
    if (!WaitFor([&steps] { return std::filesystem::exists(steps + "/go"); }, 120000)) {
        IgnoreResult(std::fprintf(stderr, "window_driver: no %s/go\n", steps.c_str()));
        return 1;
    }
    const std::map<std::string, ExpectedChange> expected = ReadExpectedChanges(steps + "/expected-changes.txt");
    // The repetition timer fires once, as it would after the AutoScan period.
    timer->setSingleShot(true);
    timer->start(100);
    if (!WaitFor([&window] { return window.finished >= 2; }, 120000)) {
        IgnoreResult(std::fprintf(stderr, "window_driver: the second AutoScan repetition did not run to its end\n"));
        return 1;
    }
    Wait(300);
    if (window.started != 2 || !window.State().AutoScan()) {
        IgnoreResult(std::fprintf(stderr, "window_driver: %d scans started, AutoScan %s\n", window.started.load(),
                                  window.State().AutoScan() ? "on" : "off"));
        ++failures;
    }
    if (expected.empty()) {
        IgnoreResult(
            std::fprintf(stderr, "window_driver: no changes expected in %s/expected-changes.txt\n", steps.c_str()));
        ++failures;
    }
    failures += CheckChangeColumn(window, expected);
    failures += CheckChangeLog(log, expected);
    IgnoreResult(std::fprintf(stderr, "window_driver: %zu changes, %d rows, status \"%s\", %d failures\n",
                              window.Changes().size(), window.Results().Count(), qPrintable(window.StatusText()),
                              failures));
    window.OnCommand(kIdStop);
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

namespace {

// Start, then the check of the list against the test network and of the one save prompt.
int RunCheck(CTessvaleDlg& window, const DriverPrompts& prompts, const std::string& testnet)
{
    window.OnCommand(kIdStart);
    if (!WaitFor([&window] { return !window.State().Busy(); }, 120000)) {
        IgnoreResult(std::fprintf(stderr, "window_driver: the scan did not finish\n"));
        return 1;
    }
    Wait(500); // the end-of-scan questions run queued
    const int result = Check(window, testnet);
    if (prompts.savePrompts != 1) {
        IgnoreResult(std::fprintf(stderr, "window_driver: save prompt shown %d times\n", prompts.savePrompts));
        return 1;
    }
    return result;
}

// Start, with pictures during and after the scan and of the dialogs.
int RunShots(CTessvaleDlg& window, ConfigStore& store, int maxWorkers, int argc, char** argv)
{
    const QString folder = QString::fromLocal8Bit(argv[2]);
    window.OnCommand(kIdStart);
    Wait(1500);
    Save(&window, folder, "main-during-scan.png");
    if (!WaitFor([&window] { return !window.State().Busy(); }, 120000)) {
        IgnoreResult(std::fprintf(stderr, "window_driver: the scan did not finish\n"));
        return 1;
    }
    Wait(500); // the end-of-scan questions run queued
    auto* view = window.findChild<QTreeView*>(QStringLiteral("resultListView"));
    if (view->model()->rowCount() > 0) {
        view->selectionModel()->select(view->model()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    Save(&window, folder, "main-after-scan.png");
    // A second scan compares with the first: the Change column shows.
    window.OnCommand(kIdStart);
    if (!WaitFor([&window] { return !window.State().Busy(); }, 120000)) {
        IgnoreResult(std::fprintf(stderr, "window_driver: the second scan did not finish\n"));
        return 1;
    }
    Wait(500);
    Save(&window, folder, "main-compared.png");
    // The Actions menu with the host actions, as the list's context menu opens it.
    if (view->model()->rowCount() > 0) {
        view->selectionModel()->select(view->model()->index(0, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    if (auto* actions = window.findChild<QMenu*>(QStringLiteral("actionsMenu"))) {
        actions->popup(view->viewport()->mapToGlobal(QPoint(40, 30)));
        Wait(400);
        const QString path = folder + QStringLiteral("/actions-menu.png");
        IgnoreResult(std::fprintf(stderr, "window_driver: %s %s\n",
                                  actions->grab().save(path) ? "saved" : "could not save", qPrintable(path)));
        actions->hide();
    }
    SaveDialogShots(window, store, maxWorkers, folder, argc, argv);
    window.OnCommand(kIdOk);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The inventory's children are this program started again.
    if (const std::optional<int> code = RunChildJobIfAsked(argc, argv)) {
        return *code;
    }
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!(argc == 3 && (mode == "shots" || mode == "check")) && !(argc == 4 && mode == "autoscan-changes")) {
        IgnoreResult(std::fprintf(stderr, "usage: window_driver shots FOLDER | check TESTNET_FOLDER | autoscan-changes "
                                          "TESTNET_FOLDER STEP_FOLDER\n"));
        return 2;
    }
    const bool shots = mode == "shots";
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallQtTranslationsForCurrentLanguage(); // as the program does at start-up

    ConfigStore store;
    store.Load(ConfigFilePath());
    if (mode == "autoscan-changes") {
        ConfigRecord settings = store.LoadSettings();
        settings.SetValue(kAutoscanSpanSeconds, "1"); // AutoScan every minute
        settings.SetValue(kAutoUpdate, "0");          // no update run of this program beside the test
        if (!store.SaveSettings(settings)) {
            IgnoreResult(std::fprintf(stderr, "window_driver: the AutoScan setting could not be saved\n"));
            return 1;
        }
    }
    ScanStack scanning(store);
    CServiceAutoScan& service = scanning.Service();
    SystemEnvironment environment(store);
    DriverPrompts prompts(shots ? QString::fromLocal8Bit(argv[2]) : QString());
    CountingWindow window(service, environment, prompts);
    service.SetEventPump(window.EventPump());
    window.show();
    Wait(300);
    if (mode == "autoscan-changes") {
        return AutoScanChanges(window, argv[2], argv[3]);
    }
    return shots ? RunShots(window, store, service.MaxWorkers(), argc, argv) : RunCheck(window, prompts, argv[2]);
}
