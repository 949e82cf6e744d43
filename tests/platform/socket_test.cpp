#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/socket.h"

using namespace std::chrono_literals;
using vcq::net::Endpoint;
using vcq::net::IoStatus;
using vcq::net::ParseIpv4;
using vcq::net::TcpSocket;
using vcq::net::UdpSocket;

namespace {
constexpr uint32_t kLoopback = 0x7F000001;

TcpSocket ListenOnLoopback(Endpoint& bound) {
    TcpSocket server;
    EXPECT_TRUE(server.Open());
    EXPECT_TRUE(server.Bind({kLoopback, 0}));
    EXPECT_TRUE(server.Listen(4));
    bound = *server.LocalEndpoint();
    return server;
}
}  // namespace

TEST(Ipv4Text, AcceptsOnlyFourDottedDecimalParts) {
    EXPECT_EQ(ParseIpv4("192.168.0.10"), 0xC0A8000Au);
    EXPECT_EQ(ParseIpv4("0.0.0.0"), 0u);
    EXPECT_EQ(ParseIpv4("255.255.255.255"), 0xFFFFFFFFu);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "192.168.0.300", "1..2.3", "a.b.c.d",
                            "1.2.3.4 ", " 1.2.3.4", "1.2.3.4:80", "1234.1.1.1", "localhost"}) {
        EXPECT_FALSE(ParseIpv4(bad).has_value()) << bad;
    }
    EXPECT_EQ(vcq::net::FormatIpv4(0xC0A8000A), "192.168.0.10");
    EXPECT_EQ(vcq::net::FormatEndpoint({kLoopback, 8080}), "127.0.0.1:8080");
}

TEST(TcpSocket, ExchangesDataAndReportsOrderlyClose) {
    Endpoint bound;
    TcpSocket server = ListenOnLoopback(bound);
    std::thread peer([&] {
        TcpSocket conn = server.Accept(2s);
        ASSERT_TRUE(conn.valid());
        char buf[16];
        auto got = conn.Receive(buf, sizeof buf, 2s);
        ASSERT_TRUE(got.ok());
        conn.SendAll(std::string_view(buf, got.bytes), 2s);
    });
    TcpSocket client;
    ASSERT_TRUE(client.Open());
    ASSERT_TRUE(client.Connect(bound, 2s));
    ASSERT_TRUE(client.SendAll("ping", 2s));
    char buf[16];
    auto got = client.Receive(buf, sizeof buf, 2s);
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(std::string(buf, got.bytes), "ping");
    peer.join();
    EXPECT_EQ(client.Receive(buf, sizeof buf, 2s).status, IoStatus::Closed);
}

TEST(TcpSocket, BoundsEveryWait) {
    Endpoint bound;
    TcpSocket server = ListenOnLoopback(bound);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(server.Accept(50ms).valid());

    TcpSocket client;
    ASSERT_TRUE(client.Open());
    ASSERT_TRUE(client.Connect(bound, 2s));  // accepted by the backlog, never answered
    char buf[4];
    EXPECT_EQ(client.Receive(buf, sizeof buf, 50ms).status, IoStatus::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(TcpSocket, RefusedConnectionFailsAtOnce) {
    Endpoint bound;
    { TcpSocket gone = ListenOnLoopback(bound); }
    TcpSocket client;
    ASSERT_TRUE(client.Open());
    EXPECT_FALSE(client.Connect(bound, 2s));
    EXPECT_NE(client.LastError(), 0);
}

TEST(UdpSocket, SendsAndReceivesWithSourceEndpoint) {
    UdpSocket a, b;
    ASSERT_TRUE(a.Open());
    ASSERT_TRUE(b.Open());
    ASSERT_TRUE(a.Bind({kLoopback, 0}));
    ASSERT_TRUE(b.Bind({kLoopback, 0}));
    ASSERT_TRUE(a.SendTo(*b.LocalEndpoint(), "hello"));
    char buf[32];
    Endpoint from;
    auto got = b.ReceiveFrom(buf, sizeof buf, from, 2s);
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(std::string(buf, got.bytes), "hello");
    EXPECT_EQ(from, *a.LocalEndpoint());
    EXPECT_EQ(b.ReceiveFrom(buf, sizeof buf, from, 20ms).status, IoStatus::TimedOut);
}
