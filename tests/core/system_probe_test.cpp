#include <chrono>

#include <gtest/gtest.h>

#include "scan/system_probe.h"
#include "store/config_store.h"

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

} // namespace
} // namespace tessvale
