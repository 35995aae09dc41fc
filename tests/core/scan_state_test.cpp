#include <gtest/gtest.h>

#include "app/logic/scan_state.h"

namespace tessvale {
namespace {

constexpr ScanControls kIdle{true, true, false};
constexpr ScanControls kIdleNoAuto{true, false, false};
constexpr ScanControls kRunning{false, false, true};

class ScanStateTest : public ::testing::Test
{
protected:
    ScanStateTest()
    {
        state.SetAutoscanSpan("5");
        state.Initialise();
    }
    ScanState state;
};

TEST_F(ScanStateTest, RangeScanDisablesStartUntilFinishedThenOffersSave)
{
    EXPECT_EQ(state.Controls(), kIdle);
    EXPECT_FALSE(state.Start(false)); // a blank range end: nothing happens
    EXPECT_EQ(state.Controls(), kIdle);
    EXPECT_FALSE(state.Busy());

    ASSERT_TRUE(state.Start(true));
    EXPECT_EQ(state.Controls(), kRunning);
    EXPECT_TRUE(state.RangeScan());
    EXPECT_FALSE(state.MacSearch());
    EXPECT_FALSE(state.MenuStartEnabled());
    EXPECT_FALSE(state.MenuRescanEnabled());
    EXPECT_TRUE(state.MenuStopEnabled());
    EXPECT_FALSE(state.MenuAutoScanEnabled());

    const EndOfScan end = state.Finished(3);
    EXPECT_TRUE(end.offerSave);
    EXPECT_EQ(end.controls, kIdle);
    EXPECT_FALSE(state.Busy());
}

TEST_F(ScanStateTest, EmptyListOrLookupOffersNoSave)
{
    state.Start(true);
    EXPECT_FALSE(state.Finished(0).offerSave);

    EXPECT_EQ(state.Lookup("10.0.0.5", false), LookupAction::ScanAddress); // the range is not needed
    EXPECT_EQ(state.Controls(), kRunning);
    EXPECT_TRUE(state.LookupScan());
    const EndOfScan end = state.Finished(1);
    EXPECT_FALSE(end.offerSave);
    EXPECT_EQ(end.controls, kIdle);
    EXPECT_FALSE(state.LookupScan());

    state.Rescan();
    EXPECT_EQ(state.Controls(), kRunning);
    EXPECT_FALSE(state.Finished(5).offerSave);
}

TEST_F(ScanStateTest, LookupTextDecidesTheAction)
{
    EXPECT_EQ(state.Lookup("", true), LookupAction::Nothing);
    // Neither an address nor a MAC: the user is told, whether or not the range is set.
    for (const char* text : {"IP/MAC", "001122", "198.18.0", "zz:11:22:33:44:55", "00112233445G"}) {
        EXPECT_EQ(state.Lookup(text, true), LookupAction::Invalid) << text;
        EXPECT_EQ(state.Lookup(text, false), LookupAction::Invalid) << text;
    }
    EXPECT_EQ(state.Lookup("00:11:22:33:44:55", false), LookupAction::AskForRange);
    EXPECT_EQ(state.Lookup("00-11-22-33-44-55", false), LookupAction::AskForRange);
    EXPECT_FALSE(state.Busy());
    EXPECT_EQ(state.Controls(), kIdle);

    // A MAC search: lookup flag first, then Start scans the range with the MAC flag.
    EXPECT_EQ(state.Lookup("001122334455", true), LookupAction::SearchMac);
    EXPECT_EQ(state.Controls(), kRunning);
    ASSERT_TRUE(state.Start(true));
    EXPECT_TRUE(state.MacSearch());
    EXPECT_TRUE(state.RangeScan());
    const EndOfScan end = state.Finished(1);
    EXPECT_FALSE(end.offerSave);
    EXPECT_EQ(end.controls, kIdle);
    EXPECT_FALSE(state.Busy());
}

TEST_F(ScanStateTest, AutoScanKeepsOnlyStopUntilStopped)
{
    EXPECT_FALSE(state.StartAutoScan(false));
    ASSERT_TRUE(state.StartAutoScan(true));
    EXPECT_EQ(state.AutoScanPeriodMs(), 300'000);
    ASSERT_TRUE(state.Start(true));
    for (int scan = 0; scan < 2; ++scan) {
        const EndOfScan end = state.Finished(4);
        EXPECT_FALSE(end.offerSave);
        EXPECT_EQ(end.controls, kRunning);
        EXPECT_TRUE(state.Busy());
        EXPECT_TRUE(state.Start(true)); // the timer's next Start
    }
    // A lookup finishing during auto-scan keeps the auto-scan controls.
    state.Rescan();
    EXPECT_EQ(state.Finished(4).controls, kRunning);

    state.Stop();
    EXPECT_EQ(state.Controls(), kIdle);
    EXPECT_FALSE(state.Busy());
    EXPECT_TRUE(state.MenuAutoScanEnabled());
}

TEST_F(ScanStateTest, AutoScanUnavailableWhenSettingIsZeroOrEmpty)
{
    for (const char* span : {"0", ""}) {
        state.SetAutoscanSpan(span);
        EXPECT_FALSE(state.StartAutoScan(true));
        state.Stop();
        EXPECT_EQ(state.Controls(), kIdleNoAuto);
        EXPECT_FALSE(state.MenuAutoScanEnabled());
    }
    // Settings changed back while idle: AutoScan comes back.
    state.SetAutoscanSpan("10");
    state.AfterSettings();
    EXPECT_EQ(state.Controls(), kIdle);
    // ... but not while an auto-scan runs.
    state.StartAutoScan(true);
    state.AfterSettings();
    EXPECT_FALSE(state.Controls().autoScan);
}

} // namespace
} // namespace tessvale
