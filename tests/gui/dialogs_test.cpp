#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "dialogs/attribute_dlg.h"
#include "dialogs/dlg_prompt.h"
#include "dialogs/save_dlg.h"

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

    void propertiesShowNineReadOnlyBoxes()
    {
        HostRecord record;
        record.ip = "10.0.0.5";
        record.mac = "00:11:22:33:44:55";
        record.hostName = "PC";
        record.inventory.shares = std::string(300, 'S');
        record.inventory.vendor = "Acme";
        CAttribute dialog;
        dialog.Fill(record);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Properties"));
        for (QLineEdit* box : dialog.Boxes()) {
            QVERIFY(box->isReadOnly());
        }
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
