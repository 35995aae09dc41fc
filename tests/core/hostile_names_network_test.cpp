// Hosts on the test network that answer with hostile NetBIOS names: the scan engine's
// records reach the result list and the TXT and CSV exports with every name in one
// field, blanks for control characters and formulas marked as text.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/logic/list_export.h"
#include "app/logic/result_list.h"
#include "fakes/recording_scan_window.h"
#include "fakes/temp_folder.h"
#include "scan/host_probe.h"
#include "scan/job_pool.h"
#include "scan/service_auto_scan.h"
#include "scan/vendor_table.h"
#include "store/config_store.h"
#include "store/scan_settings.h"
#include "test_network.h"

namespace tessvale {
namespace {

using fakes::RecordingScanWindow;
using test::NamespaceScope;

class NoVendors final : public VendorLookup
{
public:
    std::string LookupVendor(const std::string&) const override { return {}; }
};

class HostileNamesNetwork : public test::NetworkSuite<HostileNamesNetwork>
{
public:
    static constexpr const char* kNetworkOptions = "--netbios 0 --arp-only 3";

protected:
    // The ARP-only hosts answer node-status queries with these names.
    void SetUp() override
    {
        test::NetworkSuite<HostileNamesNetwork>::SetUp();
        if (IsSkipped()) {
            return;
        }
        const char* names[] = {"3d312b322a33",            // =1+2*3
                               "5043094f4e450d0a58",      // PC<tab>ONE<CR><LF>X
                               "3c623e50432d313c2f623e"}; // <b>PC-1</b>
        std::string command = "ip netns exec tv" + Network().Env("TESTNET_ID") +
                              "a python3 " TESSVALE_SOURCE_DIR "/tests/network/hostile_netbios_peer.py " +
                              m_folder.File("ready");
        for (std::size_t i = 0; i < Network().Hosts().size(); ++i) {
            command += " " + Network().Hosts()[i].ip + "=" + Network().Hosts()[i].mac + "=" + names[i];
        }
        m_peer = test::RunCommand(command + " >" + m_folder.File("peer.log") + " 2>&1 & echo $!");
        for (int i = 0; i < 100 && !std::ifstream(m_folder.File("ready")); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_TRUE(std::ifstream(m_folder.File("ready"))) << "the hostile peer did not start";
    }
    void TearDown() override
    {
        if (!m_peer.empty()) {
            test::RunCommand("kill " + m_peer);
        }
    }

    test::TempFolder m_folder;
    std::string m_peer;
};

TEST_F(HostileNamesNetwork, ExportsKeepEveryNameInItsFieldAndMarkFormulas)
{
    ResultList list;
    {
        // Threads started here inherit the scanner's namespace.
        const NamespaceScope inScanner(Scanner());
        ASSERT_TRUE(inScanner.Entered());
        ConfigStore store;
        const auto probe = MakeSystemProbe(store);
        NoVendors vendors;
        JobPool pool;
        CServiceAutoScan service(pool, ScanSettingsFrom(store), *probe, vendors, nullptr);
        RecordingScanWindow window;
        service.StartScan(Network().Env("FIRST_HOST"), Network().Env("LAST_HOST"), &window, false);
        ASSERT_TRUE(window.WaitFor(WM_SCAN_FINISHED, 1));
        service.StopAndDrain({});
        for (const auto& event : window.Events()) {
            if (event.message == WM_SCAN_HOST_FOUND) {
                list.HostFound(event.record);
            }
        }
    }
    const auto& hosts = Network().Hosts();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Row(1).text[kColumnHostName], "PC ONE  X");

    std::vector<ResultRow> rows;
    rows.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) {
        rows.push_back(list.Row(i));
    }
    EXPECT_EQ(FormatExport(rows, ExportType::Txt).substr(79),
              hosts[0].ip + "\t" + hosts[0].mac + "\t'=1+2*3\t\t\t\t\t\t\r\n" + hosts[1].ip + "\t" + hosts[1].mac +
                  "\tPC ONE  X\t\t\t\t\t\t\r\n" + hosts[2].ip + "\t" + hosts[2].mac + "\t<b>PC-1</b>\t\t\t\t\t\t\r\n");
    const std::string csv = FormatExport(rows, ExportType::Csv);
    EXPECT_NE(csv.find("\r\n\"" + hosts[0].ip + "\",\"" + hosts[0].mac + "\",\"'=1+2*3\",\"\","), std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\",\"PC ONE  X\",\"\","), std::string::npos) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\r'), 4);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
}

} // namespace
} // namespace tessvale
