// Failures that real loopback sockets provoke, with the status texts and cascades they bring.
#include <thread>

#include "loopback_peer.h"
#include "relay_harness.h"

namespace {

using namespace std::chrono_literals;

TEST_F(RelayTest, PortAnotherProgramListensOnCannotBeListenedOn)
{
    int takenPort = 0;
    Descriptor other = ListenLoopback(0, &takenPort);
    host.Type(IDC_LISTEN_PORT, std::to_string(takenPort));
    host.Type(IDC_DEST_HOST, "127.0.0.1");
    host.Click(IDC_LISTEN);
    EXPECT_EQ(ServerStatus(), "Failed to bind socket. Error code 10048. : WSAEADDRINUSE");
    EXPECT_EQ(Listener(), kNoSocket);
    EXPECT_TRUE(host.IsEnabled(IDC_LISTEN));
    EXPECT_EQ(sockets.OpenSocketCount(), 0u);
}

TEST_F(RelayTest, PortOfAnEndedRelayCanBeListenedOnAgainAtOnce)
{
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, FreeLoopbackPort(), false, false);
    {
        Descriptor client = ConnectLoopback(listenPort);
        ASSERT_TRUE(TickUntil([&] { return RemoteClient() != kNoSocket; }, 5s));
        host.Click(IDC_STOP_SERVER); // the relay closes first: its side sits in TIME_WAIT
    }
    host.Click(IDC_LISTEN);
    EXPECT_EQ(ServerStatus(), "Listening...");
}

TEST_F(RelayTest, UnknownHostNameIsReported)
{
    host.Type(IDC_DEST_HOST, "no-such-host.invalid");
    host.Click(IDC_CONNECT);
    EXPECT_EQ(ClientStatus().rfind("Failed to get socket address. Error code 1100", 0), 0u) << ClientStatus();
    EXPECT_EQ(RemoteServer(), kNoSocket);
    EXPECT_EQ(sockets.OpenSocketCount(), 0u);
}

struct PeerEnd {
    const char* name;
    bool clientEnds; // which peer goes away mid-transfer
    bool reset; // a reset rather than an orderly close
    std::string endedLine;
    std::string otherLine; // with both "Auto" boxes ticked, the cascade's text on the other line
};

class PeerEnds : public RelayTest, public ::testing::WithParamInterface<PeerEnd> { };

TEST_P(PeerEnds, CloseTheirSideAndCascade)
{
    const PeerEnd& c = GetParam();
    int serverPort = 0;
    Descriptor listener = ListenLoopback(0, &serverPort);
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, serverPort, true, true);
    Descriptor client = ConnectLoopback(listenPort);
    ASSERT_TRUE(TickUntil([&] { return ServerConnected() == 1; }, 5s));
    Descriptor server = AcceptWithin(listener, 5s);
    ASSERT_TRUE(server.Valid());

    // Traffic in flight both ways, then one peer goes.
    ASSERT_TRUE(SendAll(client, std::string(100000, 'c')));
    ASSERT_TRUE(SendAll(server, std::string(100000, 's')));
    Ticks(2);
    Descriptor& leaving = c.clientEnds ? client : server;
    // Unread data would turn an orderly close into a reset, so an orderly peer reads first.
    if (c.reset) {
        ResetConnection(leaving);
    } else {
        EXPECT_EQ(ReadUntilClosed(leaving, 100000, 5s).size(), 100000u);
        leaving = Descriptor();
    }
    ASSERT_TRUE(TickUntil([&] { return RemoteClient() == kNoSocket && RemoteServer() == kNoSocket; }, 5s));
    EXPECT_EQ(c.clientEnds ? ServerStatus() : ClientStatus(), c.endedLine);
    EXPECT_EQ(c.clientEnds ? ClientStatus() : ServerStatus(), c.otherLine);
    EXPECT_EQ(sockets.OpenSocketCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Relay, PeerEnds,
    ::testing::Values(PeerEnd{"ClientCloses", true, false, "Connection gracefully terminated.", "Idle."},
        PeerEnd{"ClientResets", true, true, "Connection terminated. Error code 10054. : WSAECONNRESET", "Idle."},
        PeerEnd{"ServerCloses", false, false, "Connection gracefully terminated.", "Connection to client terminated."},
        PeerEnd{"ServerResets", false, true, "Connection terminated. Error code 10054. : WSAECONNRESET",
            "Connection to client terminated."}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
