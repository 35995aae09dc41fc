// The probes against real peers: Samba's nmbd hosts, ARP-only hosts and silent
// addresses of the namespace test network, compared with nmblookup and `ip neigh`.
#include <chrono>
#include <sstream>
#include <vector>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "scan/adapter_list.h"
#include "scan/address_forms.h"
#include "scan/arp_resolver.h"
#include "scan/node_status.h"
#include "scan/wake_on_lan.h"
#include "test_network.h"
#include "udp_test_socket.h"

namespace tessvale {
namespace {

using test::NamespaceScope;
using test::NetworkHost;
using test::TestNetwork;

class ProbesNetwork : public test::NetworkSuite<ProbesNetwork>
{
public:
    static constexpr const char* kNetworkOptions = "--netbios 3 --arp-only 3 --gap 1";

protected:
};

// The first name of the table nmblookup -A prints.
std::string NmblookupFirstName(const std::string& scanner, const std::string& address)
{
    std::istringstream output(test::RunCommand("ip netns exec " + scanner + " nmblookup -A " + address));
    std::string line;
    while (std::getline(output, line)) {
        std::istringstream words(line);
        std::string name;
        std::string suffix;
        if (words >> name >> suffix && suffix.size() == 4 && suffix.front() == '<') {
            return name;
        }
    }
    return {};
}

TEST_F(ProbesNetwork, ArpAnswersEveryHostWithTheMacOfIpNeigh)
{
    const NamespaceScope inScanner(Scanner());
    ASSERT_TRUE(inScanner.Entered());
    for (const NetworkHost& host : Network().Hosts()) {
        std::string mac;
        ASSERT_EQ(ResolveByArp(mac, host.ip), 1) << host.ip;
        EXPECT_EQ(mac, host.mac) << host.ip;
        EXPECT_EQ(mac, test::NeighbourMac(Scanner(), host.ip)) << host.ip;
    }
}

TEST_F(ProbesNetwork, ArpGivesNothingForSilentAndOffLinkAddresses)
{
    const NamespaceScope inScanner(Scanner());
    ASSERT_TRUE(inScanner.Entered());
    ASSERT_FALSE(Network().Silent().empty());
    for (const std::string& address : Network().Silent()) {
        std::string mac = "before";
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ResolveByArp(mac, address), 0) << address;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << address;
        EXPECT_EQ(mac, "before");
        // A second look finds the kernel's incomplete or failed entry and answers at once.
        const auto again = std::chrono::steady_clock::now();
        EXPECT_EQ(ResolveByArp(mac, address), 0) << address;
        EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::milliseconds(400)) << address;
    }
    std::string mac = "before";
    EXPECT_EQ(ResolveByArp(mac, "198.19.255.1"), 0); // off the scanner's subnet
    EXPECT_EQ(ResolveByArp(mac, Network().Env("SCANNER_IP")), 0);
    EXPECT_EQ(mac, "before");
    EXPECT_EQ(test::NeighbourMac(Scanner(), "198.19.255.1"), "");
}

TEST_F(ProbesNetwork, NodeStatusNamesEqualNmblookup)
{
    const NamespaceScope inScanner(Scanner());
    ASSERT_TRUE(inScanner.Entered());
    int netbiosHosts = 0;
    for (const NetworkHost& host : Network().Hosts()) {
        std::string mac;
        std::string hostName = "-";
        if (!host.netbios) {
            EXPECT_EQ(QueryNodeStatus(host.ip, mac, hostName, 300), 0) << host.ip;
            EXPECT_EQ(hostName, "-");
            continue;
        }
        ++netbiosHosts;
        ASSERT_EQ(QueryNodeStatus(host.ip, mac, hostName, 1000), 1) << host.ip;
        EXPECT_EQ(hostName, host.name);
        EXPECT_EQ(hostName, NmblookupFirstName(Scanner(), host.ip));
        // nmbd's unit id is all zeros (nmblookup prints MAC Address = 00-00-00-00-00-00):
        // the MAC comes from ARP instead.
        EXPECT_NE(test::RunCommand("ip netns exec " + Scanner() + " nmblookup -A " + host.ip).find("00-00-00-00-00-00"),
                  std::string::npos);
        EXPECT_EQ(mac, host.mac);
        EXPECT_EQ(mac, test::NeighbourMac(Scanner(), host.ip));
    }
    EXPECT_EQ(netbiosHosts, 3);
    for (const std::string& address : Network().Silent()) {
        std::string mac = "before";
        std::string hostName = "-";
        EXPECT_EQ(QueryNodeStatus(address, mac, hostName, 200), 0) << address;
        EXPECT_EQ(mac, "before");
    }
}

TEST_F(ProbesNetwork, AdapterListAndDefaultRangeOfTheScanner)
{
    const NamespaceScope inScanner(Scanner());
    ASSERT_TRUE(inScanner.Entered());
    const auto adapters = ListAdapters();
    ASSERT_EQ(adapters.size(), 1u); // loopback gives no entry
    EXPECT_EQ(adapters[0].address, Network().Env("SCANNER_IP"));
    EXPECT_EQ(adapters[0].description, "eth0");
    const std::string mask = LookupMask(adapters[0].address);
    EXPECT_EQ(mask, "255.255.255.0");
    const auto range = DefaultRange(adapters[0].address, mask);
    ASSERT_TRUE(range);
    EXPECT_EQ(range->start, *ParseIpv4(Network().Env("SUBNET")) + 1);
    EXPECT_EQ(FormatIpv4(range->end), Network().Env("BROADCAST"));
}

// A socket on UDP port 4000 of a host of the test network.
class WakeListener
{
public:
    explicit WakeListener(const std::string& hostNamespace)
    {
        const NamespaceScope inHost(hostNamespace);
        const test::UdpBinding binding = test::BindUdp(INADDR_ANY, 4000, 500000);
        m_fd = binding.fd;
        m_bound = inHost.Entered() && binding.bound;
    }
    ~WakeListener() { close(m_fd); }
    bool Bound() const { return m_bound; }
    std::vector<std::vector<std::uint8_t>> ReceiveAll() { return test::ReceiveAll(m_fd); }

private:
    int m_fd = -1;
    bool m_bound = false;
};

TEST_F(ProbesNetwork, WakeOnLanBroadcastReachesTheSegment)
{
    WakeListener listener(Network().Env("LISTENER_NS"));
    ASSERT_TRUE(listener.Bound());
    const NamespaceScope inScanner(Scanner());
    ASSERT_TRUE(inScanner.Entered());

    EXPECT_EQ(SendWakeOnLan("00:1B:21:0A:0B:0C"), 1);
    const auto datagrams = listener.ReceiveAll();
    ASSERT_EQ(datagrams.size(), 10u);
    const std::uint8_t mac[6] = {0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};
    for (const auto& datagram : datagrams) {
        ASSERT_EQ(datagram.size(), 108u);
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(datagram[i], 0xFF);
            EXPECT_EQ(datagram[102 + i], 0x00);
        }
        for (std::size_t i = 6; i < 102; ++i) {
            EXPECT_EQ(datagram[i], mac[(i - 6) % 6]) << i;
        }
    }

    EXPECT_EQ(SendWakeOnLan("001B210A0B0C"), 0);
    EXPECT_EQ(SendWakeOnLan("0A-1B-21-0A-0B"), 0);
    EXPECT_EQ(SendWakeOnLan("0A:1B:21:0A:0B:XY"), 0);
    EXPECT_TRUE(listener.ReceiveAll().empty());
}

} // namespace
} // namespace tessvale
