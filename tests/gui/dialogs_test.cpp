#include <vector>

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/window_prompts.h"
#include "dialogs/attribute_dlg.h"
#include "dialogs/dlg_prompt.h"
#include "dialogs/save_dlg.h"
#include "fakes/temp_folder.h"

using namespace tessvale;

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void saveDialogProposesRangeAndRefusesEmptyName()
    {
        CSave dialog(QStringLiteral("10.0.0.1-10.0.0.50"));
        dialog.show();
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("nameLineEdit"));
        QCOMPARE(name->text(), QStringLiteral("10.0.0.1-10.0.0.50"));
        name->clear();
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
        QVERIFY(dialog.isVisible()); // an empty name keeps it open
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        name->setText(QStringLiteral("Lab"));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.GetName(), QStringLiteral("Lab"));
    }

    void saveDialogCancelGivesEmptyName()
    {
        CSave dialog(QStringLiteral("a-b"));
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.GetName(), QString());
    }

    void promptShowsOnlyFlaggedLinks()
    {
        for (const auto& [host, system] : {std::pair{false, false}, std::pair{true, false}, std::pair{true, true}}) {
            CDlgPrompt prompt(host, system);
            prompt.show();
            auto* hostLink = prompt.findChild<QLabel*>(QStringLiteral("hostNameLinkLabel"));
            auto* systemLink = prompt.findChild<QLabel*>(QStringLiteral("systemInfoLinkLabel"));
            QCOMPARE(hostLink->isVisible(), host);
            QCOMPARE(systemLink->isVisible(), system);
            QVERIFY(hostLink->text().contains(QStringLiteral("Why cannot get hostname?")));
            QVERIFY(hostLink->text().contains(QStringLiteral("wiki-hostname.htm")));
            QVERIFY(systemLink->text().contains(QStringLiteral("wiki-wmi.htm")));
        }
    }

    void exportFileDialogOffersItsTypesAndStartsInTheLastFolder()
    {
        const test::TempFolder home;
        const QString root = QDir::cleanPath(QString::fromStdString(home.File("")));
        qputenv("HOME", root.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/.config")).toLocal8Bit());
        QVERIFY(QDir(root).mkpath(QStringLiteral("Documents")));
        QVERIFY(QDir(root).mkpath(QStringLiteral("reports")));
        DialogPrompts prompts;
        struct Seen
        {
            QString folder;
            QStringList filters;
        };
        // Answers the dialog once it runs: notes what it shows, then picks `pick` with the
        // filter `filter` (or cancels when pick is empty).
        const auto answer = [](Seen& seen, const QString& pick, int filter) {
            QTimer::singleShot(0, [&seen, pick, filter] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (dialog == nullptr) {
                    return;
                }
                seen.folder = QDir(dialog->directory()).absolutePath();
                seen.filters = dialog->nameFilters();
                if (pick.isEmpty()) {
                    dialog->reject();
                    return;
                }
                dialog->selectNameFilter(seen.filters.value(filter));
                dialog->setDirectory(QFileInfo(pick).absolutePath());
                dialog->selectFile(QFileInfo(pick).fileName());
                static_cast<QDialog*>(dialog)->accept(); // the file dialog's own accept, public in QDialog
            });
        };
        Seen first;
        answer(first, root + QStringLiteral("/reports/lab"), 2);
        const auto choice = prompts.ChooseExportFile(nullptr, QStringLiteral("Lab"), ExportOffer::List);
        QCOMPARE(first.folder, QDir(root + QStringLiteral("/Documents")).absolutePath());
        QCOMPARE(first.filters, (QStringList{QStringLiteral("TXT Files (*.txt)"), QStringLiteral("CSV Files (*.csv)"),
                                             QStringLiteral("JSON Files (*.json)")}));
        QVERIFY(choice.has_value());
        QCOMPARE(choice->type, ExportType::Json);
        QCOMPARE(choice->path, root + QStringLiteral("/reports/lab"));
        // The next export starts where the last one went; the changes are CSV only.
        Seen second;
        answer(second, QString(), 0);
        QVERIFY(!prompts.ChooseExportFile(nullptr, QStringLiteral("changes"), ExportOffer::Changes).has_value());
        QCOMPARE(second.folder, QDir(root + QStringLiteral("/reports")).absolutePath());
        QCOMPARE(second.filters, QStringList{QStringLiteral("CSV Files (*.csv)")});
    }

    void propertiesShowNineReadOnlyBoxes()
    {
        HostRecord record;
        record.ip = "10.0.0.5";
        record.mac = "00:11:22:33:44:55";
        record.hostName = "PC";
        record.inventory.shares = std::string(300, 'S');
        record.inventory.vendor = "Acme";
        // Editable and window colours that differ, as on a desktop (offscreen they may not).
        const QPalette original = QApplication::palette();
        QPalette desktop = original;
        desktop.setColor(QPalette::Base, Qt::white);
        desktop.setColor(QPalette::Window, QColor(0xEE, 0xEE, 0xEE));
        QApplication::setPalette(desktop);
        CAttribute dialog;
        dialog.Fill(record);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Properties"));
        // Every read-only box, the names and services too, looks read-only (the window's
        // colour); the editable comment does not.
        std::vector<QLineEdit*> readOnly(dialog.Boxes().begin(), dialog.Boxes().end());
        readOnly.push_back(dialog.NamesBox());
        readOnly.push_back(dialog.ServicesBox());
        for (QLineEdit* box : readOnly) {
            QVERIFY(box->isReadOnly());
            QCOMPARE(box->palette().color(QPalette::Base), box->palette().color(QPalette::Window));
        }
        auto* comment = dialog.findChild<QLineEdit*>(QStringLiteral("commentLineEdit"));
        QVERIFY(comment->palette().color(QPalette::Base) != comment->palette().color(QPalette::Window));
        QApplication::setPalette(original);
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("ipLineEdit"))->text(), QStringLiteral("10.0.0.5"));
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("shareFileLineEdit"))->text().size(), 300);
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("cpuLineEdit"))->text(), QString());
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("netCardVendorLineEdit"))->text(), QStringLiteral("Acme"));
        QCOMPARE(dialog.NamesBox()->text(), QString());
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }

    void propertiesShowEachNameWithItsSourceAndTheServicesInWords()
    {
        HostRecord record;
        record.ip = "10.0.0.5";
        record.hostName = "ALPHA";
        record.names = {"ALPHA",
                        "alpha.local",
                        "alpha.office.example",
                        {"_ipp._tcp", "_printer._tcp", "_ssh._tcp", "_x-custom._udp"}};
        CAttribute dialog;
        dialog.Fill(record);
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("nameSourcesLineEdit"))->text(),
                 QStringLiteral("NetBIOS: ALPHA, mDNS: alpha.local, DNS: alpha.office.example"));
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("servicesLineEdit"))->text(),
                 QStringLiteral("printer, ssh, _x-custom._udp"));
        QVERIFY(dialog.NamesBox()->isReadOnly() && dialog.ServicesBox()->isReadOnly());
        record.names = {"", "", "db.example", {}};
        dialog.Fill(record);
        QCOMPARE(dialog.NamesBox()->text(), QStringLiteral("DNS: db.example"));
        QCOMPARE(dialog.ServicesBox()->text(), QString());
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
