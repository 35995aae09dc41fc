#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "fakes/fake_host_probe.h"
#include "fakes/fake_name_transport.h"
#include "fakes/fake_sweep_transport.h"
#include "fakes/fields_of.h"
#include "fakes/recording_scan_window.h"
#include "fakes/temp_folder.h"
#include "scan/job_pool.h"
#include "scan/service_auto_scan.h"
#include "store/config_store.h"
#include "store/scan_settings.h"

namespace tessvale {
namespace {

using namespace std::chrono_literals;
using fakes::FakeHostProbe;
using fakes::FakeInventory;
using fakes::FakeVendorLookup;
using fakes::kPostedStop;
using fakes::RecordingScanWindow;
using fakes::ScanEvent;

std::string Address(int last)
{
    return "198.18.0." + std::to_string(last);
}

// The engine over scripted fakes, with its settings in a scratch configuration file.
class ScanEngine : public ::testing::Test
{
protected:
    explicit ScanEngine(std::uint64_t committedMemory = 0) : m_pool([committedMemory] { return committedMemory; })
    {
        m_store.Load(m_folder.File("Tessvale.xml"));
        SetThreads("64");
        m_vendors.Add("00:1B:21", "Intel Corporate");
        m_service =
            std::make_unique<CServiceAutoScan>(m_pool, ScanSettingsFrom(m_store), m_probe, m_vendors, &m_inventory);
        m_service->SetSkippedAddresses([] { return std::vector<std::uint32_t>{}; });
    }
    ~ScanEngine() override
    {
        m_service->StopAndDrain({});
        m_service.reset();
    }

    void SetThreads(const std::string& threads)
    {
        ConfigRecord settings = m_store.LoadSettings();
        settings.SetValue(kAutoscanThreads, threads);
        m_store.WriteOrAddRecord(settings);
        ASSERT_EQ(m_store.LoadSettings().Value(kAutoscanThreads), threads);
    }

    // Scans and waits for the finish; false when it did not come.
    bool ScanToEnd(const std::string& first, const std::string& last, bool macLookup = false)
    {
        EXPECT_EQ(m_service->StartScan(first, last, &m_window, macLookup), 1);
        return m_window.WaitFor(WM_SCAN_FINISHED, 1);
    }

    // Waits until no job of the service is busy.
    void WaitIdle()
    {
        for (int i = 0; i < 1000 && m_pool.BusySlots(m_service.get()) > 0; ++i) {
            std::this_thread::sleep_for(5ms);
        }
        ASSERT_EQ(m_pool.BusySlots(m_service.get()), 0);
    }

    // A scan of `total` addresses ran to its end in `window`: started, each address
    // taken once and then reported once (found or silent), finished once, and counted
    // done. Gives the addresses found.
    std::set<std::string> CheckWholeScan(const RecordingScanWindow& window, int total)
    {
        const auto events = window.Events();
        if (events.empty()) {
            ADD_FAILURE() << "no messages";
            return {};
        }
        EXPECT_EQ(events.front().message, WM_SCAN_STARTED);
        EXPECT_EQ(events.front().total, total);
        EXPECT_EQ(events.back().message, WM_SCAN_FINISHED);
        EXPECT_EQ(window.Count(WM_SCAN_STEP), total);
        EXPECT_EQ(window.Count(WM_SCAN_FINISHED), 1);
        EXPECT_EQ(m_service->Done(), static_cast<std::size_t>(total));
        std::set<std::string> taken, reported, found;
        for (const auto& event : events) {
            if (event.message == WM_SCAN_ADDRESS) {
                EXPECT_TRUE(taken.insert(event.address).second) << "taken twice: " << event.address;
            } else if (event.message == WM_SCAN_HOST_FOUND || event.message == WM_SCAN_HOST_SILENT) {
                EXPECT_EQ(taken.count(event.address), 1u) << "reported before it was taken: " << event.address;
                EXPECT_TRUE(reported.insert(event.address).second) << "reported twice: " << event.address;
                if (event.message == WM_SCAN_HOST_FOUND) {
                    found.insert(event.address);
                }
            }
        }
        EXPECT_EQ(taken.size(), static_cast<std::size_t>(total));
        EXPECT_EQ(reported.size(), static_cast<std::size_t>(total));
        return found;
    }

    // The hosts the window was told of, by address.
    std::map<std::string, HostRecord> Found() const
    {
        std::map<std::string, HostRecord> found;
        for (const auto& event : m_window.Events()) {
            if (event.message == WM_SCAN_HOST_FOUND) {
                found[event.address] = event.record;
            }
        }
        return found;
    }

    test::TempFolder m_folder;
    JobPool m_pool;
    ConfigStore m_store;
    FakeHostProbe m_probe;
    FakeVendorLookup m_vendors;
    FakeInventory m_inventory;
    RecordingScanWindow m_window;
    std::unique_ptr<CServiceAutoScan> m_service;
};

std::vector<int> Messages(const std::vector<ScanEvent>& events)
{
    return test::FieldsOf(events, &ScanEvent::message);
}

TEST_F(ScanEngine, OneAnsweringAddressGivesTheMessagesInOrder)
{
    m_probe.AddNetbiosHost(Address(7), "00:1B:21:0A:0B:0C", "PC07");
    ASSERT_TRUE(ScanToEnd(Address(7), Address(7)));
    WaitIdle();
    const auto events = m_window.Events();
    EXPECT_EQ(Messages(events),
              (std::vector<int>{WM_SCAN_STARTED, WM_SCAN_ADDRESS, WM_SCAN_STEP, WM_SCAN_HOST_FOUND, WM_SCAN_FINISHED}));
    EXPECT_EQ(events[0].total, 1);
    EXPECT_EQ(events[1].address, Address(7));
    const HostRecord& record = events[3].record;
    EXPECT_EQ(record.ip, Address(7));
    EXPECT_EQ(record.mac, "00:1B:21:0A:0B:0C");
    EXPECT_EQ(record.hostName, "PC07");
    EXPECT_EQ(record.inventory.vendor, "Intel Corporate");
    EXPECT_EQ(record.inventory.cpu, "cpu of " + Address(7));
    EXPECT_FALSE(m_service->IsRunning());
    EXPECT_EQ(m_service->Done(), 1u);
}

TEST_F(ScanEngine, OneSilentAddressGivesStepThenSilent)
{
    ASSERT_TRUE(ScanToEnd(Address(9), Address(9)));
    WaitIdle();
    const auto events = m_window.Events();
    EXPECT_EQ(Messages(events), (std::vector<int>{WM_SCAN_STARTED, WM_SCAN_ADDRESS, WM_SCAN_STEP, WM_SCAN_HOST_SILENT,
                                                  WM_SCAN_FINISHED}));
    EXPECT_EQ(events[3].address, Address(9));
    EXPECT_EQ(m_probe.NodeStatusCalls(), 1);
    EXPECT_EQ(m_probe.ArpCalls(), 1);
}

TEST_F(ScanEngine, ArpAnswersWhenNetbiosDoesNotAndNamesStayDashes)
{
    m_probe.AddArpHost(Address(3), "00:1B:21:00:00:03");
    m_probe.AddNetbiosHost(Address(4), "00:11:22:33:44:55", ""); // an answer listing no names
    ASSERT_TRUE(ScanToEnd(Address(3), Address(4)));
    WaitIdle();
    std::map<std::string, HostRecord> found = Found();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[Address(3)].mac, "00:1B:21:00:00:03");
    EXPECT_EQ(found[Address(3)].hostName, "-");
    EXPECT_EQ(found[Address(3)].inventory.vendor, "Intel Corporate");
    EXPECT_EQ(found[Address(4)].hostName, "-");
    EXPECT_EQ(found[Address(4)].inventory.vendor, "");
}

TEST_F(ScanEngine, FullSubnetReportsEveryAddressOnceAndFinishesOnce)
{
    std::set<std::string> answering;
    for (int i = 1; i <= 254; i += 5) {
        m_probe.AddNetbiosHost(Address(i), "00:1B:21:00:00:" + std::string(i < 16 ? "0" : "") + std::to_string(i),
                               "PC" + std::to_string(i));
        answering.insert(Address(i));
    }
    for (int i = 3; i <= 254; i += 11) {
        m_probe.AddArpHost(Address(i), "02:00:00:00:00:01");
        answering.insert(Address(i));
    }
    m_probe.SetDelay(1ms);
    ASSERT_TRUE(ScanToEnd(Address(1), Address(254)));
    WaitIdle();
    EXPECT_EQ(CheckWholeScan(m_window, 254), answering);
    EXPECT_EQ(m_service->Total(), 254u);
    // Workers are no longer started once the scan is over, which a slow machine can see.
    EXPECT_LE(m_service->Workers(), 65);
    EXPECT_LE(m_probe.MaxConcurrent(), m_service->Workers());
}

TEST_F(ScanEngine, DefaultSettingsRunSixtyFiveWorkers)
{
    // Held at the gate, every worker is in a probe at once.
    m_probe.Close();
    EXPECT_EQ(m_service->StartScan(Address(1), Address(254), &m_window, false), 1);
    EXPECT_EQ(m_service->Workers(), 65);
    EXPECT_GE(m_pool.ThreadCount(), 65);
    ASSERT_TRUE(m_probe.WaitHeld(65));
    m_service->StopAndDrain([this] { m_probe.Open(); });
    EXPECT_EQ(m_probe.MaxConcurrent(), 65);
}

TEST_F(ScanEngine, ThreadSettingGivesThatManyWorkersPlusOne)
{
    SetThreads("3");
    m_probe.Close();
    EXPECT_EQ(m_service->StartScan(Address(1), Address(40), &m_window, false), 1);
    EXPECT_EQ(m_service->Workers(), 4);
    ASSERT_TRUE(m_probe.WaitHeld(4));
    m_probe.Open();
    ASSERT_TRUE(m_window.WaitFor(WM_SCAN_FINISHED, 1));
    EXPECT_EQ(m_probe.MaxConcurrent(), 4);
    WaitIdle();

    SetThreads("0");
    m_window.Clear();
    ASSERT_TRUE(ScanToEnd(Address(1), Address(20)));
    EXPECT_EQ(m_service->Workers(), 1);
    WaitIdle();
    EXPECT_LE(m_probe.MaxConcurrent(), 4);

    // A value out of its range reads as the default (64, which gives sixty-five
    // workers as DefaultSettingsRunSixtyFiveWorkers shows), not whatever it clamps to.
    for (const char* threads : {"-5", "none", "1502"}) {
        ConfigRecord settings = MakeSettingsRecord();
        settings.id = 1;
        settings.SetValue(kAutoscanThreads, threads);
        m_store.WriteOrAddRecord(settings);
        EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanThreads), "64") << threads;
    }
}

TEST_F(ScanEngine, EmptyRangeFinishesAtOnce)
{
    ASSERT_TRUE(ScanToEnd(Address(20), Address(10)));
    WaitIdle();
    EXPECT_EQ(Messages(m_window.Events()), (std::vector<int>{WM_SCAN_STARTED, WM_SCAN_FINISHED}));
    EXPECT_EQ(m_window.Events().front().total, 0);
    EXPECT_FALSE(m_service->IsRunning());
    EXPECT_EQ(m_probe.NodeStatusCalls(), 0);
}

TEST_F(ScanEngine, WalkCrossesSubnetsAndLeavesOutOnlyTheSkippedAddresses)
{
    m_service->SetSkippedAddresses([] { return std::vector<std::uint32_t>{0xC61200FF, 0xC6120200}; });
    m_probe.AddNetbiosHost("198.18.1.0", "00:1B:21:00:01:00", "ZERO");
    ASSERT_TRUE(ScanToEnd("198.18.0.250", "198.18.1.3"));
    WaitIdle();
    const auto events = m_window.Events();
    EXPECT_EQ(events.front().total, 9); // .0.250 to .1.3 without .0.255
    std::set<std::string> taken;
    for (const auto& event : events) {
        if (event.message == WM_SCAN_ADDRESS) {
            taken.insert(event.address);
        }
    }
    EXPECT_EQ(taken.size(), 9u);
    EXPECT_EQ(taken.count("198.18.0.255"), 0u);
    EXPECT_EQ(taken.count("198.18.1.0"), 1u);
    EXPECT_EQ(m_window.Count(WM_SCAN_HOST_FOUND), 1);
}

TEST_F(ScanEngine, FinishingWorkerDoesNotHoldTheScanForItsOwnSlot)
{
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(ScanToEnd(Address(1), Address(1)));
    WaitIdle();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1000ms);
}

TEST_F(ScanEngine, StopMidScanThenNewScan)
{
    // Every worker is held at its first address until the drain opens the gate, so
    // the scan cannot end on its own before the stop, however slow the machine.
    m_probe.Close();
    EXPECT_EQ(m_service->StartScan(Address(1), Address(254), &m_window, false), 1);
    ASSERT_TRUE(m_probe.WaitHeld(2));
    m_service->StopAndDrain([this] { m_probe.Open(); });
    EXPECT_FALSE(m_service->IsRunning());
    EXPECT_EQ(m_pool.BusySlots(m_service.get()), 0);
    EXPECT_EQ(m_window.Count(WM_SCAN_FINISHED), 0);
    EXPECT_EQ(m_window.Count(WM_SCAN_STEP), 0); // the addresses in hand end without a report
    EXPECT_GE(m_window.Count(WM_SCAN_ADDRESS), 2);
    const std::size_t afterDrain = m_window.Events().size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(m_window.Events().size(), afterDrain); // nothing arrives after the drain

    m_window.Clear();
    ASSERT_TRUE(ScanToEnd("198.18.1.1", "198.18.1.5"));
    WaitIdle();
    EXPECT_TRUE(CheckWholeScan(m_window, 5).empty());
}

TEST_F(ScanEngine, NewScanWhileTheOldOneRunsCountsOnlyItsOwnAddresses)
{
    m_probe.AddNetbiosHost(Address(2), "00:1B:21:00:00:02", "OLD");
    m_probe.AddNetbiosHost("198.18.2.2", "00:1B:21:00:02:02", "NEW");
    // The first scan's workers are held at their first address until the second
    // StartScan drains them (its event pump opens the gate): the first scan is still
    // running when the second starts, whatever the machine's speed.
    m_probe.Close();
    m_service->SetEventPump([this] { m_probe.Open(); });
    EXPECT_EQ(m_service->StartScan(Address(1), Address(254), &m_window, false), 1);
    ASSERT_TRUE(m_probe.WaitHeld(2));
    EXPECT_TRUE(m_service->IsRunning());

    RecordingScanWindow second;
    EXPECT_EQ(m_service->StartScan("198.18.2.1", "198.18.2.10", &second, false), 1);
    ASSERT_TRUE(second.WaitFor(WM_SCAN_FINISHED, 1));
    WaitIdle();

    EXPECT_EQ(m_window.Count(WM_SCAN_FINISHED), 0);
    EXPECT_EQ(m_window.Count(WM_SCAN_STEP), 0);
    EXPECT_EQ(m_window.Count(WM_SCAN_HOST_FOUND), 0);
    EXPECT_EQ(CheckWholeScan(second, 10), std::set<std::string>{"198.18.2.2"});
    for (const auto& event : second.Events()) {
        if (event.message == WM_SCAN_ADDRESS || event.message == WM_SCAN_HOST_SILENT) {
            EXPECT_TRUE(event.address.starts_with("198.18.2.")) << event.address;
        }
    }
}

TEST_F(ScanEngine, MacLookupPostsStopBeforeItsSingleReport)
{
    m_probe.AddNetbiosHost(Address(5), "00:1B:21:00:00:05", "PC05");
    m_probe.AddNetbiosHost(Address(6), "00:11:22:33:44:55", "WANTED");
    m_probe.AddArpHost(Address(8), "00:1B:21:00:00:08");
    for (const char* lookup : {"00-11-22-33-44-55", "001122334455", "00:11:22:33:44:55"}) {
        m_window.Clear();
        m_window.SetLookupText(lookup);
        ASSERT_TRUE(ScanToEnd(Address(1), Address(10), true)) << lookup;
        WaitIdle();
        const auto events = m_window.Events();
        EXPECT_EQ(m_window.Count(WM_SCAN_HOST_FOUND), 1) << lookup;
        EXPECT_EQ(m_window.Count(kPostedStop), 1) << lookup;
        const auto found = std::find_if(events.begin(), events.end(),
                                        [](const ScanEvent& event) { return event.message == WM_SCAN_HOST_FOUND; });
        ASSERT_NE(found, events.end());
        ASSERT_NE(found, events.begin());
        EXPECT_EQ(std::prev(found)->message, kPostedStop);
        EXPECT_EQ(found->record.mac, "00:11:22:33:44:55");
        EXPECT_EQ(found->record.hostName, "WANTED");
    }
    EXPECT_EQ(m_inventory.Calls(), 0);
}

TEST_F(ScanEngine, MacLookupWithoutMatchReportsNothing)
{
    m_probe.AddNetbiosHost(Address(5), "00:1B:21:00:00:05", "PC05");
    m_window.SetLookupText("not a mac");
    ASSERT_TRUE(ScanToEnd(Address(1), Address(10), true));
    WaitIdle();
    EXPECT_EQ(m_window.Count(WM_SCAN_HOST_FOUND), 0);
    EXPECT_EQ(m_window.Count(kPostedStop), 0);
}

TEST_F(ScanEngine, LongTextsAreCutToTheirFields)
{
    m_probe.AddNetbiosHost(Address(1), "00:1B:21:00:00:01", std::string(300, 'N'));
    ASSERT_TRUE(ScanToEnd(Address(1), Address(1)));
    WaitIdle();
    const auto events = m_window.Events();
    EXPECT_EQ(events[3].record.hostName.size(), HostRecord::kHostNameCapacity - 1);
}

TEST(ScanEngineInventory, WithoutInventoryTheFieldsStayEmpty)
{
    JobPool pool([] { return std::uint64_t{0}; });
    ConfigStore store;
    FakeHostProbe probe;
    FakeVendorLookup vendors;
    RecordingScanWindow window;
    probe.AddArpHost(Address(1), "00:1B:21:00:00:01");
    CServiceAutoScan service(pool, ScanSettingsFrom(store), probe, vendors, nullptr);
    service.StartScan(Address(1), Address(1), &window, false);
    ASSERT_TRUE(window.WaitFor(WM_SCAN_FINISHED, 1));
    service.StopAndDrain({});
    const auto events = window.Events();
    ASSERT_EQ(window.Count(WM_SCAN_HOST_FOUND), 1);
    EXPECT_EQ(events[3].record.inventory.cpu, "");
    EXPECT_EQ(events[3].record.inventory.memoryMb, "");
}

// A pool that cannot grow: AutoscanThreads + 1 is clamped to its threads instead of
// blocking the caller.
class ScanEngineAtCeiling : public ScanEngine
{
protected:
    ScanEngineAtCeiling() : ScanEngine(JobPool::kMemoryCeiling) {}
};

TEST_F(ScanEngineAtCeiling, WorkersAreClampedToWhatThePoolCanRun)
{
    m_probe.SetDelay(1ms);
    EXPECT_EQ(m_service->MaxWorkers(), 10);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(m_service->StartScan(Address(1), Address(100), &m_window, false), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1000ms);
    EXPECT_EQ(m_service->Workers(), 10);
    ASSERT_TRUE(m_window.WaitFor(WM_SCAN_FINISHED, 1));
    WaitIdle();
    EXPECT_EQ(m_pool.ThreadCount(), 10);
    EXPECT_EQ(m_window.Count(WM_SCAN_STEP), 100);
}

// The engine over a paced sweep whose sockets are scripted (real time, short timeout).
class ScanEngineSweep : public ScanEngine
{
protected:
    ScanEngineSweep()
    {
        m_state.realTime = true;
        m_state.linkNetwork = 0xC6120000; // 198.18.0.0/24 is on-link
        m_state.linkMask = 0xFFFFFF00;
        m_state.arpFirst = true;
        SetSetting(kNetbiosTimeoutMSeconds, "50");
        m_service->SetSweepTransportFactory(
            [this] { return std::make_unique<fakes::FakeSweepTransport>(m_state, m_clock); });
    }
    void SetSetting(const char* key, const std::string& value)
    {
        ConfigRecord settings = m_store.LoadSettings();
        settings.SetValue(key, value);
        m_store.WriteOrAddRecord(settings);
    }
    void AddNetbiosHost(int last, const MacAddress& unitId, const std::string& name)
    {
        auto& host = m_state.hosts[0xC6120000U + static_cast<std::uint32_t>(last)];
        host.hasNetbios = true;
        host.unitId = unitId;
        host.names = {name};
        host.arpMacs = {unitId};
    }
    void AddArpHost(int last, const MacAddress& mac)
    {
        m_state.hosts[0xC6120000U + static_cast<std::uint32_t>(last)].arpMacs = {mac};
    }

    fakes::ManualClock m_clock; // unused in real time
    fakes::FakeSweepState m_state;
};

constexpr MacAddress kIntelMac{0x00, 0x1B, 0x21, 0x00, 0x00, 0x07};
constexpr MacAddress kOtherMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x03};

TEST_F(ScanEngineSweep, OneWorkerGivesEachAddressItsMessagesInOrder)
{
    SetThreads("0");
    AddNetbiosHost(7, kIntelMac, "PC07");
    AddArpHost(3, kOtherMac);
    ASSERT_TRUE(ScanToEnd(Address(1), Address(20)));
    WaitIdle();
    const auto events = m_window.Events();
    ASSERT_EQ(events.size(), 2u + 20u * 3u);
    EXPECT_EQ(events.front().message, WM_SCAN_STARTED);
    EXPECT_EQ(events.front().total, 20);
    EXPECT_EQ(events.back().message, WM_SCAN_FINISHED);
    std::set<std::string> seen;
    for (std::size_t i = 1; i + 1 < events.size(); i += 3) {
        ASSERT_EQ(events[i].message, WM_SCAN_ADDRESS) << i;
        EXPECT_EQ(events[i + 1].message, WM_SCAN_STEP) << i;
        const std::string& address = events[i].address;
        const bool answering = address == Address(7) || address == Address(3);
        EXPECT_EQ(events[i + 2].message, answering ? WM_SCAN_HOST_FOUND : WM_SCAN_HOST_SILENT) << address;
        EXPECT_EQ(events[i + 2].address, address);
        seen.insert(address);
        if (address == Address(7)) {
            EXPECT_EQ(events[i + 2].record.hostName, "PC07");
            EXPECT_EQ(events[i + 2].record.mac, "00:1B:21:00:00:07");
            EXPECT_EQ(events[i + 2].record.inventory.vendor, "Intel Corporate");
            EXPECT_EQ(events[i + 2].record.inventory.cpu, "cpu of " + Address(7));
        } else if (address == Address(3)) {
            EXPECT_EQ(events[i + 2].record.hostName, "-");
            EXPECT_EQ(events[i + 2].record.mac, "02:00:00:00:00:03");
        }
    }
    EXPECT_EQ(seen.size(), 20u);
    EXPECT_EQ(m_probe.NodeStatusCalls(), 0); // the sweep probed, not the workers
    EXPECT_EQ(m_service->Done(), 20u);
}

TEST_F(ScanEngineSweep, TheNamesBySourceReachTheWindowAndTheSettingsSwitchThemOff)
{
    fakes::NameNet net;
    m_service->SetSweepTransportFactory(
        [this, &net] { return std::make_unique<fakes::NameTransport>(m_state, m_clock, net); });
    AddArpHost(4, kOtherMac);
    m_state.hosts[0xC6120004U].refusesNetbios = true;
    net.responders[{0xC6120004U, kMdnsPort}] = fakes::MdnsHost("printer-hall.local", {"_ipp._tcp.local"});
    AddNetbiosHost(7, kIntelMac, "PC07");
    net.responders[{0xC6120007U, kMdnsPort}] = fakes::MdnsHost("pc07.local");
    const auto found = [this](const std::string& address) {
        const auto hosts = Found();
        const auto host = hosts.find(address);
        if (host == hosts.end()) {
            ADD_FAILURE() << address << " not found";
            return HostRecord{};
        }
        return host->second;
    };

    ASSERT_TRUE(ScanToEnd(Address(1), Address(10)));
    WaitIdle();
    HostRecord printer = found(Address(4));
    EXPECT_EQ(printer.hostName, "printer-hall.local");
    EXPECT_EQ(printer.names.mdns, "printer-hall.local");
    EXPECT_EQ(printer.names.services, std::vector<std::string>{"_ipp._tcp"});
    const HostRecord pc = found(Address(7));
    EXPECT_EQ(pc.hostName, "PC07");
    EXPECT_EQ(pc.names.netbios, "PC07");

    SetSetting(kNameMdns, "0");
    m_window.Clear();
    ASSERT_TRUE(ScanToEnd(Address(1), Address(10)));
    WaitIdle();
    printer = found(Address(4));
    EXPECT_EQ(printer.hostName, "-");
    EXPECT_TRUE(printer.names.Empty());
}

TEST_F(ScanEngineSweep, ManyWorkersReportEveryAddressOnceAndFinishOnce)
{
    std::set<std::string> answering;
    for (int i = 1; i <= 254; i += 9) {
        AddNetbiosHost(i, kIntelMac, "PC" + std::to_string(i));
        answering.insert(Address(i));
    }
    ASSERT_TRUE(ScanToEnd(Address(1), Address(254)));
    WaitIdle();
    EXPECT_EQ(CheckWholeScan(m_window, 254), answering);
}

TEST_F(ScanEngineSweep, SecondArpAnswerReachesTheRecordAndDoesNotStayForTheNextHost)
{
    SetThreads("0"); // one worker: the same record serves every address in turn
    AddArpHost(2, kOtherMac);
    m_state.hosts[0xC6120000U + 2].arpMacs.push_back(kIntelMac);
    AddArpHost(3, kOtherMac);
    AddNetbiosHost(4, kIntelMac, "PC04");
    ASSERT_TRUE(ScanToEnd(Address(1), Address(5)));
    WaitIdle();
    std::map<std::string, HostRecord> found = Found();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[Address(2)].mac, "02:00:00:00:00:03");
    EXPECT_EQ(found[Address(2)].otherMacs, std::vector<std::string>{"00:1B:21:00:00:07"});
    EXPECT_TRUE(found[Address(3)].otherMacs.empty());
    EXPECT_TRUE(found[Address(4)].otherMacs.empty());
}

TEST_F(ScanEngineSweep, WorkersStartOnlyForAnsweringHostsAndSilentOnesAreCountedExactly)
{
    // 64 further workers allowed; without answering hosts the first worker alone runs
    // the sweep and counts every silent address.
    ASSERT_TRUE(ScanToEnd(Address(1), Address(254)));
    WaitIdle();
    EXPECT_EQ(m_service->Workers(), 1);
    EXPECT_TRUE(CheckWholeScan(m_window, 254).empty()); // every address silent

    // Two hosts: at most one more worker each.
    AddNetbiosHost(50, kIntelMac, "PC50");
    AddArpHost(200, kOtherMac);
    m_window.Clear();
    ASSERT_TRUE(ScanToEnd(Address(1), Address(254)));
    WaitIdle();
    EXPECT_LE(m_service->Workers(), 3);
    EXPECT_EQ(m_window.Count(WM_SCAN_HOST_FOUND), 2);
    EXPECT_EQ(m_window.Count(WM_SCAN_HOST_SILENT), 252);
    EXPECT_EQ(m_window.Count(WM_SCAN_STEP), 254);
}

TEST_F(ScanEngineSweep, AScanThatWaitsForDeadlinesDoesNotWakeByTheClock)
{
    // Fourteen silent addresses and a second to wait: the pump sleeps until the next
    // deadline or retry. Slices of 10 ms would make a hundred waits and more.
    SetSetting(kNetbiosTimeoutMSeconds, "2000");
    ASSERT_TRUE(ScanToEnd(Address(1), Address(14)));
    WaitIdle();
    EXPECT_EQ(m_window.Count(WM_SCAN_HOST_SILENT), 14);
    std::lock_guard lock(m_state.mutex);
    EXPECT_LE(m_state.receives, 40);
}

TEST_F(ScanEngineSweep, ConflictsAreHiddenOnlyWhenTheSweepCannotSendArpItself)
{
    for (const bool raw : {true, false}) {
        m_state.arpFirst = raw;
        m_window.Clear();
        ASSERT_TRUE(ScanToEnd(Address(1), Address(3)));
        WaitIdle();
        EXPECT_EQ(m_service->ArpConflictsHidden(), !raw) << raw;
    }
    m_service->SetSweepTransportFactory([] { return std::unique_ptr<SweepTransport>(); });
    m_window.Clear();
    ASSERT_TRUE(ScanToEnd(Address(1), Address(3))); // address by address: nothing to say
    WaitIdle();
    EXPECT_FALSE(m_service->ArpConflictsHidden());
}

TEST_F(ScanEngineSweep, StopEndsALargeScanWithoutWaitingForItsDeadlines)
{
    SetSetting(kNetbiosTimeoutMSeconds, "60000"); // a minute per silent address, the longest allowed
    AddNetbiosHost(1, kIntelMac, "FIRST");
    EXPECT_EQ(m_service->StartScan(Address(1), "198.18.255.254", &m_window, false), 1);
    ASSERT_TRUE(m_window.WaitFor(WM_SCAN_HOST_FOUND, 1));
    const auto begin = std::chrono::steady_clock::now();
    m_service->StopAndDrain({});
    // Far below the minute a worker waiting for a silent address would take.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
    EXPECT_EQ(m_pool.BusySlots(m_service.get()), 0);
    EXPECT_EQ(m_window.Count(WM_SCAN_FINISHED), 0);
    EXPECT_EQ(m_window.Count(WM_SCAN_ADDRESS), 1);
}

TEST_F(ScanEngineSweep, MacLookupFindsTheHostThroughTheSweep)
{
    AddNetbiosHost(5, kIntelMac, "WANTED");
    AddArpHost(6, kOtherMac);
    m_window.SetLookupText("00-1b-21-00-00-07");
    ASSERT_TRUE(ScanToEnd(Address(1), Address(10), true));
    WaitIdle();
    EXPECT_EQ(m_window.Count(WM_SCAN_HOST_FOUND), 1);
    EXPECT_EQ(m_window.Count(kPostedStop), 1);
    EXPECT_EQ(m_inventory.Calls(), 0);
}

TEST(NormalMacText, AcceptsTheThreeWrittenForms)
{
    for (const char* text : {"00-11-22-aa-bb-cc", "001122aabbcc", " 00:11:22:AA:BB:CC "}) {
        EXPECT_EQ(NormalMacText(text), "00:11:22:AA:BB:CC") << text;
    }
    // Separators mixed, a digit short, a letter that is no hex digit: no MAC.
    for (const char* text : {"00:11-22:AA:BB:CC", "00112233445", "0011223344GG"}) {
        EXPECT_EQ(NormalMacText(text), "") << text;
    }
}

} // namespace
} // namespace tessvale
