// The inventory of a real host over the namespace test network: Samba's smbd for the
// shares, Net-SNMP's snmpd for the rest, and a host that accepts and then stalls.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sched.h>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "scan/host_inventory_query.h"
#include "scan/samba_config.h"
#include "shell_output.h"

namespace tessvale {
namespace {

// SNMP tools quote string values: the value without its quotes.
std::string Shell(const std::string& command)
{
    std::string output = test::ShellOutput(command);
    if (!output.empty() && output.back() == '"') {
        output.pop_back();
    }
    if (!output.empty() && output.front() == '"') {
        output.erase(0, 1);
    }
    return output;
}

class RemoteInventory : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (::geteuid() != 0) {
            return;
        }
        const std::string output =
            Shell(std::string(TESSVALE_SOURCE_DIR) + "/scripts/testnet-inventory up " + std::to_string(::getpid()));
        const std::string folder = output.substr(output.rfind('\n') + 1);
        std::ifstream env(folder + "/env");
        for (std::string line; std::getline(env, line);) {
            const std::size_t equals = line.find('=');
            if (equals != std::string::npos) {
                std::string value = line.substr(equals + 1);
                if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                    value = value.substr(1, value.size() - 2);
                }
                s_env[line.substr(0, equals)] = value;
            }
        }
        if (!s_env.empty()) {
            s_folder = folder;
        }
    }

    static void TearDownTestSuite()
    {
        if (!s_folder.empty()) {
            Shell(std::string(TESSVALE_SOURCE_DIR) + "/scripts/testnet-inventory down " + s_folder);
        }
        s_folder.clear();
        s_env.clear();
    }

    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "the inventory test network needs root (network namespaces)";
        }
        ASSERT_FALSE(s_folder.empty()) << "the inventory test network did not come up";
    }

    static std::string Env(const std::string& key) { return s_env.at(key); }

    static std::vector<std::string> EnvList(const std::string& key)
    {
        std::istringstream stream(Env(key));
        std::vector<std::string> items;
        for (std::string item; stream >> item;) {
            items.push_back(item);
        }
        return items;
    }

    // Runs work on a thread that lives in the scanner's network namespace.
    template <typename Work> static void InScanner(Work work)
    {
        bool entered = false;
        std::thread thread([&] {
            const int fd = ::open(("/var/run/netns/" + Env("INV_SCANNER_NS")).c_str(), O_RDONLY | O_CLOEXEC);
            entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
            if (fd >= 0) {
                ::close(fd);
            }
            if (entered) {
                work();
            }
        });
        thread.join();
        ASSERT_TRUE(entered) << "could not enter the scanner namespace";
    }

    static std::string InScannerShell(const std::string& command)
    {
        return Shell("ip netns exec " + Env("INV_SCANNER_NS") + " env MIBS= " + command);
    }

    // The query with the agent's provider alone.
    static std::unique_ptr<HostInventoryQuery> MakeAgentQuery(const InventoryCredentials& credentials)
    {
        std::vector<std::unique_ptr<InventoryProvider>> remote;
        remote.push_back(MakeSnmpInventoryProvider());
        InventorySources sources;
        sources.workgroup = [] { return std::string("TVINV"); };
        sources.credentials = [credentials] { return credentials; };
        sources.isLocalAddress = [](const std::string&) { return false; };
        return std::make_unique<HostInventoryQuery>(nullptr, std::move(remote), std::move(sources));
    }

    // Runs the query for every address on kWorkers threads that take the addresses in
    // order, as the scan's workers do. The milliseconds of the whole run; tookMs, when
    // given, gets those of each address.
    template <typename Query>
    static long long QueryAll(std::size_t workers, Query& query, const std::vector<std::string>& addresses,
                              std::vector<HostInventory>& inventories, std::vector<long long>* tookMs = nullptr)
    {
        inventories.assign(addresses.size(), HostInventory());
        if (tookMs != nullptr) {
            tookMs->assign(addresses.size(), 0);
        }
        std::atomic<std::size_t> next{0};
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (std::size_t w = 0; w < workers; ++w) {
            threads.emplace_back([&] {
                InScanner([&] {
                    for (std::size_t i = next++; i < addresses.size(); i = next++) {
                        const auto begin = std::chrono::steady_clock::now();
                        query.QueryInventory(addresses[i], inventories[i]);
                        if (tookMs != nullptr) {
                            (*tookMs)[i] = std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - begin)
                                               .count();
                        }
                    }
                });
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }

    static std::unique_ptr<HostInventoryQuery> MakeQuery(const InventoryCredentials& credentials,
                                                         std::chrono::milliseconds smbBound = kInventoryAnswerBound)
    {
        std::vector<std::unique_ptr<InventoryProvider>> remote;
        remote.push_back(MakeSmbShareProvider(smbBound));
        remote.push_back(MakeSnmpInventoryProvider());
        InventorySources sources;
        sources.workgroup = [] { return ReadSambaWorkgroup("/etc/samba/smb.conf"); };
        sources.credentials = [credentials] { return credentials; };
        sources.isLocalAddress = IsLocalIpv4Address;
        return std::make_unique<HostInventoryQuery>(MakeLocalInventoryProvider(), std::move(remote),
                                                    std::move(sources));
    }

    static std::string SnmpGet(const std::string& oid)
    {
        const std::string password = Env("INV_PASSWORD");
        return InScannerShell("snmpget -v3 -l authPriv -u " + Env("INV_USER") + " -a SHA -A " + password +
                              " -x AES -X " + password + " -Oqv " + Env("INV_HOST_IP") + " " + oid);
    }

    static inline std::string s_folder;
    static inline std::map<std::string, std::string> s_env;
};

TEST_F(RemoteInventory, FillsEveryColumnWithTheHostsValues)
{
    // What the reference clients smbclient and snmpget read from the same host.
    const std::string password = Env("INV_PASSWORD");
    const std::string shares = InScannerShell("smbclient -L //" + Env("INV_HOST_IP") + " -U '" + Env("INV_WORKGROUP") +
                                              "\\" + Env("INV_USER") + "%" + password +
                                              "' -g 2>/dev/null | awk -F'|' "
                                              "'$1==\"Disk\"||$1==\"IPC\"||$1==\"Printer\" { printf \"%s;\", $2 }'");
    const std::string processorRow =
        InScannerShell("snmpwalk -v3 -l authPriv -u " + Env("INV_USER") + " -a SHA -A " + password + " -x AES -X " +
                       password + " -On -Oq " + Env("INV_HOST_IP") +
                       " 1.3.6.1.2.1.25.3.2.1.2 | awk '$2==\".1.3.6.1.2.1.25.3.1.3\" { n=split($1,p,\".\"); "
                       "print p[n]; exit }'");
    const std::string memoryKib = SnmpGet("1.3.6.1.2.1.25.2.2.0");
    const std::string speed =
        Shell("ip netns exec " + Env("INV_HOST_NS") + " cat /sys/class/net/" + Env("INV_HOST_VETH") + "/speed");
    ASSERT_EQ(shares, "alpha;beta;IPC$;");
    ASSERT_FALSE(processorRow.empty());
    EXPECT_EQ(std::stoll(memoryKib) / 1024, std::stoll(Shell("awk '/^MemTotal:/ { print $2 }' /proc/meminfo")) / 1024);

    HostInventory inventory;
    inventory.vendor = "Vendor of the MAC";
    int result = 0;
    InScanner([&] { result = MakeQuery({Env("INV_USER"), password})->QueryInventory(Env("INV_HOST_IP"), inventory); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(inventory.shares, shares);
    EXPECT_EQ(inventory.systemVersion, SnmpGet("1.3.6.1.2.1.1.1.0"));
    EXPECT_EQ(inventory.cpu, SnmpGet("1.3.6.1.2.1.25.3.2.1.3." + processorRow));
    EXPECT_EQ(inventory.memoryMb, std::to_string(std::stoll(memoryKib) / 1024));
    EXPECT_EQ(inventory.adapterSpeed, speed);
    EXPECT_EQ(inventory.vendor, "Vendor of the MAC");
}

TEST_F(RemoteInventory, WrongCredentialsLeaveDashes)
{
    for (const InventoryCredentials& wrong : {InventoryCredentials{Env("INV_USER"), "not-the-password"},
                                              InventoryCredentials{"nobody-known", Env("INV_PASSWORD")}}) {
        HostInventory inventory;
        int result = -1;
        InScanner([&] { result = MakeQuery(wrong)->QueryInventory(Env("INV_HOST_IP"), inventory); });
        EXPECT_EQ(result, 0) << wrong.login;
        for (const InventoryItem item : kInventoryItems) {
            EXPECT_EQ(InventoryField(inventory, item), "-") << wrong.login << " " << static_cast<int>(item);
        }
    }
    // The right password after a wrong one is not refused from a remembered key.
    HostInventory inventory;
    InScanner([&] {
        MakeQuery({Env("INV_USER"), Env("INV_PASSWORD")})->QueryInventory(Env("INV_HOST_IP"), inventory);
    });
    EXPECT_NE(inventory.systemVersion, "-");
    EXPECT_EQ(inventory.shares, "alpha;beta;IPC$;");
}

TEST_F(RemoteInventory, AgentUserWithoutPrivacyStillAnswers)
{
    // tvauth exists only for the agent, with authentication and no privacy: the shares
    // stay "-", the rest comes over SNMP.
    HostInventory inventory;
    int result = 0;
    InScanner([&] {
        result = MakeQuery({"tvauth", Env("INV_PASSWORD")})->QueryInventory(Env("INV_HOST_IP"), inventory);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(inventory.shares, "-");
    EXPECT_EQ(inventory.systemVersion, SnmpGet("1.3.6.1.2.1.1.1.0"));
    EXPECT_EQ(inventory.memoryMb, std::to_string(std::stoll(SnmpGet("1.3.6.1.2.1.25.2.2.0")) / 1024));
}

TEST_F(RemoteInventory, StalledHostIsLeftWithinTheBound)
{
    HostInventory inventory;
    int result = -1;
    const auto start = std::chrono::steady_clock::now();
    InScanner([&] {
        result = MakeQuery({Env("INV_USER"), Env("INV_PASSWORD")})->QueryInventory(Env("INV_STALLED_IP"), inventory);
    });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, 0);
    for (const InventoryItem item : kInventoryItems) {
        EXPECT_EQ(InventoryField(inventory, item), "-");
    }
    // One bound for the shares, one for the agent, and some slack for a loaded machine.
    EXPECT_LT(elapsed, 2 * kInventoryAnswerBound + std::chrono::milliseconds(1500))
        << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << " ms";
}

TEST_F(RemoteInventory, WorkersQueryingAtOnceAllGetTheFullInventory)
{
    constexpr int kWorkers = 4;
    std::array<HostInventory, kWorkers> inventories;
    const auto query = MakeQuery({Env("INV_USER"), Env("INV_PASSWORD")});
    std::vector<std::thread> workers;
    workers.reserve(kWorkers);
    for (int i = 0; i < kWorkers; ++i) {
        workers.emplace_back([&, i] {
            InScanner([&] {
                // Half the workers ask the stalled host, which must not hold the others.
                const std::string address = i % 2 ? Env("INV_STALLED_IP") : Env("INV_HOST_IP");
                query->QueryInventory(address, inventories[i]);
            });
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (int i = 0; i < kWorkers; i += 2) {
        EXPECT_EQ(inventories[i].shares, "alpha;beta;IPC$;") << i;
        EXPECT_EQ(inventories[i].adapterSpeed, inventories[0].adapterSpeed) << i;
        EXPECT_NE(inventories[i].cpu, "-") << i;
        EXPECT_EQ(inventories[i + 1].cpu, "-") << i + 1;
    }
}

TEST_F(RemoteInventory, SixtyFourWorkersGetEveryHealthyHostDespiteHostsThatStallAfterNegotiating)
{
    // The scan at 64 threads: 60 healthy hosts, and 4 that answer the SMB negotiation and
    // then say nothing, spread over the queue that the workers take their addresses from.
    // The 60 hosts are one smbd on this machine, whose share-listing service needs far
    // more than the usual answer bound to serve 60 listings that arrive at once (up to
    // about 25 s on two busy cores, more while other tests run), so the shares get a
    // bound this machine can meet.
    // A lock shared by the workers would still starve them: each stalling host would
    // hold it for the whole bound.
    constexpr std::size_t kWorkers = 64;
    constexpr std::chrono::seconds kCrowdSmbBound{60};
    std::vector<std::string> addresses = EnvList("INV_CROWD_IPS");
    const std::vector<std::string> stalling = EnvList("INV_NEGOTIATE_STALL_IPS");
    ASSERT_EQ(addresses.size(), 60U);
    ASSERT_EQ(stalling.size(), 4U);
    for (std::size_t i = 0; i < stalling.size(); ++i) {
        addresses.insert(addresses.begin() + static_cast<std::ptrdiff_t>(i * 16), stalling[i]);
    }
    std::vector<HostInventory> inventories;
    std::vector<long long> tookMs;
    const auto query = MakeQuery({Env("INV_USER"), Env("INV_PASSWORD")}, kCrowdSmbBound);
    const long long totalMs = QueryAll(kWorkers, *query, addresses, inventories, &tookMs);

    int withShares = 0;
    int withAgent = 0;
    long long healthyMaxMs = 0;
    long long stallingMaxMs = 0;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const bool stalls = std::find(stalling.begin(), stalling.end(), addresses[i]) != stalling.end();
        if (stalls) {
            EXPECT_EQ(inventories[i].shares, "-") << addresses[i];
            EXPECT_EQ(inventories[i].cpu, "-") << addresses[i];
            stallingMaxMs = std::max(stallingMaxMs, tookMs[i]);
            continue;
        }
        EXPECT_EQ(inventories[i].shares, "alpha;beta;IPC$;") << addresses[i];
        EXPECT_NE(inventories[i].cpu, "-") << addresses[i];
        withShares += inventories[i].shares == "alpha;beta;IPC$;" ? 1 : 0;
        withAgent += inventories[i].cpu != "-" ? 1 : 0;
        healthyMaxMs = std::max(healthyMaxMs, tookMs[i]);
    }
    std::printf("inventory at %zu workers: %d/60 healthy hosts with shares, %d/60 with the agent's values; "
                "slowest healthy host %lld ms, slowest stalling host %lld ms, all %lld ms\n",
                kWorkers, withShares, withAgent, healthyMaxMs, stallingMaxMs, totalMs);
}

TEST_F(RemoteInventory, TheScannerItselfGetsTheLocalInventoryAndSharesOnlyFromItsRunningSamba)
{
    // The scanner's own address is asked from local sources, never over the network:
    // the host's smbd of the other namespace does not count as the scanner's Samba.
    const std::string own = "198.18.40.1";
    const std::string script = std::string(TESSVALE_SOURCE_DIR) + "/scripts/testnet-inventory own-samba " + s_folder;
    const auto local = [&] {
        HostInventory inventory;
        int result = 0;
        InScanner([&] { result = MakeQuery({Env("INV_USER"), Env("INV_PASSWORD")})->QueryInventory(own, inventory); });
        EXPECT_EQ(result, 1);
        return inventory;
    };
    Shell(script + " off");
    const HostInventory without = local();
    EXPECT_EQ(without.shares, "");
    EXPECT_EQ(without.memoryMb,
              std::to_string(std::stoll(Shell("awk '/^MemTotal:/ { print $2 }' /proc/meminfo")) / 1024));
    EXPECT_NE(without.systemVersion, "-");

    Shell(script + " on");
    const std::string served = InScannerShell("smbclient -L //" + own + " -U '" + Env("INV_WORKGROUP") + "\\" +
                                              Env("INV_USER") + "%" + Env("INV_PASSWORD") +
                                              "' -g 2>/dev/null | awk -F'|' "
                                              "'$1==\"Disk\"||$1==\"IPC\"||$1==\"Printer\" { printf \"%s;\", $2 }'");
    const HostInventory with = local();
    Shell(script + " off");
    EXPECT_EQ(served, "gamma;IPC$;");
    EXPECT_EQ(with.shares, served);
    EXPECT_EQ(with.memoryMb, without.memoryMb);
}

TEST_F(RemoteInventory, SixtyFourWorkersGetEveryHealthyAgentDespiteAgentsThatStallAfterDiscovery)
{
    // 60 healthy agents and 8 that answer the discovery of their engine id and then
    // leave every authenticated request unanswered, first in the queue. Each of those
    // costs its bound; a library lock shared by the workers would make the healthy
    // hosts wait behind them all, longer than any worker may wait.
    constexpr std::size_t kWorkers = 64;
    const std::vector<std::string> healthy = EnvList("INV_CROWD_IPS");
    const std::vector<std::string> stalling = EnvList("INV_AGENT_STALL_IPS");
    ASSERT_EQ(healthy.size(), 60U);
    ASSERT_EQ(stalling.size(), 8U);
    std::vector<std::string> addresses = stalling;
    addresses.insert(addresses.end(), healthy.begin(), healthy.end());
    const std::string systemVersion = SnmpGet("1.3.6.1.2.1.1.1.0");
    const std::string memoryMb = std::to_string(std::stoll(SnmpGet("1.3.6.1.2.1.25.2.2.0")) / 1024);
    ASSERT_FALSE(systemVersion.empty());

    const auto query = MakeAgentQuery({Env("INV_USER"), Env("INV_PASSWORD")});
    std::vector<HostInventory> inventories;
    const long long totalMs = QueryAll(kWorkers, *query, addresses, inventories);
    int complete = 0;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (i < stalling.size()) {
            EXPECT_EQ(inventories[i].systemVersion, "-") << addresses[i];
            EXPECT_EQ(inventories[i].cpu, "-") << addresses[i];
            continue;
        }
        EXPECT_EQ(inventories[i].systemVersion, systemVersion) << addresses[i];
        EXPECT_EQ(inventories[i].memoryMb, memoryMb) << addresses[i];
        EXPECT_NE(inventories[i].cpu, "-") << addresses[i];
        EXPECT_FALSE(inventories[i].cpu.empty()) << addresses[i];
        complete += inventories[i].systemVersion == systemVersion && inventories[i].cpu != "-" ? 1 : 0;
    }
    std::printf("agents at %zu workers: %d/60 healthy agents with their values, all %lld ms\n", kWorkers, complete,
                totalMs);
    // Each worker asks two hosts at most; a stalled one costs the discovery and the
    // child's bound. Far more than that means the workers waited for each other.
    EXPECT_LT(totalMs, 60000);
}

} // namespace
} // namespace tessvale
