#include <gtest/gtest.h>

#include "app/logic/result_list.h"

namespace tessvale {
namespace {

HostRecord Host(const std::string& ip, const std::string& name = "PC", const std::string& ram = "")
{
    HostRecord record;
    record.ip = ip;
    record.mac = "00:11:22:33:44:55";
    record.hostName = name;
    record.inventory.memoryMb = ram;
    return record;
}

std::vector<std::string> Ips(const ResultList& list)
{
    std::vector<std::string> ips;
    for (const ResultRow& row : list.Rows()) {
        ips.push_back(row.Ip());
    }
    return ips;
}

TEST(ResultList, RowsGoInNumericAddressOrderWhateverTheArrivalOrder)
{
    ResultList list;
    list.HostFound(Host("10.0.0.9"));
    list.HostFound(Host("10.0.0.10"));
    EXPECT_TRUE(list.HostFound(Host("10.0.0.2")).inserted);
    EXPECT_EQ(Ips(list), (std::vector<std::string>{"10.0.0.2", "10.0.0.9", "10.0.0.10"}));
    // Across a third-octet boundary the true order holds as well.
    const ResultList::Change change = list.HostFound(Host("10.0.1.1"));
    EXPECT_EQ(change.row, 3);
    list.HostFound(Host("10.0.0.200"));
    list.HostFound(Host("9.255.255.255"));
    EXPECT_EQ(Ips(list), (std::vector<std::string>{"9.255.255.255", "10.0.0.2", "10.0.0.9", "10.0.0.10", "10.0.0.200",
                                                   "10.0.1.1"}));
}

TEST(ResultList, SameAddressTwiceUpdatesInPlaceAndCountsTwice)
{
    ResultList list;
    list.HostFound(Host("10.0.0.5", "OLD"));
    list.HostFound(Host("10.0.0.6"));
    list.HostSilent("10.0.0.5");
    ASSERT_EQ(list.Row(0).image, kImageSilent);

    const ResultList::Change change = list.HostFound(Host("10.0.0.5", "NEW"));
    EXPECT_FALSE(change.inserted);
    EXPECT_EQ(change.row, 0);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Row(0).text[kColumnHostName], "NEW");
    EXPECT_EQ(list.Row(0).image, kImageAnswered);
    EXPECT_EQ(list.Online(), 3);
}

TEST(ResultList, SilentMarksOnlyListedRowsAndCountsThem)
{
    ResultList list;
    list.HostFound(Host("10.0.0.1"));
    EXPECT_TRUE(list.HostSilent("10.0.0.99").empty()); // no row: nothing changes
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Offline(), 0);
    EXPECT_EQ(list.HostSilent("10.0.0.1"), std::vector<int>{0});
    EXPECT_EQ(list.Offline(), 1);
    // Already silent: counted again, but the image does not change.
    EXPECT_TRUE(list.HostSilent("10.0.0.1").empty());
    EXPECT_EQ(list.Offline(), 2);
    // The IP text must match exactly.
    list.HostSilent("10.0.0.01");
    EXPECT_EQ(list.Offline(), 2);

    list.ResetCounters();
    EXPECT_EQ(list.Online(), 0);
    EXPECT_EQ(list.Offline(), 0);
    EXPECT_EQ(list.Count(), 1); // counters reset, rows kept
}

TEST(ResultList, SortsEachColumnKindFirstAscendingThenDescending)
{
    ResultList list;
    list.HostFound(Host("192.168.0.1", "beta", "1024"));
    list.HostFound(Host("10.0.0.1", "Alpha", "512"));
    list.HostFound(Host("10.0.1.1", "gamma", "-"));
    list.HostSilent("10.0.1.1");

    list.SortByColumn(kColumnIp);
    EXPECT_TRUE(list.SortAscending());
    EXPECT_EQ(Ips(list), (std::vector<std::string>{"10.0.0.1", "10.0.1.1", "192.168.0.1"}));
    list.SortByColumn(kColumnIp);
    EXPECT_FALSE(list.SortAscending());
    EXPECT_EQ(Ips(list), (std::vector<std::string>{"192.168.0.1", "10.0.1.1", "10.0.0.1"}));

    // Another column starts ascending again; RAM is numeric and "-" counts 0.
    list.SortByColumn(kColumnRam);
    EXPECT_TRUE(list.SortAscending());
    EXPECT_EQ(Ips(list), (std::vector<std::string>{"10.0.1.1", "10.0.0.1", "192.168.0.1"}));

    // Text ignores case.
    list.SortByColumn(kColumnHostName);
    EXPECT_EQ(list.Row(0).text[kColumnHostName], "Alpha");
    EXPECT_EQ(list.Row(1).text[kColumnHostName], "beta");

    // Status: silent rows first when ascending.
    list.SortByColumn(kColumnStatus);
    EXPECT_EQ(list.Row(0).Ip(), "10.0.1.1");
    list.SortByColumn(kColumnStatus);
    EXPECT_EQ(list.Row(2).Ip(), "10.0.1.1");
}

TEST(ResultList, CompareNumericColumnsAsIntegers)
{
    ResultRow a;
    ResultRow b;
    a.text[kColumnNetCardType] = "100";
    b.text[kColumnNetCardType] = "1000";
    EXPECT_LT(ResultList::Compare(a, b, kColumnNetCardType), 0);
    a.text[kColumnCpu] = "100";
    b.text[kColumnCpu] = "1000";
    a.text[kColumnCpu] = "9";
    EXPECT_GT(ResultList::Compare(a, b, kColumnCpu), 0); // text column: "9" after "1000"
    EXPECT_EQ(ResultList::Compare(a, a, kColumnIp), 0);
}

TEST(ResultList, MissingNameAndCpuFlags)
{
    ResultList list;
    list.HostFound(Host("10.0.0.1", "PC"));
    EXPECT_FALSE(list.AnyHostNameMissing());
    EXPECT_FALSE(list.AnyCpuMissing());
    HostRecord noName = Host("10.0.0.2", "-");
    noName.inventory.cpu = "-";
    list.HostFound(noName);
    EXPECT_TRUE(list.AnyHostNameMissing());
    EXPECT_TRUE(list.AnyCpuMissing());
}

TEST(ResultList, StoredHostsRoundTripAndRecordFields)
{
    ResultList list;
    list.AppendStored({"10.0.0.7", "AA:BB:CC:DD:EE:FF", "SRV", "Xeon", "4096", "C$;", "Linux", "1000", "Intel"});
    list.AppendStored({"10.0.0.3", "", "", "", "", "", "", "", ""});
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Row(1).Ip(), "10.0.0.3"); // appended in stored order
    const auto hosts = list.ToStoredHosts();
    EXPECT_EQ(hosts[0].netCardVendor, "Intel");
    EXPECT_EQ(hosts[0].ramMb, "4096");
    const HostRecord record = RowToRecord(list.Row(0));
    EXPECT_EQ(record.inventory.shares, "C$;");
    EXPECT_EQ(record.inventory.adapterSpeed, "1000");
    EXPECT_EQ(record.hostName, "SRV");
}

TEST(ResultList, TheNamesBySourceFollowTheRowToItsProperties)
{
    ResultList list;
    HostRecord host;
    host.ip = "10.0.0.7";
    host.hostName = "alpha.local";
    host.names = {"", "alpha.local", "alpha.example", {"_ipp._tcp"}};
    list.HostFound(host);
    EXPECT_EQ(RowToRecord(list.Row(0)).names.dns, "alpha.example");
    // A later answer replaces them, also when it has none.
    host.names = {};
    list.HostFound(host);
    EXPECT_TRUE(RowToRecord(list.Row(0)).names.Empty());
    // Stored results keep the column texts only.
    EXPECT_EQ(list.ToStoredHosts()[0].hostName, "alpha.local");
}

TEST(DottedQuad, ParsesOnlyFourDecimalOctets)
{
    EXPECT_EQ(ParseDottedQuad("10.0.1.2"), 0x0A000102u);
    EXPECT_EQ(ParseDottedQuad("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_FALSE(ParseDottedQuad("10.0.1"));
    EXPECT_FALSE(ParseDottedQuad("256.0.0.1"));
    EXPECT_FALSE(ParseDottedQuad("000000000001")); // a MAC-sized text is no address
    EXPECT_FALSE(ParseDottedQuad("10.0.0.1 "));
    EXPECT_FALSE(ParseDottedQuad("1.2.3.4.5"));
}

TEST(ResultListChangesTest, MarksGoneRowsInAddressOrderAndClearsMarks)
{
    ResultList list;
    list.HostFound(Host("10.0.0.5"));
    list.HostFound(Host("10.0.0.20"));
    EXPECT_EQ(list.MarkChange("10.0.0.5", "MAC changed", ChangeTint::Changed), 0);
    EXPECT_EQ(list.MarkChange("10.0.0.6", "new", ChangeTint::New), -1);

    // A gone host without a row gets one from the baseline, silent, between the others.
    const ResultList::Change added = list.MarkGone({"10.0.0.9", "AA:BB:CC:00:00:09", "OLD", {}});
    EXPECT_TRUE(added.inserted);
    ASSERT_EQ(added.row, 1);
    EXPECT_EQ(list.Row(1).text[kColumnMac], "AA:BB:CC:00:00:09");
    EXPECT_EQ(list.Row(1).text[kColumnHostName], "OLD");
    EXPECT_EQ(list.Row(1).image, kImageSilent);
    EXPECT_EQ(list.Row(1).change, "gone");
    // One with a row keeps it.
    EXPECT_FALSE(list.MarkGone({"10.0.0.20", "", "", {}}).inserted);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Row(2).image, kImageSilent);

    // The change column sorts; the ten columns and the store never carry it.
    list.SortByColumn(kColumnChange);
    EXPECT_EQ(list.Row(0).Ip(), "10.0.0.5"); // "MAC changed" sorts before "gone"
    for (const StoredHost& host : list.ToStoredHosts()) {
        EXPECT_NE(host.netCardVendor, "gone");
    }
    list.ClearChanges();
    for (const ResultRow& row : list.Rows()) {
        EXPECT_TRUE(row.change.empty());
        EXPECT_EQ(row.tint, ChangeTint::None);
    }
}

TEST(ResultListChangesTest, FilterAndTint)
{
    ResultRow answered;
    ResultRow silent;
    silent.image = kImageSilent;
    ResultRow changed;
    changed.change = "new";
    ResultRow gone = silent;
    gone.change = "gone";
    EXPECT_TRUE(RowPasses(silent, ListFilter::All));
    EXPECT_TRUE(RowPasses(answered, ListFilter::Answered));
    EXPECT_FALSE(RowPasses(silent, ListFilter::Answered));
    EXPECT_FALSE(RowPasses(answered, ListFilter::Changed));
    EXPECT_TRUE(RowPasses(changed, ListFilter::Changed));
    EXPECT_TRUE(RowPasses(gone, ListFilter::Changed));

    const auto change = [](HostChangeKind kind) { return HostChange{kind, "10.0.0.1", "", "", "", ""}; };
    EXPECT_EQ(TintOf({}), ChangeTint::None);
    EXPECT_EQ(TintOf({change(HostChangeKind::New)}), ChangeTint::New);
    EXPECT_EQ(TintOf({change(HostChangeKind::NameChanged), change(HostChangeKind::New)}), ChangeTint::Changed);
    EXPECT_EQ(TintOf({change(HostChangeKind::Conflict), change(HostChangeKind::MacChanged)}), ChangeTint::Conflict);
    EXPECT_EQ(TintOf({change(HostChangeKind::Gone)}), ChangeTint::Gone);
}

} // namespace
} // namespace tessvale

namespace tessvale {
namespace {

// A second MAC that answered for the address in the same scan (a second ARP answer, or
// NetBIOS naming another adapter than ARP) reaches the comparison as a conflict.
TEST(ResultListChanges, AnotherMacOfTheSameScanIsAConflict)
{
    HostRecord record;
    record.ip = "198.18.0.10";
    record.mac = "00:16:3E:00:00:10";
    record.hostName = "PC-10";
    record.otherMacs = {"00:16:3E:00:00:AA"};
    ChangeTracker tracker({{"198.18.0.10", "00:16:3E:00:00:10", "PC-10", {}}});
    const std::vector<HostChange> changes = tracker.Answered(SnapshotOf(record));
    ASSERT_EQ(changes.size(), 1U);
    EXPECT_EQ(changes[0].kind, HostChangeKind::Conflict);
    EXPECT_EQ(changes[0].oldMac, "00:16:3E:00:00:AA");
}

TEST(ResultList, RowsArrivingAfterAHeaderClickKeepTheClickedOrder)
{
    ResultList list;
    list.HostFound(Host("10.0.0.1", "DELTA"));
    list.HostFound(Host("10.0.0.2", "ALPHA"));
    list.SortByColumn(kColumnHostName); // ascending by name
    EXPECT_EQ(list.Placement(Host("10.0.0.3", "CHARLIE")).row, 1);
    list.HostFound(Host("10.0.0.3", "CHARLIE"));
    list.HostFound(Host("10.0.0.9", "ZULU"));
    list.HostFound(Host("10.0.0.4", "BRAVO"));
    EXPECT_EQ(Ips(list), (std::vector<std::string>{"10.0.0.2", "10.0.0.4", "10.0.0.3", "10.0.0.1", "10.0.0.9"}));
    list.SortByColumn(kColumnHostName); // descending
    list.HostFound(Host("10.0.0.5", "ECHO"));
    EXPECT_EQ(Ips(list),
              (std::vector<std::string>{"10.0.0.9", "10.0.0.5", "10.0.0.1", "10.0.0.3", "10.0.0.4", "10.0.0.2"}));
    // A gone host of the baseline goes where the order puts it, as Placement said.
    const HostSnapshot gone{"10.0.0.7", "00:11:22:33:44:77", "FOXTROT", {}};
    const ResultList::Change at = list.Placement(gone);
    EXPECT_TRUE(at.inserted);
    EXPECT_EQ(list.MarkGone(gone).row, at.row);
    EXPECT_EQ(list.Row(at.row).Ip(), "10.0.0.7");
    EXPECT_EQ(at.row, 1);
    // Ascending by RAM: numbers, not text.
    list.SortByColumn(kColumnRam);
    list.HostFound(Host("10.0.0.20", "R1", "1024"));
    list.HostFound(Host("10.0.0.21", "R2", "512"));
    EXPECT_LT(list.Placement(Host("10.0.0.21")).row, list.Placement(Host("10.0.0.20")).row);
}

TEST(ResultList, TypedFilterTextMatchesAddressMacNameVendorAndChange)
{
    ResultRow row;
    row.text[kColumnIp] = "198.18.40.7";
    row.text[kColumnMac] = "00:11:AA:BB:CC:DD";
    row.text[kColumnHostName] = "PRINTER-2";
    row.text[kColumnCpu] = "Xeon";
    row.text[kColumnNetCardVendor] = "Acme Networks";
    row.change = "MAC changed";
    struct Case
    {
        const char* text;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"", true},     {"40.7", true},   {"00:11:aa", true}, {"0011aabb", true},   {"printer", true},
        {"acme", true}, {"mac ch", true}, {"xeon", false},    {"198.18.41", false}, {"aabbccdd00", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RowMatchesText(row, c.text), c.matches) << c.text;
    }
}

TEST(ResultList, AnUpdatedRowFindsItsSortedPlace)
{
    ResultList list;
    for (const auto& [ip, name] : {std::pair{"10.0.0.1", "ALPHA"}, std::pair{"10.0.0.2", "BRAVO"},
                                   std::pair{"10.0.0.3", "CHARLIE"}, std::pair{"10.0.0.4", "DELTA"}}) {
        list.HostFound(Host(ip, name));
    }
    EXPECT_EQ(list.SortedIndexOf(1), 1); // no column sorted: rows stay
    list.SortByColumn(kColumnHostName);
    struct Case
    {
        const char* ip;
        const char* newName;
        std::vector<std::string> order;
    };
    const std::vector<Case> cases = {
        {"10.0.0.1", "ECHO", {"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.1"}},  // down to the end
        {"10.0.0.1", "AARON", {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"}}, // up to the top
        {"10.0.0.3", "BZ", {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"}},    // in place
        {"10.0.0.2", "CZ", {"10.0.0.1", "10.0.0.3", "10.0.0.2", "10.0.0.4"}},    // one down
    };
    for (const Case& c : cases) {
        const int row = list.HostFound(Host(c.ip, c.newName)).row;
        list.MoveRow(row, list.SortedIndexOf(row));
        EXPECT_EQ(Ips(list), c.order) << c.ip << " " << c.newName;
    }
}

} // namespace
} // namespace tessvale
