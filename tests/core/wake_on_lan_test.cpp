#include <vector>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "scan/wake_on_lan.h"
#include "udp_test_socket.h"

namespace tessvale {
namespace {

TEST(WakeOnLanPacket, SyncBytesSixteenCopiesAndZeroTail)
{
    const MacAddress mac{0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};
    const auto packet = BuildWakeOnLanPacket(mac);
    ASSERT_EQ(packet.size(), 108u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(packet[i], 0xFF) << i;
        EXPECT_EQ(packet[102 + i], 0x00) << i;
    }
    for (std::size_t i = 6; i < 102; ++i) {
        EXPECT_EQ(packet[i], mac[(i - 6) % 6]) << i;
    }
}

TEST(WakeOnLanPacket, AcceptsColonsAndHyphensOnly)
{
    const MacAddress mac{0x0A, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};
    EXPECT_EQ(ParseWakeMac("0A:1B:21:0A:0B:0C"), mac);
    EXPECT_EQ(ParseWakeMac("0a:1b:21:0a:0b:0c"), mac);
    EXPECT_EQ(ParseWakeMac("0A-1B-21-0A-0B-0C"), mac);
    EXPECT_FALSE(ParseWakeMac("0A1B210A0B0C"));      // 12 characters
    EXPECT_FALSE(ParseWakeMac("0A:1B:21:0A:0B"));    // 14 characters
    EXPECT_FALSE(ParseWakeMac("0A:1B:21:0A:0B:0Z")); // not hexadecimal
    EXPECT_FALSE(ParseWakeMac("0A:1B:21 0A:0B:0C"));
}

// A listener on a loopback port standing in for the broadcast destination.
class Listener
{
public:
    Listener()
    {
        const test::UdpBinding binding = test::BindUdp(INADDR_LOOPBACK, 0, 300000);
        m_fd = binding.fd;
        m_port = binding.port;
    }
    ~Listener() { close(m_fd); }
    std::uint16_t Port() const { return m_port; }
    std::vector<std::vector<std::uint8_t>> ReceiveAll() { return test::ReceiveAll(m_fd); }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

TEST(WakeOnLanSender, SendsTenPacketsToTheDestination)
{
    Listener listener;
    EXPECT_EQ(SendWakeOnLan("00-1b-21-0a-0b-0c", {INADDR_LOOPBACK, listener.Port()}), 1);
    const auto datagrams = listener.ReceiveAll();
    ASSERT_EQ(datagrams.size(), 10u);
    const auto expected = BuildWakeOnLanPacket({0x00, 0x1B, 0x21, 0x0A, 0x0B, 0x0C});
    for (const auto& datagram : datagrams) {
        EXPECT_EQ(datagram, std::vector<std::uint8_t>(expected.begin(), expected.end()));
    }
}

TEST(WakeOnLanSender, RejectedTextsSendNothing)
{
    Listener listener;
    for (const char* text : {"001B210A0B0C", "00:1B:21:0A:0B", "", "00:1B:21:0A:0B:0G", "00:1B:21:0A:0B:0C:0D"}) {
        EXPECT_EQ(SendWakeOnLan(text, {INADDR_LOOPBACK, listener.Port()}), 0) << text;
    }
    EXPECT_TRUE(listener.ReceiveAll().empty());
}

} // namespace
} // namespace tessvale
