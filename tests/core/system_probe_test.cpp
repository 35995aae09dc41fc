#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include "scan/system_probe.h"
#include "store/config_store.h"
#include "store/scan_settings.h"

namespace tessvale {
namespace {

std::chrono::milliseconds TimeSilentQuery(HostProbe& probe)
{
    std::string mac = "before";
    std::string hostName = "-";
    const auto start = std::chrono::steady_clock::now();
    // Nothing answers NetBIOS on loopback.
    EXPECT_FALSE(probe.NodeStatus("127.0.0.1", mac, hostName));
    EXPECT_EQ(mac, "before");
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

TEST(SystemProbe, NetbiosTimeoutComesFromTheSettingsOfEachQuery)
{
    ConfigStore store; // never loaded: the defaults apply
    const auto probe = MakeSystemProbe(store);
    const auto byDefault = TimeSilentQuery(*probe);
    EXPECT_GE(byDefault, std::chrono::milliseconds(990));
    EXPECT_LT(byDefault, std::chrono::milliseconds(1500));

    ConfigRecord settings = store.LoadSettings();
    settings.SetValue(kNetbiosTimeoutMSeconds, "250");
    store.AddRecord(settings);
    const auto configured = TimeSilentQuery(*probe);
    EXPECT_GE(configured, std::chrono::milliseconds(245));
    EXPECT_LT(configured, std::chrono::milliseconds(750));

    // A value out of its range (0 would lose every slow answer) is the default.
    for (const char* outOfRange : {"0", "-5", "abc"}) {
        settings.SetValue(kNetbiosTimeoutMSeconds, outOfRange);
        ASSERT_EQ(store.WriteRecord(settings), 1);
        const auto waited = TimeSilentQuery(*probe);
        EXPECT_GE(waited, std::chrono::milliseconds(990)) << outOfRange;
        EXPECT_LT(waited, std::chrono::milliseconds(1500)) << outOfRange;
    }
}

TEST(SystemProbe, ArpKnowsNothingOfLoopback)
{
    const auto probe = MakeSystemProbe([] { return 0; });
    std::string mac = "before";
    EXPECT_FALSE(probe->Arp("127.0.0.1", mac));
    EXPECT_EQ(mac, "before");
}

TEST(ScanSettings, TheStoresSettingsAreBoundedAsTheScanTakesThem)
{
    struct Case
    {
        const char* key;
        const char* value;
        std::function<long long(const ScanSettings&)> read;
        long long expected;
    };
    const auto rate = [](const ScanSettings& s) { return static_cast<long long>(s.sweep.ratePerSecond); };
    const auto retries = [](const ScanSettings& s) { return static_cast<long long>(s.sweep.retries); };
    const auto timeout = [](const ScanSettings& s) { return static_cast<long long>(s.sweep.timeout.count()); };
    const auto workers = [](const ScanSettings& s) { return s.furtherWorkers; };
    const auto mdns = [](const ScanSettings& s) { return s.sweep.names.mdns ? 1LL : 0LL; };
    const auto dns = [](const ScanSettings& s) { return s.sweep.names.dns ? 1LL : 0LL; };
    const auto netbios = [](const ScanSettings& s) { return s.sweep.names.netbios ? 1LL : 0LL; };
    const Case cases[] = {
        {kProbeRatePerSecond, "500", rate, 500},
        {kProbeRatePerSecond, "0", rate, 2000}, // no rate: the default, never a stop
        {kProbeRatePerSecond, "-3", rate, 2000},
        {kProbeRatePerSecond, "5000000", rate, 1000000},
        {kProbeRetries, "3", retries, 3},
        {kProbeRetries, "99", retries, 10},
        {kProbeRetries, "-1", retries, 0},
        {kNetbiosTimeoutMSeconds, "250", timeout, 250},
        {kNetbiosTimeoutMSeconds, "9999999", timeout, 600000},
        {kNetbiosTimeoutMSeconds, "-7", timeout, 0},
        {kAutoscanThreads, "12", workers, 12}, // the scan bounds it by its pool
        {kNameMdns, "0", mdns, 0},
        {kNameMdns, "1", mdns, 1},
        {kNameDns, "0", dns, 0},
        {kNameNetbios, "0", netbios, 0},
        {kNameNetbios, "", netbios, 1}, // only "0" switches a name source off
    };
    for (const Case& test : cases) {
        ConfigRecord settings = MakeSettingsRecord();
        ASSERT_TRUE(settings.SetValue(test.key, test.value));
        EXPECT_EQ(test.read(ScanSettingsOf(settings)), test.expected) << test.key << "=" << test.value;
    }

    // The store's source reads the settings as they are at each call.
    ConfigStore store;
    const ScanSettingsSource source = ScanSettingsFrom(store);
    EXPECT_EQ(source().sweep.timeout.count(), 1000);
    ConfigRecord settings = store.LoadSettings();
    settings.SetValue(kNetbiosTimeoutMSeconds, "300");
    settings.SetValue(kNameDns, "0");
    store.AddRecord(settings);
    EXPECT_EQ(source().sweep.timeout.count(), 300);
    EXPECT_FALSE(source().sweep.names.dns);
    EXPECT_FALSE(NameSettingsOf(settings).dns);
    EXPECT_TRUE(NameSettingsOf(settings).servers.empty()); // no DNS: the resolver is not read
}

} // namespace
} // namespace tessvale
