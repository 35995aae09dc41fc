#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/logic/headless_scan.h"
#include "fakes/fake_host_probe.h"
#include "scan/job_pool.h"
#include "store/config_store.h"

namespace tessvale {
namespace {

using fakes::FakeHostProbe;
using fakes::FakeVendorLookup;

HeadlessParse Parse(std::vector<const char*> arguments, HeadlessScanOptions& options, std::string& error)
{
    arguments.insert(arguments.begin(), "tessvale");
    return ParseHeadlessScanArgs(static_cast<int>(arguments.size()), arguments.data(), options, error);
}

TEST(HeadlessScanArgs, ReadsRangeAndOptions)
{
    HeadlessScanOptions options;
    std::string error;
    ASSERT_EQ(
        Parse({"--scan", "10.0.0.1", "10.0.0.254", "--threads", "100", "--timeout", "250", "--csv"}, options, error),
        HeadlessParse::Scan);
    EXPECT_EQ(options.first, "10.0.0.1");
    EXPECT_EQ(options.last, "10.0.0.254");
    EXPECT_EQ(options.threads, 100);
    EXPECT_EQ(options.timeoutMs, 250);
    EXPECT_TRUE(options.csv);

    ASSERT_EQ(Parse({"--scan"}, options, error), HeadlessParse::Scan);
    EXPECT_TRUE(options.first.empty());
    EXPECT_FALSE(options.threads.has_value());
    EXPECT_FALSE(options.csv);

    EXPECT_EQ(Parse({"-m", "10.0.0.1"}, options, error), HeadlessParse::NotAScan);
    EXPECT_EQ(Parse({}, options, error), HeadlessParse::NotAScan);
}

TEST(HeadlessScanArgs, BadInputIsAnErrorWithAReason)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--scan", "10.0.0.1"},                                // one end only
        {"--scan", "10.0.0.300", "10.0.0.4"},                  // not an address
        {"--scan", "10.0.0.9", "10.0.0.4"},                    // last below first
        {"--scan", "10.0.0.1", "10.0.0.4", "--threads", "x"},  // not a number
        {"--scan", "10.0.0.1", "10.0.0.4", "--threads", "-3"}, // not a count
        {"--scan", "10.0.0.1", "10.0.0.4", "--threads", "5000"},
        {"--scan", "10.0.0.1", "10.0.0.4", "--timeout"},
        {"--scan", "10.0.0.1", "10.0.0.4", "--verbose"},
        {"--scan", "1.1.1.1", "1.1.1.2", "1.1.1.3"},
    };
    for (const auto& arguments : bad) {
        HeadlessScanOptions options;
        std::string error;
        EXPECT_EQ(Parse(arguments, options, error), HeadlessParse::Error) << arguments[1];
        EXPECT_FALSE(error.empty());
    }
}

TEST(HeadlessScanLines, TabAndCsvForms)
{
    HostRecord record;
    record.ip = "10.0.0.7";
    record.mac = "00:1B:21:0A:0B:0C";
    record.hostName = "PC07";
    record.inventory.shares = "C$;print,er;";
    record.inventory.systemVersion = "Say \"hi\"";
    record.inventory.vendor = "Intel Corporate\r";
    EXPECT_EQ(HeadlessHeaderLine(false), "IP\tMAC\tHostName\tCPU\tRAM Size\tShare File\tSystemVer\tNetCard Type\t"
                                         "NetCard Vendor\n");
    EXPECT_EQ(HeadlessHostLine(record, false),
              "10.0.0.7\t00:1B:21:0A:0B:0C\tPC07\t\t\tC$;print,er;\tSay \"hi\"\t\tIntel Corporate\n");
    EXPECT_EQ(HeadlessHostLine(record, true),
              "10.0.0.7,00:1B:21:0A:0B:0C,PC07,,,\"C$;print,er;\",\"Say \"\"hi\"\"\",,Intel Corporate\n");

    record.inventory.cpu = "two\tcolumns\nand lines";
    EXPECT_NE(HeadlessHostLine(record, false).find("\tPC07\ttwo columns and lines\t\t"), std::string::npos);
    EXPECT_NE(HeadlessHostLine(record, true).find("\"two\tcolumns\nand lines\""), std::string::npos);
}

// The scan over fakes, its table read back from temporary files.
class HeadlessScanRun : public ::testing::Test
{
protected:
    HeadlessScanRun() : m_pool([] { return std::uint64_t{0}; }) {}
    ~HeadlessScanRun() override
    {
        std::fclose(m_out);
        std::fclose(m_err);
    }

    int Run(const HeadlessScanOptions& options, const InterruptWait& wait)
    {
        return RunHeadlessScan(options, HeadlessScanDeps{m_pool, m_store, m_probe, m_vendors, nullptr}, m_out, m_err,
                               wait);
    }
    static std::string Read(std::FILE* file)
    {
        std::rewind(file);
        std::string text;
        char buffer[4096];
        std::size_t length = 0;
        while ((length = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            text.append(buffer, length);
        }
        return text;
    }

    JobPool m_pool;
    ConfigStore m_store;
    FakeHostProbe m_probe;
    FakeVendorLookup m_vendors;
    std::FILE* m_out = std::tmpfile();
    std::FILE* m_err = std::tmpfile();
};

TEST_F(HeadlessScanRun, ListsTheAnsweringHostsAndCountsOnStandardError)
{
    m_probe.AddNetbiosHost("198.18.0.5", "00:1B:21:00:00:05", "PC05");
    m_probe.AddArpHost("198.18.0.9", "02:00:00:00:00:09");
    m_vendors.Add("00:1B:21", "Intel Corporate");
    HeadlessScanOptions options;
    options.first = "198.18.0.1";
    options.last = "198.18.0.20";
    options.threads = 3;
    EXPECT_EQ(Run(options, [](std::chrono::milliseconds) { return false; }), 0);

    const std::string out = Read(m_out);
    EXPECT_EQ(out.rfind(HeadlessHeaderLine(false), 0), 0u);
    EXPECT_NE(out.find("198.18.0.5\t00:1B:21:00:00:05\tPC05\t\t\t\t\t\tIntel Corporate\n"), std::string::npos);
    EXPECT_NE(out.find("198.18.0.9\t02:00:00:00:00:09\t-\t\t\t\t\t\t\n"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
    // Not a terminal: no progress, only the counts.
    EXPECT_EQ(Read(m_err), "Online:2/Offline:18\n");

    // The thread count applied to this run only: the document was not written.
    EXPECT_EQ(m_store.LoadSettings().Value(kAutoscanThreads), "3");
    EXPECT_TRUE(m_store.Path().empty() || !std::filesystem::exists(m_store.Path()));
}

TEST_F(HeadlessScanRun, InterruptStopsAndDrainsWithoutAPartialLine)
{
    for (int i = 1; i <= 254; ++i) {
        m_probe.AddNetbiosHost("198.18.0." + std::to_string(i), "00:1B:21:00:00:01", "PC");
    }
    m_probe.SetDelay(std::chrono::milliseconds(5));
    HeadlessScanOptions options;
    options.first = "198.18.0.1";
    options.last = "198.18.0.254";
    options.threads = 4;
    std::atomic<int> polls{0};
    const auto interruptAtThirdPoll = [&](std::chrono::milliseconds timeout) {
        std::this_thread::sleep_for(timeout);
        return ++polls >= 3;
    };
    EXPECT_EQ(Run(options, interruptAtThirdPoll), 130);

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

} // namespace
} // namespace tessvale
