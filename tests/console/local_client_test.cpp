#include <string>

#include "console_fixture.h"
#include "fakes/inet_text.h"

namespace {

using namespace std::chrono_literals;

class LocalClientTest : public ConsoleTest {
protected:
    void ClickConnect(const std::string& hostText)
    {
        host.Type(IDC_DEST_HOST, hostText);
        host.Click(IDC_CONNECT);
    }
};

TEST_F(LocalClientTest, EmptyHostOnlyShowsTheBox)
{
    ClickConnect("  ");
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"You must enter a valid hostname."});
    EXPECT_EQ(ClientStatus(), "Idle");
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Socket), 0);
    EXPECT_EQ(TimerRunning(), 0);
}

TEST_F(LocalClientTest, ImmediateConnectEnablesTheConnectedButtons)
{
    host.Type(IDC_DEST_PORT, "8080");
    sockets.connectMode = FakeSockets::ConnectMode::Immediate;
    ClickConnect("10.1.2.3");
    EXPECT_EQ(ClientStatus(), "Connected!");
    EXPECT_EQ(system.sleepCalls, 0);
    EXPECT_FALSE(host.IsEnabled(IDC_CONNECT));
    EXPECT_TRUE(host.IsEnabled(IDC_CLIENT_DISCONNECT));
    EXPECT_TRUE(host.IsEnabled(IDC_CLIENT_SEND));
    const SocketAddressIn& address = sockets.State(RemoteServer()).address;
    EXPECT_EQ(address.family, kAfInet);
    EXPECT_EQ(inet_text::PortToHost(address.port), 8080);
    EXPECT_EQ(address.address, inet_text::Address("10.1.2.3"));
    const auto& state = sockets.State(RemoteServer());
    EXPECT_EQ(state.noDelay, 1);
    EXPECT_TRUE(state.nonBlocking);
    EXPECT_EQ(TimerRunning(), 1);
}

TEST_F(LocalClientTest, PendingConnectCompletesAtTheFirstLookAfter100ms)
{
    ClickConnect("127.0.0.1");
    EXPECT_EQ(ClientStatus(), "Connected!");
    EXPECT_EQ(system.slept, 100ms);
}

TEST_F(LocalClientTest, RefusedDestinationStaysConnectingUntilDisconnect)
{
    sockets.connectMode = FakeSockets::ConnectMode::NeverWritable;
    ClickConnect("127.0.0.1");
    EXPECT_EQ(ClientStatus(), "Connecting...");
    EXPECT_EQ(system.slept, 2000ms);
    EXPECT_FALSE(host.IsEnabled(IDC_CONNECT));
    const SocketHandle pending = RemoteServer();
    EXPECT_NE(pending, kNoSocket);
    Tick();
    EXPECT_EQ(system.slept, 3000ms);
    EXPECT_EQ(ClientStatus(), "Connecting...");
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Socket), 1);
    host.Click(IDC_CLIENT_DISCONNECT);
    EXPECT_EQ(ClientStatus(), "Idle.");
    EXPECT_TRUE(host.IsEnabled(IDC_CONNECT));
    EXPECT_FALSE(sockets.State(pending).open);
}

TEST_F(LocalClientTest, LaterTickFindsThePendingConnectionEstablished)
{
    sockets.connectLooks = 25;
    ClickConnect("127.0.0.1");
    EXPECT_EQ(ClientStatus(), "Connecting...");
    Tick();
    EXPECT_EQ(ClientStatus(), "Connected!");
    EXPECT_EQ(system.slept, 2500ms);
}

struct AttemptFailure {
    const char* name;
    std::string hostText;
    FakeSockets::Call call; // Startup: nothing scripted
    int code;
    std::string status;
};

class AttemptFailures : public LocalClientTest, public ::testing::WithParamInterface<AttemptFailure> { };

TEST_P(AttemptFailures, AreReportedAndLeaveNoSocket)
{
    const AttemptFailure& c = GetParam();
    if (c.call != FakeSockets::Call::Startup)
        sockets.Fail(c.call, c.code);
    ClickConnect(c.hostText);
    EXPECT_EQ(ClientStatus(), c.status);
    EXPECT_EQ(RemoteServer(), kNoSocket);
    EXPECT_EQ(ServerConnected(), 0);
    EXPECT_TRUE(sockets.OpenSockets().empty());
    EXPECT_TRUE(host.IsEnabled(IDC_CONNECT));
    EXPECT_EQ(TimerRunning(), 1);
}

const std::string kHostNotFound = "Failed to get socket address. Error code 11001. : WSAHOST_NOT_FOUND";

INSTANTIATE_TEST_SUITE_P(LocalClient, AttemptFailures,
    ::testing::Values(AttemptFailure{"Socket", "127.0.0.1", FakeSockets::Call::Socket, kWsaEnobufs,
                          "Failed to get socket. Error code 10055. : WSAENOBUFS"},
        AttemptFailure{"ConnectAtOnce", "127.0.0.1", FakeSockets::Call::Connect, kWsaEaddrnotavail,
            "Failed to get socket address. Error code 10049. : WSAEADDRNOTAVAIL"},
        AttemptFailure{"Select", "127.0.0.1", FakeSockets::Call::Select, kWsaEnotsock,
            "Failed to connect. Error code 10038. : WSAENOTSOCK"},
        AttemptFailure{"DigitLedNotDotted", "1abc", FakeSockets::Call::Startup, 0, kHostNotFound},
        AttemptFailure{"AllOnesAddress", "255.255.255.255", FakeSockets::Call::Startup, 0, kHostNotFound},
        AttemptFailure{"UnknownName", "no.such.host", FakeSockets::Call::Startup, 0, kHostNotFound},
        AttemptFailure{"LookupTryAgain", "flaky.host", FakeSockets::Call::HostLookup, kWsaTryAgain,
            "Failed to get socket address. Error code 11002. : WSATRY_AGAIN"},
        AttemptFailure{"VeryLongName", std::string(1000, 'h'), FakeSockets::Call::Startup, 0, kHostNotFound},
        AttemptFailure{"NonAsciiName", "\xe9t\xe9", FakeSockets::Call::Startup, 0, kHostNotFound}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocalClientTest, DigitLedTextIsNeverLookedUpByNameAndBlankLedTextAlways)
{
    sockets.hosts[" relay"] = inet_text::Address("10.0.0.9");
    ClickConnect("1abc");
    EXPECT_TRUE(sockets.lookups.empty());
    ClickConnect(" relay");
    EXPECT_EQ(sockets.lookups, std::vector<std::string>{" relay"});
    EXPECT_EQ(ClientStatus(), "Connected!");
    EXPECT_EQ(sockets.State(RemoteServer()).address.address, inet_text::Address("10.0.0.9"));
}

TEST_F(LocalClientTest, EmptyDestinationPortMeansPortZero)
{
    host.Type(IDC_DEST_PORT, "");
    ClickConnect("127.0.0.1");
    EXPECT_EQ(sockets.State(RemoteServer()).address.port, 0);
    EXPECT_TRUE(host.messageBoxes.empty());
}

TEST_F(LocalClientTest, ConnectOnALiveConnectionKeepsItAndSaysConnected)
{
    ClickConnect("127.0.0.1");
    const SocketHandle live = RemoteServer();
    host.Click(IDC_CLIENT_AUTO);
    host.Click(IDC_CLIENT_AUTO);
    ASSERT_TRUE(host.IsEnabled(IDC_CONNECT));
    host.Click(IDC_CONNECT);
    EXPECT_EQ(RemoteServer(), live);
    EXPECT_EQ(ClientStatus(), "Connected!");
    EXPECT_FALSE(host.IsEnabled(IDC_CONNECT));
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Socket), 1);
}

TEST_F(LocalClientTest, ConnectOnAPendingAttemptPollsItAgain)
{
    sockets.connectMode = FakeSockets::ConnectMode::NeverWritable;
    ClickConnect("127.0.0.1");
    host.EnableControl(IDC_CONNECT, true);
    host.Click(IDC_CONNECT);
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Socket), 1);
    EXPECT_EQ(system.slept, 4000ms);
    EXPECT_EQ(ClientStatus(), "Connecting...");
}

} // namespace
