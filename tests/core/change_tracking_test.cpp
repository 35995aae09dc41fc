// The comparison of a scan with its baseline, the change list's CSV and the change log.
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/logic/change_tracking.h"
#include "fakes/temp_folder.h"

namespace tessvale {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Words(const std::vector<HostChange>& changes)
{
    std::vector<std::string> words;
    words.reserve(changes.size());
    for (const HostChange& change : changes) {
        words.push_back(change.ip + " " + std::string(ChangeWord(change.kind)));
    }
    return words;
}

const std::vector<HostSnapshot> kBaseline = {
    {"198.18.0.10", "00:16:3E:00:00:10", "PC-10", {}},
    {"198.18.0.11", "00:16:3e:00:00:11", "PC-11", {}},
    {"198.18.0.12", "00-16-3E-00-00-12", "PC-12", {}},
};

TEST(ChangeTracker, UnchangedHostsGiveNothingAndSpellingOfMacsDoesNotCount)
{
    ChangeTracker tracker(kBaseline);
    EXPECT_THAT(tracker.Answered({"198.18.0.10", "00:16:3e:00:00:10", "PC-10", {}}), IsEmpty());
    EXPECT_THAT(tracker.Answered({"198.18.0.11", "00:16:3E:00:00:11", "PC-11", {}}), IsEmpty());
    EXPECT_THAT(tracker.Answered({" 198.18.0.12 ", "00:16:3E:00:00:12", "PC-12", {}}), IsEmpty());
    EXPECT_THAT(tracker.Finished(), IsEmpty());
    EXPECT_EQ(ChangeSummary(tracker.Changes()), "");
    EXPECT_EQ(tracker.ChangeTextOf("198.18.0.10"), "");
}

TEST(ChangeTracker, NewGoneMacAndNameChangesAreFoundOnce)
{
    ChangeTracker tracker(kBaseline);
    EXPECT_THAT(Words(tracker.Answered({"198.18.0.20", "00:16:3E:00:00:20", "NEW-PC", {}})),
                ElementsAre("198.18.0.20 new"));
    // A second answer of the new host with the same MAC is not new again.
    EXPECT_THAT(tracker.Answered({"198.18.0.20", "00:16:3E:00:00:20", "NEW-PC", {}}), IsEmpty());
    const auto moved = tracker.Answered({"198.18.0.10", "00:16:3E:00:00:99", "PC-99", {}});
    EXPECT_THAT(Words(moved), ElementsAre("198.18.0.10 MAC changed", "198.18.0.10 name changed"));
    EXPECT_EQ(moved[0].oldMac, "00:16:3E:00:00:10");
    EXPECT_EQ(moved[1].oldName, "PC-10");
    // A name not learned this time ("-") and an unknown MAC are no change.
    EXPECT_THAT(tracker.Answered({"198.18.0.11", "00:00:00:00:00:00", "-", {}}), IsEmpty());
    const auto gone = tracker.Finished();
    EXPECT_THAT(Words(gone), ElementsAre("198.18.0.12 gone"));
    EXPECT_EQ(gone[0].oldMac, "00:16:3E:00:00:12");
    EXPECT_THAT(tracker.Finished(), IsEmpty());
    EXPECT_EQ(tracker.ChangeTextOf("198.18.0.10"), "MAC changed, name changed");
    EXPECT_EQ(ChangeSummary(tracker.Changes()), "1 new, 1 gone, 1 changed");
}

TEST(ChangeTracker, TwoMacsForOneAddressInOneScanAreOneConflict)
{
    ChangeTracker tracker(kBaseline);
    // A duplicate ARP answer carried by the host itself.
    EXPECT_THAT(Words(tracker.Answered({"198.18.0.10", "00:16:3E:00:00:10", "PC-10", {"00:16:3E:00:00:AA"}})),
                ElementsAre("198.18.0.10 conflict"));
    // The same address answering again with a third MAC is not a second conflict.
    EXPECT_THAT(tracker.Answered({"198.18.0.10", "00:16:3E:00:00:BB", "PC-10", {}}), IsEmpty());
    // Two answers of an address the baseline does not know: new, then a conflict.
    EXPECT_THAT(Words(tracker.Answered({"198.18.0.30", "00:16:3E:00:00:30", "-", {}})), ElementsAre("198.18.0.30 new"));
    const auto second = tracker.Answered({"198.18.0.30", "00:16:3E:00:00:31", "-", {}});
    EXPECT_THAT(Words(second), ElementsAre("198.18.0.30 conflict"));
    EXPECT_EQ(second[0].oldMac, "00:16:3E:00:00:30");
    tracker.Finished();
    EXPECT_EQ(ChangeSummary(tracker.Changes()), "1 new, 2 gone, 2 conflicts");

    // The baseline's MAC answered second: a conflict only, whichever answer came first.
    ChangeTracker again(kBaseline);
    EXPECT_THAT(Words(again.Answered({"198.18.0.11", "00:16:3E:00:00:AA", "PC-11", {"00-16-3e-00-00-11"}})),
                ElementsAre("198.18.0.11 conflict"));
    EXPECT_EQ(again.ChangeTextOf("198.18.0.11"), "conflict");
}

TEST(ChangeTracker, AnEmptyBaselineMakesEveryHostNew)
{
    ChangeTracker tracker({});
    EXPECT_THAT(Words(tracker.Answered({"198.18.0.1", "00:16:3E:00:00:01", "A", {}})), ElementsAre("198.18.0.1 new"));
    EXPECT_THAT(tracker.Answered({"", "00:16:3E:00:00:02", "B", {}}), IsEmpty());
    EXPECT_THAT(tracker.Finished(), IsEmpty());
}

TEST(ChangeLines, FieldsAreQuotedSafeAndCarryTheNoteOfTheMac)
{
    const std::vector<HostChange> changes = {
        {HostChangeKind::New, "198.18.0.20", "00:16:3E:00:00:20", "", "=1+2*3", ""},
        {HostChangeKind::Gone, "198.18.0.12", "", "00:16:3E:00:00:12", "say \"hi\"\r\nx", "say"},
    };
    const std::map<std::string, std::string> notes = {{"00:16:3E:00:00:12", "printer, 2nd floor"}};
    EXPECT_EQ(FormatChangeLines(changes, "2026-12-09T05:00:00", notes, true),
              "\"time\",\"IP\",\"MAC\",\"old MAC\",\"name\",\"change\",\"comment\"\r\n"
              "\"2026-12-09T05:00:00\",\"198.18.0.20\",\"00:16:3E:00:00:20\",\"\",\"'=1+2*3\",\"new\",\"\"\r\n"
              "\"2026-12-09T05:00:00\",\"198.18.0.12\",\"\",\"00:16:3E:00:00:12\",\"say \"\"hi\"\"  x\",\"gone\","
              "\"printer, 2nd floor\"\r\n");
}

TEST(ChangeLog, AppendsWithOneHeaderAndRotatesAtItsLimit)
{
    test::TempFolder folder;
    const std::string log = folder.File("changes.csv");
    const std::vector<HostChange> one = {{HostChangeKind::New, "198.18.0.20", "00:16:3E:00:00:20", "", "A", ""}};
    ASSERT_TRUE(AppendChangeLog(log, one, "t1", {}));
    ASSERT_TRUE(AppendChangeLog(log, one, "t2", {}));
    ASSERT_TRUE(AppendChangeLog(log, {}, "t3", {}));
    const std::string text = test::ReadFile(log);
    EXPECT_EQ(text.find("\"time\""), 0U);
    EXPECT_EQ(text.find("\"time\"", 1), std::string::npos);
    EXPECT_NE(text.find("\"t1\""), std::string::npos);
    EXPECT_NE(text.find("\"t2\""), std::string::npos);
    EXPECT_EQ(text.find("\"t3\""), std::string::npos);
    struct stat status
    {};
    ASSERT_EQ(::stat(log.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600U);

    // At the limit the log moves to changes.csv.1 and a new one starts with its header.
    ASSERT_TRUE(AppendChangeLog(log, one, "t4", {}, text.size()));
    EXPECT_EQ(test::ReadFile(log + ".1").substr(0, text.size()), text);
    const std::string fresh = test::ReadFile(log);
    EXPECT_EQ(fresh.find("\"time\""), 0U);
    EXPECT_NE(fresh.find("\"t4\""), std::string::npos);
    EXPECT_EQ(fresh.find("\"t1\""), std::string::npos);
}

TEST(ChangeLog, ALinkInThePlaceOfTheLogIsNotFollowed)
{
    test::TempFolder folder;
    const std::string target = folder.File("elsewhere");
    ASSERT_TRUE(test::WriteFile(target, "keep"));
    const std::string log = folder.File("changes.csv");
    std::filesystem::create_symlink(target, log);
    const std::vector<HostChange> one = {{HostChangeKind::New, "198.18.0.20", "00:16:3E:00:00:20", "", "A", ""}};
    EXPECT_FALSE(AppendChangeLog(log, one, "t1", {}));
    EXPECT_EQ(test::ReadFile(target), "keep");
}

TEST(CanonicalMac, SeparatorsAndCaseGiveOneForm)
{
    const std::pair<const char*, const char*> cases[] = {
        {"00-16-3e-0a-0b-0c", "00:16:3E:0A:0B:0C"},
        {"0016.3e0a.0b0c", "00:16:3E:0A:0B:0C"},
        {" - ", "-"},
        {"00:16:3E", "00:16:3E"},
    };
    for (const auto& [written, canonical] : cases) {
        EXPECT_EQ(CanonicalMac(written), canonical) << written;
    }
}

// A host counts once as changed however many of its texts changed; the summaries of
// the tray and of --scan say the same counts.
TEST(ChangeCounts, AHostWhoseMacAndNameChangedIsOneChangedHost)
{
    const auto change = [](HostChangeKind kind, const char* ip) { return HostChange{kind, ip, {}, {}, {}, {}}; };
    using K = HostChangeKind;
    struct Case
    {
        std::vector<HostChange> changes;
        ChangeCounts counts;
        const char* summary;
    };
    const Case cases[] = {
        {{}, {}, ""},
        {{change(K::MacChanged, "198.18.0.1"), change(K::NameChanged, "198.18.0.1")}, {0, 0, 1, 0}, "1 changed"},
        {{change(K::NameChanged, "198.18.0.1"), change(K::MacChanged, "198.18.0.2"),
          change(K::NameChanged, "198.18.0.2")},
         {0, 0, 2, 0},
         "2 changed"},
        // A change of MAC and a conflict of the same host: one changed host, one conflict.
        {{change(K::MacChanged, "198.18.0.1"), change(K::Conflict, "198.18.0.1"), change(K::New, "198.18.0.3"),
          change(K::Gone, "198.18.0.4"), change(K::Gone, "198.18.0.5")},
         {1, 2, 1, 1},
         "1 new, 2 gone, 1 changed, 1 conflict"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CountChanges(c.changes), c.counts) << c.summary;
        EXPECT_EQ(ChangeSummary(c.changes), c.summary);
    }
    // As the tracker reports them for a host that came back with another MAC and name.
    ChangeTracker tracker(kBaseline);
    tracker.Answered({"198.18.0.10", "00:16:3E:00:00:99", "PC-99", {}});
    EXPECT_EQ(tracker.Changes().size(), 2u);
    EXPECT_EQ(CountChanges(tracker.Changes()).changed, 1);
}

} // namespace
} // namespace tessvale
