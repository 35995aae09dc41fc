// The MAC search of the main window over the real scan engine: the worker that finds
// the host posts Stop and then reports the host in a call that blocks until the window
// has handled it. The window must take the report and become idle on its own, with no
// input and no timer of the test waking it.
#include <QAction>
#include <QEventLoop>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "app/logic/command_ids.h"
#include "app/tessvale_dlg.h"
#include "dialogs/address_edit.h"
#include "fakes/fake_host_probe.h"
#include "fakes/fake_window_environment.h"
#include "fakes/recording_prompts.h"
#include "fakes/temp_folder.h"
#include "scan/job_pool.h"
#include "scan/service_auto_scan.h"
#include "store/config_store.h"
#include "store/scan_settings.h"

using namespace tessvale;

namespace {

constexpr int kHosts = 24;
constexpr int kWanted = 7;

std::string Address(int last)
{
    return "198.18.0." + std::to_string(last);
}

std::string Mac(int last)
{
    constexpr const char* kHex = "0123456789ABCDEF";
    return std::string("00:1B:21:00:00:") + kHex[(last >> 4) & 0xF] + kHex[last & 0xF];
}

} // namespace

class MacSearchTest : public QObject
{
    Q_OBJECT

private slots:
    void foundHostIsReportedAndWindowGoesIdleEveryTime()
    {
        const test::TempFolder folder;
        ConfigStore store;
        store.Load(folder.File("Tessvale.xml"));
        ConfigRecord settings = store.LoadSettings();
        settings.SetValue(kAutoscanThreads, "8");
        store.WriteOrAddRecord(settings);
        fakes::FakeHostProbe probe;
        for (int last = 1; last <= kHosts; ++last) {
            probe.AddNetbiosHost(Address(last), Mac(last), "PC" + std::to_string(last));
        }
        fakes::FakeVendorLookup vendors;
        JobPool pool;
        CServiceAutoScan service(pool, ScanSettingsFrom(store), probe, vendors, nullptr);
        FakeWindowEnvironment env;
        RecordingPrompts prompts;
        CTessvaleDlg window(service, env, prompts);
        service.SetEventPump(window.EventPump());
        window.show();
        window.findChild<AddressEdit*>(QStringLiteral("firstAddressEdit"))->SetText(QString::fromStdString(Address(1)));
        window.findChild<AddressEdit*>(QStringLiteral("lastAddressEdit"))
            ->SetText(QString::fromStdString(Address(kHosts)));
        auto* lookup = window.findChild<QLineEdit*>(QStringLiteral("lookupLineEdit"));
        auto* start = window.findChild<QAction*>(QStringLiteral("startAction"));
        lookup->setText(QString::fromStdString(Mac(kWanted)));

        for (int run = 0; run < 200; ++run) {
            QEventLoop loop;
            // Only the window's own change ends the wait; the timer is the bound a
            // hang would exceed by far.
            const QMetaObject::Connection idle = connect(start, &QAction::changed, &loop, [&] {
                if (!window.State().Busy() && start->isEnabled()) {
                    loop.quit();
                }
            });
            QTimer::singleShot(20000, &loop, [&loop] { loop.exit(1); });
            window.OnCommand(kIdLookupButton);
            QVERIFY2(window.State().Busy(), "the search did not start");
            // Idle means idle when the loop ends: a moment of idleness before the
            // search's posted Start does not count as the end.
            int result = 0;
            int waits = 0;
            do {
                result = loop.exec();
            } while (result == 0 && window.State().Busy() && ++waits < 5);
            disconnect(idle);
            QVERIFY2(result == 0, qPrintable(QStringLiteral("run %1: the window stayed busy").arg(run)));
            // The search may have seen other hosts first; the wanted one is listed.
            bool listed = false;
            for (int row = 0; row < window.Results().Count(); ++row) {
                listed = listed || window.Results().Row(row).Ip() == Address(kWanted);
            }
            QVERIFY2(listed, qPrintable(QStringLiteral("run %1: the found host is missing (%2 rows, %3)")
                                            .arg(run)
                                            .arg(window.Results().Count())
                                            .arg(window.StatusText())));
            // Stopped by the find, or finished when the find was the last address.
            QVERIFY2(window.StatusText() == QStringLiteral("Status: The scanning stopped.") ||
                         window.StatusText().startsWith(QStringLiteral("Status: Online:")),
                     qPrintable(window.StatusText()));
        }
    }
};

QTEST_MAIN(MacSearchTest)
#include "mac_search_test.moc"
