// The host actions an admin uses on a row: copying one field, the web page, SSH, ping,
// Properties with the old MAC of a changed host, and the tray's Start scan and Stop.
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeView>

#include "app/ping_window.h"
#include "app/tessvale_dlg.h"
#include "dialogs/attribute_dlg.h"
#include "fakes/main_window_fixture.h"
#include "fakes/temp_folder.h"
#include "fakes/url_recorder.h"

using namespace tessvale;

namespace {

HostRecord Host(int last, const std::string& mac, const std::string& name)
{
    HostRecord record;
    record.ip = "198.18.0." + std::to_string(last);
    record.mac = mac;
    record.hostName = name;
    return record;
}

// A folder on PATH with scripts standing in for programs; PATH is restored at the end.
class FakePrograms
{
public:
    FakePrograms() : m_path(qgetenv("PATH"))
    {
        QDir().mkpath(QString::fromStdString(m_folder.File("bin")));
        qputenv("PATH", m_folder.File("bin").c_str());
    }
    ~FakePrograms() { qputenv("PATH", m_path); }
    FakePrograms(const FakePrograms&) = delete;
    FakePrograms& operator=(const FakePrograms&) = delete;

    void Add(const std::string& name, const std::string& body)
    {
        const std::string path = m_folder.File("bin/" + name);
        test::WriteFile(path, "#!/bin/sh\n" + body + "\n");
        ::chmod(path.c_str(), 0755);
    }
    std::string File(const std::string& name) const { return m_folder.File(name); }

private:
    test::TempFolder m_folder;
    QByteArray m_path;
};

} // namespace

class MainWindowActionsTest : public QObject, private test::MainWindowFixture
{
    Q_OBJECT

private:
    QAction* Action(const char* name) { return window->findChild<QAction*>(QString::fromLatin1(name)); }

private slots:
    void init()
    {
        ResetFakes();
        OpenWindow();
    }

    void cleanup() { window.reset(); }

    void rowActionsNeedARowAndCopyOneFieldOfEach()
    {
        // An empty list: the row actions are greyed, Copy (its blank line) is not.
        for (const char* name :
             {"propertiesMenuAction", "copyIpMenuAction", "copyMacMenuAction", "copyNameMenuAction", "webMenuAction",
              "webHttpsMenuAction", "sshMenuAction", "pingMenuAction", "wakeOnLanMenuAction", "remoteDesktopMenuAction",
              "deleteMenuAction", "deleteAllMenuAction", "rescanMenuAction"}) {
            QVERIFY2(!Action(name)->isEnabled(), name);
        }
        QVERIFY(Action("copyMenuAction")->isEnabled());
        ScanHosts({Host(5, "00:11:22:33:44:05", "PRINTER"), Host(6, "00:11:22:33:44:06", "NAS")});
        QVERIFY(Action("deleteAllMenuAction")->isEnabled());
        QVERIFY(!Action("copyIpMenuAction")->isEnabled());
        SelectRows({1, 0});
        QVERIFY(Action("copyIpMenuAction")->isEnabled());
        QVERIFY(Action("pingMenuAction")->isEnabled());
        Action("copyIpMenuAction")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("198.18.0.5\n198.18.0.6"));
        Action("copyMacMenuAction")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("00:11:22:33:44:05\n00:11:22:33:44:06"));
        SelectRows({1});
        Action("copyNameMenuAction")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("NAS"));
        // The entries stand in the Actions menu, after Copy and after Web(http).
        QStringList names;
        for (QAction* action : window->findChild<QMenu*>(QStringLiteral("actionsMenu"))->actions()) {
            if (!action->isSeparator()) {
                names << action->objectName();
            }
        }
        QVERIFY(names.indexOf(QStringLiteral("copyIpMenuAction")) ==
                names.indexOf(QStringLiteral("copyMenuAction")) + 1);
        QVERIFY(names.indexOf(QStringLiteral("webHttpsMenuAction")) ==
                names.indexOf(QStringLiteral("webMenuAction")) + 1);
    }

    void sshRunsInATerminalOrSaysWhyNot()
    {
        ScanHosts({Host(5, "00:11:22:33:44:05", "PRINTER")});
        SelectRows({0});
        FakePrograms programs;
        programs.Add("xterm", "echo \"$@\" > '" + programs.File("ran") + "'");
        Action("sshMenuAction")->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !test::ReadFile(programs.File("ran")).empty(); }));
        QCOMPARE(test::ReadFile(programs.File("ran")), std::string("-e ssh 198.18.0.5\n"));
        QVERIFY(prompts.messages.isEmpty());
        ::unlink(programs.File("bin/xterm").c_str());
        Action("sshMenuAction")->trigger();
        QCOMPARE(prompts.messages.size(), qsizetype(1));
        QCOMPARE(prompts.messages[0],
                 QStringLiteral("No terminal was found to run ssh 198.18.0.5. Install a terminal such as xterm."));
    }

    void pingShowsTheRepliesInASmallWindow()
    {
        FakePrograms programs;
        // The address comes last, after "-n -c 4 -W 1".
        programs.Add("ping", R"(echo "PING $6"; echo "64 bytes from $6: icmp_seq=1 ttl=64 time=0.321 ms"; exit 0)");
        PingWindow answered(QStringLiteral("198.18.0.5"));
        QVERIFY(QTest::qWaitFor([&] { return answered.Finished(); }));
        QVERIFY(answered.Output().contains(QStringLiteral("PING 198.18.0.5")));
        QVERIFY(answered.Output().contains(QStringLiteral("time=0.321 ms")));
        QVERIFY(answered.Output().endsWith(QStringLiteral("Ping ended.")));
        programs.Add("ping", "echo 'no answer'; exit 1");
        PingWindow silent(QStringLiteral("198.18.0.6"));
        QVERIFY(QTest::qWaitFor([&] { return silent.Finished(); }));
        QVERIFY(silent.Output().endsWith(QStringLiteral("Ping ended without replies.")));
        ::unlink(programs.File("bin/ping").c_str());
        PingWindow missing(QStringLiteral("198.18.0.7"));
        QVERIFY(missing.Finished());
        QCOMPARE(missing.Output(), QStringLiteral("The ping program was not found. Install iputils-ping."));
    }

    void pingFromTheMenuOpensItsWindow()
    {
        ScanHosts({Host(5, "00:11:22:33:44:05", "PRINTER")});
        SelectRows({0});
        Action("pingMenuAction")->trigger();
        auto* ping = window->findChild<PingWindow*>(QStringLiteral("pingWindow"));
        QVERIFY(ping != nullptr);
        QCOMPARE(ping->windowTitle(), QStringLiteral("Ping 198.18.0.5"));
        ping->close();
    }

    void webOverHttpsOpensTheHostsAddress()
    {
        ScanHosts({Host(5, "00:11:22:33:44:05", "PRINTER")});
        SelectRows({0});
        test::UrlRecorder recorder({QStringLiteral("https")});
        Action("webHttpsMenuAction")->trigger();
        QCOMPARE(recorder.urls, QList<QUrl>{QUrl(QStringLiteral("https://198.18.0.5"))});
    }

    void propertiesOfAChangedHostShowBothMacs()
    {
        ScanHosts({Host(5, "00:11:22:33:44:05", "PRINTER"), Host(6, "00:11:22:33:44:06", "NAS")});
        ScanHosts({Host(5, "00:11:22:33:44:99", "PRINTER"), Host(6, "00:11:22:33:44:06", "NAS")});
        SelectRows({0});
        Action("propertiesMenuAction")->trigger();
        SelectRows({1});
        Action("propertiesMenuAction")->trigger();
        QCOMPARE(prompts.properties.size(), std::size_t(2));
        QCOMPARE(prompts.properties[0].mac, std::string("00:11:22:33:44:99"));
        QCOMPARE(prompts.previousMacs, (QStringList{QStringLiteral("00:11:22:33:44:05"), QString()}));
        // The dialog shows the previous MAC under the MAC, only when there is one.
        CAttribute dialog;
        dialog.Fill(prompts.properties[0]);
        dialog.SetPreviousMac(prompts.previousMacs[0]);
        dialog.show();
        auto* previous = dialog.findChild<QLineEdit*>(QStringLiteral("previousMacLineEdit"));
        QVERIFY(previous->isVisible());
        QCOMPARE(previous->text(), QStringLiteral("00:11:22:33:44:05"));
        QVERIFY(previous->isReadOnly());
        dialog.SetPreviousMac(QString());
        QVERIFY(!previous->isVisible());
    }

    void theTrayMenuStartsAndStopsAScan()
    {
        auto* tray = window->findChild<QMenu*>(QStringLiteral("trayMenu"));
        QStringList names;
        for (QAction* action : tray->actions()) {
            names << action->objectName();
        }
        QCOMPARE(names, (QStringList{QStringLiteral("showTrayAction"), QStringLiteral("startTrayAction"),
                                     QStringLiteral("stopTrayAction"), QStringLiteral("exitTrayAction")}));
        QVERIFY(Action("startTrayAction")->isEnabled());
        QVERIFY(!Action("stopTrayAction")->isEnabled());
        Action("startTrayAction")->trigger();
        QCOMPARE(service.starts.size(), std::size_t(1));
        QVERIFY(!Action("startTrayAction")->isEnabled());
        QVERIFY(Action("stopTrayAction")->isEnabled());
        Action("stopTrayAction")->trigger();
        QVERIFY(!window->State().Busy());
        QVERIFY(Action("startTrayAction")->isEnabled());
    }
};

QTEST_MAIN(MainWindowActionsTest)
#include "main_window_actions_test.moc"
