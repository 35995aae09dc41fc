#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/fake_sweep_transport.h"
#include "scan/probe_sweep.h"

namespace tessvale {
namespace {

using namespace std::chrono_literals;
using fakes::FakeSweepState;
using fakes::FakeSweepTransport;
using fakes::ManualClock;

constexpr std::uint32_t kBase = 0xC6120000; // 198.18.0.0
constexpr MacAddress kUnitId{0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};
constexpr MacAddress kArpMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x07};
constexpr MacAddress kSecondMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x08};
constexpr MacAddress kRouterMac{0x02, 0x00, 0x00, 0x00, 0x00, 0xEE};

class Sweep : public ::testing::Test
{
protected:
    void Start(const std::string& first, const std::string& last, SweepSettings settings = {})
    {
        m_sweep = std::make_unique<ProbeSweep>(AddressWalk(first, last),
                                               std::make_unique<FakeSweepTransport>(m_state, m_clock), settings,
                                               [this] { return m_clock.Now(); });
    }
    // Takes the next finished address, answering or silent (the sweep keeps those apart).
    bool TakeAny(SweepResult& result)
    {
        if (m_sweep->Take(result)) {
            return true;
        }
        if (m_silent.empty()) {
            m_sweep->TakeSilent(m_silent);
        }
        if (m_silent.empty()) {
            return false;
        }
        result = SweepResult{};
        result.address = FormatIpv4(m_silent.front());
        m_silent.erase(m_silent.begin());
        return true;
    }
    // Pumps until the sweep is over; the results by address.
    std::map<std::string, SweepResult> RunToEnd()
    {
        std::map<std::string, SweepResult> results;
        for (int i = 0; i < 100000 && !(m_sweep->Exhausted() && m_silent.empty()); ++i) {
            m_sweep->Pump(10ms);
            SweepResult result;
            while (TakeAny(result)) {
                EXPECT_EQ(results.count(result.address), 0u) << result.address << " handed over twice";
                results[result.address] = result;
            }
        }
        EXPECT_TRUE(m_sweep->Exhausted());
        return results;
    }
    void OnLinkNetwork(std::uint32_t network, std::uint32_t mask)
    {
        m_state.linkNetwork = network;
        m_state.linkMask = mask;
    }
    FakeSweepState::Host& Host(int last) { return m_state.hosts[kBase + static_cast<std::uint32_t>(last)]; }
    // 198.18.0.0/24 on the local segment; arpFirst: ARP goes out from the sweep itself.
    void LocalSegment(bool arpFirst)
    {
        OnLinkNetwork(kBase, 0xFFFFFF00);
        m_state.arpFirst = arpFirst;
    }
    // A host that answers the node-status request with this unit id and these names.
    FakeSweepState::Host& NetbiosHost(int last, const MacAddress& unitId, std::vector<std::string> names = {})
    {
        FakeSweepState::Host& host = Host(last);
        host.hasNetbios = true;
        host.unitId = unitId;
        host.names = std::move(names);
        return host;
    }

    ManualClock m_clock;
    FakeSweepState m_state;
    std::unique_ptr<ProbeSweep> m_sweep;
    std::vector<std::uint32_t> m_silent; // taken from the sweep, not yet from TakeAny
};

TEST_F(Sweep, EveryAddressIsHandedOverOnceWithItsAnswerOrAsSilent)
{
    NetbiosHost(7, kUnitId, {"PC07", "WORKGROUP"});
    NetbiosHost(9, kUnitId); // lists no names
    Start("198.18.0.1", "198.18.0.254");
    const auto begin = m_clock.Now();
    const auto results = RunToEnd();
    ASSERT_EQ(results.size(), 254u);
    EXPECT_TRUE(results.at("198.18.0.7").online);
    EXPECT_EQ(results.at("198.18.0.7").hostName, "PC07");
    EXPECT_EQ(results.at("198.18.0.7").mac, "00:1B:21:0A:0B:0C");
    EXPECT_EQ(results.at("198.18.0.9").hostName, "-");
    int online = 0;
    for (const auto& [address, result] : results) {
        online += result.online ? 1 : 0;
    }
    EXPECT_EQ(online, 2);
    // 254 requests at 2000 a second, then one timeout: not one timeout per address.
    EXPECT_LT(m_clock.Now() - begin, 1500ms);
    EXPECT_EQ(m_state.nodeStatusSent.size(), 254u); // off-link: no retry
    EXPECT_TRUE(m_state.arpSent.empty());           // nor ARP
}

TEST_F(Sweep, AnswersAreMatchedBySenderAndTransaction)
{
    Start("198.18.0.1", "198.18.0.2");
    m_sweep->Pump(0ms);
    m_sweep->Pump(1ms); // both requests are out
    ASSERT_EQ(m_state.nodeStatusSent.size(), 2u);
    const auto [first, transaction] = m_state.nodeStatusSent[0];
    {
        std::lock_guard lock(m_state.mutex);
        SweepAnswer wrongId;
        wrongId.address = first;
        wrongId.datagram =
            fakes::NodeStatusAnswerBytes(static_cast<std::uint16_t>(transaction + 1), {"FORGED"}, kUnitId);
        SweepAnswer stranger = wrongId;
        stranger.address = kBase + 99;
        stranger.datagram = fakes::NodeStatusAnswerBytes(transaction, {"STRANGER"}, kUnitId);
        SweepAnswer truncated;
        truncated.address = first;
        truncated.datagram = {static_cast<std::uint8_t>(transaction >> 8)};
        SweepAnswer allOnes = wrongId;
        allOnes.datagram =
            fakes::NodeStatusAnswerBytes(transaction, {"ONES"}, MacAddress{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        m_state.injected = {wrongId, stranger, truncated, allOnes};
    }
    m_sweep->Pump(1ms);
    SweepResult result;
    EXPECT_FALSE(TakeAny(result)); // none of them answered
    {
        std::lock_guard lock(m_state.mutex);
        SweepAnswer right;
        right.address = first;
        right.datagram = fakes::NodeStatusAnswerBytes(transaction, {"REAL"}, kUnitId);
        m_state.injected = {right, right}; // a duplicate is ignored
    }
    const auto results = RunToEnd();
    EXPECT_TRUE(results.at("198.18.0.1").online);
    EXPECT_EQ(results.at("198.18.0.1").hostName, "REAL");
    EXPECT_FALSE(results.at("198.18.0.2").online);
    EXPECT_EQ(results.count("198.18.0.99"), 0u);
}

TEST_F(Sweep, SilentAddressesFinishAtTheirDeadlineNotBefore)
{
    SweepSettings settings;
    settings.timeout = 1000ms;
    Start("198.18.0.5", "198.18.0.5", settings);
    const auto begin = m_clock.Now();
    SweepResult result;
    while (m_clock.Now() - begin < 990ms) {
        m_sweep->Pump(10ms);
        ASSERT_FALSE(TakeAny(result)) << "handed over before its deadline";
    }
    RunToEnd();
    EXPECT_LE(m_clock.Now() - begin, 1020ms);
}

TEST_F(Sweep, WithArpFirstASilentOnLinkAddressWaitsHalfTheTimeoutAndAnOffLinkOneAllOfIt)
{
    LocalSegment(true);
    Start("198.18.0.250", "198.18.1.0"); // six on the segment, then one off it
    const auto begin = m_clock.Now();
    std::map<std::string, std::chrono::milliseconds> handedAt;
    for (int i = 0; i < 1000 && !m_sweep->Exhausted(); ++i) {
        m_sweep->Pump(5ms);
        SweepResult result;
        while (TakeAny(result)) {
            handedAt[result.address] = std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.Now() - begin);
        }
    }
    ASSERT_EQ(handedAt.size(), 7u);
    // ARP, its retry at a quarter of the timeout, given up at half of it.
    EXPECT_GE(handedAt.at("198.18.0.250"), 500ms);
    EXPECT_LE(handedAt.at("198.18.0.255"), 530ms);
    EXPECT_EQ(std::count(m_state.arpSent.begin(), m_state.arpSent.end(), kBase + 250), 2);
    // Off the segment only the node-status request asks, and it waits the whole second.
    EXPECT_GE(handedAt.at("198.18.1.0"), 1000ms);
    ASSERT_EQ(m_state.nodeStatusSent.size(), 1u);
    EXPECT_EQ(m_state.nodeStatusSent[0].first, kBase + 256);
}

TEST_F(Sweep, AHostWithoutANameServiceIsDoneWhenItSaysSoNotAtTheTimeout)
{
    LocalSegment(true);
    Host(3).arpMacs = {kArpMac};
    Host(3).refusesNetbios = true;                    // on the segment: found by ARP, no name
    m_state.hosts[kBase + 256].refusesNetbios = true; // 198.18.1.0, off the segment
    Start("198.18.0.3", "198.18.0.3");
    auto begin = m_clock.Now();
    auto results = RunToEnd();
    EXPECT_TRUE(results.at("198.18.0.3").online);
    EXPECT_EQ(results.at("198.18.0.3").mac, "02:00:00:00:00:07");
    // Done once a second ARP answer had the time a silent address gets (half the
    // timeout), not at the timeout.
    EXPECT_LT(m_clock.Now() - begin, 600ms);

    // Off the segment the refusal ends the wait too; the address stays silent.
    Start("198.18.1.0", "198.18.1.0");
    begin = m_clock.Now();
    results = RunToEnd();
    EXPECT_FALSE(results.at("198.18.1.0").online);
    EXPECT_LT(m_clock.Now() - begin, 100ms);
}

TEST_F(Sweep, AHostDoneAtOnceStillHearsASecondArpAnswerThatComesLater)
{
    LocalSegment(true);
    Host(5).arpMacs = {kArpMac};
    Host(5).refusesNetbios = true;
    Start("198.18.0.5", "198.18.0.5");
    const auto begin = m_clock.Now();
    SweepResult result;
    while (m_clock.Now() - begin < 300ms) {
        m_sweep->Pump(5ms);
        ASSERT_FALSE(TakeAny(result)) << "handed over before a second claimant could answer";
    }
    SweepAnswer second;
    second.kind = SweepAnswer::Kind::Arp;
    second.address = kBase + 5;
    second.mac = kSecondMac;
    {
        std::lock_guard lock(m_state.mutex);
        m_state.injected = {second};
    }
    const auto results = RunToEnd();
    EXPECT_EQ(results.at("198.18.0.5").mac, "02:00:00:00:00:07");
    EXPECT_EQ(results.at("198.18.0.5").otherMacs, std::vector<std::string>{"02:00:00:00:00:08"});
    EXPECT_LT(m_clock.Now() - begin, 600ms);
}

TEST_F(Sweep, ARefusalOfAnotherRequestOrBeforeArpDoesNotEndTheWait)
{
    LocalSegment(false); // the kernel's table: ARP comes after the request
    Start("198.18.0.5", "198.18.0.6");
    const auto begin = m_clock.Now();
    m_sweep->Pump(1ms);
    ASSERT_EQ(m_state.nodeStatusSent.size(), 2u);
    const auto transaction5 = m_state.nodeStatusSent[0].second;
    SweepAnswer refusal;
    refusal.kind = SweepAnswer::Kind::NodeStatusRefused;
    refusal.address = kBase + 5;
    refusal.datagram = {static_cast<std::uint8_t>((transaction5 + 1) >> 8),
                        static_cast<std::uint8_t>((transaction5 + 1) & 0xFF)}; // not its request
    SweepAnswer refusal6 = refusal;
    refusal6.address = kBase + 6;
    refusal6.datagram.clear(); // quoted too little to tell: taken for the request sent
    {
        std::lock_guard lock(m_state.mutex);
        m_state.injected = {refusal, refusal6};
    }
    m_sweep->Pump(1ms);
    SweepResult result;
    EXPECT_FALSE(TakeAny(result)) << "on the segment a refusal waits for ARP";
    SweepAnswer arp;
    arp.kind = SweepAnswer::Kind::Arp;
    arp.address = kBase + 6;
    arp.mac = kArpMac;
    {
        std::lock_guard lock(m_state.mutex);
        m_state.injected = {arp};
    }
    bool taken = false;
    while (!taken && m_clock.Now() - begin < 900ms) {
        m_sweep->Pump(5ms);
        taken = TakeAny(result);
    }
    ASSERT_TRUE(taken);
    EXPECT_EQ(result.address, "198.18.0.6");
    EXPECT_EQ(result.mac, "02:00:00:00:00:07");
    EXPECT_LT(m_clock.Now() - begin, 600ms);
    const auto rest = RunToEnd();
    EXPECT_FALSE(rest.at("198.18.0.5").online);
    EXPECT_GE(m_clock.Now() - begin, 1000ms) << "the other request's refusal ended the wait";
}

TEST_F(Sweep, RequestsArePacedAtTheRate)
{
    SweepSettings settings;
    settings.ratePerSecond = 1000;
    Start("198.18.0.1", "198.18.3.254", settings);
    const auto begin = m_clock.Now();
    for (int i = 0; i < 50; ++i) {
        m_sweep->Pump(10ms); // 500 ms in all
    }
    const double seconds = std::chrono::duration<double>(m_clock.Now() - begin).count();
    const auto sent = static_cast<double>(m_state.nodeStatusSent.size());
    EXPECT_LE(sent, seconds * 1000 + 21); // the burst after a late pump is a fiftieth of a second
    EXPECT_GE(sent, seconds * 1000 * 0.9);
}

TEST_F(Sweep, InFlightAddressesStayBoundedOnALargeRange)
{
    Start("198.18.0.1", "198.18.255.254"); // a /16 at 2000 a second, 1 s timeout
    std::size_t most = 0;
    std::size_t handed = 0;
    for (int i = 0; i < 200000 && !m_sweep->Exhausted(); ++i) {
        m_sweep->Pump(10ms);
        most = std::max(most, m_sweep->InFlight());
        SweepResult result;
        while (TakeAny(result)) {
            ++handed;
        }
    }
    EXPECT_EQ(handed, AddressWalk("198.18.0.1", "198.18.255.254").Count());
    EXPECT_LE(most, 2100u);
}

TEST_F(Sweep, UntakenResultsPauseTheSending)
{
    SweepSettings settings;
    settings.readyLimit = 10;
    settings.timeout = 0ms;
    Start("198.18.0.1", "198.18.0.254", settings);
    for (int i = 0; i < 200; ++i) {
        m_sweep->Pump(10ms);
    }
    EXPECT_LE(m_state.nodeStatusSent.size(), 10u + 40u);
    EXPECT_FALSE(m_sweep->Exhausted());
    RunToEnd();
    EXPECT_EQ(m_state.nodeStatusSent.size(), 254u);
}

TEST_F(Sweep, OnLinkWithRawArpSendsNodeStatusOnlyToHostsArpFound)
{
    LocalSegment(true);
    Host(3).arpMacs = {kArpMac}; // answers ARP only
    Host(4).arpMacs = {kArpMac}; // a Samba host: unit id of zeros
    NetbiosHost(4, MacAddress{}, {"SAMBA"});
    Host(5).arpMacs = {kArpMac, kSecondMac}; // two hosts claim the address
    Host(6).arpMacs = {kArpMac};
    Host(6).dropFirst = 1; // hears only the retry
    Start("198.18.0.1", "198.18.0.10");
    const auto begin = m_clock.Now();
    const auto results = RunToEnd();
    EXPECT_EQ(results.at("198.18.0.3").mac, "02:00:00:00:00:07");
    EXPECT_EQ(results.at("198.18.0.3").hostName, "-");
    EXPECT_EQ(results.at("198.18.0.4").mac, "02:00:00:00:00:07");
    EXPECT_EQ(results.at("198.18.0.4").hostName, "SAMBA");
    EXPECT_EQ(results.at("198.18.0.5").mac, "02:00:00:00:00:07");
    EXPECT_EQ(results.at("198.18.0.5").otherMacs, std::vector<std::string>{"02:00:00:00:00:08"});
    EXPECT_TRUE(results.at("198.18.0.6").online);
    EXPECT_FALSE(results.at("198.18.0.1").online);
    std::set<std::uint32_t> netbiosTo;
    for (const auto& [address, transaction] : m_state.nodeStatusSent) {
        netbiosTo.insert(address);
    }
    EXPECT_EQ(netbiosTo, (std::set<std::uint32_t>{kBase + 3, kBase + 4, kBase + 5, kBase + 6}));
    // Each silent address: its request and one retry.
    EXPECT_EQ(std::count(m_state.arpSent.begin(), m_state.arpSent.end(), kBase + 1), 2);
    // The retry goes out inside the first wait: a found host costs at most two timeouts
    // (the retry's half and its node-status wait), a range no more.
    EXPECT_LE(m_clock.Now() - begin, 1600ms);
}

TEST_F(Sweep, ANetbiosAnswerThatNamesAnotherMacThanArpKeepsTheArpMacBesideIt)
{
    LocalSegment(true);
    Host(3).arpMacs = {kArpMac};
    NetbiosHost(3, kUnitId, {"OTHER"});
    Host(4).arpMacs = {kUnitId}; // the same adapter answers both
    NetbiosHost(4, kUnitId, {"SAME"});
    Start("198.18.0.1", "198.18.0.6");
    const auto results = RunToEnd();
    EXPECT_EQ(results.at("198.18.0.3").mac, "00:1B:21:0A:0B:0C");
    EXPECT_EQ(results.at("198.18.0.3").otherMacs, std::vector<std::string>{"02:00:00:00:00:07"});
    EXPECT_EQ(results.at("198.18.0.4").mac, "00:1B:21:0A:0B:0C");
    EXPECT_TRUE(results.at("198.18.0.4").otherMacs.empty());
}

TEST_F(Sweep, OnLinkWithoutRawArpWaitsForTheNeighbourTable)
{
    LocalSegment(false);
    Host(2).arpMacs = {kArpMac};
    NetbiosHost(8, kUnitId, {"PC08"});
    m_state.headroom = 0; // the table is full: nothing starts
    Start("198.18.0.1", "198.18.0.10");
    for (int i = 0; i < 20; ++i) {
        m_sweep->Pump(10ms);
    }
    EXPECT_TRUE(m_state.nodeStatusSent.empty());
    {
        std::lock_guard lock(m_state.mutex);
        m_state.headroom = SIZE_MAX;
    }
    const auto results = RunToEnd();
    EXPECT_EQ(results.size(), 10u);
    EXPECT_EQ(results.at("198.18.0.2").mac, "02:00:00:00:00:07");
    EXPECT_EQ(results.at("198.18.0.8").hostName, "PC08");
    EXPECT_FALSE(results.at("198.18.0.3").online);
}

TEST_F(Sweep, ARequestTheFullNeighbourTableRefusedIsSentAgainNotReportedSilent)
{
    LocalSegment(false);
    Host(1).arpMacs = {kArpMac};
    NetbiosHost(2, kUnitId, {"PC02"});
    m_state.refuseOnLink = 5; // the first requests of the walk meet a full table
    Start("198.18.0.1", "198.18.0.6");
    const auto results = RunToEnd();
    EXPECT_EQ(m_state.refused, 5);
    ASSERT_EQ(results.size(), 6u);
    EXPECT_EQ(results.at("198.18.0.1").mac, "02:00:00:00:00:07");
    EXPECT_EQ(results.at("198.18.0.2").hostName, "PC02");
    std::set<std::uint32_t> asked;
    for (const auto& [address, transaction] : m_state.nodeStatusSent) {
        asked.insert(address);
    }
    EXPECT_EQ(asked.size(), 6u) << "every address was asked once the table had room";
}

TEST_F(Sweep, AZeroUnitIdTakesTheMacTheSystemKnows)
{
    OnLinkNetwork(kBase, 0xFFFFFF00);
    NetbiosHost(4, MacAddress{}, {"SAMBA"}); // a Samba host whose neighbour event did not arrive
    NetbiosHost(5, kUnitId);
    m_state.knownMacs[kBase + 4] = kArpMac;
    Start("198.18.0.4", "198.18.0.5");
    const auto results = RunToEnd();
    EXPECT_EQ(results.at("198.18.0.4").mac, "02:00:00:00:00:07");
    EXPECT_EQ(results.at("198.18.0.5").mac, "00:1B:21:0A:0B:0C");
    EXPECT_EQ(m_state.knownMacAsked, 1); // only for the zero unit id
}

TEST_F(Sweep, TheComputersOwnAddressAnswersWithItsAdapterMac)
{
    LocalSegment(true);
    m_state.ownMacs[kBase + 1] = kSecondMac;
    m_state.ownMacs[kBase + 2] = kSecondMac;
    NetbiosHost(2, MacAddress{}, {"SCANNER"}); // a local nmbd: unit id of zeros
    Start("198.18.0.1", "198.18.0.2");
    const auto results = RunToEnd();
    EXPECT_TRUE(results.at("198.18.0.1").online); // without a name server
    EXPECT_EQ(results.at("198.18.0.1").mac, "02:00:00:00:00:08");
    EXPECT_EQ(results.at("198.18.0.1").hostName, "-");
    EXPECT_EQ(results.at("198.18.0.2").mac, "02:00:00:00:00:08");
    EXPECT_EQ(results.at("198.18.0.2").hostName, "SCANNER");
    EXPECT_TRUE(m_state.arpSent.empty());
}

TEST_F(Sweep, OffLinkAddressesNeverTakeAnArpAnswer)
{
    OnLinkNetwork(kBase + 0x100, 0xFFFFFF00); // 198.18.1.0/24 is local, 198.18.0.x is not
    NetbiosHost(7, MacAddress{}, {"FAR"});
    Start("198.18.0.7", "198.18.0.8");
    m_sweep->Pump(1ms);
    {
        std::lock_guard lock(m_state.mutex);
        SweepAnswer router; // an answer for an off-link address (the router's MAC)
        router.kind = SweepAnswer::Kind::Arp;
        router.address = kBase + 8;
        router.mac = kRouterMac;
        m_state.injected = {router};
    }
    const auto results = RunToEnd();
    EXPECT_FALSE(results.at("198.18.0.8").online);
    EXPECT_EQ(results.at("198.18.0.7").mac, "00:00:00:00:00:00");
    EXPECT_EQ(results.at("198.18.0.7").hostName, "FAR");
    EXPECT_TRUE(m_state.arpSent.empty());
}

TEST_F(Sweep, WithoutRawArpASilentAddressWaitsForTheKernelsRepeatedRequest)
{
    // The kernel repeats its ARP request after its own interval (a second), later than
    // the timeout: a host that answers only the repeated request is found only when the
    // address waits for it. Without a retry nothing is repeated.
    struct Case
    {
        std::chrono::milliseconds interval;
        int retries;
        bool found;
    };
    for (const Case& c : {Case{1000ms, 1, true}, Case{0ms, 1, false}, Case{1000ms, 0, false}}) {
        OnLinkNetwork(kBase, 0xFFFFFF00);
        m_state.kernelArpInterval = c.interval; // no ARP of the sweep's own (no raw socket)
        SweepSettings settings;
        settings.timeout = 1000ms;
        settings.retries = c.retries;
        Start("198.18.0.5", "198.18.0.6", settings);
        const auto begin = m_clock.Now();
        while (m_clock.Now() - begin < 1100ms) {
            m_sweep->Pump(5ms);
        }
        SweepAnswer late; // the answer to the repeated request
        late.kind = SweepAnswer::Kind::Arp;
        late.address = kBase + 5;
        late.mac = kArpMac;
        {
            std::lock_guard lock(m_state.mutex);
            m_state.injected = {late};
        }
        const auto results = RunToEnd();
        EXPECT_EQ(results.at("198.18.0.5").online, c.found) << c.interval.count() << " " << c.retries;
        EXPECT_FALSE(results.at("198.18.0.6").online);
        // The wait stays bounded: the repeated request's answer has a quarter timeout.
        EXPECT_LE(m_clock.Now() - begin, c.found ? 1300ms : 1150ms);
    }
}

// Callers that wait in Await while the test owns the pump; each counts what it got.
class SweepCallers
{
public:
    SweepCallers(ProbeSweep& sweep, int count)
    {
        for (int i = 0; i < count; ++i) {
            m_threads.emplace_back([this, &sweep] {
                SweepResult result;
                for (;;) {
                    switch (sweep.Await(result)) {
                    case ProbeSweep::Turn::Host:
                        ++hosts;
                        continue;
                    case ProbeSweep::Turn::Over:
                        ++overs;
                        return;
                    case ProbeSweep::Turn::Pump:
                        ++pumps; // the test never gives the pump up
                        sweep.ReleasePump();
                        return;
                    }
                }
            });
        }
        while (sweep.Waiting() < static_cast<std::size_t>(count)) {
            std::this_thread::yield();
        }
    }
    ~SweepCallers() { Join(); }
    SweepCallers(const SweepCallers&) = delete;
    SweepCallers& operator=(const SweepCallers&) = delete;
    void Join()
    {
        for (auto& thread : m_threads) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }

    std::atomic<int> hosts{0};
    std::atomic<int> overs{0};
    std::atomic<int> pumps{0};

private:
    std::vector<std::thread> m_threads;
};

TEST_F(Sweep, AnAnsweringHostWakesOneWaitingCallerSilentOnesNoneAndTheEndAll)
{
    constexpr int kCallers = 8;
    NetbiosHost(3, kUnitId);
    Start("198.18.0.1", "198.18.0.40");
    SweepResult result;
    ASSERT_EQ(m_sweep->Await(result), ProbeSweep::Turn::Pump); // the pump is this thread's
    SweepCallers callers(*m_sweep, kCallers);
    for (int i = 0; i < 5; ++i) {
        m_sweep->Pump(1ms); // 5 ms: the host has answered, the silent ones wait a second
    }
    while (callers.hosts.load() == 0 || m_sweep->Waiting() < kCallers) {
        std::this_thread::yield(); // until the caller that took the host is back
    }
    EXPECT_EQ(m_sweep->Wakeups(), 1u);
    // The 39 silent addresses finish without waking anyone; the end wakes each caller.
    std::vector<std::uint32_t> silent;
    for (int i = 0; i < 100000 && !m_sweep->Over(); ++i) {
        m_sweep->Pump(10ms);
        m_sweep->TakeSilent(silent);
    }
    callers.Join();
    EXPECT_EQ(silent.size(), 39u);
    EXPECT_EQ(callers.hosts.load(), 1);
    EXPECT_EQ(callers.overs.load(), kCallers);
    EXPECT_EQ(callers.pumps.load(), 0);
    EXPECT_EQ(m_sweep->Wakeups(), 1u + kCallers);
}

TEST_F(Sweep, ReleasingThePumpWakesOneCallerToTakeItAndStopEndsEveryWait)
{
    constexpr int kCallers = 6;
    Start("198.18.0.1", "198.18.0.40");
    SweepResult result;
    ASSERT_EQ(m_sweep->Await(result), ProbeSweep::Turn::Pump);
    SweepCallers callers(*m_sweep, kCallers);
    m_sweep->ReleasePump();
    callers.Join(); // the one that took the pump gave it back, which woke the next, ...
    EXPECT_EQ(callers.pumps.load(), kCallers);
    EXPECT_EQ(m_sweep->Wakeups(), static_cast<std::uint64_t>(kCallers));

    Start("198.18.0.1", "198.18.0.40");
    ASSERT_EQ(m_sweep->Await(result), ProbeSweep::Turn::Pump);
    SweepCallers stopped(*m_sweep, kCallers);
    m_sweep->Stop();
    stopped.Join();
    EXPECT_EQ(stopped.overs.load(), kCallers);
    EXPECT_EQ(m_sweep->Wakeups(), static_cast<std::uint64_t>(kCallers));
    EXPECT_EQ(m_state.wakes, 1); // the pump's wait was ended too
    EXPECT_EQ(m_sweep->Await(result), ProbeSweep::Turn::Over);
}

TEST_F(Sweep, AnEmptyWalkEndsAtOnce)
{
    Start("198.18.0.20", "198.18.0.10");
    EXPECT_TRUE(RunToEnd().empty());
    EXPECT_TRUE(m_state.nodeStatusSent.empty());
}

} // namespace
} // namespace tessvale
