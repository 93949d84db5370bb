// The relay's two endpoints over both IP families, and destinations that refuse or stay silent, on
// real loopback sockets. The peers use a sockets layer of their own.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "loopback_peer.h"
#include "relay_harness.h"

namespace {

using namespace std::chrono_literals;

SocketAddress Loopback(int family, int port = 0)
{
    SocketAddress address;
    address.family = family;
    address.port = static_cast<std::uint16_t>(port);
    if (family == kAfInet)
        address.bytes = {127, 0, 0, 1};
    else
        address.bytes[15] = 1; // ::1
    return address;
}

class DestinationTest : public RelayTest {
protected:
    DestinationTest() { EXPECT_TRUE(peers.Startup()); }

    // Whether this machine has ::1 to test on.
    bool HasIpv6Loopback()
    {
        const SocketHandle s = peers.Socket(kAfInet6, kSockStream, kIpProtoTcp);
        return s != kNoSocket && peers.Bind(s, Loopback(kAfInet6)) == 0 && peers.CloseSocket(s) == 0;
    }

    // A non-blocking listener on a free loopback port of the family; its port in *port.
    SocketHandle Listener(int family, int* port, int backlog = 5)
    {
        const SocketHandle s = peers.Socket(family, kSockStream, kIpProtoTcp);
        EXPECT_EQ(peers.Bind(s, Loopback(family)), 0) << peers.LastError();
        EXPECT_EQ(peers.Listen(s, backlog), 0) << peers.LastError();
        peers.SetNonBlocking(s, true);
        *port = LocalPort(s);
        return s;
    }

    // A destination that drops every new SYN: its backlog is full.
    int SilentPort(int family)
    {
        int port = 0;
        const SocketHandle listener = Listener(family, &port, 0);
        for (int i = 0; i < 4; ++i) { // the queue takes one or two before it drops
            const SocketHandle s = peers.Socket(family, kSockStream, kIpProtoTcp);
            peers.SetNonBlocking(s, true);
            peers.Connect(s, Loopback(family, port));
            if (peers.ConnectState(s, 200) == 0)
                return port;
        }
        ADD_FAILURE() << "the full backlog of " << listener << " still took connections";
        return port;
    }

    SocketHandle AcceptWithin(SocketHandle listener, SocketAddress* peer = nullptr)
    {
        SocketHandle accepted = kNoSocket;
        for (int look = 0; look < 100 && accepted == kNoSocket; ++look)
            if ((accepted = peers.Accept(listener, peer)) == kNoSocket)
                std::this_thread::sleep_for(20ms);
        return accepted;
    }

    std::string ReadWithin(SocketHandle s, std::chrono::milliseconds timeout)
    {
        char buffer[256];
        if (peers.WaitReadable(s, static_cast<int>(timeout.count())) != 1)
            return {};
        const int n = peers.Recv(s, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

    RealSockets peers;
};

// Clients of both families reach the one listen port; with the client "Auto" box ticked, the tick
// that accepts a client connects to the destination (over either family, written as the user
// would) and forwards the client's first bytes at once.
TEST_F(DestinationTest, BothFamiliesRelayFromTheTickThatAcceptsTheClient)
{
    const bool ipv6 = HasIpv6Loopback();
    if (!ipv6)
        std::printf("No ::1 on this machine: the IPv6 cases are skipped, IPv4 alone is tested.\n");
    struct Case {
        int clientFamily;
        int serverFamily;
        const char* hostText;
    };
    std::vector<Case> cases = {{kAfInet, kAfInet, "127.0.0.1"}};
    if (ipv6)
        cases.insert(cases.end(), {{kAfInet6, kAfInet6, "::1"}, {kAfInet, kAfInet6, "[::1]"}});
    host.Click(IDC_CLIENT_AUTO);
    for (const Case& c : cases) {
        int serverPort = 0;
        const SocketHandle server = Listener(c.serverFamily, &serverPort);
        const int listenPort = FreeLoopbackPort();
        host.Type(IDC_LISTEN_PORT, std::to_string(listenPort));
        host.Type(IDC_DEST_PORT, std::to_string(serverPort));
        host.Type(IDC_DEST_HOST, c.hostText);
        host.Click(IDC_LISTEN);
        ASSERT_EQ(ServerStatus(), "Listening...");

        const SocketHandle client = peers.Socket(c.clientFamily, kSockStream, kIpProtoTcp);
        ASSERT_EQ(peers.Connect(client, Loopback(c.clientFamily, listenPort)), 0) << c.hostText;
        ASSERT_EQ(peers.Send(client, "hello", 5, 0), 5);
        std::this_thread::sleep_for(50ms); // for the bytes to wait in the relay's socket
        Tick();
        EXPECT_EQ(ServerStatus(), "Connected!") << c.hostText;
        EXPECT_EQ(ClientStatus(), "Connected!") << c.hostText;
        SocketAddress relayEnd;
        const SocketHandle accepted = AcceptWithin(server, &relayEnd);
        ASSERT_NE(accepted, kNoSocket) << c.hostText;
        EXPECT_EQ(relayEnd.family, c.serverFamily);
        EXPECT_EQ(ReadWithin(accepted, 0ms), "hello") << c.hostText << ": not forwarded in the same tick";
        host.Click(IDC_STOP_SERVER);
        peers.CloseSocket(client);
        peers.CloseSocket(accepted);
        peers.CloseSocket(server);
    }
}

TEST_F(DestinationTest, RefusedDestinationIsReportedAndEndsTheClientWithServerAuto)
{
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, FreeLoopbackPort(), false, true);
    const SocketHandle client = peers.Socket(kAfInet, kSockStream, kIpProtoTcp);
    ASSERT_EQ(peers.Connect(client, Loopback(kAfInet, listenPort)), 0);
    ASSERT_TRUE(TickUntil([&] { return ServerStatus() == "Connected!"; }, 5s));
    host.Click(IDC_CONNECT);
    // Windows itself tries a refused loopback connect again for a second or two.
    ASSERT_TRUE(TickUntil([&] { return ClientStatus() != "Connecting..."; }, 10s));
    EXPECT_EQ(ClientStatus(), "Failed to connect. Error code 10061. : WSAECONNREFUSED");
    EXPECT_EQ(ServerStatus(), "Connection to client terminated.");
    EXPECT_TRUE(host.IsEnabled(IDC_CONNECT));
}

// The window goes on answering while a destination stays silent: the attempt is looked at, not
// waited for, and "Disconnect" ends it.
TEST_F(DestinationTest, SilentDestinationStaysConnectingUntilDisconnect)
{
    for (const int family : HasIpv6Loopback() ? std::vector{kAfInet, kAfInet6} : std::vector{kAfInet}) {
        host.Type(IDC_DEST_PORT, std::to_string(SilentPort(family)));
        host.Type(IDC_DEST_HOST, family == kAfInet ? "127.0.0.1" : "::1");
        host.Click(IDC_CONNECT);
        Ticks(5);
        EXPECT_EQ(ClientStatus(), "Connecting...");
        std::printf(
            "Longest tick while the destination stays silent: %lld ms\n", static_cast<long long>(longestTick.count()));
        host.Click(IDC_CLIENT_DISCONNECT);
        EXPECT_EQ(ClientStatus(), "Idle.");
        EXPECT_EQ(sockets.OpenSocketCount(), 0u);
    }
}

} // namespace
