#include <chrono>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fakes/fake_sweep_transport.h"
#include "scan/netbios_packet.h"
#include "scan/node_status.h"
#include "udp_test_socket.h"

namespace tessvale {
namespace {

struct Reply
{
    const char* from; // loopback address the reply is sent from
    std::vector<std::uint8_t> bytes;
};

// A node-status peer on loopback: receives the query on 127.0.0.1 and answers with the
// scripted replies, each from the address it names.
class LoopbackPeer
{
public:
    explicit LoopbackPeer(std::vector<Reply> replies) : m_replies(std::move(replies))
    {
        const test::UdpBinding binding = test::BindUdp(INADDR_LOOPBACK, 0, 2000000);
        m_fd = binding.fd;
        m_port = binding.port;
        m_thread = std::thread([this] { Serve(); });
    }
    ~LoopbackPeer()
    {
        Join();
        close(m_fd);
    }
    // Waits until the peer has answered and watched for a second datagram.
    void Join()
    {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    std::uint16_t Port() const { return m_port; }
    // Valid after Join().
    const std::vector<std::uint8_t>& Request() const { return m_request; }
    int RequestCount() const { return m_requestCount; }

private:
    void Serve()
    {
        std::vector<std::uint8_t> buffer(4096);
        sockaddr_in client{};
        socklen_t length = sizeof client;
        const ssize_t received =
            recvfrom(m_fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&client), &length);
        if (received <= 0) {
            return;
        }
        m_request.assign(buffer.begin(), buffer.begin() + received);
        ++m_requestCount;
        for (const auto& reply : m_replies) {
            const int sender = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in from{};
            from.sin_family = AF_INET;
            inet_pton(AF_INET, reply.from, &from.sin_addr);
            if (bind(sender, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
                ADD_FAILURE() << "cannot answer from " << reply.from;
                close(sender);
                continue;
            }
            sendto(sender, reply.bytes.data(), reply.bytes.size(), 0, reinterpret_cast<sockaddr*>(&client), length);
            close(sender);
        }
        // A second query would be a fault: count anything else that arrives briefly.
        timeval wait{0, 200000};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        if (recv(m_fd, buffer.data(), buffer.size(), 0) > 0) {
            ++m_requestCount;
        }
    }

    std::vector<Reply> m_replies;
    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    std::vector<std::uint8_t> m_request;
    int m_requestCount = 0;
};

// An answer with one name and transaction id 0.
std::vector<std::uint8_t> Answer(const std::string& name, const MacAddress& unitId)
{
    return fakes::NodeStatusAnswerBytes(0, {name}, unitId);
}

constexpr MacAddress kUnitId{0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};

TEST(NodeStatusQuery, SendsOneRequestAndReadsTheAnswer)
{
    LoopbackPeer peer({{"127.0.0.1", Answer("PC01", kUnitId)}});
    std::string mac;
    std::string hostName = "-";
    EXPECT_EQ(QueryNodeStatus("127.0.0.1", mac, hostName, 2000, peer.Port()), 1);
    peer.Join();
    const auto expected = BuildNodeStatusRequest();
    EXPECT_EQ(peer.Request(), std::vector<std::uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(peer.RequestCount(), 1);
    EXPECT_EQ(mac, "00:1B:21:0A:0B:0C");
    EXPECT_EQ(hostName, "PC01");
}

TEST(NodeStatusQuery, IgnoresAReplyFromAnotherAddress)
{
    LoopbackPeer peer({{"127.0.0.2", Answer("SPOOF", kUnitId)}});
    std::string mac = "before";
    std::string hostName = "-";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QueryNodeStatus("127.0.0.1", mac, hostName, 300, peer.Port()), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));
    EXPECT_EQ(mac, "before");
    EXPECT_EQ(hostName, "-");
}

TEST(NodeStatusQuery, KeepsWaitingForTheQueriedAddressAfterAStrayReply)
{
    LoopbackPeer peer({{"127.0.0.2", Answer("SPOOF", kUnitId)}, {"127.0.0.1", Answer("REAL", kUnitId)}});
    std::string mac;
    std::string hostName = "-";
    EXPECT_EQ(QueryNodeStatus("127.0.0.1", mac, hostName, 2000, peer.Port()), 1);
    EXPECT_EQ(hostName, "REAL");
}

TEST(NodeStatusQuery, ATruncatedAnswerIsNoAnswer)
{
    auto bytes = Answer("PC01", kUnitId);
    bytes.resize(bytes.size() - 3);
    LoopbackPeer peer({{"127.0.0.1", bytes}});
    std::string mac = "before";
    std::string hostName = "-";
    EXPECT_EQ(QueryNodeStatus("127.0.0.1", mac, hostName, 2000, peer.Port()), 0);
    EXPECT_EQ(mac, "before");
    EXPECT_EQ(hostName, "-");
}

TEST(NodeStatusQuery, WaitsTheTimeoutForASilentAddress)
{
    LoopbackPeer peer({});
    std::string mac;
    std::string hostName = "-";
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QueryNodeStatus("127.0.0.1", mac, hostName, 400, peer.Port()), 0);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(395));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
}

TEST(NodeStatusQuery, ZeroTimeoutReturnsAtOnce)
{
    std::string mac;
    std::string hostName = "-";
    const auto start = std::chrono::steady_clock::now();
    // Port 9 (discard) on loopback: nothing answers.
    EXPECT_EQ(QueryNodeStatus("127.0.0.1", mac, hostName, 0, 9), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_EQ(QueryNodeStatus("not an address", mac, hostName, 0, 9), 0);
}

} // namespace
} // namespace tessvale
