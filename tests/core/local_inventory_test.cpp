#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/temp_folder.h"
#include "scan/host_inventory_query.h"
#include "scan/linux/local_inventory_provider.h"
#include "scan/samba_config.h"
#include "shell_output.h"

namespace tessvale {
namespace {

namespace fs = std::filesystem;

std::string Query(InventoryProvider& provider, InventoryItem item, bool* ok = nullptr)
{
    const auto session = provider.Connect("127.0.0.1", nullptr);
    InventoryObjects objects;
    const bool answered = session->Query(item, objects);
    if (ok) {
        *ok = answered;
    }
    return answered ? InventoryResultText(item, objects) : std::string();
}

TEST(LocalInventory, AgreesWithThisMachine)
{
    const auto provider = MakeLocalInventoryProvider();
    EXPECT_EQ(Query(*provider, InventoryItem::SystemVersion),
              test::ShellOutput(
                  "sh -c '. /etc/os-release 2>/dev/null || . /usr/lib/os-release; printf %s \"$PRETTY_NAME\"'"));
    EXPECT_EQ(
        Query(*provider, InventoryItem::Processor),
        test::ShellOutput("grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^[ \\t]*//; s/[ \\t]*$//'"));
    EXPECT_EQ(Query(*provider, InventoryItem::Memory),
              test::ShellOutput("awk '/^MemTotal:/ { print int($2 / 1024) }' /proc/meminfo"));
    const std::string speed = test::ShellOutput("for d in $(ls /sys/class/net); do"
                                                "  echo \"$(cat /sys/class/net/$d/ifindex) $d\"; done | sort -n |"
                                                " while read i d; do"
                                                "  [ \"$(cat /sys/class/net/$d/operstate)\" = up ] || continue;"
                                                "  s=$(cat /sys/class/net/$d/speed 2>/dev/null) || continue;"
                                                "  [ \"${s:-0}\" -gt 0 ] 2>/dev/null && { echo $s; break; }; done");
    EXPECT_EQ(Query(*provider, InventoryItem::AdapterSpeed), speed);
}

class LocalInventoryTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_folder.Path().empty());
        root = m_folder.Path();
        fs::create_directories(root / "net");
        paths.osRelease = (root / "os-release").string();
        paths.osReleaseFallback = (root / "missing-os-release").string();
        paths.cpuInfo = (root / "cpuinfo").string();
        paths.memInfo = (root / "meminfo").string();
        paths.netClass = (root / "net").string();
        paths.smbConf = (root / "smb.conf").string();
        paths.proc = (root / "proc").string();
        fs::create_directories(root / "proc");
    }
    void Write(const fs::path& path, const std::string& text)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }

    void Adapter(const std::string& name, int index, const std::string& state, const std::string& speed)
    {
        Write(root / "net" / name / "ifindex", std::to_string(index) + "\n");
        Write(root / "net" / name / "operstate", state + "\n");
        if (!speed.empty()) {
            Write(root / "net" / name / "speed", speed + "\n");
        }
    }

    test::TempFolder m_folder;
    fs::path root;
    LocalInventoryPaths paths;
};

TEST_F(LocalInventoryTree, ReadsOsReleaseCpuinfoAndMeminfo)
{
    Write(root / "os-release", "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian \\\"12\\\" (bookworm)\"\nID=debian\n");
    Write(root / "cpuinfo", "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Xeon(R) CPU @ 2.20GHz\n"
                            "\nprocessor\t: 1\nmodel name\t: Other CPU\n");
    Write(root / "meminfo", "MemTotal:        8388608 kB\nMemFree:         1024 kB\n");
    const auto provider = MakeLocalInventoryProvider(paths);
    EXPECT_EQ(Query(*provider, InventoryItem::SystemVersion), "Debian \"12\" (bookworm)");
    EXPECT_EQ(Query(*provider, InventoryItem::Processor), "Intel(R) Xeon(R) CPU @ 2.20GHz");
    EXPECT_EQ(Query(*provider, InventoryItem::Memory), "8192");
}

TEST_F(LocalInventoryTree, MissingFilesFailOnlyTheirQuery)
{
    Write(root / "meminfo", "MemTotal: 2097152 kB\n");
    const auto provider = MakeLocalInventoryProvider(paths);
    bool ok = true;
    EXPECT_EQ(Query(*provider, InventoryItem::SystemVersion, &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(Query(*provider, InventoryItem::Processor, &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(Query(*provider, InventoryItem::Memory, &ok), "2048");
    EXPECT_TRUE(ok);
}

TEST_F(LocalInventoryTree, OsReleaseFallsBackToTheVendorCopy)
{
    Write(root / "missing-os-release", "PRETTY_NAME='Plain OS 1'\n");
    const auto provider = MakeLocalInventoryProvider(paths);
    EXPECT_EQ(Query(*provider, InventoryItem::SystemVersion), "Plain OS 1");
}

TEST_F(LocalInventoryTree, SpeedOfTheFirstUpAdapterByIndexThatReportsOne)
{
    Adapter("lo", 1, "unknown", "");
    Adapter("eth9", 2, "up", "-1");    // virtual: no speed
    Adapter("eth0", 4, "up", "10000"); // later index, though its name sorts first
    Adapter("eth1", 3, "down", "100"); // not enabled
    Adapter("wlan0", 3, "up", "");     // no speed file
    Adapter("eth2", 5, "up", "1000");
    const auto provider = MakeLocalInventoryProvider(paths);
    EXPECT_EQ(Query(*provider, InventoryItem::AdapterSpeed), "10000");
}

TEST_F(LocalInventoryTree, NoAdapterWithSpeedGivesAnEmptyAnswer)
{
    Adapter("lo", 1, "unknown", "");
    Adapter("veth0", 2, "up", "-1");
    const auto provider = MakeLocalInventoryProvider(paths);
    bool ok = false;
    EXPECT_EQ(Query(*provider, InventoryItem::AdapterSpeed, &ok), "");
    EXPECT_TRUE(ok);
}

TEST_F(LocalInventoryTree, SharesOnlyWhileSambaServesTheAddress)
{
    Write(root / "smb.conf", "[global]\n  workgroup = OFFICE\n[data]\n  path = /srv/data\n");
    Write(root / "served.conf", "[global]\n  workgroup = OFFICE\n  usershare path = " + (root / "usershares").string() +
                                    "\n[homes]\n  browseable = no\n[printers]\n  path = /var/tmp\n"
                                    "[print$]\n  path = /var/lib/samba/printers\n[Data]\n  path = /srv/data\n"
                                    "[old]\n  available = no\n");
    Write(root / "usershares" / "music", "#VERSION 2\npath=/home/a/Music\nsharename=Music\n");
    Write(root / "usershares" / "docs", "#VERSION 2\npath=/home/a/Docs\n");
    std::optional<std::string> served;
    std::vector<std::string> asked;
    const auto provider = MakeLocalInventoryProvider(paths, [&](const std::string& address) {
        asked.push_back(address);
        return served;
    });
    bool ok = false;
    // No server: a query without objects, whatever the configuration file holds.
    const auto session = provider->Connect("198.18.46.1", nullptr);
    InventoryObjects objects;
    EXPECT_TRUE(session->Query(InventoryItem::Shares, objects));
    EXPECT_TRUE(objects.empty());
    served = (root / "served.conf").string();
    EXPECT_EQ(Query(*provider, InventoryItem::Shares, &ok), "print$;Data;Music;docs;IPC$;");
    EXPECT_TRUE(ok);
    EXPECT_EQ(asked, (std::vector<std::string>{"198.18.46.1", "127.0.0.1"}));
}

class FakeProc : public LocalInventoryTree
{
protected:
    // A process of the fake proc folder; network empty: its namespace link unreadable.
    void Process(int pid, const std::string& name, const std::string& commandLine, const std::string& network)
    {
        const fs::path folder = root / "proc" / std::to_string(pid);
        Write(folder / "comm", name + "\n");
        Write(folder / "cmdline", commandLine);
        if (!network.empty()) {
            fs::create_directories(folder / "ns");
            fs::create_symlink(network, folder / "ns" / "net");
        }
    }
    std::optional<std::string> Running()
    {
        return RunningSambaConfig(paths.proc, "/etc/samba/smb.conf", [this] { return m_answers; });
    }
    void OwnNetwork(const std::string& network)
    {
        fs::create_directories(root / "proc" / "thread-self" / "ns");
        fs::create_symlink(network, root / "proc" / "thread-self" / "ns" / "net");
    }

    bool m_answers = true;
};

using namespace std::string_literals;

TEST_F(FakeProc, AnSmbdOfThisNetworkWithItsConfigurationFile)
{
    OwnNetwork("net:[4026531840]");
    Process(1, "systemd", "/sbin/init\0"s, "net:[4026531840]");
    Process(40, "nmbd", "/usr/sbin/nmbd\0-s\0/etc/other.conf\0"s, "net:[4026531840]");
    EXPECT_EQ(Running(), std::nullopt) << "nmbd alone serves no shares";
    Process(77, "smbd", "/usr/sbin/smbd\0--foreground\0--no-process-group\0"s, "net:[4026531840]");
    EXPECT_EQ(Running(), "/etc/samba/smb.conf");
    m_answers = false;
    EXPECT_EQ(Running(), std::nullopt) << "an smbd that does not serve the address";
}

TEST_F(FakeProc, TheCommandLineNamesTheFile)
{
    OwnNetwork("net:[1]");
    for (const auto& [commandLine, file] :
         std::vector<std::pair<std::string, std::string>>{{"smbd\0-s\0/tmp/a.conf\0"s, "/tmp/a.conf"},
                                                          {"smbd\0-s/tmp/b.conf\0"s, "/tmp/b.conf"},
                                                          {"smbd\0--configfile=/tmp/c.conf\0-D\0"s, "/tmp/c.conf"},
                                                          {"smbd\0--configfile\0/tmp/d.conf\0"s, "/tmp/d.conf"},
                                                          {"smbd\0-D\0"s, "/etc/samba/smb.conf"},
                                                          {"smbd\0-s\0conf/e.conf\0"s, "/srv/samba/conf/e.conf"}}) {
        fs::remove_all(root / "proc" / "9");
        Process(9, "smbd", commandLine, "net:[1]");
        fs::create_directory_symlink("/srv/samba", root / "proc" / "9" / "cwd");
        EXPECT_EQ(Running(), file) << file;
    }
}

TEST_F(FakeProc, AnSmbdOfAnotherNetworkCountsForNothing)
{
    OwnNetwork("net:[1]");
    Process(50, "smbd", "smbd\0-s\0/tmp/testnet.conf\0"s, "net:[2]");
    EXPECT_EQ(Running(), std::nullopt);
    // One whose namespace this user may not read counts while a server answers.
    Process(60, "smbd", "smbd\0"s, "");
    EXPECT_EQ(Running(), "/etc/samba/smb.conf");
    m_answers = false;
    EXPECT_EQ(Running(), std::nullopt);
}

TEST_F(FakeProc, NoSmbdNoServer)
{
    EXPECT_EQ(Running(), std::nullopt);
    Process(5, "smbd-notifyd", "smbd-notifyd\0"s, "");
    EXPECT_EQ(Running(), std::nullopt);
}

TEST(SambaConfig, ParsesSectionsContinuationsAndComments)
{
    const auto sections = ParseSambaConfig("workgroup = EARLY\n"
                                           "# comment = x\n"
                                           "[global]\r\n"
                                           "   Work_Group = LONG\\\n"
                                           "NAME\n"
                                           "; server string = hidden\n"
                                           "[ share one ]\n"
                                           "path=/srv\n");
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].name, "global");
    EXPECT_EQ(sections[0].Value("workgroup"), "EARLY");
    EXPECT_EQ(sections[1].Value("workgroup"), "LONGNAME");
    EXPECT_EQ(sections[1].Value("server string", "none"), "none");
    EXPECT_EQ(sections[2].name, "share one");
    EXPECT_EQ(sections[2].Value("PATH"), "/srv");
}

TEST_F(LocalInventoryTree, WorkgroupFromSmbConfElseWorkgroup)
{
    EXPECT_EQ(ReadSambaWorkgroup(paths.smbConf), "WORKGROUP"); // no file
    Write(root / "smb.conf", "[global]\nserver role = standalone server\n");
    EXPECT_EQ(ReadSambaWorkgroup(paths.smbConf), "WORKGROUP");
    Write(root / "smb.conf", "[data]\nworkgroup = NOTHERE\n[global]\n\tworkgroup = Office\n");
    EXPECT_EQ(ReadSambaWorkgroup(paths.smbConf), "Office");
}

TEST(LocalAddress, RecognisesOwnAddressesOnly)
{
    EXPECT_TRUE(IsLocalIpv4Address("127.0.0.1"));
    EXPECT_FALSE(IsLocalIpv4Address("198.19.255.254"));
    EXPECT_FALSE(IsLocalIpv4Address("not an address"));
    const std::string own =
        test::ShellOutput(R"(ip -4 -o addr show scope global | awk '{ sub("/.*", "", $4); print $4; exit }')");
    if (!own.empty()) {
        EXPECT_TRUE(IsLocalIpv4Address(own)) << own;
    }
}

} // namespace
} // namespace tessvale
