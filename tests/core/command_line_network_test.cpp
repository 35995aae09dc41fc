// The command-line lookups over the namespace test network: the files they write are
// compared with the hosts the network was built with and with `ip neigh`.
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "app/logic/command_line_lookup.h"
#include "fakes/temp_folder.h"
#include "scan/address_forms.h"
#include "store/config_store.h"
#include "store/scan_settings.h"
#include "test_network.h"

namespace tessvale {
namespace {

using test::NamespaceScope;
using test::NetworkHost;
using test::TestNetwork;

// The system probe, remembering which addresses it was asked about.
class RecordingProbe : public HostProbe
{
public:
    explicit RecordingProbe(HostProbe& inner) : m_inner(inner) {}
    bool NodeStatus(const std::string& address, std::string& mac, std::string& hostName) override
    {
        asked.push_back(address);
        return m_inner.NodeStatus(address, mac, hostName);
    }
    bool Arp(const std::string& address, std::string& mac) override { return m_inner.Arp(address, mac); }
    std::vector<std::string> asked;

private:
    HostProbe& m_inner;
};

class CommandLineNetwork : public test::NetworkSuite<CommandLineNetwork>
{
public:
    static constexpr const char* kNetworkOptions = "--netbios 3 --arp-only 3 --gap 1";

protected:
    // Runs a lookup as start-up does: the system probe over a store that was never
    // loaded, output into the temporary folder.
    // The exit status.
    int Run(const std::string& commandLine)
    {
        ConfigStore unloaded;
        const auto system = MakeSystemProbe(unloaded);
        RecordingProbe probe(*system);
        LookupContext context(probe);
        context.outputFolder = m_folder.Path();
        context.err = nullptr;
        const NamespaceScope inScanner(Scanner());
        EXPECT_TRUE(inScanner.Entered());
        const int status = RunCommandLineLookup(commandLine, context);
        asked = probe.asked;
        return status;
    }
    std::optional<std::string> File(const std::string& name) const
    {
        std::ifstream file(m_folder.Path() + "/" + name, std::ios::binary);
        if (!file) {
            return std::nullopt;
        }
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    // The lines IP2MAC.txt must hold for the whole host range, MACs as `ip neigh` shows them.
    static std::string ExpectedLines()
    {
        std::string lines;
        for (const NetworkHost& host : Network().Hosts()) {
            const std::string neighbour = test::NeighbourMac(Scanner(), host.ip);
            EXPECT_EQ(neighbour, host.mac) << host.ip;
            lines += host.ip + " " + neighbour + "\r\n";
        }
        return lines;
    }

    test::TempFolder m_folder;
    std::vector<std::string> asked;
};

TEST_F(CommandLineNetwork, IpToMacListsEveryAnsweringHost)
{
    // The range starts and ends one address beyond the hosts, so that it holds NetBIOS
    // hosts, ARP-only hosts and silent addresses at both ends.
    const std::uint32_t first = *ParseIpv4(Network().Env("FIRST_HOST")) - 1;
    const std::uint32_t last = *ParseIpv4(Network().Env("LAST_HOST")) + 1;
    ASSERT_EQ(Run("-m " + FormatIpv4(first) + " " + FormatIpv4(last)), 0);
    EXPECT_EQ(File("IP2MAC.txt"), ExpectedLines());
    EXPECT_EQ(asked.size(), last - first + 1);
}

TEST_F(CommandLineNetwork, MacToIpFindsHostsByEveryMacForm)
{
    const std::string first = Network().Env("FIRST_HOST");
    const std::string last = Network().Env("LAST_HOST");
    const auto& hosts = Network().Hosts();
    ASSERT_GE(hosts.size(), 4u);
    const std::string range = " " + first + " " + last;
    for (const NetworkHost& host : {hosts[1], hosts[2]}) { // an ARP-only and a NetBIOS host
        std::string bare;
        std::string hyphens = host.mac;
        for (char& c : hyphens) {
            if (c == ':') {
                c = '-';
            } else {
                bare += c;
            }
        }
        for (const std::string& given : {bare, host.mac, hyphens}) {
            std::string commandLine = "-i " + given;
            commandLine += range;
            ASSERT_EQ(Run(commandLine), 0);
            const std::string written = given.size() == 12 ? host.mac : given;
            EXPECT_EQ(File("MAC2IP.txt"), written + " " + host.ip) << given;
            ASSERT_FALSE(asked.empty());
            EXPECT_EQ(asked.back(), host.ip) << "the walk stops at the hit";
        }
    }
}

TEST_F(CommandLineNetwork, MacToIpWithoutTheMacLeavesAnEmptyFile)
{
    ASSERT_EQ(Run("-i 02:00:00:00:00:01 " + Network().Env("FIRST_HOST") + " " + Network().Hosts()[1].ip),
              kLookupFoundNothing);
    EXPECT_EQ(File("MAC2IP.txt"), "");
    EXPECT_EQ(asked.size(), 3u); // the first host, a silent address, the second host
}

TEST_F(CommandLineNetwork, ReversedRangesAndBadArgumentsProbeNothing)
{
    // A reversed range is refused like a malformed one: no file.
    ASSERT_EQ(Run("-m " + Network().Env("LAST_HOST") + " " + Network().Env("FIRST_HOST")), 2);
    ASSERT_EQ(Run("-m 198.18.0.300"), 2);
    ASSERT_EQ(Run("-i 02000000 " + Network().Env("FIRST_HOST")), 2);
    EXPECT_FALSE(File("IP2MAC.txt"));
    EXPECT_FALSE(File("MAC2IP.txt"));
    EXPECT_TRUE(asked.empty());
}

#ifdef TESSVALE_EXECUTABLE
// The program itself, started without a display: it writes the file beside itself and
// ends without opening a window.
TEST_F(CommandLineNetwork, TheProgramWritesIpToMacBesideItself)
{
    const std::string copy = m_folder.Path() + "/tessvale";
    std::filesystem::copy_file(TESSVALE_EXECUTABLE, copy);
    const std::string range = Network().Env("FIRST_HOST") + " " + Network().Env("LAST_HOST");
    const int status =
        std::system(("ip netns exec " + Scanner() + " env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= " + copy +
                     " -M " + range + " >/dev/null 2>&1")
                        .c_str());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(File("IP2MAC.txt"), ExpectedLines());
}
#endif

} // namespace
} // namespace tessvale
