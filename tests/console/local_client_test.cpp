#include <set>
#include <string>
#include <vector>

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
    EXPECT_FALSE(host.IsEnabled(IDC_CONNECT));
    EXPECT_TRUE(host.IsEnabled(IDC_CLIENT_DISCONNECT));
    EXPECT_TRUE(host.IsEnabled(IDC_CLIENT_SEND));
    EXPECT_EQ(sockets.connectAttempts, std::vector{inet_text::At("10.1.2.3", 8080)});
    const auto& state = sockets.State(RemoteServer());
    EXPECT_EQ(state.noDelay, 1);
    EXPECT_TRUE(state.nonBlocking);
    EXPECT_EQ(TimerRunning(), 1);
}

// However an attempt ends, and however long it stays pending, the one thread never sleeps on it.
struct AttemptOutcome {
    const char* name;
    FakeSockets::ConnectMode mode;
    int connectLooks;
    int code; // for Fails
    int ticks; // after the click, with the clock at the attempt's time-out before the last
    std::string status;
};

class AttemptOutcomes : public LocalClientTest, public ::testing::WithParamInterface<AttemptOutcome> { };

TEST_P(AttemptOutcomes, AreReportedWithoutSleeping)
{
    const AttemptOutcome& c = GetParam();
    sockets.connectMode = c.mode;
    sockets.connectLooks = c.connectLooks;
    sockets.connectError = c.code;
    ClickConnect("127.0.0.1");
    for (int tick = 0; tick < c.ticks; ++tick) {
        EXPECT_EQ(ClientStatus(), "Connecting...");
        if (tick == c.ticks - 1)
            system.Advance(kConnectAttemptTimeout);
        Tick();
    }
    EXPECT_EQ(ClientStatus(), c.status);
    EXPECT_EQ(system.sleepCalls, 0);
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Socket), 1);
    EXPECT_EQ(sockets.OpenSockets().size(), c.status == "Connected!" ? 1u : 0u);
    EXPECT_EQ(host.IsEnabled(IDC_CONNECT), c.status != "Connected!");
}

INSTANTIATE_TEST_SUITE_P(LocalClient, AttemptOutcomes,
    ::testing::Values(AttemptOutcome{"AtTheFirstLook", FakeSockets::ConnectMode::Pending, 1, 0, 0, "Connected!"},
        AttemptOutcome{"OnALaterTick", FakeSockets::ConnectMode::Pending, 4, 0, 3, "Connected!"},
        AttemptOutcome{"Refused", FakeSockets::ConnectMode::Fails, 1, kWsaEconnrefused, 0,
            "Failed to connect. Error code 10061. : WSAECONNREFUSED"},
        AttemptOutcome{"NetworkUnreachable", FakeSockets::ConnectMode::Fails, 1, kWsaEnetunreach, 0,
            "Failed to connect. Error code 10051. : WSAENETUNREACH"},
        AttemptOutcome{"HostUnreachable", FakeSockets::ConnectMode::Fails, 1, kWsaEhostunreach, 0,
            "Failed to connect. Error code 10065. : WSAEHOSTUNREACH"},
        AttemptOutcome{"Silent", FakeSockets::ConnectMode::NeverWritable, 1, 0, 3,
            "Failed to connect. Error code 10060. : WSAETIMEDOUT"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocalClientTest, SilentDestinationCanBeDisconnectedWhilePending)
{
    sockets.connectMode = FakeSockets::ConnectMode::NeverWritable;
    ClickConnect("127.0.0.1");
    const SocketHandle pending = RemoteServer();
    Tick();
    EXPECT_EQ(ClientStatus(), "Connecting...");
    host.Click(IDC_CLIENT_DISCONNECT);
    EXPECT_EQ(ClientStatus(), "Idle.");
    EXPECT_TRUE(host.IsEnabled(IDC_CONNECT));
    EXPECT_FALSE(sockets.State(pending).open);
}

// Host texts in, addresses tried out: each attempt is refused, so that every address is tried.
struct HostCase {
    const char* name;
    std::string hostText;
    std::vector<const char*> tried;
};

class HostTexts : public LocalClientTest, public ::testing::WithParamInterface<HostCase> { };

TEST_P(HostTexts, TryEveryAddressInTheResolversOrder)
{
    const HostCase& c = GetParam();
    sockets.hosts["dual.test"] = {inet_text::At("::1"), inet_text::At("127.0.0.1"), inet_text::At("2001:db8::2")};
    sockets.connectMode = FakeSockets::ConnectMode::Fails;
    host.Type(IDC_DEST_PORT, "8080");
    ClickConnect(c.hostText);
    std::vector<SocketAddress> tried;
    for (const char* address : c.tried)
        tried.push_back(inet_text::At(address, 8080));
    EXPECT_EQ(sockets.connectAttempts, tried);
    EXPECT_EQ(ClientStatus(),
        tried.empty() ? "Failed to get socket address. Error code 11001. : WSAHOST_NOT_FOUND"
                      : "Failed to connect. Error code 10061. : WSAECONNREFUSED");
    for (std::size_t i = 0; i < tried.size(); ++i)
        EXPECT_EQ(sockets.State(sockets.lastCreated - static_cast<int>(tried.size() - 1 - i)).family, tried[i].family);
}

INSTANTIATE_TEST_SUITE_P(LocalClient, HostTexts,
    ::testing::Values(HostCase{"DottedIpv4", "10.1.2.3", {"10.1.2.3"}}, HostCase{"ShortIpv4", "127.1", {"127.0.0.1"}},
        HostCase{"Ipv6", "::1", {"::1"}}, HostCase{"Ipv6InBrackets", "[::1]", {"::1"}},
        HostCase{"DigitLedIpv6", "2001:db8::5", {"2001:db8::5"}}, HostCase{"Ipv6WithScope", "fe80::1%2", {"fe80::1%2"}},
        HostCase{"NameOfBothFamilies", "dual.test", {"::1", "127.0.0.1", "2001:db8::2"}},
        HostCase{"Ipv4InBrackets", "[127.0.0.1]", {}}, HostCase{"UnclosedBracket", "[::1", {}},
        HostCase{"EmptyBrackets", "[]", {}}, HostCase{"DigitLedNotAnAddress", "1abc", {}},
        HostCase{"AllOnesAddress", "255.255.255.255", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The first address stays silent until its time is up, and the second answers.
TEST_F(LocalClientTest, SilentAddressGivesWayToTheNextAfterItsTimeOut)
{
    sockets.hosts["dual.test"] = {inet_text::At("2001:db8::1"), inet_text::At("10.0.0.1")};
    sockets.nextConnectModes = {FakeSockets::ConnectMode::NeverWritable, FakeSockets::ConnectMode::Immediate};
    ClickConnect("dual.test");
    Tick();
    EXPECT_EQ(ClientStatus(), "Connecting...");
    system.Advance(kConnectAttemptTimeout);
    Tick();
    EXPECT_EQ(ClientStatus(), "Connected!");
    EXPECT_EQ(sockets.connectAttempts.size(), 2u);
    EXPECT_EQ(sockets.OpenSockets(), std::set<SocketHandle>{RemoteServer()});
}

// When every address failed, the last failure is the one reported.
TEST_F(LocalClientTest, LastFailureIsReportedWhenEveryAddressFailed)
{
    sockets.hosts["dual.test"] = {inet_text::At("2001:db8::1"), inet_text::At("10.0.0.1")};
    sockets.Fail(FakeSockets::Call::Connect, kWsaEnetunreach);
    sockets.connectMode = FakeSockets::ConnectMode::Fails;
    ClickConnect("dual.test");
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Connect), 2);
    EXPECT_EQ(ClientStatus(), "Failed to connect. Error code 10061. : WSAECONNREFUSED");
    EXPECT_TRUE(sockets.OpenSockets().empty());
}

// The remote client goes with a failed destination when the server "Auto" box is ticked, as with
// any failed connect.
TEST_F(LocalClientTest, RefusedDestinationClosesTheRemoteClientWithServerAuto)
{
    host.Type(IDC_DEST_HOST, "127.0.0.1");
    host.Click(IDC_LISTEN);
    sockets.QueueClient();
    Tick();
    host.Click(IDC_SERVER_AUTO);
    sockets.connectMode = FakeSockets::ConnectMode::Fails;
    host.Click(IDC_CONNECT);
    EXPECT_EQ(ClientStatus(), "Failed to connect. Error code 10061. : WSAECONNREFUSED");
    EXPECT_EQ(ServerStatus(), "Connection to client terminated.");
    EXPECT_FALSE(sockets.State(sockets.lastAccepted).open);
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
        AttemptFailure{"UnknownName", "no.such.host", FakeSockets::Call::Startup, 0, kHostNotFound},
        AttemptFailure{"LookupTryAgain", "flaky.host", FakeSockets::Call::HostLookup, kWsaTryAgain,
            "Failed to get socket address. Error code 11002. : WSATRY_AGAIN"},
        AttemptFailure{"VeryLongName", std::string(1000, 'h'), FakeSockets::Call::Startup, 0, kHostNotFound},
        AttemptFailure{"NonAsciiName", "\xe9t\xe9", FakeSockets::Call::Startup, 0, kHostNotFound}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocalClientTest, DigitLedTextIsNeverLookedUpByNameAndBlankLedTextAlways)
{
    sockets.hosts[" relay"] = {inet_text::At("10.0.0.9")};
    ClickConnect("1abc");
    EXPECT_TRUE(sockets.lookups.empty());
    ClickConnect(" relay");
    EXPECT_EQ(sockets.lookups, std::vector<std::string>{" relay"});
    EXPECT_EQ(ClientStatus(), "Connected!");
    EXPECT_EQ(sockets.connectAttempts.back(), inet_text::At("10.0.0.9", 80));
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
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Select), 2);
    EXPECT_EQ(ClientStatus(), "Connecting...");
}

} // namespace
