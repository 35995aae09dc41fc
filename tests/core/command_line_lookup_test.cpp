#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>
#include <system_error>
#include <unistd.h>

#include "app/logic/command_line_lookup.h"
#include "common/checked_output.h"
#include "fakes/temp_folder.h"
#include "scan/host_probe.h"
#include "stream_text.h"

namespace tessvale {
namespace {

// Answers from a script: NetBIOS hosts, ARP-only hosts; everything else is silent.
class ScriptedProbe : public HostProbe
{
public:
    bool NodeStatus(const std::string& address, std::string& mac, std::string& hostName) override
    {
        asked.push_back(address);
        const auto it = netbios.find(address);
        if (it == netbios.end()) {
            return false;
        }
        mac = it->second;
        hostName = "HOST";
        return true;
    }
    bool Arp(const std::string& address, std::string& mac) override
    {
        const auto it = arp.find(address);
        if (it == arp.end()) {
            return false;
        }
        mac = it->second;
        return true;
    }

    std::map<std::string, std::string> netbios;
    std::map<std::string, std::string> arp;
    std::vector<std::string> asked;
};

class CommandLineLookup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        probe.netbios["10.0.0.3"] = "00:11:22:33:44:03";
        probe.arp["10.0.0.5"] = "00:11:22:33:44:55";
        probe.netbios["10.0.0.7"] = "00:11:22:33:44:55";
        probe.arp["10.0.0.255"] = "00:11:22:33:44:FF";
        probe.netbios["10.0.1.2"] = "00:11:22:33:45:02";
    }

    int Run(const std::string& commandLine) { return RunIn(commandLine, m_folder.Path(), ""); }
    int RunIn(const std::string& commandLine, const std::string& folder, const std::string& fallback)
    {
        LookupContext context(probe);
        context.outputFolder = folder;
        context.fallbackFolder = fallback;
        context.wake = [this](const std::string& mac, WakeSendReport& report) {
            woken.push_back(mac);
            report = wakeReport;
            return 1;
        };
        context.err = m_err;
        context.out = m_out;
        context.tellWhere = tellWhere;
        context.interrupted = [this] { return probe.asked.size() >= interruptAfter ? interruptSignal : 0; };
        return RunCommandLineLookup(commandLine, context);
    }
    std::optional<std::string> File(const std::string& name) const
    {
        std::ifstream file(m_folder.File(name), std::ios::binary);
        if (!file) {
            return std::nullopt;
        }
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    void Put(const std::string& name, const std::string& content) const
    {
        std::ofstream(m_folder.File(name), std::ios::binary) << content;
    }

    // What the lookup said on its error stream and its output since the last call.
    static std::string Take(std::FILE* file)
    {
        std::string text = test::StreamText(file);
        std::rewind(file);
        if (ftruncate(fileno(file), 0) != 0) {
            ADD_FAILURE() << "cannot empty the stream";
        }
        return text;
    }
    std::string Said() { return Take(m_err); }
    std::string Answered() { return Take(m_out); }

    void TearDown() override
    {
        EXPECT_EQ(std::fclose(m_err), 0);
        EXPECT_EQ(std::fclose(m_out), 0);
    }

    ScriptedProbe probe;
    std::vector<std::string> woken;
    WakeSendReport wakeReport{kWakeOnLanRepeats, 0};
    bool tellWhere = false;
    std::size_t interruptAfter = SIZE_MAX;
    int interruptSignal = 0;
    test::TempFolder m_folder;
    std::FILE* m_err = std::tmpfile();
    std::FILE* m_out = std::tmpfile();
};

TEST_F(CommandLineLookup, SwitchesMatchInAnyCaseAloneOrBeforeABlank)
{
    EXPECT_EQ(MatchLookupSwitch("-M 10.0.0.1"), LookupSwitch::IpToMac);
    EXPECT_EQ(MatchLookupSwitch("-i 001122334455 10.0.0.1"), LookupSwitch::MacToIp);
    EXPECT_EQ(MatchLookupSwitch("-W 00:11:22:33:44:55"), LookupSwitch::Wake);
    EXPECT_EQ(MatchLookupSwitch("-m"), LookupSwitch::IpToMac); // then refused for its missing range
    EXPECT_EQ(MatchLookupSwitch("-mx 10.0.0.1"), LookupSwitch::None);
    EXPECT_EQ(MatchLookupSwitch("-uninstall"), LookupSwitch::None);
    EXPECT_EQ(MatchLookupSwitch("-i"), LookupSwitch::MacToIp);
    EXPECT_EQ(MatchLookupSwitch(""), LookupSwitch::None);
    EXPECT_EQ(Run("-UNINSTALL"), -1);
    EXPECT_EQ(Run("--scan 10.0.0.1"), -1);
}

TEST_F(CommandLineLookup, MacArgumentForms)
{
    EXPECT_EQ(NormaliseMacArgument("0011aaBBccDD"), "00:11:aa:BB:cc:DD");
    EXPECT_EQ(NormaliseMacArgument("00-11-AA-BB-CC-DD"), "00-11-AA-BB-CC-DD");
    EXPECT_FALSE(NormaliseMacArgument("0011AABBCC"));
    EXPECT_FALSE(NormaliseMacArgument("00:11:AA:BB:CC:DD:"));
    EXPECT_EQ(SplitTokens("  a   b c "), (std::vector<std::string>{"a", "b", "c"}));
}

// Every malformed argument: the message, exit status 2, nothing probed, and the
// earlier files as they were.
TEST_F(CommandLineLookup, MalformedArgumentsAreRefusedAndLeaveTheFilesAlone)
{
    struct Case
    {
        const char* commandLine;
        const char* message; // the line after "tessvale -x: "
    };
    const Case cases[] = {
        {"-m", "the first address of the range is missing"},
        {"-m ", "the first address of the range is missing"},
        {"-i", "the MAC address is missing"},
        {"-w", "the MAC address is missing"},
        {"-m 198.18.52.300", "'198.18.52.300' is not an IPv4 address"},
        {"-m 10.0.0.x", "'10.0.0.x' is not an IPv4 address"},
        {"-m 198.18.52.10 junk", "'junk' is not an IPv4 address"},
        {"-m 198.18.52.12 198.18.52.10", "the last address 198.18.52.10 lies below the first 198.18.52.12"},
        {"-m 10.0.0.1 10.0.0.2 10.0.0.3", "unexpected argument '10.0.0.3'"},
        // The forms inet_aton reads and --scan does not.
        {"-m 3323081738", "'3323081738' is not an IPv4 address"},
        {"-m 198.18.13322", "'198.18.13322' is not an IPv4 address"},
        {"-m 0xc612340a", "'0xc612340a' is not an IPv4 address"},
        {"-m 010.0.0.0x1", "'010.0.0.0x1' is not an IPv4 address"},
        {"-m 198.18.0.0/33", "'198.18.0.0/33' is not a CIDR range such as 198.18.0.0/24"},
        {"-m 0.0.0.0 255.255.255.255", "the range 0.0.0.0 255.255.255.255 holds more than 16777216 addresses; give "
                                       "smaller ones"},
        {"-w zzzzzzzzzzzz", "'zzzzzzzzzzzz' is not a MAC address (12 hexadecimal digits, or six pairs joined by ':' "
                            "or by '-')"},
        {"-w 00:11:22:33:44", "'00:11:22:33:44' is not a MAC address (12 hexadecimal digits, or six pairs joined by "
                              "':' or by '-')"},
        {"-w 001B210A0B0C extra", "unexpected argument 'extra'"},
        {"-i 00:11:22:33:44 10.0.0.1", "'00:11:22:33:44' is not a MAC address (12 hexadecimal digits, or six pairs "
                                       "joined by ':' or by '-')"},
        {"-i GG:11:22:33:44:55 10.0.0.1", "'GG:11:22:33:44:55' is not a MAC address (12 hexadecimal digits, or six "
                                          "pairs joined by ':' or by '-')"},
        {"-i 001122334455", "the first address of the range is missing"},
        {"-i 001122334455 nohost", "'nohost' is not an IPv4 address"},
        {"-i 001122334455 10.0.0.9 10.0.0.1", "the last address 10.0.0.1 lies below the first 10.0.0.9"},
    };
    Put("IP2MAC.txt", "10.0.0.3 00:11:22:33:44:03\r\n");
    Put("MAC2IP.txt", "00:11:22:33:44:55 10.0.0.5");
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.commandLine), 2) << c.commandLine;
        const std::string said = Said();
        const std::string expected =
            std::string("tessvale ") + std::string(c.commandLine).substr(0, 2) + ": " + c.message + "\nusage: ";
        EXPECT_EQ(said.rfind(expected, 0), 0u) << c.commandLine << "\n" << said;
        EXPECT_NE(said.find("Try 'tessvale --help'"), std::string::npos) << c.commandLine;
        EXPECT_EQ(File("IP2MAC.txt"), "10.0.0.3 00:11:22:33:44:03\r\n") << c.commandLine;
        EXPECT_EQ(File("MAC2IP.txt"), "00:11:22:33:44:55 10.0.0.5") << c.commandLine;
        EXPECT_EQ(Answered(), "") << c.commandLine;
    }
    EXPECT_TRUE(probe.asked.empty());
    EXPECT_TRUE(woken.empty());
}

// The lookups that run: the file after, the exit status and the addresses asked.
TEST_F(CommandLineLookup, LookupsWriteTheirFileWhole)
{
    struct Case
    {
        const char* commandLine;
        const char* file;
        std::optional<std::string> content;
        int status;
        std::vector<std::string> asked; // empty: not compared
        std::size_t askedCount;
    };
    const Case cases[] = {
        {"-m 10.0.0.1 10.0.0.8",
         "IP2MAC.txt",
         "10.0.0.3 00:11:22:33:44:03\r\n10.0.0.5 00:11:22:33:44:55\r\n10.0.0.7 00:11:22:33:44:55\r\n",
         0,
         {},
         8},
        {"-m    10.0.0.5  ", "IP2MAC.txt", "10.0.0.5 00:11:22:33:44:55\r\n", 0, {"10.0.0.5"}, 1},
        // Leading zeros are decimal, as --scan reads them: .010 is .10, never octal .8.
        {"-m 10.0.0.005 10.0.0.007",
         "IP2MAC.txt",
         "10.0.0.5 00:11:22:33:44:55\r\n10.0.0.7 00:11:22:33:44:55\r\n",
         0,
         {"10.0.0.5", "10.0.0.6", "10.0.0.7"},
         3},
        {"-m 10.0.0.0/29", "IP2MAC.txt", "10.0.0.3 00:11:22:33:44:03\r\n10.0.0.5 00:11:22:33:44:55\r\n", 0, {}, 6},
        {"-m 10.0.0.250 10.0.1.3",
         "IP2MAC.txt",
         "10.0.0.255 00:11:22:33:44:FF\r\n10.0.1.2 00:11:22:33:45:02\r\n",
         0,
         {},
         10},
        // Nobody answered: an empty file, and the status says so.
        {"-m 10.0.0.8 10.0.0.9", "IP2MAC.txt", "", 1, {}, 2},
        {"-i 001122334455 10.0.0.1 10.0.0.20", "MAC2IP.txt", "00:11:22:33:44:55 10.0.0.5", 0, {}, 5},
        {"-I 00-11-22-33-44-55 10.0.0.1 10.0.0.20", "MAC2IP.txt", "00-11-22-33-44-55 10.0.0.5", 0, {}, 5},
        {"-i 00112233445a 10.0.0.1 10.0.0.2", "MAC2IP.txt", "", 1, {}, 2},
    };
    for (const Case& c : cases) {
        Put(c.file, "earlier content\r\n");
        probe.asked.clear();
        EXPECT_EQ(Run(c.commandLine), c.status) << c.commandLine;
        EXPECT_EQ(File(c.file), c.content) << c.commandLine;
        EXPECT_EQ(probe.asked.size(), c.askedCount) << c.commandLine;
        if (!c.asked.empty()) {
            EXPECT_EQ(probe.asked, c.asked) << c.commandLine;
        }
        EXPECT_EQ(Said(), "") << c.commandLine;
    }
    // No temporary file is left beside them.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_folder.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 2u);
}

// Ctrl-C: -m keeps what it found so far, -i leaves the earlier file; both exit 128 +
// the signal.
TEST_F(CommandLineLookup, InterruptedLookupsKeepWhatTheyFound)
{
    Put("IP2MAC.txt", "old\r\n");
    Put("MAC2IP.txt", "old");
    interruptAfter = 4;
    interruptSignal = SIGINT;
    EXPECT_EQ(Run("-m 10.0.0.1 10.0.0.254"), 130);
    EXPECT_EQ(File("IP2MAC.txt"), "10.0.0.3 00:11:22:33:44:03\r\n");
    EXPECT_EQ(probe.asked.size(), 4u);
    probe.asked.clear();
    interruptSignal = SIGTERM;
    EXPECT_EQ(Run("-i 001122334455 10.0.0.8 10.0.0.254"), 143);
    EXPECT_EQ(File("MAC2IP.txt"), "old");
    EXPECT_EQ(Said(), "");
}

// With the scan's sweep, -m asks it for the whole range at once and writes what it
// found; an interrupted sweep keeps what it found too.
TEST_F(CommandLineLookup, IpToMacWritesWhatTheSweepFound)
{
    std::vector<AddressSpan> swept;
    int stopWith = 0;
    LookupContext context(probe);
    context.outputFolder = m_folder.Path();
    context.err = m_err;
    context.sweep = [&](const AddressSpan& range, std::vector<std::pair<std::uint32_t, std::string>>& found) {
        swept.push_back(range);
        found = {{0x0A000003u, "00:11:22:33:44:03"}, {0x0A000007u, "00:11:22:33:44:55"}};
        return stopWith;
    };
    EXPECT_EQ(RunCommandLineLookup("-m 10.0.0.0/24", context), 0);
    EXPECT_EQ(File("IP2MAC.txt"), "10.0.0.3 00:11:22:33:44:03\r\n10.0.0.7 00:11:22:33:44:55\r\n");
    ASSERT_EQ(swept.size(), 1u);
    EXPECT_EQ(swept[0].first, 0x0A000001u);
    EXPECT_EQ(swept[0].last, 0x0A0000FEu);
    EXPECT_TRUE(probe.asked.empty()); // nothing asked one by one
    stopWith = SIGINT;
    Put("IP2MAC.txt", "old");
    EXPECT_EQ(RunCommandLineLookup("-m 10.0.0.1 10.0.0.9", context), 130);
    EXPECT_EQ(File("IP2MAC.txt"), "10.0.0.3 00:11:22:33:44:03\r\n10.0.0.7 00:11:22:33:44:55\r\n");
    // -i keeps its own walk, which stops at the first hit.
    EXPECT_EQ(RunCommandLineLookup("-i 001122334403 10.0.0.1 10.0.0.9", context), 0);
    EXPECT_EQ(swept.size(), 2u);
    EXPECT_EQ(Said(), "");
}

TEST_F(CommandLineLookup, WakeSaysWhereThePacketWentOrThatNoneWent)
{
    EXPECT_EQ(Run("-w 001B210A0B0C"), 0);
    EXPECT_EQ(Answered(), "Magic packet sent to 00:1B:21:0A:0B:0C via 255.255.255.255 port 4000\n");
    EXPECT_EQ(Run("-W 00-1b-21-0a-0b-0c"), 0);
    EXPECT_EQ(Answered(), "Magic packet sent to 00-1B-21-0A-0B-0C via 255.255.255.255 port 4000\n");
    EXPECT_EQ(woken, (std::vector<std::string>{"00:1B:21:0A:0B:0C", "00-1b-21-0a-0b-0c"}));
    EXPECT_EQ(Said(), "");

    // Every send failed.
    wakeReport = WakeSendReport{0, ENETUNREACH};
    EXPECT_EQ(Run("-w 001B210A0B0C"), kLookupFoundNothing);
    EXPECT_EQ(Answered(), "");
    EXPECT_EQ(Said(), "tessvale -w: no magic packet could be sent to 00:1B:21:0A:0B:0C: " +
                          std::generic_category().message(ENETUNREACH) + "\n");
    EXPECT_FALSE(File("IP2MAC.txt"));
}

// A program folder that cannot be written (here: a file stands where the folder
// should be, which stops root too) sends the file to the data folder, made when
// missing; on a terminal the lookup says where it went.
TEST_F(CommandLineLookup, UnwritableProgramFolderFallsBackToTheDataFolder)
{
    std::ofstream(m_folder.File("bin")) << "a file, not a folder";
    const std::string data = m_folder.File("data/Tessvale");
    tellWhere = true;
    EXPECT_EQ(RunIn("-m 10.0.0.3", m_folder.File("bin"), data), 0);
    EXPECT_EQ(File("data/Tessvale/IP2MAC.txt"), "10.0.0.3 00:11:22:33:44:03\r\n");
    EXPECT_EQ(Said(), "tessvale: written to " + data + "/IP2MAC.txt\n");

    // Nowhere to write: said once with the reasons, whether or not on a terminal, and
    // the write-error status.
    tellWhere = false;
    std::ofstream(m_folder.File("data2")) << "also a file";
    EXPECT_EQ(RunIn("-i 001122334455 10.0.0.1 10.0.0.9", m_folder.File("bin"), m_folder.File("data2/T")),
              kWriteErrorExitCode);
    const std::string said = Said();
    EXPECT_EQ(said.rfind("tessvale: cannot write MAC2IP.txt: " + std::generic_category().message(ENOTDIR), 0), 0u)
        << said;
    EXPECT_NE(said.find(m_folder.File("bin")), std::string::npos) << said;
    EXPECT_NE(said.find(m_folder.File("data2/T")), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);

    // A writable program folder is used first.
    EXPECT_EQ(RunIn("-m 10.0.0.5", m_folder.Path(), data), 0);
    EXPECT_EQ(File("IP2MAC.txt"), "10.0.0.5 00:11:22:33:44:55\r\n");
}

TEST(LookupContextFor, AnInstalledProgramWritesOnlyToTheDataFolder)
{
    ScriptedProbe probe;
    const LookupContext installed = LookupContextFor(probe, "/usr/bin", true, "/home/u/.config/Tessvale");
    EXPECT_EQ(installed.outputFolder, "");
    EXPECT_EQ(installed.fallbackFolder, "/home/u/.config/Tessvale");
    const LookupContext built = LookupContextFor(probe, "/src/build", false, "/home/u/.config/Tessvale");
    EXPECT_EQ(built.outputFolder, "/src/build");
    EXPECT_FALSE(built.tellWhere);
}

} // namespace
} // namespace tessvale
