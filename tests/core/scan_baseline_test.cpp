// The baseline of --against: an earlier scan's output in its three forms, hostile
// files, and stored results by name.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "app/logic/headless_scan.h"
#include "app/logic/scan_baseline.h"
#include "fakes/temp_folder.h"
#include "store/config_store.h"

namespace tessvale {
namespace {

HostRecord Host(const std::string& ip, const std::string& mac, const std::string& name)
{
    HostRecord record;
    record.ip = ip;
    record.mac = mac;
    record.hostName = name;
    record.inventory.cpu = "x86, \"fast\"";
    record.inventory.vendor = "Intel Corporate";
    return record;
}

// What the comparison keeps of the hosts, one text each.
std::vector<std::string> Keys(const std::vector<HostSnapshot>& hosts)
{
    std::vector<std::string> keys;
    keys.reserve(hosts.size());
    for (const HostSnapshot& host : hosts) {
        keys.push_back(host.ip + "|" + host.mac + "|" + host.name);
    }
    return keys;
}

const std::vector<HostRecord> kHosts = {
    Host("198.18.0.5", "00:1B:21:00:00:05", "PC05"),
    Host("198.18.0.9", "02:00:00:00:00:09", "-"),
    Host("198.18.0.12", "02:00:00:00:00:0C", "=SUM(A1)"), // marked for spreadsheets in CSV
    Host("198.18.0.13", "02:00:00:00:00:0D", "Lab, \"B\""),
};
const std::vector<std::string> kKeys = {"198.18.0.5|00:1B:21:00:00:05|PC05", "198.18.0.9|02:00:00:00:00:09|-",
                                        "198.18.0.12|02:00:00:00:00:0C|=SUM(A1)",
                                        "198.18.0.13|02:00:00:00:00:0D|Lab, \"B\""};

std::string Output(OutputFormat format, bool header, bool withChange)
{
    std::string text = header ? HeadlessHeaderLine(format, withChange) : std::string();
    const std::string none;
    for (HostRecord host : kHosts) {
        // The JSON form's names by source and service types are read past.
        host.names = {"", host.ip + ".local", "", {"_ssh._tcp", "_ipp._tcp"}};
        text += HeadlessHostLine(host, format, withChange ? &none : nullptr);
    }
    if (withChange) {
        const std::string gone = "gone";
        text += HeadlessHostLine(Host("198.18.0.77", "02:00:00:00:00:4D", "OLD"), format, &gone);
    }
    return text;
}

TEST(ScanBaseline, ReadsWhatTheScanWritesInEveryFormWithAndWithoutHeader)
{
    for (const OutputFormat format : {OutputFormat::Tsv, OutputFormat::Csv, OutputFormat::Json}) {
        for (const bool header : {false, true}) {
            for (const bool withChange : {false, true}) {
                const std::string text = Output(format, header, withChange);
                std::vector<HostSnapshot> hosts;
                std::string error;
                ASSERT_TRUE(ParseBaseline(text, hosts, error)) << error << "\n" << text;
                // The gone line of an earlier comparison is no host of that scan.
                EXPECT_EQ(Keys(hosts), kKeys) << text;
            }
        }
    }
    EXPECT_EQ(DetectBaselineForm("\n\n{\"IP\":\"198.18.0.1\"}\n"), BaselineForm::Json);
    EXPECT_EQ(DetectBaselineForm("IP\tMAC\n"), BaselineForm::Tsv);
    EXPECT_EQ(DetectBaselineForm("198.18.0.1,AA\n"), BaselineForm::Csv);
}

TEST(ScanBaseline, ToleratesLineEndsBlankLinesAndAByteOrderMark)
{
    std::vector<HostSnapshot> hosts;
    std::string error;
    ASSERT_TRUE(ParseBaseline("\xEF\xBB\xBF\r\n"
                              "198.18.0.1,02-00-00-00-00-01,A\r\n\r\n"
                              "\"198.18.0.2\",\"02:00:00:00:00:02\",\"multi\nline\"\r\n",
                              hosts, error))
        << error;
    EXPECT_EQ(Keys(hosts),
              (std::vector<std::string>{"198.18.0.1|02-00-00-00-00-01|A", "198.18.0.2|02:00:00:00:00:02|multi line"}));
    ASSERT_TRUE(ParseBaseline("", hosts, error));
    EXPECT_TRUE(hosts.empty());
}

TEST(ScanBaseline, HostileTextIsRefusedWithTheLineOrCutAndBlanked)
{
    struct Case
    {
        std::string text, message;
    };
    const std::string huge(kMaxBaselineLine + 1, 'x');
    const Case cases[] = {
        {"198.18.0.1\tA\tB\n198.18.0.2\t" + huge + "\n", "line 2: longer than 65536 bytes"},
        {"198.18.0.1,A,B\n198.18.0.2,\"" + huge + "\"\n", "line 2: longer than 65536 bytes"},
        {"198.18.0.1,\"" + huge, "line 1: a quoted field longer"},
        {"198.18.0.1,A,B\n\"198.18.0.2,A,B\n198.18.0.3,A,B\n", "line 2: a quote that is never closed"},
        {"198.18.0.1,\"A\"x,B\n", "line 1: text after a closing quote"},
        {"198.18.0.1,A\"A,B\n", "line 1: a quote inside an unquoted field"},
        {"IP,MAC,HostName\nhost.example,A,B\n", "line 2: 'host.example' is not an IPv4 address"},
        {"198.18.0.1,A\n", "line 1: a scan's line has at least"},
        {"{\"IP\":\"198.18.0.1\",\"MAC\":5}\n", "line 1: not an object of texts"},
        {"{\"IP\":\"198.18.0.1\"} trailing\n", "line 1: not an object"},
        {"{\"IP\":\"198.18.0.1\",\"names\":{\"mdns\":{\"x\":\"y\"}}}\n", "line 1: not an object"},
        {"{\"IP\":\"198.18.0.1\",\"services\":[\"a\",5]}\n", "line 1: not an object"},
        {"{\"IP\":\"198.18.0.1\",\"services\":[\"a\"\n", "line 1: not an object"},
        {"{\"IP\":\"198.18.0.1\",\"names\":nul}\n", "line 1: not an object"},
        {"{\"IP\":\"198.18.0.1\",\"MAC\":\"\\u12\"}\n", "line 1: not an object"},
        {"{\"MAC\":\"A\"}\n", "line 1: an object without \"IP\""},
        {std::string("198.18.0.1\x1b[2J,A,B\n"), "line 1: '198.18.0.1 [2J' is not an IPv4 address"},
    };
    for (const Case& test : cases) {
        std::vector<HostSnapshot> hosts;
        std::string error;
        EXPECT_FALSE(ParseBaseline(test.text, hosts, error)) << test.message;
        EXPECT_EQ(error.rfind(test.message, 0), 0u) << error;
        EXPECT_TRUE(hosts.empty());
        EXPECT_LT(error.size(), 200u);
    }

    // Texts that parse are cut to their fields and lose their control characters.
    std::vector<HostSnapshot> hosts;
    std::string error;
    ASSERT_TRUE(ParseBaseline("{\"IP\":\"198.18.0.1\",\"MAC\":\"A\\u001b[31m\",\"HostName\":\"" +
                                  std::string(1000, 'n') + "\"}\n",
                              hosts, error))
        << error;
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_EQ(hosts[0].mac, "A [31m");
    EXPECT_EQ(hosts[0].name.size(), HostRecord::kHostNameCapacity - 1);
}

TEST(ScanBaseline, FilesAreBoundedAndTheirFaultsNamed)
{
    test::TempFolder folder;
    std::vector<HostSnapshot> hosts;
    std::string error;
    const std::string good = folder.File("old.json");
    ASSERT_TRUE(test::WriteFile(good, Output(OutputFormat::Json, true, true)));
    ASSERT_TRUE(ReadBaselineFile(good, hosts, error)) << error;
    EXPECT_EQ(Keys(hosts), kKeys);

    EXPECT_FALSE(ReadBaselineFile(folder.File("missing.tsv"), hosts, error));
    EXPECT_NE(error.find("missing.tsv': No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(ReadBaselineFile(folder.Path(), hosts, error));
    EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;

    // Too large: refused from its size, before anything is read.
    const std::string large = folder.File("large.tsv");
    ASSERT_TRUE(test::WriteFile(large, ""));
    ASSERT_EQ(::truncate(large.c_str(), static_cast<off_t>(kMaxBaselineBytes + 1)), 0);
    EXPECT_FALSE(ReadBaselineFile(large, hosts, error));
    EXPECT_NE(error.find("is larger than 64 MiB"), std::string::npos) << error;

    const std::string bad = folder.File("bad.csv");
    ASSERT_TRUE(test::WriteFile(bad, "IP,MAC,HostName\n198.18.0.1,\"A,B\n"));
    EXPECT_FALSE(ReadBaselineFile(bad, hosts, error));
    EXPECT_NE(error.find("bad.csv', line 2: a quote that is never closed"), std::string::npos) << error;
}

TEST(ScanBaseline, AStoredResultByItsExactNameElseAFile)
{
    test::TempFolder folder;
    ConfigStore store;
    ConfigRecord result = MakeResultRecord();
    result.SetValue(kResultName, "office");
    store.AddRecord(result);
    ConfigRecord other = MakeResultRecord();
    other.SetValue(kResultName, "office 2");
    store.AddRecord(other);
    for (const auto& [id, ip] : {std::pair{result.id, "198.18.0.5"}, std::pair{other.id, "198.18.0.6"}}) {
        ConfigRecord item = MakeItemRecord();
        item.SetValue(kItemResultId, std::to_string(id));
        item.SetValue(kItemIp, ip);
        item.SetValue(kItemMac, "00:1B:21:00:00:05");
        item.SetValue(kItemHostName, "PC");
        store.AddRecord(item);
    }

    std::vector<HostSnapshot> hosts;
    std::string error;
    ASSERT_TRUE(LoadBaseline(store, "office", hosts, error)) << error;
    EXPECT_EQ(Keys(hosts), std::vector<std::string>{"198.18.0.5|00:1B:21:00:00:05|PC"});
    EXPECT_FALSE(StoredBaseline(store, "Office", hosts));

    const std::string file = folder.File("scan.tsv");
    ASSERT_TRUE(test::WriteFile(file, Output(OutputFormat::Tsv, false, false)));
    ASSERT_TRUE(LoadBaseline(store, file, hosts, error)) << error;
    EXPECT_EQ(Keys(hosts), kKeys);

    EXPECT_FALSE(LoadBaseline(store, "offices", hosts, error));
    EXPECT_EQ(error, "no stored result is named 'offices' and there is no such file");
}

} // namespace
} // namespace tessvale
