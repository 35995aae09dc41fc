#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

#include "app/logic/command_line_lookup.h"
#include "fakes/temp_folder.h"
#include "scan/host_probe.h"

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

    bool Run(const std::string& commandLine) { return RunIn(commandLine, m_folder.Path(), "", nullptr); }
    bool RunIn(const std::string& commandLine, const std::string& folder, const std::string& fallback,
               std::FILE* report)
    {
        const LookupContext context{probe, folder,
                                    [this](const std::string& mac) {
                                        woken.push_back(mac);
                                        return 1;
                                    },
                                    fallback, report};
        return RunCommandLineLookup(commandLine, context);
    }
    std::optional<std::string> File(const char* name) const
    {
        std::ifstream file(m_folder.File(name), std::ios::binary);
        if (!file) {
            return std::nullopt;
        }
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    static std::string Read(std::FILE* file)
    {
        std::rewind(file);
        std::string text;
        char buffer[512];
        std::size_t length = 0;
        while ((length = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            text.append(buffer, length);
        }
        return text;
    }

    ScriptedProbe probe;
    std::vector<std::string> woken;
    test::TempFolder m_folder;
};

TEST_F(CommandLineLookup, SwitchesMatchTheirFirstThreeCharactersInAnyCase)
{
    EXPECT_EQ(MatchLookupSwitch("-M 10.0.0.1"), LookupSwitch::IpToMac);
    EXPECT_EQ(MatchLookupSwitch("-i 001122334455 10.0.0.1"), LookupSwitch::MacToIp);
    EXPECT_EQ(MatchLookupSwitch("-W 00:11:22:33:44:55"), LookupSwitch::Wake);
    EXPECT_EQ(MatchLookupSwitch("-m"), LookupSwitch::None);
    EXPECT_EQ(MatchLookupSwitch("-mx 10.0.0.1"), LookupSwitch::None);
    EXPECT_EQ(MatchLookupSwitch("-uninstall"), LookupSwitch::None);
    EXPECT_EQ(MatchLookupSwitch(""), LookupSwitch::None);
    EXPECT_FALSE(Run("-UNINSTALL"));
    EXPECT_FALSE(Run("--scan 10.0.0.1"));
}

TEST_F(CommandLineLookup, MacArgumentForms)
{
    EXPECT_EQ(NormaliseMacArgument("0011aaBBccDD"), "00:11:aa:BB:cc:DD");
    EXPECT_EQ(NormaliseMacArgument("00-11-AA-BB-CC-DD"), "00-11-AA-BB-CC-DD");
    EXPECT_FALSE(NormaliseMacArgument("0011AABBCC"));
    EXPECT_FALSE(NormaliseMacArgument("00:11:AA:BB:CC:DD:"));
    EXPECT_EQ(SplitTokens("  a   b c "), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(CommandLineLookup, IpToMacWritesOneLinePerAnsweringAddress)
{
    EXPECT_TRUE(Run("-m 10.0.0.1 10.0.0.8"));
    EXPECT_EQ(File("IP2MAC.txt"), "10.0.0.3 00:11:22:33:44:03\r\n"
                                  "10.0.0.5 00:11:22:33:44:55\r\n"
                                  "10.0.0.7 00:11:22:33:44:55\r\n");
    EXPECT_EQ(probe.asked.size(), 8u);
}

TEST_F(CommandLineLookup, IpToMacSingleAddressAndExtraBlanks)
{
    EXPECT_TRUE(Run("-m    10.0.0.5  "));
    EXPECT_EQ(File("IP2MAC.txt"), "10.0.0.5 00:11:22:33:44:55\r\n");
    EXPECT_EQ(probe.asked, std::vector<std::string>{"10.0.0.5"});
}

TEST_F(CommandLineLookup, IpToMacWalkCarriesIntoTheThirdOctet)
{
    EXPECT_TRUE(Run("-m 10.0.0.250 10.0.1.3"));
    ASSERT_EQ(probe.asked.size(), 10u);
    EXPECT_EQ(probe.asked.front(), "10.0.0.250");
    EXPECT_EQ(probe.asked[5], "10.0.0.255");
    EXPECT_EQ(probe.asked[6], "10.0.1.0");
    EXPECT_EQ(probe.asked.back(), "10.0.1.3");
    EXPECT_EQ(File("IP2MAC.txt"), "10.0.0.255 00:11:22:33:44:FF\r\n10.0.1.2 00:11:22:33:45:02\r\n");
}

TEST_F(CommandLineLookup, IpToMacReversedRangeLeavesAnEmptyFile)
{
    EXPECT_TRUE(Run("-m 10.0.0.9 10.0.0.1"));
    EXPECT_EQ(File("IP2MAC.txt"), "");
    EXPECT_TRUE(probe.asked.empty());
}

TEST_F(CommandLineLookup, BadOrMissingAddressesWriteNoFile)
{
    for (const char* commandLine :
         {"-m ", "-m 10.0.0.x", "-m 10.0.0.1 bad", "-m 255.255.255.255", "-m 10.0.0.1 255.255.255.255",
          "-i 001122334455", "-i 001122334455 nohost", "-i 001122334455 10.0.0.1 255.255.255.255"}) {
        EXPECT_TRUE(Run(commandLine)) << commandLine;
        EXPECT_FALSE(File("IP2MAC.txt")) << commandLine;
        EXPECT_FALSE(File("MAC2IP.txt")) << commandLine;
    }
    EXPECT_TRUE(probe.asked.empty());
}

TEST_F(CommandLineLookup, MacToIpStopsAtTheFirstHit)
{
    EXPECT_TRUE(Run("-i 001122334455 10.0.0.1 10.0.0.20"));
    EXPECT_EQ(File("MAC2IP.txt"), "00:11:22:33:44:55 10.0.0.5");
    EXPECT_EQ(probe.asked.back(), "10.0.0.5");
}

TEST_F(CommandLineLookup, MacToIpMatchesEveryWrittenForm)
{
    probe.arp.erase("10.0.0.5");
    for (const char* mac : {"001122334455", "00:11:22:33:44:55", "00-11-22-33-44-55"}) {
        probe.asked.clear();
        EXPECT_TRUE(Run(std::string("-I ") + mac + " 10.0.0.1 10.0.0.20"));
        const std::string given = std::string(mac).size() == 12 ? "00:11:22:33:44:55" : mac;
        EXPECT_EQ(File("MAC2IP.txt"), given + " 10.0.0.7") << mac;
        EXPECT_EQ(probe.asked.size(), 7u) << mac; // 10.0.0.8 and later are not asked
    }
    // Lower-case input is written in upper case.
    EXPECT_TRUE(Run("-i 00112233445a 10.0.0.1 10.0.0.2"));
    EXPECT_EQ(File("MAC2IP.txt"), "");
    probe.netbios["10.0.0.2"] = "00:11:22:33:44:5A";
    EXPECT_TRUE(Run("-i 00112233445a 10.0.0.1 10.0.0.2"));
    EXPECT_EQ(File("MAC2IP.txt"), "00:11:22:33:44:5A 10.0.0.2");
}

TEST_F(CommandLineLookup, MacToIpWrongLengthWritesNoFile)
{
    EXPECT_TRUE(Run("-i 0011223344 10.0.0.1 10.0.0.20"));
    EXPECT_FALSE(File("MAC2IP.txt"));
    EXPECT_TRUE(probe.asked.empty());
}

TEST_F(CommandLineLookup, WakeTakesTheMacInColonForm)
{
    EXPECT_TRUE(Run("-w 001B210A0B0C"));
    EXPECT_TRUE(Run("-W 00-1B-21-0A-0B-0C"));
    EXPECT_TRUE(Run("-w 001B210A0B"));    // ten characters: nothing is sent
    EXPECT_TRUE(Run("-w  001B210A0B0C")); // the blank belongs to the MAC: 13 characters
    EXPECT_EQ(woken, (std::vector<std::string>{"00:1B:21:0A:0B:0C", "00-1B-21-0A-0B-0C"}));
    EXPECT_FALSE(File("IP2MAC.txt"));
}

// A program folder that cannot be written (here: a file stands where the folder
// should be, which stops root too) sends the file to the data folder, made when
// missing; the report stream learns where it went.
TEST_F(CommandLineLookup, UnwritableProgramFolderFallsBackToTheDataFolder)
{
    std::ofstream(m_folder.File("bin")) << "a file, not a folder";
    const std::string data = m_folder.File("data/Tessvale");
    std::FILE* report = std::tmpfile();
    EXPECT_TRUE(RunIn("-m 10.0.0.3", m_folder.File("bin"), data, report));
    EXPECT_EQ(File("data/Tessvale/IP2MAC.txt"), "10.0.0.3 00:11:22:33:44:03\r\n");
    EXPECT_EQ(Read(report), "tessvale: written to " + data + "/IP2MAC.txt\n");
    std::fclose(report);

    // Nowhere to write: said once, and nothing is probed.
    std::ofstream(m_folder.File("data2")) << "also a file";
    report = std::tmpfile();
    probe.asked.clear();
    EXPECT_TRUE(RunIn("-i 001122334455 10.0.0.1 10.0.0.9", m_folder.File("bin"), m_folder.File("data2/T"), report));
    EXPECT_TRUE(probe.asked.empty());
    const std::string said = Read(report);
    EXPECT_EQ(said.rfind("tessvale: cannot write " + m_folder.File("bin") + "/MAC2IP.txt or ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    std::fclose(report);

    // Without a report stream nothing is said; a writable program folder is used first.
    EXPECT_TRUE(RunIn("-m 10.0.0.5", m_folder.Path(), data, nullptr));
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
    EXPECT_EQ(built.report, nullptr);
}

} // namespace
} // namespace tessvale
