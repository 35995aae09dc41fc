// The result list a newcomer can read: the default layout, the columns the user
// arranges, the typed filter, the sort that holds while rows arrive and the row height.
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "app/tessvale_dlg.h"
#include "fakes/main_window_fixture.h"
#include "fakes/temp_folder.h"

using namespace tessvale;

namespace {

HostRecord Host(int last, const std::string& name)
{
    HostRecord record;
    record.ip = "198.18.0." + std::to_string(last);
    record.mac = "00:11:22:33:44:" + std::to_string(10 + last);
    record.hostName = name;
    record.inventory.vendor = "Acme";
    return record;
}

} // namespace

class MainWindowListTest : public QObject, private test::MainWindowFixture
{
    Q_OBJECT

private:
    QHeaderView* Header() { return List()->header(); }

    void Scan(const std::vector<HostRecord>& hosts)
    {
        prompts.saveFirstAnswers.clear();
        ScanHosts(hosts);
    }

    // The right edge of a column on screen, in the viewport's coordinates.
    int RightEdge(int column) { return Header()->sectionViewportPosition(column) + Header()->sectionSize(column); }

    // Opens the header's menu and triggers the entry of `column`.
    void ToggleInMenu(int column)
    {
        bool found = false;
        QTimer::singleShot(0, this, [&found, column] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr) {
                return;
            }
            if (auto* action = menu->findChild<QAction*>(QStringLiteral("column%1Action").arg(column))) {
                found = true;
                action->trigger();
            }
            menu->close();
        });
        emit Header()->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(found);
    }

private slots:
    void init()
    {
        ResetFakes();
        OpenWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup() { window.reset(); }

    void theDefaultWindowShowsTheColumnsANewcomerNeeds()
    {
        // The window with its frame fits a 1366x768 screen with a panel.
        QVERIFY(window->frameGeometry().width() <= 1366);
        QVERIFY(window->frameGeometry().height() <= 768 - 32);
        // Change beside Status, the vendor beside the name; the model's order stays.
        QCOMPARE(Header()->visualIndex(10), 1);
        QCOMPARE(Header()->visualIndex(9), Header()->visualIndex(3) + 1);
        QCOMPARE(List()->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("IP"));
        Scan({Host(5, "PC5")});
        Scan({Host(5, "PC5"), Host(6, "PC6")}); // a baseline: the Change column shows
        QVERIFY(!List()->isColumnHidden(10));
        QCOMPARE(List()->horizontalScrollBar()->value(), 0);
        for (int column : {0, 10, 1, 2, 3, 9}) {
            QVERIFY2(RightEdge(column) <= List()->viewport()->width(),
                     qPrintable(List()->model()->headerData(column, Qt::Horizontal).toString()));
        }
        // Copy still writes the model's order: IP first.
        List()->selectionModel()->select(List()->model()->index(1, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window->OnCommand(32778);
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("198.18.0.6 00:11:22:33:44:16 PC6")));
    }

    void hiddenAndDraggedColumnsAreRemembered()
    {
        const test::TempFolder folder;
        const QString path = QString::fromStdString(folder.File("Window.ini"));
        window->RememberLayoutIn(path);
        QVERIFY(Header()->sectionsMovable());
        ToggleInMenu(4); // CPU
        QVERIFY(List()->isColumnHidden(4));
        ToggleInMenu(10);                                   // Change: not wanted, even with a baseline
        Header()->moveSection(Header()->visualIndex(7), 2); // SystemVer dragged left
        Scan({Host(5, "PC5")});
        Scan({Host(6, "PC6")});
        QVERIFY(List()->isColumnHidden(10));
        prompts.answers = {true}; // discard the result
        window->OnCommand(1);     // closes and writes the layout

        window = std::make_unique<CTessvaleDlg>(service, env, prompts);
        window->RememberLayoutIn(path);
        window->show();
        QVERIFY(List()->isColumnHidden(4));
        QCOMPARE(Header()->visualIndex(7), 2);
        Scan({Host(5, "PC5")});
        Scan({Host(6, "PC6")});
        QVERIFY(List()->isColumnHidden(10));
        ToggleInMenu(10);
        QVERIFY(!List()->isColumnHidden(10));
        ToggleInMenu(4);
        QVERIFY(!List()->isColumnHidden(4));
        // A layout that hid the IP column gets it back.
        Header()->hideSection(1);
        prompts.answers = {true};
        window->OnCommand(1);
        window = std::make_unique<CTessvaleDlg>(service, env, prompts);
        window->RememberLayoutIn(path);
        QVERIFY(!List()->isColumnHidden(1));
    }

    void theTypedFilterShowsMatchingRowsAsYouType()
    {
        Scan({Host(5, "PRINTER"), Host(6, "DESK-1"), Host(7, "DESK-2"), Host(15, "NAS")});
        auto* filter = window->findChild<QLineEdit*>(QStringLiteral("textFilterLineEdit"));
        const auto shown = [this] {
            QStringList ips;
            for (int row = 0; row < List()->model()->rowCount(); ++row) {
                if (!List()->isRowHidden(row, QModelIndex())) {
                    ips << Cell(row, 1);
                }
            }
            return ips;
        };
        filter->setFocus();
        QTest::keyClicks(filter, QStringLiteral("desk"));
        QCOMPARE(shown(), (QStringList{QStringLiteral("198.18.0.6"), QStringLiteral("198.18.0.7")}));
        QTest::keyClicks(filter, QStringLiteral("-2"));
        QCOMPARE(shown(), QStringList{QStringLiteral("198.18.0.7")});
        filter->clear();
        QTest::keyClicks(filter, QStringLiteral("0.1"));
        QCOMPARE(shown(), QStringList{QStringLiteral("198.18.0.15")});
        // Rows that arrive while a filter is typed follow it.
        filter->setText(QStringLiteral("nas"));
        Scan({Host(16, "NAS-2"), Host(17, "PC")});
        QCOMPARE(shown(), (QStringList{QStringLiteral("198.18.0.15"), QStringLiteral("198.18.0.16")}));
        // With the Show choice: both apply.
        window->SetFilter(ListFilter::Changed);
        // .15 is gone from the last scan, .16 new in it.
        QCOMPARE(shown(), (QStringList{QStringLiteral("198.18.0.15"), QStringLiteral("198.18.0.16")}));
        filter->clear();
        window->SetFilter(ListFilter::All);
        QCOMPARE(shown().size(), 6);
    }

    void aSortedListStaysSortedWhileRowsArrive()
    {
        Scan({Host(5, "DELTA"), Host(6, "ALPHA")});
        QTest::mouseClick(Header()->viewport(), Qt::LeftButton, {},
                          QPoint(Header()->sectionViewportPosition(3) + 5, Header()->height() / 2));
        QCOMPARE(Cell(0, 3), QStringLiteral("ALPHA"));
        Scan({Host(7, "CHARLIE"), Host(2, "ZULU"), Host(9, "BRAVO")});
        QStringList names;
        for (int row = 0; row < List()->model()->rowCount(); ++row) {
            names << Cell(row, 3);
        }
        QCOMPARE(names, (QStringList{QStringLiteral("ALPHA"), QStringLiteral("BRAVO"), QStringLiteral("CHARLIE"),
                                     QStringLiteral("DELTA"), QStringLiteral("ZULU")}));
        // A host answering with another name moves to its place.
        Scan({Host(6, "YANKEE")});
        names.clear();
        for (int row = 0; row < List()->model()->rowCount(); ++row) {
            names << Cell(row, 3);
        }
        QCOMPARE(names, (QStringList{QStringLiteral("BRAVO"), QStringLiteral("CHARLIE"), QStringLiteral("DELTA"),
                                     QStringLiteral("YANKEE"), QStringLiteral("ZULU")}));
    }

    void rowsKeepTheirHeightAfterALayoutWhileScrolledRight()
    {
        window->resize(500, 400);
        Scan({Host(5, "PC5"), Host(6, "PC6")});
        QCoreApplication::processEvents();
        List()->horizontalScrollBar()->setValue(List()->horizontalScrollBar()->maximum());
        QCoreApplication::processEvents();
        // Laid out again while the status column is out of sight: the Show choice and a scan.
        window->SetFilter(ListFilter::Changed);
        window->SetFilter(ListFilter::All);
        Scan({Host(5, "PC5"), Host(6, "PC6"), Host(7, "PC7")});
        QCoreApplication::processEvents();
        const int minimum = std::max(List()->fontMetrics().height(), List()->iconSize().height());
        for (int row = 0; row < List()->model()->rowCount(); ++row) {
            QVERIFY(List()->visualRect(List()->model()->index(row, 9)).height() > minimum);
        }
    }
};

QTEST_MAIN(MainWindowListTest)
#include "main_window_list_test.moc"
