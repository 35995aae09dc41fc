// The main window's Save and Save As over a real configuration store: a failed write
// says why and reports nothing as saved; names are matched exactly.

#include <QComboBox>
#include <QDir>
#include <QTest>

#include "app/logic/command_ids.h"
#include "app/tessvale_dlg.h"
#include "fakes/fake_scan_service.h"
#include "fakes/fake_window_environment.h"
#include "fakes/recording_prompts.h"
#include "fakes/temp_folder.h"
#include "fakes/worker_calls.h"
#include "store/config_store.h"

using namespace tessvale;

namespace {

// Adapters from the fake, stored results and the Save command through the real store.
class StoreBackedEnvironment : public FakeWindowEnvironment
{
public:
    explicit StoreBackedEnvironment(ConfigStore& store) : m_store(store) {}

    std::vector<StoredResultEntry> StoredResults() override
    {
        std::vector<ConfigRecord> records;
        m_store.ListRecords(MakeResultRecord(), records);
        std::vector<StoredResultEntry> entries;
        entries.reserve(records.size());
        for (const ConfigRecord& record : records) {
            entries.push_back({record.id, record.Value(kResultName), record.Value(kResultIpRange)});
        }
        return entries;
    }

    std::uint32_t StoreScan(StoreScanUi& ui, std::uint32_t resultId, const std::string& first, const std::string& last,
                            const std::vector<StoredHost>& rows) override
    {
        return tessvale::StoreScan(m_store, ui, resultId, first, last, rows);
    }

private:
    ConfigStore& m_store;
};

HostRecord Host(const std::string& ip)
{
    HostRecord record;
    record.ip = ip;
    record.mac = "00:11:22:33:44:55";
    record.hostName = "PC";
    return record;
}

std::vector<ConfigRecord> Items(ConfigStore& store, std::uint32_t resultId)
{
    std::vector<ConfigRecord> all;
    store.ListRecords(MakeItemRecord(), all);
    std::vector<ConfigRecord> mine;
    for (const ConfigRecord& item : all) {
        if (item.Value(kItemResultId) == std::to_string(resultId)) {
            mine.push_back(item);
        }
    }
    return mine;
}

} // namespace

class MainWindowSaveTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::TempFolder> folder;
    std::unique_ptr<ConfigStore> store;
    std::unique_ptr<StoreBackedEnvironment> env;
    FakeScanService service;
    RecordingPrompts prompts;
    std::unique_ptr<CTessvaleDlg> window;

    QComboBox* Chooser() { return window->findChild<QComboBox*>(QStringLiteral("resultComboBox")); }

    void FoundFromWorker(const HostRecord& record) { test::HostFoundFromWorker(*window, record); }

    QString Path() const { return QString::fromStdString(folder->File("Tessvale.xml")); }

private slots:
    void init()
    {
        folder = std::make_unique<test::TempFolder>();
        store = std::make_unique<ConfigStore>();
        store->Load(folder->File("Tessvale.xml"));
        env = std::make_unique<StoreBackedEnvironment>(*store);
        env->adapters = {{"198.18.0.1", "eth0"}};
        env->ranges["198.18.0.1"] = {"198.18.0.1", "198.18.0.254"};
        env->settings["AutoUpdate"] = "0";
        prompts = RecordingPrompts();
        window = std::make_unique<CTessvaleDlg>(service, *env, prompts);
        window->show();
    }

    void cleanup()
    {
        window.reset();
        env.reset();
        store.reset();
        folder.reset();
    }

    void saveUnderANameDifferingOnlyInCaseKeepsBothResults()
    {
        FoundFromWorker(Host("198.18.0.7"));
        prompts.resultName = QStringLiteral("LAB100");
        window->OnCommand(kIdSave);
        Chooser()->setCurrentIndex(0); // the adapter again: a new result
        FoundFromWorker(Host("198.18.0.8"));
        prompts.resultName = QStringLiteral("lab100");
        window->OnCommand(kIdSave);
        QCOMPARE(Chooser()->currentText(), QStringLiteral("lab100"));
        const std::uint32_t lowerId = Chooser()->currentData().toUInt();

        // The next Save goes into "lab100", not into "LAB100".
        FoundFromWorker(Host("198.18.0.9"));
        window->OnCommand(kIdSave);
        const std::vector<StoredResultEntry> results = env->StoredResults();
        QCOMPARE(results.size(), std::size_t(2));
        QCOMPARE(results[0].name, std::string("LAB100"));
        QCOMPARE(Items(*store, results[0].id).size(), std::size_t(1));
        QCOMPARE(Items(*store, results[0].id)[0].Value(kItemIp), std::string("198.18.0.7"));
        QCOMPARE(results[1].id, lowerId);
        QCOMPARE(Items(*store, lowerId).size(), std::size_t(2));
    }

    void failedSaveSaysWhyAndNothingIsReportedSaved()
    {
        QVERIFY(QDir().mkpath(Path())); // a folder where the file should be
        FoundFromWorker(Host("198.18.0.7"));
        prompts.resultName = QStringLiteral("Lab");
        window->OnCommand(kIdSave);
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY(prompts.messages[0].startsWith(QStringLiteral("The result could not be saved.\n")));
        QVERIFY(prompts.messages[0].contains(Path()));
        QVERIFY(!window->StatusText().contains(QStringLiteral("Saved")));
        // The scan stays in the list and, as a result in memory, in the chooser.
        QCOMPARE(Chooser()->currentText(), QStringLiteral("Lab"));

        // Once the way is clear, Save writes it without asking for a name again.
        QVERIFY(QDir(Path()).removeRecursively());
        window->OnCommand(kIdSave);
        QCOMPARE(prompts.proposedNames.size(), 1);
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Saved successfully."));
        ConfigStore reloaded;
        QVERIFY(reloaded.Load(Path().toStdString()));
        QCOMPARE(Items(reloaded, 1).size(), std::size_t(1));
    }

    void failedExportSaysWhy()
    {
        const QString target = QString::fromStdString(folder->File("scan.txt"));
        QVERIFY(QDir().mkpath(target));
        prompts.exportChoice = ExportChoice{target, ExportType::Txt};
        prompts.answers = {true}; // overwrite
        window->OnCommand(kIdSaveAs);
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY(prompts.messages[0].startsWith(QStringLiteral("The file could not be written.\n")));
        QVERIFY(prompts.messages[0].contains(target));
    }
};

QTEST_MAIN(MainWindowSaveTest)
#include "main_window_save_test.moc"
