// The main window keeps the user's work and the typed ranges: replacing an unsaved list
// asks first, Enter on a row opens its properties, and a range is scanned only as typed.
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "app/desktop_open.h"
#include "app/tessvale_dlg.h"
#include "dialogs/address_edit.h"
#include "fakes/main_window_fixture.h"
#include "fakes/temp_folder.h"

using namespace tessvale;

namespace {

HostRecord Host(const std::string& ip)
{
    HostRecord record;
    record.ip = ip;
    record.mac = "00:11:22:33:44:" + ip.substr(ip.rfind('.') + 1);
    record.hostName = "PC";
    return record;
}

} // namespace

class MainWindowGuardTest : public QObject, private test::MainWindowFixture
{
    Q_OBJECT

private:
    QComboBox* Chooser() { return Find<QComboBox>("resultComboBox"); }

    // A range scan of seven hosts that ends unsaved (the save prompt answered No).
    void ScanSevenHosts()
    {
        std::vector<HostRecord> hosts;
        for (int i = 1; i <= 7; ++i) {
            hosts.push_back(Host("198.18.0." + std::to_string(i)));
        }
        ScanHosts(hosts);
        QCOMPARE(List()->model()->rowCount(), 7);
    }

private slots:
    void init()
    {
        ResetFakes();
        env.results = {{7, "Office", "10.1.0.1-10.1.0.20"}};
        env.hosts[7] = {{"10.1.0.5", "AA:AA:AA:AA:AA:05", "FILES", "-", "2048", "", "", "", "Acme"}};
        OpenWindow();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void cleanup() { window.reset(); }

    void lookupOverAnUnsavedResultAsksAndFollowsTheAnswer()
    {
        ScanSevenHosts();
        auto* lookup = Find<QLineEdit>("lookupLineEdit");
        lookup->setFocus();
        QTest::keyClicks(lookup, QStringLiteral("198.18.0.3"));
        // Cancel: no lookup, the seven rows and their counts stay.
        prompts.saveFirstAnswers = {UnsavedAnswer::Cancel};
        QTest::keyClick(lookup, Qt::Key_Return);
        QCOMPARE(prompts.saveFirstQuestions.size(), qsizetype(1));
        QCOMPARE(service.starts.size(), std::size_t(1));
        QCOMPARE(List()->model()->rowCount(), 7);
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Online:7/Offline:0."));
        // Closed without an answer: the same.
        prompts.saveFirstAnswers = {std::nullopt};
        QTest::keyClick(lookup, Qt::Key_Return);
        QCOMPARE(service.starts.size(), std::size_t(1));
        QCOMPARE(List()->model()->rowCount(), 7);
        // Save, with the name dialog cancelled: nothing stored, so no lookup either.
        prompts.saveFirstAnswers = {UnsavedAnswer::Save};
        prompts.resultName.clear();
        QTest::keyClick(lookup, Qt::Key_Return);
        QVERIFY(env.stored.empty());
        QCOMPARE(service.starts.size(), std::size_t(1));
        // Save with a name: stored first, then the lookup runs.
        prompts.saveFirstAnswers = {UnsavedAnswer::Save};
        prompts.resultName = QStringLiteral("Lab");
        QTest::keyClick(lookup, Qt::Key_Return);
        QCOMPARE(env.stored.size(), std::size_t(1));
        QCOMPARE(env.hosts[env.stored[0]].size(), std::size_t(7));
        QCOMPARE(service.starts.size(), std::size_t(2));
        QCOMPARE(service.starts[1].first, std::string("198.18.0.3"));
        QCOMPARE(List()->model()->rowCount(), 0);
        test::HostFoundFromWorker(*window, Host("198.18.0.3"));
        window->ScanFinished();
        QCoreApplication::processEvents();
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Online:1/Offline:0."));
        QCOMPARE(prompts.saveFirstQuestions.size(), qsizetype(4));
    }

    void anotherChooserEntryOverAnUnsavedResultAsks()
    {
        ScanSevenHosts();
        // Cancel: the chooser goes back to the entry shown, the rows stay.
        prompts.saveFirstAnswers = {UnsavedAnswer::Cancel};
        Chooser()->setCurrentIndex(1);
        QCOMPARE(prompts.saveFirstQuestions.size(), qsizetype(1));
        QCOMPARE(Chooser()->currentIndex(), 0);
        QCOMPARE(List()->model()->rowCount(), 7);
        QCOMPARE(First()->Text(), QStringLiteral("198.18.0.1"));
        // Save: stored under the shown entry's range, then the stored result is loaded.
        prompts.saveFirstAnswers = {UnsavedAnswer::Save};
        prompts.resultName = QStringLiteral("Lab");
        Chooser()->setCurrentIndex(1);
        QCOMPARE(env.stored.size(), std::size_t(1));
        QCOMPARE(env.results.back().ipRange, std::string("198.18.0.1-198.18.0.254"));
        QCOMPARE(Chooser()->currentText(), QStringLiteral("Office"));
        QCOMPARE(List()->model()->rowCount(), 1);
        QCOMPARE(First()->Text(), QStringLiteral("10.1.0.1"));
        // A stored result shown as stored loses nothing: no question.
        Chooser()->setCurrentIndex(2);
        QCOMPARE(prompts.saveFirstQuestions.size(), qsizetype(2));
        QCOMPARE(Chooser()->currentText(), QStringLiteral("Lab"));
        QCOMPARE(List()->model()->rowCount(), 7);
        // Discard after a row was deleted from it: the change is lost as asked.
        prompts.answers = {true};
        List()->selectionModel()->select(List()->model()->index(0, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        window->OnCommand(32794);
        prompts.saveFirstAnswers = {UnsavedAnswer::Discard};
        Chooser()->setCurrentIndex(0);
        QCOMPARE(prompts.saveFirstQuestions.size(), qsizetype(3));
        QCOMPARE(List()->model()->rowCount(), 0);
        QCOMPARE(env.hosts[env.stored[0]].size(), std::size_t(7));
    }

    void exportsWriteLinesToolsCanCountAndOfferWhatTheyWrite()
    {
        ScanSevenHosts();
        const test::TempFolder folder;
        const QString base = QString::fromStdString(folder.File("lab"));
        prompts.exportChoice = ExportChoice{base, ExportType::Csv};
        window->OnCommand(32773);
        const std::string csv = test::ReadFile(base.toStdString() + ".csv");
        QCOMPARE(std::count(csv.begin(), csv.end(), '\n'), 8L); // what wc -l counts: header and seven rows
        QCOMPARE(std::count(csv.begin(), csv.end(), '\r'), 8L);
        prompts.exportChoice = ExportChoice{base, ExportType::Json};
        window->OnCommand(32773);
        const std::string json = test::ReadFile(base.toStdString() + ".json");
        QCOMPARE(std::count(json.begin(), json.end(), '\n'), 7L);
        QVERIFY(json.rfind("{\"Status\":\"answered\",\"IP\":\"198.18.0.1\",\"MAC\":\"00:11:22:33:44:1\"", 0) == 0);
        QCOMPARE(prompts.exportOffers.back(), ExportOffer::List);
        // Export changes offers the one type it writes.
        prompts.exportChoice = ExportChoice{QString::fromStdString(folder.File("changes")), ExportType::Csv};
        window->OnCommand(32810);
        QCOMPARE(prompts.exportOffers.back(), ExportOffer::Changes);
        QVERIFY(QFile::exists(QString::fromStdString(folder.File("changes.csv"))));
    }

    void dontAskAgainTurnsEachEndOfScanQuestionOff()
    {
        // The first scan: both questions, the save prompt's box ticked.
        prompts.saveDontAsk = true;
        ScanSevenHosts();
        QCOMPARE(prompts.savePrompts.size(), std::size_t(1));
        QCOMPARE(prompts.questions, QStringList{QStringLiteral("Do you want to use Visio to draw the flow chart?")});
        QCOMPARE(env.settings["AskSaveAfterScan"], std::string("0"));
        QVERIFY(env.settings["AskChartAfterScan"].empty());
        // The second: the chart question only, and its box ticked with Yes: drawn once.
        prompts.dontAskAgainAnswer = true;
        prompts.answers = {true};
        prompts.saveFirstAnswers = {UnsavedAnswer::Discard};
        window->OnCommand(32771);
        test::HostFoundFromWorker(*window, Host("198.18.0.9"));
        window->ScanFinished();
        QCoreApplication::processEvents();
        QCOMPARE(prompts.savePrompts.size(), std::size_t(1));
        QCOMPARE(prompts.questions.size(), qsizetype(2));
        QCOMPARE(env.charts.size(), std::size_t(1));
        QCOMPARE(env.settings["AskChartAfterScan"], std::string("0"));
        // The third asks nothing; Save and the chart stay in the menus.
        window->OnCommand(32771);
        window->ScanFinished();
        QCoreApplication::processEvents();
        QCOMPARE(prompts.savePrompts.size(), std::size_t(1));
        QCOMPARE(prompts.questions.size(), qsizetype(2));
        // Settings turned them back on ("1"): asked again.
        env.settings["AskSaveAfterScan"] = "1";
        env.settings["AskChartAfterScan"] = "1";
        prompts.saveDontAsk = false;
        prompts.dontAskAgainAnswer = false;
        window->OnCommand(32771);
        window->ScanFinished();
        QCoreApplication::processEvents();
        QCOMPARE(prompts.savePrompts.size(), std::size_t(2));
        QCOMPARE(prompts.questions.size(), qsizetype(3));
    }

    void wakeOnLanSaysWhereThePacketWentAlsoForAGoneRow()
    {
        ScanSevenHosts();
        // A second scan without 198.18.0.2: its row stays as gone, with its MAC.
        window->OnCommand(32771);
        for (int i : {1, 3, 4, 5, 6, 7}) {
            test::HostFoundFromWorker(*window, Host("198.18.0." + std::to_string(i)));
        }
        window->ScanFinished();
        QCoreApplication::processEvents();
        QCOMPARE(List()->model()->index(1, 10).data().toString(), QStringLiteral("gone"));
        List()->selectionModel()->select(List()->model()->index(1, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window->OnCommand(32776);
        QCOMPARE(env.woken, std::vector<std::string>{"00:11:22:33:44:2"});
        QCOMPARE(prompts.messages.last(),
                 QStringLiteral("No magic packet was sent: \"00:11:22:33:44:2\" is no MAC address."));
        env.hosts[7][0].mac = "AA:AA:AA:AA:AA:05";
        prompts.saveFirstAnswers = {UnsavedAnswer::Discard};
        Chooser()->setCurrentIndex(1);
        List()->selectionModel()->select(List()->model()->index(0, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window->OnCommand(32776);
        QCOMPARE(prompts.messages.last(),
                 QStringLiteral("Magic packet sent to AA:AA:AA:AA:AA:05 via 255.255.255.255 port 4000."));
        QCOMPARE(window->StatusText(), prompts.messages.last());
    }

    void aLinkNoProgramCanOpenSaysSo()
    {
        // No launcher anywhere: no browser, no xdg-open on the path.
        const test::TempFolder folder;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", folder.File("bin").c_str());
        qunsetenv("BROWSER");
        ScanSevenHosts();
        List()->selectionModel()->select(List()->model()->index(0, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window->OnCommand(32781); // Web(http)
        window->OnCommand(32805); // Data Folder
        qputenv("PATH", path);
        QCOMPARE(prompts.messages.size(), qsizetype(2));
        QCOMPARE(prompts.messages[0], QStringLiteral("No program was found to open http://198.18.0.1."));
        QCOMPARE(prompts.messages[1], QStringLiteral("No program was found to open /tmp."));
    }

    void aFileNoProgramCanOpenReportsFailure()
    {
        const test::TempFolder folder;
        const std::string bin = folder.File("bin");
        QVERIFY(QDir().mkpath(QString::fromStdString(bin)));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.c_str());
        const auto opens = [&](int exitCode) {
            // A launcher that ends as xdg-open does when it found a program (0) or none (3).
            const std::string script = bin + "/xdg-open";
            test::WriteFile(script, "#!/bin/sh\nexit " + std::to_string(exitCode) + "\n");
            ::chmod(script.c_str(), 0755);
            bool failed = false;
            OpenFileWithDesktop(window.get(), QStringLiteral("/tmp/subnet.vsdx"), [&] { failed = true; });
            // The launcher ends at once; its end arrives as an event.
            QTest::qWait(300);
            return !failed;
        };
        const bool openedWithProgram = opens(0);
        const bool openedWithout = opens(3);
        ::unlink((bin + "/xdg-open").c_str());
        bool failedWithoutLauncher = false;
        OpenFileWithDesktop(window.get(), QStringLiteral("/tmp/subnet.vsdx"), [&] { failedWithoutLauncher = true; });
        qputenv("PATH", path);
        QVERIFY(openedWithProgram);
        QVERIFY(!openedWithout);
        QVERIFY(failedWithoutLauncher);
        QCOMPARE(ChartNotOpenedText(QStringLiteral("/data/subnet.vsdx")).left(44),
                 QStringLiteral("The network chart was saved as /data/subnet."));
    }

    void theFirstScanOfANewFavoriteMarksNothingNew()
    {
        env.results.push_back({8, "Lab", "198.18.0.1-198.18.0.20"}); // never scanned: no hosts
        window->RangesChanged();
        Chooser()->setCurrentIndex(2);
        QCOMPARE(Chooser()->currentText(), QStringLiteral("Lab"));
        window->OnCommand(32771);
        test::HostFoundFromWorker(*window, Host("198.18.0.3"));
        window->ScanFinished();
        QCoreApplication::processEvents();
        QVERIFY(window->Changes().empty());
        QVERIFY(List()->isColumnHidden(10));
    }

    void theStatusBarKeepsWhatItToldAfterSettings()
    {
        ScanSevenHosts();
        const QString counts = window->StatusText();
        QCOMPARE(counts, QStringLiteral("Status: Online:7/Offline:0."));
        window->OnCommand(32783); // Settings
        window->LanguageChanged();
        QCOMPARE(window->StatusText(), counts);
        // A delete question says what goes.
        prompts.answers = {false};
        List()->selectionModel()->select(List()->model()->index(0, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        List()->selectionModel()->select(List()->model()->index(1, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        window->OnCommand(32794);
        QCOMPARE(prompts.questions.last(),
                 QStringLiteral("Delete the 2 selected rows from the list? Stored results keep them."));
        prompts.answers = {false};
        window->OnCommand(32795);
        QCOMPARE(prompts.questions.last(),
                 QStringLiteral("Delete all 7 rows from the list? Stored results keep theirs."));
        QCOMPARE(List()->model()->rowCount(), 7);
    }

    void enterAndAltEnterOnARowOpenItsProperties()
    {
        ScanSevenHosts();
        List()->setFocus();
        List()->setCurrentIndex(List()->model()->index(2, 1));
        QTest::keyClick(List(), Qt::Key_Return);
        QCOMPARE(prompts.properties.size(), std::size_t(1));
        QCOMPARE(prompts.properties[0].ip, std::string("198.18.0.3"));
        QVERIFY(service.starts.size() == 1); // Enter ran no lookup and no scan
        QTest::keyClick(List(), Qt::Key_Return, Qt::AltModifier);
        QCOMPARE(prompts.properties.size(), std::size_t(2));
        QTest::keyClick(List(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(prompts.properties.size(), std::size_t(3));
        // The Actions menu's entry, with Alt+Enter as its key.
        auto* entry = Find<QAction>("propertiesMenuAction");
        QCOMPARE(entry->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Return));
        entry->trigger();
        QCOMPARE(prompts.properties.size(), std::size_t(4));
        QCOMPARE(prompts.properties[3].ip, std::string("198.18.0.3"));
        // No row: nothing opens.
        List()->clearSelection();
        List()->setCurrentIndex(QModelIndex());
        entry->trigger();
        QCOMPARE(prompts.properties.size(), std::size_t(4));
    }

    void aWholeAddressTypedOverTheFieldsIsTakenAsTyped()
    {
        // Click the first octet of 198.18.0.1, Ctrl+A, type a whole address.
        QTest::mouseClick(Octet(First(), 1), Qt::LeftButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        TypeAtFocus(QStringLiteral("198.18.40.50"));
        QCOMPARE(First()->Text(), QStringLiteral("198.18.40.50"));
        // The same without Ctrl+A, each field's text selected as the cursor reaches it.
        Octet(Last(), 1)->setFocus();
        Octet(Last(), 1)->selectAll();
        TypeAtFocus(QStringLiteral("198.18.40.200"));
        QCOMPARE(Last()->Text(), QStringLiteral("198.18.40.200"));
        // A '.' that does not follow an automatic step moves on as before.
        TypeInto(First(), QStringLiteral("10.1.100.7"));
        QCOMPARE(First()->Text(), QStringLiteral("10.1.100.7"));
        // Ctrl+A then Backspace empties the entry.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QVERIFY(First()->IsBlank());
    }

    void aRangeTypedOrPastedFillsBothEntries()
    {
        // Typed into the first entry, ended by leaving it or by Enter.
        struct Typed
        {
            QString typed;
            Qt::Key end;
            QString first;
            QString last;
        };
        const QList<Typed> typed = {
            {QStringLiteral("198.18.40.1-50"), Qt::Key_Tab, QStringLiteral("198.18.40.1"),
             QStringLiteral("198.18.40.50")},
            {QStringLiteral("198.18.41.7-198.18.42.9"), Qt::Key_Return, QStringLiteral("198.18.41.7"),
             QStringLiteral("198.18.42.9")},
        };
        Last()->Clear();
        for (const Typed& t : typed) {
            TypeInto(First(), t.typed);
            QTest::keyClick(QApplication::focusWidget(), t.end);
            QCOMPARE(First()->Text(), t.first);
            QCOMPARE(Last()->Text(), t.last);
        }
        QVERIFY(service.starts.empty()); // the Enter that ends the range starts nothing
        // Pasted over the whole selection of the last entry.
        QGuiApplication::clipboard()->setText(QStringLiteral("198.18.50.10 - 198.18.50.20"));
        Octet(Last(), 2)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(First()->Text(), QStringLiteral("198.18.50.10"));
        QCOMPARE(Last()->Text(), QStringLiteral("198.18.50.20"));
        // A range whose end is before its start is not taken.
        QGuiApplication::clipboard()->setText(QStringLiteral("198.18.60.50-198.18.60.5"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(First()->Text(), QStringLiteral("198.18.50.10"));
    }

    void startRefusesARangeItCannotScanAndSaysWhy()
    {
        struct Case
        {
            QString first; // typed key by key into the first entry
            QString last;
            QString message;
        };
        const QList<Case> cases = {
            {QStringLiteral("198.18.40.50"), QStringLiteral("198.18.40.5"),
             QStringLiteral("The last address is before the first: the range would be empty.")},
            {QStringLiteral("198.18.40."), QStringLiteral("198.18.40.9"),
             QStringLiteral("The first address is incomplete: enter all four numbers.")},
            {QStringLiteral("198.18.40.1"), QStringLiteral("198..40.9"),
             QStringLiteral("The last address is incomplete: enter all four numbers.")},
            {QStringLiteral("10.0.0.0"), QStringLiteral("11.0.0.0"),
             QStringLiteral("The range holds 16777217 addresses; at most 16777216 can be scanned at once.")},
        };
        for (const Case& c : cases) {
            for (auto [entry, text] : {std::pair{First(), c.first}, std::pair{Last(), c.last}}) {
                TypeInto(entry, text);
            }
            QTest::mouseClick(Find<QPushButton>("startButton"), Qt::LeftButton);
            QVERIFY2(service.starts.empty(), qPrintable(c.first));
            QCOMPARE(prompts.messages.last(), c.message);
            QVERIFY(Find<QAction>("startAction")->isEnabled()); // nothing half-started
        }
        // The incomplete entry says so.
        Last()->SetText(QStringLiteral("198.18.40.9"));
        TypeInto(First(), QStringLiteral("198.18.40."));
        QCOMPARE(First()->Fill(), AddressFill::Incomplete);
        QCOMPARE(First()->toolTip(), QStringLiteral("Incomplete address: every octet needs a number."));
        QVERIFY(First()->palette().color(QPalette::Base) != Last()->palette().color(QPalette::Base));
        TypeAtFocus(QStringLiteral("1"));
        QCOMPARE(First()->Fill(), AddressFill::Complete);
        QCOMPARE(First()->toolTip(), QStringLiteral("First address of the range"));
        // Enter in an address entry starts the scan of a range that is right.
        QVERIFY(Find<QPushButton>("startButton")->isDefault());
        const qsizetype messages = prompts.messages.size();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(prompts.messages.mid(messages), QStringList());
        QCOMPARE(service.starts.size(), std::size_t(1));
        QCOMPARE(service.starts[0].first, std::string("198.18.40.1"));
        QCOMPARE(service.starts[0].last, std::string("198.18.40.9"));
    }
};

QTEST_MAIN(MainWindowGuardTest)
#include "main_window_guard_test.moc"
