#include <gtest/gtest.h>

#include "app/logic/scan_state.h"
#include "fakes/fields_of.h"

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

    // Ends the scan with this many rows in the list: whether Save is offered, the
    // controls, and whether the window is still busy (an auto-scan goes on).
    void ExpectEnd(int rows, bool offerSave, const ScanControls& controls)
    {
        const EndOfScan end = state.Finished(rows);
        EXPECT_EQ(end.offerSave, offerSave) << rows << " rows";
        EXPECT_EQ(end.controls, controls) << rows << " rows";
        EXPECT_EQ(state.Busy(), controls == kRunning) << rows << " rows";
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

    ExpectEnd(3, true, kIdle);
}

TEST_F(ScanStateTest, EmptyListOrLookupOffersNoSave)
{
    state.Start(true);
    ExpectEnd(0, false, kIdle);

    EXPECT_EQ(state.Lookup("10.0.0.5", false), LookupAction::ScanAddress); // the range is not needed
    EXPECT_EQ(state.Controls(), kRunning);
    EXPECT_TRUE(state.LookupScan());
    ExpectEnd(1, false, kIdle);
    EXPECT_FALSE(state.LookupScan());

    state.Rescan();
    EXPECT_EQ(state.Controls(), kRunning);
    ExpectEnd(5, false, kIdle);
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
    ExpectEnd(1, false, kIdle);
}

TEST_F(ScanStateTest, AutoScanKeepsOnlyStopUntilStopped)
{
    EXPECT_FALSE(state.StartAutoScan(false));
    ASSERT_TRUE(state.StartAutoScan(true));
    EXPECT_EQ(state.AutoScanPeriodMs(), 300'000);
    ASSERT_TRUE(state.Start(true));
    for (int scan = 0; scan < 2; ++scan) {
        ExpectEnd(4, false, kRunning);
        EXPECT_TRUE(state.Start(true)); // the timer's next Start
    }
    // A lookup finishing during auto-scan keeps the auto-scan controls.
    state.Rescan();
    ExpectEnd(4, false, kRunning);

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

HostSnapshot Snap(const std::string& ip, const std::string& mac, const std::string& name = "PC")
{
    return {ip, mac, name, {}};
}

std::vector<HostChangeKind> Kinds(const std::vector<HostChange>& changes)
{
    return test::FieldsOf(changes, &HostChange::kind);
}

TEST(ChangeSessionTest, FirstScanOfARangeHasNoBaselineAndBecomesTheNextOnes)
{
    ChangeSession session;
    EXPECT_FALSE(session.Begin("10.0.0.1-10.0.0.9", std::nullopt, false));
    EXPECT_TRUE(session.Answered(Snap("10.0.0.1", "AA:00:00:00:00:01")).empty());
    EXPECT_TRUE(session.Finished().empty());
    EXPECT_TRUE(session.Changes().empty());

    // Another range has no baseline of its own.
    EXPECT_FALSE(session.Begin("10.0.1.1-10.0.1.9", std::nullopt, false));
    session.Finished();

    ASSERT_TRUE(session.Begin("10.0.0.1-10.0.0.9", std::nullopt, false));
    EXPECT_EQ(Kinds(session.Answered(Snap("10.0.0.2", "AA:00:00:00:00:02"))),
              std::vector<HostChangeKind>{HostChangeKind::New});
    EXPECT_EQ(Kinds(session.Finished()), std::vector<HostChangeKind>{HostChangeKind::Gone});
    EXPECT_EQ(session.ChangeTextOf("10.0.0.1"), "gone");
    EXPECT_EQ(session.ChangeTextOf("10.0.0.2"), "new");
    EXPECT_EQ(session.ChangesOf("10.0.0.1").size(), 1U);
    EXPECT_EQ(session.Changes().size(), 2U);
}

TEST(ChangeSessionTest, StoredResultIsTheBaselineUntilAutoScanRepeats)
{
    ChangeSession session;
    const std::vector<HostSnapshot> stored = {Snap("10.0.0.1", "AA:00:00:00:00:01")};
    session.Begin("r", std::nullopt, false);
    session.Answered(Snap("10.0.0.5", "AA:00:00:00:00:05"));
    session.Finished();

    // A stored result shown at Start wins over the previous scan...
    ASSERT_TRUE(session.Begin("r", stored, false));
    session.Answered(Snap("10.0.0.1", "BB:00:00:00:00:01"));
    EXPECT_EQ(Kinds(session.Changes()), std::vector<HostChangeKind>{HostChangeKind::MacChanged});
    EXPECT_TRUE(session.Finished().empty());

    // ...but a later AutoScan repetition compares with the repetition before it.
    ASSERT_TRUE(session.Begin("r", stored, true));
    EXPECT_TRUE(session.Answered(Snap("10.0.0.1", "bb-00-00-00-00-01")).empty());
    EXPECT_TRUE(session.Finished().empty());
}

TEST(ChangeSessionTest, StoppedScanIsNoBaselineAndLookupComparesNothing)
{
    ChangeSession session;
    session.Begin("r", std::nullopt, false);
    session.Answered(Snap("10.0.0.1", "AA:00:00:00:00:01"));
    session.Finished();

    session.Begin("r", std::nullopt, true);
    session.Answered(Snap("10.0.0.9", "AA:00:00:00:00:09"));
    session.Abandon(); // stopped: 10.0.0.1 is not gone, and this scan is no baseline
    EXPECT_EQ(Kinds(session.Changes()), std::vector<HostChangeKind>{HostChangeKind::New});

    session.BeginWithout();
    EXPECT_FALSE(session.Comparing());
    EXPECT_TRUE(session.Answered(Snap("10.0.0.1", "FF:00:00:00:00:01")).empty());
    EXPECT_TRUE(session.Finished().empty());

    // The complete scan before the stopped one is still the baseline.
    ASSERT_TRUE(session.Begin("r", std::nullopt, true));
    EXPECT_TRUE(session.Answered(Snap("10.0.0.1", "AA:00:00:00:00:01")).empty());
    EXPECT_TRUE(session.Finished().empty());
}

TEST(ChangeSessionTest, SecondMacForAnAddressInOneScanIsAConflict)
{
    ChangeSession session;
    session.Begin("r", std::vector<HostSnapshot>{Snap("10.0.0.1", "AA:00:00:00:00:01")}, false);
    session.Answered(Snap("10.0.0.1", "AA:00:00:00:00:01"));
    EXPECT_EQ(Kinds(session.Answered(Snap("10.0.0.1", "CC:00:00:00:00:01"))),
              std::vector<HostChangeKind>{HostChangeKind::Conflict});
    session.Finished();
    // The previous scan keeps the first answer of the address.
    ASSERT_TRUE(session.Begin("r", std::nullopt, true));
    EXPECT_TRUE(session.Answered(Snap("10.0.0.1", "AA:00:00:00:00:01")).empty());
}

} // namespace
} // namespace tessvale
