// The main window's comparison with a baseline: the change column, the tinted icons,
// the filter, the change export, the change log and the tray notification of AutoScan.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <QStandardItemModel>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "app/icons.h"
#include "app/logic/list_export.h"
#include "app/tessvale_dlg.h"
#include "fakes/main_window_fixture.h"
#include "fakes/temp_folder.h"

using namespace tessvale;

namespace {

HostRecord Host(const std::string& ip, const std::string& mac, const std::string& name = "PC")
{
    HostRecord record;
    record.ip = ip;
    record.mac = mac;
    record.hostName = name;
    record.inventory.cpu = "x86";
    return record;
}

std::string Mac(int last)
{
    return "00:11:22:33:44:" + std::to_string(10 + last);
}

// The lines of a text, without their CR LF ends.
QStringList Lines(const std::string& text)
{
    QStringList lines = QString::fromStdString(text).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

} // namespace

class MainWindowChangeTest : public QObject, private test::MainWindowFixture
{
    Q_OBJECT

private:
    QStringList notifications;

    QComboBox* FilterBox() { return window->findChild<QComboBox*>(QStringLiteral("changeFilterComboBox")); }

    int RowOf(const QString& ip)
    {
        for (int row = 0; row < Model()->rowCount(); ++row) {
            if (Cell(row, 1) == ip) {
                return row;
            }
        }
        return -1;
    }
    QString ChangeOf(const char* ip) { return Cell(RowOf(QString::fromLatin1(ip)), 10); }

    // A host from a worker thread, as the engine sends it, while this thread serves
    // the window.
    void Found(const HostRecord& record) { test::HostFoundFromWorker(*window, record); }

    void Finish() { FinishScan(); }

    // A complete range scan of the adapter's range with these hosts.
    void Scan(std::initializer_list<HostRecord> hosts)
    {
        window->OnCommand(32771);
        for (const HostRecord& host : hosts) {
            Found(host);
        }
        Finish();
    }

private slots:
    void init()
    {
        ResetFakes();
        notifications.clear();
        env.results = {{7, "Office", "198.18.0.1-198.18.0.20"}};
        env.hosts[7] = {{"198.18.0.5", "AA:AA:AA:AA:AA:05", "FILES", "-", "2048", "", "", "", "Acme"},
                        {"198.18.0.6", Mac(6), "PC", "-", "", "", "", "", ""}};
        OpenWindow();
        window->SetNotifier([this](const QString&, const QString& text) { notifications << text; });
    }

    void cleanup() { window.reset(); }

    void previousScanOfTheRangeIsTheBaseline()
    {
        Scan({Host("198.18.0.5", Mac(5)), Host("198.18.0.6", Mac(6)), Host("198.18.0.7", Mac(7))});
        QVERIFY(List()->isColumnHidden(10)); // the first scan has nothing to compare with
        QVERIFY(window->Changes().empty());

        Scan(
            {Host("198.18.0.5", Mac(5)), Host("198.18.0.6", "00:11:22:33:44:99", "OTHER"), Host("198.18.0.8", Mac(8))});
        QVERIFY(!List()->isColumnHidden(10));
        QCOMPARE(Model()->headerData(10, Qt::Horizontal).toString(), QStringLiteral("Change"));
        QCOMPARE(ChangeOf("198.18.0.5"), QString());
        QCOMPARE(ChangeOf("198.18.0.6"), QStringLiteral("MAC changed, name changed"));
        QCOMPARE(ChangeOf("198.18.0.8"), QStringLiteral("new"));
        // The silent host of the baseline stays listed, marked gone.
        QCOMPARE(ChangeOf("198.18.0.7"), QStringLiteral("gone"));
        QCOMPARE(window->Results().Row(RowOf(QStringLiteral("198.18.0.7"))).image, int(kImageSilent));
        QCOMPARE(window->Changes().size(), std::size_t(4));

        // New and changed rows have their own icon; unchanged and gone rows the plain one.
        const auto icon = [&](const char* ip) {
            return Model()->index(RowOf(QString::fromLatin1(ip)), 0).data(Qt::DecorationRole).value<QIcon>();
        };
        QCOMPARE(icon("198.18.0.5").cacheKey(), StatusIcon(kImageAnswered).cacheKey());
        QVERIFY(icon("198.18.0.8").cacheKey() != StatusIcon(kImageAnswered).cacheKey());
        QVERIFY(icon("198.18.0.6").cacheKey() != icon("198.18.0.8").cacheKey());
        QCOMPARE(icon("198.18.0.7").cacheKey(), StatusIcon(kImageSilent).cacheKey());
        // A picture of the window for a look by eye, when asked for.
        if (const QByteArray folder = qgetenv("TESSVALE_SHOT_DIR"); !folder.isEmpty()) {
            window->resize(1500, 300);
            QVERIFY(window->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/changes.png")));
        }

        // Sorting by a column carries the marks with their rows.
        List()->header()->sectionClicked(1);
        List()->header()->sectionClicked(1); // descending
        QCOMPARE(Cell(0, 1), QStringLiteral("198.18.0.8"));
        QCOMPARE(Cell(0, 10), QStringLiteral("new"));
    }

    void copyExportsAndPropertiesKeepTheirTenColumns()
    {
        Scan({Host("198.18.0.5", Mac(5))});
        Scan({Host("198.18.0.5", Mac(5)), Host("198.18.0.8", Mac(8))});
        const int row = RowOf(QStringLiteral("198.18.0.8"));
        QCOMPARE(Cell(row, 10), QStringLiteral("new"));
        std::vector<ResultRow> plain = window->Results().Rows();
        for (ResultRow& each : plain) {
            each.change.clear();
            each.tint = ChangeTint::None;
        }

        List()->selectionModel()->select(Model()->index(row, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window->OnCommand(32778); // Copy
        QCOMPARE(QGuiApplication::clipboard()->text().toStdString(), CopyText(&plain[static_cast<std::size_t>(row)]));

        const test::TempFolder folder;
        for (const ExportType type : {ExportType::Txt, ExportType::Csv}) {
            const QString path = QString::fromStdString(folder.File(type == ExportType::Txt ? "list" : "list2"));
            prompts.exportChoice = ExportChoice{path, type};
            window->OnCommand(32773); // Save As
            const std::string written = test::ReadFile(ExportPath(path.toStdString(), type));
            QVERIFY(!written.empty());
            QVERIFY(written.find("new") == std::string::npos);
            QCOMPARE(written, FormatExport(plain, type));
        }

        const QPoint onRow = List()->visualRect(Model()->index(row, 3)).center();
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, onRow);
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, onRow);
        QCOMPARE(prompts.properties.size(), std::size_t(1));
        QCOMPARE(prompts.properties[0].ip, std::string("198.18.0.8"));
        QCOMPARE(prompts.properties[0].inventory.vendor, std::string());

        // The stored result keeps the nine fields and no change.
        for (const StoredHost& host : window->Results().ToStoredHosts()) {
            QVERIFY(host.netCardVendor.empty());
        }
    }

    void storedResultShownAtStartIsTheBaseline()
    {
        auto* chooser = window->findChild<QComboBox*>(QStringLiteral("resultComboBox"));
        chooser->setCurrentIndex(1); // "Office"
        QCOMPARE(Model()->rowCount(), 2);
        Scan({Host("198.18.0.5", "aa-aa-aa-aa-aa-05", "FILES"), Host("198.18.0.9", Mac(9))});
        QCOMPARE(ChangeOf("198.18.0.5"), QString()); // the same MAC in another spelling
        QCOMPARE(ChangeOf("198.18.0.9"), QStringLiteral("new"));
        QCOMPARE(ChangeOf("198.18.0.6"), QStringLiteral("gone"));
        QCOMPARE(Model()->rowCount(), 3);

        // A lookup of one address compares nothing and hides the column.
        auto* lookup = window->findChild<QLineEdit*>(QStringLiteral("lookupLineEdit"));
        QVERIFY(lookup != nullptr);
        lookup->setText(QStringLiteral("198.18.0.5"));
        window->OnCommand(1007);
        Found(Host("198.18.0.5", Mac(1)));
        Finish();
        QVERIFY(List()->isColumnHidden(10));
        QCOMPARE(Cell(0, 10), QString());
    }

    void filterShowsAllAnsweredOrChanged()
    {
        Scan({Host("198.18.0.5", Mac(5)), Host("198.18.0.6", Mac(6))});
        Scan({Host("198.18.0.5", Mac(5)), Host("198.18.0.8", Mac(8))});
        const auto shown = [&] {
            QStringList ips;
            for (int row = 0; row < Model()->rowCount(); ++row) {
                if (!List()->isRowHidden(row, QModelIndex())) {
                    ips << Cell(row, 1);
                }
            }
            return ips.join(QLatin1Char(' '));
        };
        QCOMPARE(FilterBox()->count(), 3);
        QCOMPARE(FilterBox()->itemText(2), QStringLiteral("Changed"));
        QCOMPARE(shown(), QStringLiteral("198.18.0.5 198.18.0.6 198.18.0.8"));
        FilterBox()->setCurrentIndex(1);
        QCOMPARE(window->Filter(), ListFilter::Answered);
        QCOMPARE(shown(), QStringLiteral("198.18.0.5 198.18.0.8"));
        FilterBox()->setCurrentIndex(2);
        QCOMPARE(shown(), QStringLiteral("198.18.0.6 198.18.0.8"));

        // The filter holds for rows that arrive and after a sort.
        window->OnCommand(32771);
        Found(Host("198.18.0.5", Mac(5)));
        Found(Host("198.18.0.9", Mac(9)));
        QCOMPARE(shown(), QStringLiteral("198.18.0.9"));
        Finish();
        List()->header()->sectionClicked(1);
        List()->header()->sectionClicked(1);
        QCOMPARE(shown(), QStringLiteral("198.18.0.9 198.18.0.8"));
        FilterBox()->setCurrentIndex(0);
        QCOMPARE(shown(), QStringLiteral("198.18.0.9 198.18.0.8 198.18.0.6 198.18.0.5"));
    }

    void exportChangesWritesTheChangeListAsCsv()
    {
        Scan({Host("198.18.0.5", Mac(5)), Host("198.18.0.6", Mac(6))});
        Scan({Host("198.18.0.5", "00:11:22:33:44:77"), Host("198.18.0.8", Mac(8), "=cmd|' /C calc'!A0")});
        window->SetNoteSource([] { return std::map<std::string, std::string>{{"00:11:22:33:44:18", "printer"}}; });
        const test::TempFolder folder;
        prompts.exportChoice = ExportChoice{QString::fromStdString(folder.File("night.txt")), ExportType::Txt};
        window->OnCommand(32810);
        const QStringList lines = Lines(test::ReadFile(folder.File("night.csv")));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("\"time\",\"IP\",\"MAC\",\"old MAC\",\"name\",\"change\",\"comment\""));
        QVERIFY2(lines[1].contains(QStringLiteral(
                     "\"198.18.0.5\",\"00:11:22:33:44:77\",\"00:11:22:33:44:15\",\"PC\",\"MAC changed\",\"\"")),
                 qPrintable(lines[1]));
        QVERIFY2(lines[2].contains(QStringLiteral("\"198.18.0.8\",\"00:11:22:33:44:18\",\"\"")), qPrintable(lines[2]));
        QVERIFY2(lines[2].endsWith(QStringLiteral("\"new\",\"printer\"")), qPrintable(lines[2]));
        QVERIFY(!lines[2].contains(QStringLiteral(",\"=cmd"))); // no formula for a spreadsheet
        QVERIFY(lines[3].contains(QStringLiteral("\"198.18.0.6\",\"\",\"00:11:22:33:44:16\"")));
        QVERIFY(lines[3].contains(QStringLiteral("\"gone\"")));
        // The time is the local ISO 8601 time of the export.
        QVERIFY(QDateTime::fromString(lines[1].section(QLatin1Char('"'), 1, 1), Qt::ISODate).isValid());
        // The row's tooltip carries the note of its MAC.
        QVERIFY(Model()
                    ->index(RowOf(QStringLiteral("198.18.0.8")), 1)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("printer")));

        // An existing file is replaced only when the user agrees.
        test::WriteFile(folder.File("night.csv"), "old");
        prompts.answers = {false};
        window->OnCommand(32810);
        QCOMPARE(test::ReadFile(folder.File("night.csv")), std::string("old"));
    }

    // Under a real tray host (xcb), with TESSVALE_SHOT_DIR set: a picture of the screen
    // with the notification the tray shows for an AutoScan repetition with changes.
    void trayNotificationPicture()
    {
        const QByteArray folder = qgetenv("TESSVALE_SHOT_DIR");
        if (folder.isEmpty() || !QSystemTrayIcon::isSystemTrayAvailable()) {
            QSKIP("needs TESSVALE_SHOT_DIR and a tray host");
        }
        const test::TempFolder data;
        env.dataFolder = data.Path();
        window->SetNotifier({}); // the tray's own message
        env.settings["AutoscanSpanSeconds"] = "5";
        window->OnCommand(32783);
        window->OnCommand(32796);
        auto* timer = window->findChild<QTimer*>(QStringLiteral("autoScanTimer"));
        Found(Host("198.18.0.5", Mac(5)));
        Found(Host("198.18.0.6", Mac(6)));
        Finish();
        window->hide();
        timer->start(1);
        QVERIFY(QTest::qWaitFor([&] { return service.starts.size() == 2; }));
        timer->start(300000);
        Found(Host("198.18.0.5", Mac(5)));
        Found(Host("198.18.0.5", "00:11:22:33:44:EE"));
        Found(Host("198.18.0.9", Mac(9)));
        Finish();
        QTest::qWait(1500);
        QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(folder) +
                                                                     QStringLiteral("/notification.png")));
        // A click on the balloon brings the window back, filtered to the changes.
        QWidget* balloon = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() &&
                QString::fromLatin1(top->metaObject()->className()) == QStringLiteral("QBalloonTip")) {
                balloon = top;
            }
        }
        QVERIFY(balloon != nullptr);
        QTest::mouseClick(balloon, Qt::LeftButton, {}, QPoint(20, balloon->height() - 12));
        QVERIFY(QTest::qWaitFor([&] { return window->isVisible(); }));
        QCOMPARE(window->Filter(), ListFilter::Changed);
        window->OnCommand(32772);
    }

    void rememberedLayoutKeepsTheChangeColumnForAComparison()
    {
        const test::TempFolder folder;
        const QString path = QString::fromStdString(folder.File("Window.ini"));
        // A layout of the ten columns, as the window wrote it before it had the change column.
        {
            QStandardItemModel tenColumns(0, 10);
            QHeaderView header(Qt::Horizontal);
            header.setModel(&tenColumns);
            header.resizeSection(3, 222);
            QSettings layout(path, QSettings::IniFormat);
            layout.setValue(QStringLiteral("Window/Columns"), header.saveState());
        }
        window = std::make_unique<CTessvaleDlg>(service, env, prompts);
        window->RememberLayoutIn(path);
        window->show();
        QCOMPARE(List()->header()->sectionSize(3), 222);
        QVERIFY(List()->isColumnHidden(10));

        // Written with the change column shown and widened, it comes back hidden until
        // a scan has a baseline, then at its width.
        Scan({Host("198.18.0.5", Mac(5))});
        Scan({Host("198.18.0.8", Mac(8))});
        QVERIFY(!List()->isColumnHidden(10));
        // Its title readable at the width the old layout leaves it.
        QVERIFY(List()->header()->sectionSize(10) >
                List()->header()->fontMetrics().horizontalAdvance(QStringLiteral("Change")));
        List()->header()->setStretchLastSection(false);
        List()->header()->resizeSection(10, 300);
        prompts.answers = {true}; // discard the result
        window->OnCommand(2);     // closes and writes the layout
        QVERIFY(QSettings(path, QSettings::IniFormat).value(QStringLiteral("Window/Columns")).isValid());
        window = std::make_unique<CTessvaleDlg>(service, env, prompts);
        window->RememberLayoutIn(path);
        window->show();
        QVERIFY(List()->isColumnHidden(10));
        for (int column = 0; column < 10; ++column) {
            QVERIFY(!List()->isColumnHidden(column));
        }
        Scan({Host("198.18.0.5", Mac(5))});
        Scan({Host("198.18.0.8", Mac(8))});
        QVERIFY(!List()->isColumnHidden(10));
        QVERIFY(List()->header()->sectionSize(10) >= 300);
    }

    void autoScanLogsChangesAndNotifiesFromTheTray()
    {
        const test::TempFolder folder;
        env.dataFolder = folder.Path();
        const std::string log = folder.File("changes.csv");
        env.settings["AutoscanSpanSeconds"] = "5";
        window->OnCommand(32783); // the settings dialog ran: AutoScan becomes available
        window->OnCommand(32796); // AutoScan
        auto* timer = window->findChild<QTimer*>(QStringLiteral("autoScanTimer"));
        QVERIFY(timer->isActive());
        Found(Host("198.18.0.5", Mac(5)));
        Found(Host("198.18.0.6", Mac(6)));
        Finish();
        QVERIFY(window->Changes().empty());
        QVERIFY(!QFile::exists(QString::fromStdString(log))); // nothing to compare with yet

        // The second repetition, hidden in the tray: one new, one gone, one conflict.
        window->hide();
        timer->start(1);
        QVERIFY(QTest::qWaitFor([&] { return service.starts.size() == 2; }));
        timer->start(300000); // one repetition, not one a millisecond
        Found(Host("198.18.0.5", Mac(5)));
        Found(Host("198.18.0.5", "00:11:22:33:44:EE")); // a second MAC answers for .5
        Found(Host("198.18.0.9", Mac(9)));
        Finish();
        QCOMPARE(notifications, QStringList{QStringLiteral("1 new, 1 gone, 1 conflict")});
        QStringList lines = Lines(test::ReadFile(log));
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].startsWith(QStringLiteral("\"time\",\"IP\"")));
        QVERIFY2(lines[1].contains(QStringLiteral("\"198.18.0.5\",\"00:11:22:33:44:EE\",\"00:11:22:33:44:15\"")) &&
                     lines[1].contains(QStringLiteral("\"conflict\"")),
                 qPrintable(lines[1]));
        QVERIFY2(lines[2].contains(QStringLiteral("\"198.18.0.9\"")) && lines[2].contains(QStringLiteral("\"new\"")),
                 qPrintable(lines[2]));
        QVERIFY2(lines[3].contains(QStringLiteral("\"198.18.0.6\"")) && lines[3].contains(QStringLiteral("\"gone\"")),
                 qPrintable(lines[3]));
        QCOMPARE(ChangeOf("198.18.0.5"), QStringLiteral("conflict"));

        // Clicking the notification brings the window back, showing the changes.
        auto* tray = window->findChild<QSystemTrayIcon*>(QStringLiteral("trayIcon"));
        emit tray->messageClicked();
        QVERIFY(window->isVisible());
        QCOMPARE(window->Filter(), ListFilter::Changed);
        QCOMPARE(FilterBox()->currentIndex(), 2);

        // A repetition that changes nothing: no notification, no log line.
        window->hide();
        timer->start(1);
        QVERIFY(QTest::qWaitFor([&] { return service.starts.size() == 3; }));
        timer->start(300000); // one repetition, not one a millisecond
        Found(Host("198.18.0.5", Mac(5)));
        Found(Host("198.18.0.9", Mac(9)));
        Finish();
        QVERIFY(window->Changes().empty());
        QCOMPARE(notifications.size(), 1);
        QCOMPARE(Lines(test::ReadFile(log)).size(), 4);
        QCOMPARE(ChangeOf("198.18.0.5"), QString());

        // Changes seen with the window shown are logged but not notified.
        window->show();
        timer->start(1);
        QVERIFY(QTest::qWaitFor([&] { return service.starts.size() == 4; }));
        timer->start(300000); // one repetition, not one a millisecond
        Found(Host("198.18.0.9", Mac(9)));
        Finish();
        QCOMPARE(notifications.size(), 1);
        lines = Lines(test::ReadFile(log));
        QCOMPARE(lines.size(), 5);
        QVERIFY(lines[4].contains(QStringLiteral("\"198.18.0.5\"")) && lines[4].contains(QStringLiteral("\"gone\"")));
        window->OnCommand(32772); // Stop
    }
};

QTEST_MAIN(MainWindowChangeTest)
#include "main_window_change_test.moc"
