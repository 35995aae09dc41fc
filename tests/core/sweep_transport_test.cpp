// The sweep's real sockets on the loopback interface: no privileges, no test network.
#include <chrono>
#include <set>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "common/unique_fd.h"
#include "scan/probe_sweep.h"

namespace tessvale {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kLoopback = 0x7F000001;

// A UDP port of the loopback interface that nothing listens on.
std::uint16_t UnusedPort()
{
    const UniqueFd probe(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(kLoopback);
    socklen_t length = sizeof address;
    if (!probe.Valid() || bind(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

std::vector<SweepAnswer> ReceiveFor(SweepTransport& transport, std::size_t wanted, std::chrono::milliseconds bound)
{
    std::vector<SweepAnswer> answers;
    const auto until = std::chrono::steady_clock::now() + bound;
    while (answers.size() < wanted && std::chrono::steady_clock::now() < until) {
        transport.Receive(20ms, answers);
    }
    return answers;
}

TEST(SweepTransport, APortNothingListensOnRefusesEachRequestAndTheNextStillGoesOut)
{
    const std::uint16_t port = UnusedPort();
    ASSERT_NE(port, 0);
    const auto transport = MakeSystemSweepTransport(false, port);
    ASSERT_TRUE(transport);
    EXPECT_FALSE(transport->OnLink(kLoopback));
    // More requests than the transport has sockets, in a row: a refusal that arrived
    // before a socket's next request is reported on that request once, and must not
    // swallow it.
    constexpr int kRequests = 40;
    for (int i = 0; i < kRequests; ++i) {
        ASSERT_TRUE(transport->SendNodeStatus(kLoopback, static_cast<std::uint16_t>(0x1200 + i))) << "request " << i;
    }
    const auto answers = ReceiveFor(*transport, kRequests, 5000ms);
    ASSERT_EQ(answers.size(), static_cast<std::size_t>(kRequests));
    std::set<int> transactions;
    for (const auto& answer : answers) {
        EXPECT_EQ(answer.kind, SweepAnswer::Kind::NodeStatusRefused);
        EXPECT_EQ(answer.address, kLoopback);
        ASSERT_GE(answer.datagram.size(), 2u);
        transactions.insert((answer.datagram[0] << 8) | answer.datagram[1]);
    }
    EXPECT_EQ(transactions.size(), static_cast<std::size_t>(kRequests));
    EXPECT_EQ(*transactions.begin(), 0x1200);
}

TEST(SweepTransport, ANameServiceAnswerIsReadBesideTheRefusals)
{
    // A peer on its own port answers; the node-status request to a dead port is refused.
    const UniqueFd peer(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(kLoopback);
    ASSERT_EQ(bind(peer.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(peer.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    const auto transport = MakeSystemSweepTransport(false, ntohs(address.sin_port));
    ASSERT_TRUE(transport);
    ASSERT_TRUE(transport->SendNodeStatus(kLoopback, 0x0102));
    std::uint8_t request[128];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received =
        recvfrom(peer.Get(), request, sizeof request, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    ASSERT_GE(received, 2);
    EXPECT_EQ(request[0], 0x01);
    EXPECT_EQ(request[1], 0x02);
    const std::uint8_t reply[] = {0x01, 0x02, 0x84, 0x00};
    ASSERT_EQ(sendto(peer.Get(), reply, sizeof reply, 0, reinterpret_cast<const sockaddr*>(&from), fromLength),
              static_cast<ssize_t>(sizeof reply));
    const auto answers = ReceiveFor(*transport, 1, 5000ms);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].kind, SweepAnswer::Kind::NodeStatus);
    EXPECT_EQ(answers[0].datagram, std::vector<std::uint8_t>(reply, reply + sizeof reply));
}

} // namespace
} // namespace tessvale
