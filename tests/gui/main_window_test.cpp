#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "app/single_instance.h"
#include "app/tessvale_dlg.h"
#include "dialogs/address_edit.h"
#include "fakes/main_window_fixture.h"
#include "fakes/temp_folder.h"
#include "fakes/url_recorder.h"

using namespace tessvale;

namespace {

HostRecord Host(const std::string& ip, const std::string& name = "PC", const std::string& cpu = "x86")
{
    HostRecord record;
    record.ip = ip;
    record.mac = "00:11:22:33:44:" + ip.substr(ip.rfind('.') + 1);
    record.hostName = name;
    record.inventory.cpu = cpu;
    return record;
}

std::string ReadAll(const QString& path)
{
    return test::ReadFile(path.toStdString());
}

} // namespace

class MainWindowTest : public QObject, private test::MainWindowFixture
{
    Q_OBJECT

private:
    QAction* Tool(const char* name) { return Find<QAction>(name); }
    bool Enabled(const char* toolAction) { return Tool(toolAction)->isEnabled(); }

    // Delivers a host from a worker thread, as the engine does, while this thread
    // serves the window.
    void FoundFromWorker(const HostRecord& record)
    {
        test::CallFromWorker([&] {
            window->ScanStep();
            window->HostFound(record);
        });
    }

    void Finish() { FinishScan(); }

private slots:
    void init()
    {
        ResetFakes();
        env.adapters.push_back({"198.18.5.9", "eth1"});
        env.results = {{7, "Office", "10.1.0.1-10.1.0.20"}};
        env.hosts[7] = {{"10.1.0.5", "AA:AA:AA:AA:AA:05", "FILES", "-", "2048", "", "", "", "Acme"}};
        OpenWindow();
    }

    void cleanup() { window.reset(); }

    void startsWithTitleSizeChooserAndControls()
    {
        QVERIFY(QRegularExpression(QStringLiteral("^Tessvale v3\\.9 Build \\d{8}$"))
                    .match(window->windowTitle())
                    .hasMatch());
        QCOMPARE(window->size(), CTessvaleDlg::kDefaultWindowSize);
        auto* chooser = Find<QComboBox>("resultComboBox");
        QCOMPARE(chooser->count(), 3);
        QCOMPARE(chooser->itemText(0), QStringLiteral("198.18.0.1(eth0)"));
        QCOMPARE(chooser->itemText(2), QStringLiteral("Office"));
        QCOMPARE(Find<AddressEdit>("firstAddressEdit")->Text(), QStringLiteral("198.18.0.1"));
        QCOMPARE(Find<AddressEdit>("lastAddressEdit")->Text(), QStringLiteral("198.18.0.254"));
        QVERIFY(Enabled("startAction"));
        QVERIFY(!Enabled("stopAction"));
        QVERIFY(!Enabled("autoScanAction")); // "AutoscanSpanSeconds" is 0
        QStringList labels;
        for (QAction* action : Find<QToolBar>("mainToolBar")->actions()) {
            labels << (action->isSeparator() ? QStringLiteral(" ") : action->text());
        }
        QCOMPARE(labels.join(QLatin1Char('|')),
                 QStringLiteral("Start|AutoScan|Stop| |Settings|Favorites| |Save As|Save| |"));
        // The ten columns, and the change column hidden while there is no baseline.
        QCOMPARE(Model()->columnCount(), 11);
        QVERIFY(List()->isColumnHidden(10));
        QCOMPARE(Model()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("RAM Size/MB"));
        // The classic widths at least, and every header readable in this font.
        QVERIFY(List()->header()->sectionSize(0) >= 43);
        for (int column = 0; column < 10; ++column) {
            const QString header = Model()->headerData(column, Qt::Horizontal).toString();
            QVERIFY2(List()->header()->sectionSize(column) > List()->header()->fontMetrics().horizontalAdvance(header),
                     qPrintable(header));
        }
        QVERIFY(List()->header()->sectionSize(2) >= 110);
        QVERIFY(List()->header()->sectionSize(2) >
                List()->fontMetrics().horizontalAdvance(QStringLiteral("DD:DD:DD:DD:DD:DD")));
        // No button takes Enter from the list or the toolbar: each is the default only
        // while its own box has the focus.
        List()->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return List()->hasFocus(); }));
        QVERIFY(!Find<QPushButton>("lookupButton")->isDefault());
        QVERIFY(!Find<QPushButton>("startButton")->isDefault());
        Find<QLineEdit>("lookupLineEdit")->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return Find<QPushButton>("lookupButton")->isDefault(); }));
        QVERIFY(!Find<QPushButton>("startButton")->isDefault());
        Find<AddressEdit>("lastAddressEdit")->findChildren<QLineEdit*>().at(2)->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return Find<QPushButton>("startButton")->isDefault(); }));
        QVERIFY(!Find<QPushButton>("lookupButton")->isDefault());
        QCOMPARE(window->StatusText(), QStringLiteral("Status:"));
    }

    void chooserEntriesSetRangeAndLoadStoredHosts()
    {
        auto* chooser = Find<QComboBox>("resultComboBox");
        chooser->setCurrentIndex(2);
        QCOMPARE(Find<AddressEdit>("firstAddressEdit")->Text(), QStringLiteral("10.1.0.1"));
        QCOMPARE(Find<AddressEdit>("lastAddressEdit")->Text(), QStringLiteral("10.1.0.20"));
        QCOMPARE(Model()->rowCount(), 1);
        QCOMPARE(Cell(0, 3), QStringLiteral("FILES"));
        // An adapter without a range clears both controls and the list.
        chooser->setCurrentIndex(1);
        QVERIFY(Find<AddressEdit>("firstAddressEdit")->IsBlank());
        QVERIFY(Find<AddressEdit>("lastAddressEdit")->IsBlank());
        QCOMPARE(Model()->rowCount(), 0);
    }

    void rangeScanFillsListAndOffersSaveThenChart()
    {
        QTest::mouseClick(Find<QPushButton>("startButton"), Qt::LeftButton);
        QCOMPARE(service.starts.size(), std::size_t(1));
        QCOMPARE(service.starts[0].first, std::string("198.18.0.1"));
        QCOMPARE(service.starts[0].last, std::string("198.18.0.254"));
        QVERIFY(!service.starts[0].macLookup);
        QVERIFY(!Enabled("startAction"));
        QVERIFY(Enabled("stopAction"));
        QVERIFY(!Find<QPushButton>("startButton")->isEnabled());
        QVERIFY(!Find<QComboBox>("resultComboBox")->isEnabled());
        QCOMPARE(Find<QProgressBar>("scanProgressBar")->maximum(), 254);

        window->ScanAddress("198.18.0.10");
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Scanning 198.18.0.10..."));
        FoundFromWorker(Host("198.18.0.10"));
        FoundFromWorker(Host("198.18.0.9", "-"));
        FoundFromWorker(Host("198.18.1.2"));
        FoundFromWorker(Host("198.18.0.10", "RENAMED"));
        window->HostSilent("198.18.1.2");
        window->HostSilent("198.18.0.77"); // no row: ignored
        QCOMPARE(Model()->rowCount(), 3);
        QCOMPARE(Cell(0, 1), QStringLiteral("198.18.0.9"));
        QCOMPARE(Cell(1, 1), QStringLiteral("198.18.0.10"));
        QCOMPARE(Cell(1, 3), QStringLiteral("RENAMED"));
        QCOMPARE(Cell(2, 1), QStringLiteral("198.18.1.2"));
        QTRY_COMPARE(Find<QProgressBar>("scanProgressBar")->value(), 4); // shown at most 20 times a second

        prompts.saveAnswer = true;
        prompts.resultName = QStringLiteral("Lab");
        prompts.answers = {true}; // draw the chart
        Finish();
        QCOMPARE(prompts.savePrompts.size(), std::size_t(1));
        QVERIFY(prompts.savePrompts[0].hostNameLink);
        QVERIFY(!prompts.savePrompts[0].systemInfoLink);
        QCOMPARE(prompts.proposedNames, QStringList{QStringLiteral("198.18.0.1-198.18.0.254")});
        QCOMPARE(env.stored.size(), std::size_t(1));
        QCOMPARE(env.hosts[env.stored[0]].size(), std::size_t(3));
        QCOMPARE(Find<QComboBox>("resultComboBox")->currentText(), QStringLiteral("Lab"));
        QCOMPARE(Model()->rowCount(), 3); // the new entry is selected without reloading the list
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Saved successfully."));
        QCOMPARE(prompts.questions.last(), QStringLiteral("Do you want to use Visio to draw the flow chart?"));
        QCOMPARE(env.charts.size(), std::size_t(1));
        QCOMPARE(env.charts[0][0][0], std::string("198.18.0.9"));
        QVERIFY(Enabled("startAction"));
        QVERIFY(!Enabled("stopAction"));
        QCOMPARE(Find<QProgressBar>("scanProgressBar")->value(), 0);
    }

    void finishedScanReportsCountersAndEmptyListHasNoPrompt()
    {
        QTest::mouseClick(Find<QPushButton>("startButton"), Qt::LeftButton);
        Finish();
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Online:0/Offline:0."));
        QVERIFY(prompts.savePrompts.empty());
        QVERIFY(prompts.questions.empty());
        QVERIFY(Enabled("startAction"));
    }

    void aSilentBatchMarksItsRowsAndCountsEachAddressAsAStep()
    {
        window->OnCommand(32771);
        FoundFromWorker(Host("198.18.0.3"));
        FoundFromWorker(Host("198.18.0.4"));
        const std::vector<std::uint32_t> batch{0xC6120004, 0xC6120005, 0xC6120006}; // .4 to .6
        test::CallFromWorker([&] { window->HostsSilent(batch); });
        QTRY_COMPARE(Find<QProgressBar>("scanProgressBar")->value(), 5);
        Finish();
        // The counts are those of the rows: .3 answering, .4 gone silent; .5 and .6 are no rows.
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Online:1/Offline:1."));
    }

    void countersAreThoseOfTheRowsShown()
    {
        window->OnCommand(32771);
        FoundFromWorker(Host("198.18.0.3"));
        FoundFromWorker(Host("198.18.0.4"));
        FoundFromWorker(Host("198.18.0.4")); // twice: still one row
        window->HostSilent("198.18.0.4");
        Finish();
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Online:1/Offline:1."));

        Find<QLineEdit>("lookupLineEdit")->setText(QStringLiteral("198.18.0.3"));
        window->OnCommand(1007);
        QCOMPARE(prompts.saveFirstQuestions.size(), qsizetype(1)); // answered Discard
        QCOMPARE(Model()->rowCount(), 0);                          // the lookup empties the list
        QCOMPARE(window->StatusText(), QStringLiteral("Status:")); // no old counts beside it
        FoundFromWorker(Host("198.18.0.3"));
        Finish();
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Online:1/Offline:0."));
        QCOMPARE(prompts.savePrompts.size(), std::size_t(1)); // only after the range scan

        window->OnCommand(32771);
        FoundFromWorker(Host("198.18.0.3"));
        FoundFromWorker(Host("198.18.0.9"));
        window->HostSilent("198.18.0.10");
        Finish();
        // 198.18.0.4 of the range's previous scan is listed as gone.
        QCOMPARE(Model()->rowCount(), 3);
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Online:2/Offline:1."));
        // Deleting a row changes the counts with it.
        prompts.answers = {true};
        SelectRows({0});
        window->OnCommand(32794);
        QCOMPARE(Model()->rowCount(), 2);
        QCOMPARE(window->StatusText(), QStringLiteral("Status: Online:1/Offline:1."));
    }

    void enterRunsAddressLookupAndEndsWithoutPrompt()
    {
        auto* lookup = Find<QLineEdit>("lookupLineEdit");
        QCOMPARE(lookup->text(), QStringLiteral("IP/MAC"));
        QCOMPARE(lookup->palette().color(QPalette::Text), QColor(0x6D, 0x6D, 0x6D));
        lookup->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return lookup->hasFocus(); }));
        QCOMPARE(lookup->text(), QString());            // the hint goes on entry
        Find<AddressEdit>("firstAddressEdit")->Clear(); // the range is not needed
        QTest::keyClicks(lookup, QStringLiteral("198.18.0.20"));
        QTest::keyClick(lookup, Qt::Key_Return);
        QCOMPARE(service.starts.size(), std::size_t(1));
        QCOMPARE(service.starts[0].first, std::string("198.18.0.20"));
        QCOMPARE(service.starts[0].last, std::string("198.18.0.20"));
        QVERIFY(!Enabled("startAction"));
        FoundFromWorker(Host("198.18.0.20"));
        Finish();
        QVERIFY(prompts.savePrompts.empty());
        QVERIFY(Enabled("startAction"));
        QVERIFY(!Enabled("stopAction"));
        // Leaving the box empty does not bring the hint back.
        lookup->clear();
        List()->setFocus();
        lookup->setFocus();
        QCOMPARE(lookup->text(), QString());
    }

    void lookupOfABadEntryKeepsTheListAndSaysWhatToEnter()
    {
        window->OnCommand(32771);
        FoundFromWorker(Host("198.18.0.8"));
        Finish();
        auto* lookup = Find<QLineEdit>("lookupLineEdit");
        const QString help = QStringLiteral("Enter an IP address (192.168.1.10) or a MAC address (00:11:22:AA:BB:CC).");
        // The untouched hint.
        QTest::mouseClick(Find<QPushButton>("lookupButton"), Qt::LeftButton);
        QCOMPARE(prompts.messages, QStringList{help});
        for (const char* text : {"hello", "198.18.0", "0011223344GG", ""}) {
            lookup->setText(QString::fromLatin1(text));
            window->OnCommand(1007);
            QCOMPARE(prompts.messages.last(), help);
        }
        QCOMPARE(prompts.messages.size(), 5);
        QCOMPARE(Model()->rowCount(), 1); // nothing started, nothing lost
        QCOMPARE(service.starts.size(), std::size_t(1));
        QVERIFY(!window->State().Busy());
        // A MAC without the range: asked for, and the list stays too.
        Find<AddressEdit>("lastAddressEdit")->Clear();
        lookup->setText(QStringLiteral("00:11:22:33:44:55"));
        window->OnCommand(1007);
        QCOMPARE(prompts.messages.last(), QStringLiteral("Please enter the IP range"));
        QCOMPARE(Model()->rowCount(), 1);
    }

    void keysRunTheirCommands()
    {
        window->OnCommand(32771);
        for (const char* ip : {"198.18.0.1", "198.18.0.2", "198.18.0.3"}) {
            FoundFromWorker(Host(ip, "PC"));
        }
        Finish();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        List()->setFocus();
        QTest::keyClick(window.get(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(List()->selectionModel()->selectedRows().size(), 3);
        QTest::keyClick(window.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("198.18.0.1 00:11:22:33:44:1 PC x86     \n198.18.0.2 00:11:22:33:44:2 PC x86     \n"
                                "198.18.0.3 00:11:22:33:44:3 PC x86     "));
        SelectRows({1});
        prompts.answers = {true};
        QTest::keyClick(window.get(), Qt::Key_Delete);
        QCOMPARE(prompts.questions.last(),
                 QStringLiteral("Delete the row of 198.18.0.2 from the list? Stored results keep it."));
        QCOMPARE(Model()->rowCount(), 2);
        // An entry with the focus keeps its own editing keys.
        auto* lookup = Find<QLineEdit>("lookupLineEdit");
        lookup->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return lookup->hasFocus(); }));
        lookup->setText(QStringLiteral("abc"));
        const qsizetype asked = prompts.questions.size();
        QTest::keyClick(lookup, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(lookup, Qt::Key_Delete);
        QCOMPARE(lookup->text(), QString());
        QCOMPARE(prompts.questions.size(), asked);
        QCOMPARE(Model()->rowCount(), 2);

        QTest::keyClick(window.get(), Qt::Key_F5);
        QCOMPARE(service.starts.size(), std::size_t(2));
        QTest::keyClick(window.get(), Qt::Key_F5); // running: no second start
        QCOMPARE(service.starts.size(), std::size_t(2));
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QVERIFY(!window->State().Busy());
        prompts.resultName = QStringLiteral("Lab");
        QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(prompts.proposedNames.size(), 1);
        QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(prompts.exportProposals.size(), 1);
    }

    void everyMenuEntryHasItsOwnAccessLetter()
    {
        for (const char* name : {"fileMenu", "actionsMenu", "optionsMenu", "helpMenu", "trayMenu"}) {
            QSet<QChar> letters;
            int entries = 0;
            for (QAction* action : Find<QMenu>(name)->actions()) {
                if (action->isSeparator()) {
                    continue;
                }
                ++entries;
                const QString text = action->text();
                const qsizetype amp = text.indexOf(QLatin1Char('&'));
                QVERIFY2(amp >= 0 && amp + 1 < text.size(), qPrintable(text));
                letters.insert(text[amp + 1].toLower());
            }
            QVERIFY(entries > 1);
            QCOMPARE(letters.size(), entries);
        }
        QCOMPARE(Find<QAction>("startMenuAction")->text(), QStringLiteral("&Start"));
        QCOMPARE(Find<QAction>("saveMenuAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    }

    void pastedAndTypedAddressesFillTheEntries()
    {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        auto* first = Find<AddressEdit>("firstAddressEdit");
        auto* last = Find<AddressEdit>("lastAddressEdit");
        auto* firstOctet = first->findChild<QLineEdit*>(QStringLiteral("octet1LineEdit"));
        auto* lastThird = last->findChild<QLineEdit*>(QStringLiteral("octet3LineEdit"));
        // Ctrl+V of a dotted address in any field fills all four of that entry.
        QGuiApplication::clipboard()->setText(QStringLiteral(" 198.18.7.9 "));
        lastThird->setFocus();
        QTest::keyClick(lastThird, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(last->Text(), QStringLiteral("198.18.7.9"));
        QCOMPARE(first->Text(), QStringLiteral("198.18.0.1"));
        // Neither form: nothing is pasted.
        QGuiApplication::clipboard()->setText(QStringLiteral("hello.world"));
        QTest::keyClick(lastThird, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(last->Text(), QStringLiteral("198.18.7.9"));
        // The context menu's Paste of a subnet into the first entry fills both entries.
        QGuiApplication::clipboard()->setText(QStringLiteral("198.18.0.0/24"));
        firstOctet->selectAll();
        firstOctet->paste();
        QCOMPARE(first->Text(), QStringLiteral("198.18.0.1"));
        QCOMPARE(last->Text(), QStringLiteral("198.18.0.254"));

        // Typed: the prefix after the fourth octet. Two digits end it; one digit ends with
        // Enter, which starts no lookup; an unfinished prefix is dropped when the entry is
        // left, and octets stay octets. Until its end the last entry stays as it was.
        struct Typed
        {
            QString typed;
            std::optional<Qt::Key> end;
            QString first;
            QString last; // empty: left blank
        };
        const QList<Typed> typed = {
            {QStringLiteral("198.18.4.0/22"), std::nullopt, QStringLiteral("198.18.4.1"),
             QStringLiteral("198.18.7.254")},
            {QStringLiteral("198.18.6.0/31"), std::nullopt, QStringLiteral("198.18.6.0"), QStringLiteral("198.18.6.1")},
            {QStringLiteral("198.18.0.0/8"), Qt::Key_Return, QStringLiteral("198.0.0.1"),
             QStringLiteral("198.255.255.254")},
            {QStringLiteral("198.18.0.300/"), Qt::Key_Tab, QStringLiteral("198.18.0.30"), QString()},
        };
        for (const Typed& t : typed) {
            last->Clear();
            TypeInto(first, t.typed);
            if (t.end) {
                QVERIFY2(last->IsBlank(), qPrintable(t.typed)); // not yet
                QTest::keyClick(QApplication::focusWidget(), *t.end);
            }
            QCOMPARE(first->Text(), t.first);
            if (t.last.isEmpty()) {
                QVERIFY2(last->IsBlank(), qPrintable(t.typed));
            } else {
                QCOMPARE(last->Text(), t.last);
            }
        }
        QVERIFY(prompts.messages.isEmpty());
        QVERIFY(service.starts.empty());
    }

    void everyHeaderIsReadableAtTheDefaultSize()
    {
        QHeaderView* header = List()->header();
        const QFontMetrics metrics(header->font());
        for (int column = 1; column < Model()->columnCount(); ++column) {
            if (List()->isColumnHidden(column)) {
                continue; // the change column, shown with a baseline
            }
            const QString title = Model()->headerData(column, Qt::Horizontal).toString();
            QVERIFY2(header->sectionSize(column) > metrics.horizontalAdvance(title) + 8, qPrintable(title));
        }
    }

    void layoutIsRememberedInTheDataFolder()
    {
        const test::TempFolder folder;
        const QString path = QString::fromStdString(folder.File("Data/Window.ini")); // no folder yet
        window->RememberLayoutIn(path);                                              // no file: the defaults
        QCOMPARE(window->size(), CTessvaleDlg::kDefaultWindowSize);
        window->setGeometry(QRect(30, 40, 855, 420));
        List()->header()->resizeSection(3, 222);
        window->OnCommand(2); // nothing to lose: closes and writes the layout
        QVERIFY(QFile::exists(path));

        window = std::make_unique<CTessvaleDlg>(service, env, prompts);
        window->RememberLayoutIn(path);
        window->show();
        QCOMPARE(window->size(), QSize(855, 420));
        QCOMPARE(List()->header()->sectionSize(3), 222);

        // A damaged file leaves the defaults.
        std::ofstream(path.toStdString(), std::ios::trunc)
            << "[Window]\nGeometry=@ByteArray(\\x1\\x2garbage)\nColumns=@ByteArray(\\0\\0\\0\\xff)\n";
        window = std::make_unique<CTessvaleDlg>(service, env, prompts);
        const int defaultWidth = List()->header()->sectionSize(3);
        window->RememberLayoutIn(path);
        window->show();
        QCOMPARE(window->size(), CTessvaleDlg::kDefaultWindowSize);
        QCOMPARE(List()->header()->sectionSize(3), defaultWidth);
    }

    void macLookupNeedsRangeThenSearchesIt()
    {
        auto* lookup = Find<QLineEdit>("lookupLineEdit");
        Find<AddressEdit>("lastAddressEdit")->Clear();
        lookup->setText(QStringLiteral("00:11:22:33:44:55"));
        window->OnCommand(1007);
        QCOMPARE(prompts.messages, QStringList{QStringLiteral("Please enter the IP range")});
        QVERIFY(service.starts.empty());

        Find<AddressEdit>("lastAddressEdit")->SetText(QStringLiteral("198.18.0.30"));
        lookup->setText(QStringLiteral("001122334455"));
        window->OnCommand(1007);
        QCOMPARE(window->LookupText(), std::string("001122334455"));
        QCoreApplication::processEvents(); // Start is posted
        QCOMPARE(service.starts.size(), std::size_t(1));
        QVERIFY(service.starts[0].macLookup);
        QCOMPARE(service.starts[0].last, std::string("198.18.0.30"));
        FoundFromWorker(Host("198.18.0.12"));
        Finish();
        QVERIFY(prompts.savePrompts.empty());
        QVERIFY(Enabled("startAction"));
    }

    void autoScanRepeatsUntilStop()
    {
        env.settings["AutoscanSpanSeconds"] = "5";
        window->OnCommand(32783); // the settings dialog ran: AutoScan becomes available
        QCOMPARE(env.settingsRuns, 1);
        QVERIFY(Enabled("autoScanAction"));
        Tool("autoScanAction")->trigger();
        QCOMPARE(service.starts.size(), std::size_t(1));
        auto* timer = window->findChild<QTimer*>(QStringLiteral("autoScanTimer"));
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 300000);
        FoundFromWorker(Host("198.18.0.5"));
        Finish();
        QVERIFY(prompts.savePrompts.empty());
        QVERIFY(!Enabled("startAction"));
        QVERIFY(!Enabled("autoScanAction"));
        QVERIFY(Enabled("stopAction"));
        timer->start(1); // the next tick
        QVERIFY(QTest::qWaitFor([&] { return service.starts.size() == 2; }));

        Tool("stopAction")->trigger();
        QCOMPARE(service.drains, 1);
        QVERIFY(!timer->isActive());
        QVERIFY(Enabled("startAction"));
        QVERIFY(Enabled("autoScanAction"));
        QVERIFY(!Enabled("stopAction"));
        QCOMPARE(window->StatusText(), QStringLiteral("Status: The scanning stopped."));
        QVERIFY(!window->State().Busy());
    }

    void engineStopRequestIsQueued()
    {
        window->OnCommand(32771);
        std::thread worker([&] { window->PostStopCommand(); });
        worker.join();
        QCOMPARE(service.drains, 0);
        QCoreApplication::processEvents();
        QCOMPARE(service.drains, 1);
        QVERIFY(Enabled("startAction"));

        // A request that arrives after its scan ended does not stop the next one.
        window->OnCommand(32771);
        std::thread late([&] { window->PostStopCommand(); });
        late.join();
        window->ScanFinished(); // the request is still queued
        window->OnCommand(32771);
        QCoreApplication::processEvents();
        QCOMPARE(service.drains, 1);
        QVERIFY(window->State().Busy());
    }

    void progressRangeUsesWholeCount()
    {
        service.startTotal = 70000;
        window->OnCommand(32771);
        QCOMPARE(Find<QProgressBar>("scanProgressBar")->maximum(), 70000);
    }

    void headerClicksSortAscendingThenDescending()
    {
        window->OnCommand(32771);
        FoundFromWorker(Host("198.18.1.1"));
        FoundFromWorker(Host("198.18.0.2"));
        FoundFromWorker(Host("198.18.0.10"));
        QHeaderView* header = List()->header();
        const auto click = [&](int section) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(section) + 5, header->height() / 2));
        };
        click(1);
        QCOMPARE(Cell(0, 1), QStringLiteral("198.18.0.2"));
        QCOMPARE(Cell(2, 1), QStringLiteral("198.18.1.1"));
        click(1);
        QCOMPARE(Cell(0, 1), QStringLiteral("198.18.1.1"));
        QCOMPARE(Cell(2, 1), QStringLiteral("198.18.0.2"));
        click(2); // another column: ascending; MAC text ...:1 < ...:10 < ...:2
        QCOMPARE(Cell(0, 1), QStringLiteral("198.18.1.1"));
        QCOMPARE(Cell(1, 1), QStringLiteral("198.18.0.10"));
    }

    void exportAsksBeforeOverwritingAndAppliesExtensionRules()
    {
        const test::TempFolder folder;
        window->OnCommand(32771);
        HostRecord host = Host("198.18.0.4", "PC \"4\"");
        host.inventory.vendor = "Acme, Inc.";
        FoundFromWorker(host);

        const QString existing = QString::fromStdString(folder.File("report.csv.txt"));
        std::ofstream(existing.toStdString()) << "old";
        prompts.exportChoice = ExportChoice{existing, ExportType::Csv};
        prompts.answers = {false};
        window->OnCommand(32773);
        QCOMPARE(prompts.exportProposals, QStringList{QStringLiteral("198.18.0.1(eth0)")});
        QCOMPARE(prompts.questions.last(), QStringLiteral("The file already exists. Do you want to overwrite it?"));
        QCOMPARE(ReadAll(existing), std::string("old"));

        prompts.answers = {true};
        window->OnCommand(32773);
        QCOMPARE(ReadAll(existing),
                 std::string("IP,MAC,HostName,CPU,RAM Size,Share File,SystemVer,NetCard Type,NetCard Vendor\r\n"
                             "\"198.18.0.4\",\"00:11:22:33:44:4\",\"PC \"\"4\"\"\",\"x86\",\"\",\"\",\"\",\"\","
                             "\"Acme, Inc.\"\r\n"));

        const QString upper = QString::fromStdString(folder.File("data.TXT"));
        prompts.exportChoice = ExportChoice{upper, ExportType::Txt};
        const qsizetype asked = prompts.questions.size();
        window->OnCommand(32773);
        QCOMPARE(prompts.questions.size(), asked); // data.TXT.txt did not exist
        QCOMPARE(ReadAll(upper + QStringLiteral(".txt")),
                 std::string("IP\tMAC\tHostName\tCPU\tRAM Size\tShare File\tSystemVer\tNetCard Type\tNetCard Vendor\r\n"
                             "198.18.0.4\t00:11:22:33:44:4\tPC \"4\"\tx86\t\t\t\t\tAcme, Inc.\r\n"));

        prompts.exportChoice = ExportChoice{QString::fromStdString(folder.File("missing/x")), ExportType::Txt};
        window->OnCommand(32773);
        QVERIFY(prompts.messages.last().startsWith(QStringLiteral("The file could not be written.\n")));
    }

    void copyPutsRowOrBlanksOnClipboard()
    {
        window->OnCommand(32771);
        FoundFromWorker(Host("198.18.0.4", "PC4"));
        window->OnCommand(32778);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(8, QLatin1Char(' ')));
        SelectRows({0});
        window->OnCommand(32778);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("198.18.0.4 00:11:22:33:44:4 PC4 x86     "));
    }

    void deleteAsksOnceAndRemovesEverySelectedRow()
    {
        window->OnCommand(32771);
        for (const char* ip : {"198.18.0.1", "198.18.0.2", "198.18.0.3", "198.18.0.4"}) {
            FoundFromWorker(Host(ip));
        }
        SelectRows({0, 2, 3});
        prompts.answers = {false};
        window->OnCommand(32794);
        QCOMPARE(Model()->rowCount(), 4);
        prompts.answers = {true};
        window->OnCommand(32794);
        QCOMPARE(prompts.questions.size(), 2);
        QCOMPARE(Model()->rowCount(), 1);
        QCOMPARE(Cell(0, 1), QStringLiteral("198.18.0.2"));
        prompts.answers = {true};
        window->OnCommand(32795);
        QCOMPARE(Model()->rowCount(), 0);
    }

    void rowCommandsUseTheSelectedRow()
    {
        window->OnCommand(32771);
        FoundFromWorker(Host("198.18.0.8", "PC8"));
        Finish();
        window->OnCommand(32776); // no selection: nothing
        QVERIFY(env.woken.empty());
        SelectRows({0});
        window->OnCommand(32776);
        QCOMPARE(env.woken, std::vector<std::string>{"00:11:22:33:44:8"});
        window->OnCommand(32775); // Rescan of that address, counters kept
        QCOMPARE(service.starts.back().first, std::string("198.18.0.8"));
        QCOMPARE(service.starts.back().last, std::string("198.18.0.8"));
        QVERIFY(window->State().LookupScan());

        const QPoint onRow = List()->visualRect(Model()->index(0, 3)).center();
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, onRow);
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, onRow);
        QCOMPARE(prompts.properties.size(), std::size_t(1));
        QCOMPARE(prompts.properties[0].hostName, std::string("PC8"));
        const QPoint below(20, List()->viewport()->height() - 5);
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, below);
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(prompts.properties.size(), std::size_t(1)); // below the rows: nothing
    }

    void propertiesGetTheNamesBySourceOfTheRow()
    {
        window->OnCommand(32771);
        HostRecord host = Host("198.18.0.9", "printer.local");
        host.names = {"", "printer.local", "printer.office.example", {"_ipp._tcp"}};
        FoundFromWorker(host);
        Finish();
        QCOMPARE(Cell(0, 3), QStringLiteral("printer.local")); // the one Host Name column
        const QPoint onRow = List()->visualRect(Model()->index(0, 3)).center();
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, onRow);
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, onRow);
        QCOMPARE(prompts.properties.size(), std::size_t(1));
        QCOMPARE(prompts.properties[0].names.mdns, std::string("printer.local"));
        QCOMPARE(prompts.properties[0].names.dns, std::string("printer.office.example"));
        QCOMPARE(prompts.properties[0].names.services, std::vector<std::string>{"_ipp._tcp"});
    }

    void menusFollowTheScanState()
    {
        auto* menuStart = Find<QAction>("startMenuAction");
        auto* menuStop = Find<QAction>("stopMenuAction");
        auto* menuRescan = Find<QAction>("rescanMenuAction");
        auto* fileMenu = Find<QMenu>("fileMenu");
        emit fileMenu->aboutToShow();
        QVERIFY(menuStart->isEnabled());
        QVERIFY(!menuStop->isEnabled());
        window->OnCommand(32771);
        emit fileMenu->aboutToShow();
        QVERIFY(!menuStart->isEnabled());
        QVERIFY(!menuRescan->isEnabled());
        QVERIFY(menuStop->isEnabled());
        QVERIFY(!Find<QAction>("autoScanMenuAction")->isEnabled());
        QCOMPARE(Find<QMenu>("actionsMenu")->title(), QStringLiteral("&Actions"));
        QCOMPARE(Find<QAction>("webMenuAction")->text(), QStringLiteral("Web(&http)"));
    }

    void escapeStopsAScanAndOtherwiseDoesNothing()
    {
        QSignalSpy exit(window.get(), &CTessvaleDlg::ExitSignalled);
        QSignalSpy finished(window.get(), &QDialog::finished);
        QTest::keyClick(window.get(), Qt::Key_Escape); // idle: nothing
        QCOMPARE(service.drains, 0);
        window->OnCommand(32771);
        QTest::keyClick(Find<QLineEdit>("lookupLineEdit"), Qt::Key_Escape); // from a child too
        QCOMPARE(service.drains, 1);
        QVERIFY(!window->State().Busy());
        QCOMPARE(window->StatusText(), QStringLiteral("Status: The scanning stopped."));
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QCOMPARE(service.drains, 1);
        QCOMPARE(exit.count(), 0);
        QCOMPARE(finished.count(), 0);
        QVERIFY(window->isVisible());
        QVERIFY(prompts.questions.isEmpty());
    }

    void closingAsksOnceWhereWorkWouldBeLost()
    {
        QSignalSpy finished(window.get(), &QDialog::finished);
        const QString question = QStringLiteral("Quit and discard the current result?");
        // A running scan: No keeps the window and the scan, Yes closes and drains once.
        window->OnCommand(32771);
        prompts.answers = {false};
        window->close(); // the window's close button
        QCOMPARE(prompts.questions, QStringList{question});
        QVERIFY(window->isVisible());
        QVERIFY(window->State().Busy());
        QCOMPARE(service.drains, 0);
        prompts.answers = {false};
        Find<QAction>("exitMenuAction")->trigger();
        QCOMPARE(prompts.questions.size(), 2);
        QCOMPARE(finished.count(), 0);
        prompts.answers = {true};
        Find<QAction>("exitTrayAction")->trigger();
        QCOMPARE(prompts.questions.size(), 3);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(service.drains, 1);
        QVERIFY(!window->isVisible());
    }

    void closingAsksForUnsavedRowsOnly()
    {
        const QString question = QStringLiteral("Quit and discard the current result?");
        // A stored result shown as stored: nothing to lose.
        Find<QComboBox>("resultComboBox")->setCurrentIndex(2);
        window->OnCommand(2);
        QVERIFY(prompts.questions.isEmpty());
        QVERIFY(!window->isVisible());

        // A finished scan that was never saved asks; after Save it does not.
        window = std::make_unique<CTessvaleDlg>(service, env, prompts);
        window->show();
        window->OnCommand(32771);
        FoundFromWorker(Host("198.18.0.8"));
        Finish(); // the save prompt is declined
        prompts.answers = {false};
        window->OnCommand(2);
        QCOMPARE(prompts.questions.last(), question);
        QVERIFY(window->isVisible());
        prompts.resultName = QStringLiteral("Lab");
        window->OnCommand(32790);
        QCOMPARE(env.stored.size(), std::size_t(1));
        const qsizetype asked = prompts.questions.size();
        window->OnCommand(2);
        QCOMPARE(prompts.questions.size(), asked);
        QVERIFY(!window->isVisible());
    }

    void closeRequestOfASecondStartDoesNotAsk()
    {
        QSignalSpy finished(window.get(), &QDialog::finished);
        window->OnCommand(32771);
        FoundFromWorker(Host("198.18.0.8"));
        window->CloseInstance(); // "-uninstall"
        QVERIFY(prompts.questions.isEmpty());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(service.drains, 1);
    }

    void trayExitAndCloseRequestEndWithOk()
    {
        QSignalSpy finished(window.get(), &QDialog::finished);
        window->CloseInstance();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    }

    void menuEntriesRunTheirOwnCommand()
    {
        Find<QAction>("aboutMenuAction")->trigger();
        QCOMPARE(prompts.aboutRuns, 1);
        window->OnCommand(16); // the system menu's About entry
        QCOMPARE(prompts.aboutRuns, 2);
        Find<QAction>("settingsMenuAction")->trigger();
        QCOMPARE(env.settingsRuns, 1);
        Find<QAction>("favoritesMenuAction")->trigger();
        QCOMPARE(env.favoritesRuns, 1);
        Find<QAction>("checkUpdatesMenuAction")->trigger();
        QCOMPARE(env.updateModes, (std::vector<int>{1, 0})); // at start, then the interactive check
        Find<QAction>("drawChartMenuAction")->trigger();
        QCOMPARE(env.charts.size(), std::size_t(1));
        Find<QAction>("saveMenuAction")->trigger(); // an adapter's range: a new result is named
        QCOMPARE(prompts.proposedNames, QStringList{QStringLiteral("198.18.0.1-198.18.0.254")});
        Find<QAction>("saveAsMenuAction")->trigger();
        QCOMPARE(prompts.exportProposals.size(), 1);
        window->hide();
        Find<QAction>("showTrayAction")->trigger();
        QVERIFY(window->isVisible());
        window->OnCommand(12345); // no such command: nothing
        // Each entry ran its command once and no other's.
        QCOMPARE(prompts.aboutRuns, 2);
        QCOMPARE(env.settingsRuns, 1);
        QCOMPARE(env.favoritesRuns, 1);
        QCOMPARE(env.updateModes.size(), std::size_t(2));
        QCOMPARE(env.charts.size(), std::size_t(1));
        QCOMPARE(prompts.proposedNames.size(), 1);
        QCOMPARE(prompts.exportProposals.size(), 1);
        QVERIFY(prompts.questions.empty());
        QVERIFY(service.starts.empty());
        QVERIFY(window->isVisible());
    }

    void exitEntriesCloseWithTheirResult_data()
    {
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<int>("result");
        QTest::newRow("File menu") << QByteArray("exitMenuAction") << int(QDialog::Rejected);
        QTest::newRow("tray menu") << QByteArray("exitTrayAction") << int(QDialog::Accepted);
    }

    void exitEntriesCloseWithTheirResult()
    {
        QFETCH(QByteArray, action);
        QFETCH(int, result);
        QSignalSpy exit(window.get(), &CTessvaleDlg::ExitSignalled);
        QSignalSpy finished(window.get(), &QDialog::finished);
        Find<QAction>(action.constData())->trigger();
        QCOMPARE(exit.count(), 1);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), result);
    }

    void linkEntriesOpenTheirAddresses()
    {
        test::UrlRecorder recorder({QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file")});
        Find<QAction>("webMenuAction")->trigger(); // no row selected: nothing
        QVERIFY(recorder.urls.isEmpty());
        window->OnCommand(32771);
        FoundFromWorker(Host("198.18.0.8"));
        Finish();
        SelectRows({0});
        for (const char* name : {"homeMenuAction", "feedbackMenuAction", "faceBookMenuAction", "webMenuAction",
                                 "installFolderMenuAction", "dataFolderMenuAction"}) {
            Find<QAction>(name)->trigger();
        }
        const QString home = QStringLiteral(TESSVALE_HOME_URL);
        QCOMPARE(recorder.urls, (QList<QUrl>{QUrl(home), QUrl(home + QStringLiteral("/feedback.htm")),
                                             QUrl(QStringLiteral("https://www.facebook.com/tessvale")),
                                             QUrl(QStringLiteral("http://198.18.0.8")),
                                             QUrl::fromLocalFile(QCoreApplication::applicationDirPath()),
                                             QUrl::fromLocalFile(QStringLiteral("/tmp"))}));
    }

    void secondStartShowsTheHiddenWindow()
    {
        const test::TempFolder folder;
        qputenv("TESSVALE_INSTANCE_SOCKET", QByteArray::fromStdString(folder.File("instance")));
        InstanceServer server;
        QVERIFY(server.Listen());
        connect(&server, &InstanceServer::ShowRequested, window.get(), &CTessvaleDlg::ShowFromTray);
        window->hide();
        bool answered = false;
        test::CallFromWorker([&] { answered = SendToRunningInstance(InstanceRequest::Show, 5000); });
        QVERIFY(answered);
        QTRY_VERIFY(window->isVisible());
        qunsetenv("TESSVALE_INSTANCE_SOCKET");
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
