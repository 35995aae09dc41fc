#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/dns_answer_bytes.h"
#include "fakes/fake_name_transport.h"
#include "fakes/fake_sweep_transport.h"
#include "scan/dns_message.h"
#include "scan/probe_sweep.h"

namespace tessvale {
namespace {

using namespace std::chrono_literals;
using fakes::MdnsHost;
using fakes::NameNet;
using fakes::NameServer;
using fakes::NameTransport;
using fakes::PtrAnswer;
using fakes::Responder;

constexpr std::uint32_t kBase = 0xC6120000; // 198.18.0.0
constexpr std::uint32_t kServer = 0xC6120035;
constexpr std::uint32_t kSecondServer = 0xC6120036;
constexpr MacAddress kArpMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x07};

class NameSweep : public ::testing::Test
{
protected:
    NameSweep()
    {
        m_state.linkNetwork = kBase;
        m_state.linkMask = 0xFFFFFF00;
        m_state.arpFirst = true;
        m_settings.names.servers = {kServer};
    }
    fakes::FakeSweepState::Host& Host(int last)
    {
        auto& host = m_state.hosts[kBase + static_cast<std::uint32_t>(last)];
        host.arpMacs = {kArpMac};
        return host;
    }
    Responder& Mdns(int last) { return m_net.responders[{kBase + static_cast<std::uint32_t>(last), kMdnsPort}]; }
    std::map<std::string, SweepResult> Run(const std::string& first, const std::string& last)
    {
        ProbeSweep sweep(AddressWalk(first, last), std::make_unique<NameTransport>(m_state, m_clock, m_net), m_settings,
                         [this] { return m_clock.Now(); });
        std::map<std::string, SweepResult> results;
        const auto begin = m_clock.Now();
        for (int i = 0; i < 100000 && !sweep.Exhausted(); ++i) {
            sweep.Pump(10ms);
            SweepResult result;
            while (sweep.Take(result)) {
                results[result.address] = result;
            }
            std::vector<std::uint32_t> silent; // kept apart by the sweep
            sweep.TakeSilent(silent);
            for (const std::uint32_t address : silent) {
                results[FormatIpv4(address)] = SweepResult{};
            }
        }
        m_elapsed = m_clock.Now() - begin;
        return results;
    }
    std::size_t SentTo(std::uint32_t address, std::uint16_t port) const
    {
        return static_cast<std::size_t>(
            std::count(m_net.sent.begin(), m_net.sent.end(), std::make_pair(address, port)));
    }

    fakes::ManualClock m_clock;
    fakes::FakeSweepState m_state;
    NameNet m_net;
    SweepSettings m_settings;
    std::chrono::steady_clock::duration m_elapsed{};
};

TEST_F(NameSweep, TheNameShownIsNetbiosElseMdnsElseDns)
{
    Host(3).hasNetbios = true; // NetBIOS only
    Host(3).names = {"NBONLY"};
    Mdns(3).refuses = true;
    Host(4).refusesNetbios = true; // mDNS only
    Mdns(4) = MdnsHost("m4.local");
    Host(5).hasNetbios = true; // both: NetBIOS wins
    Host(5).names = {"BOTH"};
    Mdns(5) = MdnsHost("both.local");
    Host(6).refusesNetbios = true; // DNS only
    Mdns(6).refuses = true;
    Host(7).refusesNetbios = true; // DNS and mDNS: mDNS wins
    Mdns(7) = MdnsHost("m7.local");
    Host(8).refusesNetbios = true; // no name anywhere
    Mdns(8).refuses = true;
    Host(9); // firewalled: answers ARP, nothing else
    m_net.responders[{kServer, kDnsPort}] = NameServer({{kBase + 6, "db6.example"}, {kBase + 7, "h7.example"}});

    const auto results = Run("198.18.0.3", "198.18.0.9");
    struct Expected
    {
        const char* address;
        const char* shown;
        const char* netbios;
        const char* mdns;
        const char* dns;
    };
    const Expected expected[] = {
        {"198.18.0.3", "NBONLY", "NBONLY", "", ""},
        {"198.18.0.4", "m4.local", "", "m4.local", ""},
        {"198.18.0.5", "BOTH", "BOTH", "both.local", ""},
        {"198.18.0.6", "db6.example", "", "", "db6.example"},
        {"198.18.0.7", "m7.local", "", "m7.local", "h7.example"},
        {"198.18.0.8", "-", "", "", ""},
        {"198.18.0.9", "-", "", "", ""},
    };
    for (const auto& e : expected) {
        const SweepResult& result = results.at(e.address);
        EXPECT_TRUE(result.online) << e.address;
        EXPECT_EQ(result.hostName, e.shown) << e.address;
        EXPECT_EQ(result.names.netbios, e.netbios) << e.address;
        EXPECT_EQ(result.names.mdns, e.mdns) << e.address;
        EXPECT_EQ(result.names.dns, e.dns) << e.address;
    }
    // The firewalled host's waits overlap: it is done at its one deadline, and so is
    // the range.
    EXPECT_LE(m_elapsed, 1100ms);
    // The service types are asked only of a host whose responder answered.
    EXPECT_EQ(SentTo(kBase + 4, kMdnsPort), 2u);
    EXPECT_EQ(SentTo(kBase + 8, kMdnsPort), 1u);
    EXPECT_EQ(SentTo(kBase + 9, kMdnsPort), 1u);
    // With ARP first, every host is asked before NetBIOS could name it.
    EXPECT_EQ(SentTo(kServer, kDnsPort), 7u);
}

TEST_F(NameSweep, AnswersFromElsewhereOrForOtherQueriesAreIgnored)
{
    Host(4).refusesNetbios = true;
    Mdns(4) = MdnsHost("forged.local");
    Mdns(4).from = kBase + 99; // another host answers in its place
    Host(5).refusesNetbios = true;
    Mdns(5) = MdnsHost("forged.local");
    Mdns(5).idDelta = 7; // the host itself, but not with the query's id
    m_net.responders[{kServer, kDnsPort}] = NameServer({{kBase + 4, "forged.example"}});
    m_net.responders[{kServer, kDnsPort}].from = kSecondServer; // a server not configured

    const auto results = Run("198.18.0.4", "198.18.0.5");
    for (const char* address : {"198.18.0.4", "198.18.0.5"}) {
        EXPECT_EQ(results.at(address).hostName, "-") << address;
        EXPECT_TRUE(results.at(address).names.Empty()) << address;
    }
    // Still waited for the real answers until the deadline.
    EXPECT_GE(m_elapsed, 1000ms);
}

TEST_F(NameSweep, AServerThatFailsPassesTheLookupToTheNext)
{
    m_settings.names.servers = {kServer, kSecondServer, kBase + 0x37};
    Host(6).refusesNetbios = true;
    Mdns(6).refuses = true;
    m_net.responders[{kServer, kDnsPort}].refuses = true;            // nothing listens
    m_net.responders[{kSecondServer, kDnsPort}] = NameServer({}, 2); // SERVFAIL
    m_net.responders[{kBase + 0x37, kDnsPort}] = NameServer({{kBase + 6, "db6.example"}});
    const auto results = Run("198.18.0.6", "198.18.0.6");
    EXPECT_EQ(results.at("198.18.0.6").names.dns, "db6.example");
    EXPECT_EQ(SentTo(kServer, kDnsPort), 1u);
    EXPECT_EQ(SentTo(kSecondServer, kDnsPort), 1u);
    // Settled by the answers, not by the deadline.
    EXPECT_LT(m_elapsed, 600ms);
}

TEST_F(NameSweep, SourcesSwitchedOffAreNeitherAskedNorShown)
{
    Host(5).hasNetbios = true;
    Host(5).names = {"BOTH"};
    Mdns(5) = MdnsHost("both.local");
    m_net.responders[{kServer, kDnsPort}] = NameServer({{kBase + 5, "h5.example"}});

    m_settings.names.netbios = false;
    auto results = Run("198.18.0.5", "198.18.0.5");
    EXPECT_EQ(results.at("198.18.0.5").hostName, "both.local");
    EXPECT_EQ(results.at("198.18.0.5").names.netbios, "");

    m_settings.names.mdns = false;
    results = Run("198.18.0.5", "198.18.0.5");
    EXPECT_EQ(results.at("198.18.0.5").hostName, "h5.example");
    EXPECT_EQ(SentTo(kBase + 5, kMdnsPort), 2u); // only the first run's two queries

    m_settings.names.dns = false;
    m_net.sent.clear();
    results = Run("198.18.0.5", "198.18.0.5");
    EXPECT_EQ(results.at("198.18.0.5").hostName, "-");
    EXPECT_TRUE(m_net.sent.empty());
}

TEST_F(NameSweep, AHostNetbiosNamedBeforeArpIsNotAskedOneThatRefusesIs)
{
    // Off the local segments only NetBIOS finds a host.
    m_state.hosts[kBase + 256].hasNetbios = true;
    m_state.hosts[kBase + 256].names = {"FAR"};
    m_state.hosts[kBase + 257].refusesNetbios = true;
    m_net.responders[{kServer, kDnsPort}] = NameServer({{kBase + 257, "far.example"}});
    const auto results = Run("198.18.1.0", "198.18.1.1");
    EXPECT_EQ(results.at("198.18.1.0").hostName, "FAR");
    EXPECT_EQ(SentTo(kBase + 256, kMdnsPort) + SentTo(kServer, kDnsPort), 1u); // the second host's lookup only
    // A refusing address off the segment stays silent; its names are not shown.
    EXPECT_FALSE(results.at("198.18.1.1").online);
}

TEST_F(NameSweep, ServiceTypesComeFromTheSameExchange)
{
    Host(4).refusesNetbios = true;
    Mdns(4) = MdnsHost("printer-hall.local", {"_ipp._tcp.local", "_http._tcp.local", "_ipp._tcp.local",
                                              "_weird._udp.local", "not-a-type.example"});
    const auto results = Run("198.18.0.4", "198.18.0.4");
    const auto& names = results.at("198.18.0.4").names;
    EXPECT_EQ(names.mdns, "printer-hall.local");
    EXPECT_EQ(names.services,
              (std::vector<std::string>{"_ipp._tcp", "_http._tcp", "_weird._udp", "not-a-type.example"}));
    EXPECT_EQ(ServiceWords(names.services), "printer, web, _weird._udp, not-a-type.example");
}

TEST(HostNames, ChoiceAndServiceWords)
{
    struct Case
    {
        HostNames names;
        const char* chosen;
    };
    const Case cases[] = {
        {{"NB", "m.local", "d.example", {}}, "NB"},
        {{"", "m.local", "d.example", {}}, "m.local"},
        {{"", "", "d.example", {}}, "d.example"},
        {{"", "", "", {"_ipp._tcp"}}, "-"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.names.Chosen(), c.chosen);
    }
    EXPECT_EQ(ServiceWords({"_pdl-datastream._tcp", "_printer._tcp", "_smb._tcp", "_afpovertcp._tcp", "_nfs._tcp",
                            "_https._tcp", "_ssh._tcp", "_rfb._tcp", "_airplay._tcp", "_googlecast._tcp", "_raop._tcp",
                            "_SSH._TCP"}),
              "printer, file server, web, ssh, remote desktop, media");
    EXPECT_EQ(ServiceWords({}), "");
}

} // namespace
} // namespace tessvale
