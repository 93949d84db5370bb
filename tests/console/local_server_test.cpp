#include <string>
#include <tuple>
#include <vector>

#include "console_fixture.h"

namespace {

struct ValidationCase {
    const char* name;
    std::string listenPort, destPort, destHost;
    const char* message; // nullptr: the check passes and the server listens
};

class ListenValidation : public ConsoleTest, public ::testing::WithParamInterface<ValidationCase> { };

TEST_P(ListenValidation, ShowsTheFirstEmptyFieldOrListens)
{
    const ValidationCase& c = GetParam();
    host.Type(IDC_LISTEN_PORT, c.listenPort);
    host.Type(IDC_DEST_PORT, c.destPort);
    host.Type(IDC_DEST_HOST, c.destHost);
    host.Click(IDC_LISTEN);
    if (c.message == nullptr) {
        EXPECT_TRUE(host.messageBoxes.empty());
        EXPECT_EQ(ServerStatus(), "Listening...");
        EXPECT_FALSE(host.IsEnabled(IDC_LISTEN));
        return;
    }
    ASSERT_EQ(host.messageBoxes.size(), 1u);
    EXPECT_EQ(host.messageBoxes[0], c.message);
    EXPECT_EQ(ServerStatus(), "Idle");
    EXPECT_TRUE(host.IsEnabled(IDC_LISTEN));
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Socket), 0);
}

INSTANTIATE_TEST_SUITE_P(LocalServer, ListenValidation,
    ::testing::Values(ValidationCase{"AllFilled", "80", "80", "example", nullptr},
        ValidationCase{"ListenPortEmpty", "", "", "", "You must enter a valid listen port."},
        ValidationCase{"ListenPortBlanks", " \t ", "80", "h", "You must enter a valid listen port."},
        ValidationCase{"DestPortBlanks", "80", "   ", "h", "You must enter a valid destination port."},
        ValidationCase{"HostEmpty", "80", "80", "", "You must enter a valid hostname."},
        ValidationCase{"HostBlanks", "80", "80", "  ", "You must enter a valid hostname."},
        ValidationCase{"PortsNeedOnlyLeadingDigits", "81x", "8y", "h", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// A port field that names port 0 gets the box a blank one gets, and nothing is opened: bound, port 0
// is one the system picks and shows nowhere; as a destination it reaches nobody.
struct PortCheck {
    const char* name;
    int field;
    int button;
    const char* message;
};

struct PortNamingZero {
    const char* name;
    std::string text;
};

class PortsNamingZero : public ConsoleTest,
                        public ::testing::WithParamInterface<std::tuple<PortCheck, PortNamingZero>> { };

TEST_P(PortsNamingZero, GetTheBoxAndOpenNothing)
{
    const auto& [check, port] = GetParam();
    host.Type(IDC_DEST_HOST, "127.0.0.1");
    host.Type(check.field, port.text);
    host.Click(check.button);
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{check.message});
    EXPECT_EQ(ServerStatus(), "Idle");
    EXPECT_EQ(ClientStatus(), "Idle");
    EXPECT_TRUE(host.IsEnabled(IDC_LISTEN));
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Socket), 0);
}

INSTANTIATE_TEST_SUITE_P(LocalServer, PortsNamingZero,
    ::testing::Combine(
        ::testing::Values(
            PortCheck{"ListenPortAtListen", IDC_LISTEN_PORT, IDC_LISTEN, "You must enter a valid listen port."},
            PortCheck{"DestPortAtListen", IDC_DEST_PORT, IDC_LISTEN, "You must enter a valid destination port."},
            PortCheck{"DestPortAtConnect", IDC_DEST_PORT, IDC_CONNECT, "You must enter a valid destination port."}),
        ::testing::Values(PortNamingZero{"Zero", "0"}, PortNamingZero{"Letters", "abc"},
            PortNamingZero{"LetterFirst", "x80"}, PortNamingZero{"Blank", " "}, PortNamingZero{"Wraps", "65536"})),
    [](const auto& info) { return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name; });

struct PortCase {
    const char* name;
    std::string text;
    int port;
};

class ListenPorts : public ConsoleTest, public ::testing::WithParamInterface<PortCase> { };

TEST_P(ListenPorts, UseTheLeadingNumberLow16Bits)
{
    host.Type(IDC_LISTEN_PORT, GetParam().text);
    Listen();
    SocketAddress any;
    any.family = kAfInet6;
    any.port = static_cast<std::uint16_t>(GetParam().port);
    EXPECT_EQ(sockets.State(Listener()).address, any);
    EXPECT_EQ(sockets.State(Listener()).family, kAfInet6);
}

INSTANTIATE_TEST_SUITE_P(LocalServer, ListenPorts,
    ::testing::Values(PortCase{"Plain", "8080", 8080}, PortCase{"Wraps", "65616", 80},
        PortCase{"LeadingBlank", " 80", 80}, PortCase{"Negative", "-1", 65535}, PortCase{"TrailingText", "81x", 81},
        PortCase{"HugeNumber", "99999999999", 59391}, PortCase{"EndlessDigits", std::string(400, '9'), 65535}),
    [](const auto& info) { return std::string(info.param.name); });

struct StartFailure {
    const char* name;
    FakeSockets::Call call;
    int code;
    const char* status;
};

class ListenFailures : public ConsoleTest, public ::testing::WithParamInterface<StartFailure> { };

TEST_P(ListenFailures, ReportCloseTheSocketAndUnlockTheFields)
{
    const StartFailure& c = GetParam();
    sockets.Fail(c.call, c.code);
    host.Type(IDC_DEST_HOST, "h");
    host.Click(IDC_LISTEN);
    EXPECT_EQ(ServerStatus(), c.status);
    EXPECT_EQ(Listener(), kNoSocket);
    EXPECT_TRUE(sockets.OpenSockets().empty());
    for (int id : {IDC_LISTEN_PORT, IDC_DEST_PORT, IDC_DEST_HOST, IDC_LISTEN})
        EXPECT_TRUE(host.IsEnabled(id));
    EXPECT_EQ(TimerRunning(), 0);
}

INSTANTIATE_TEST_SUITE_P(LocalServer, ListenFailures,
    ::testing::Values(StartFailure{"Socket", FakeSockets::Call::Socket, kWsaEmfile,
                          "Failed to get socket. Error code 10024. : WSAEMFILE"},
        StartFailure{"Bind", FakeSockets::Call::Bind, kWsaEaddrinuse,
            "Failed to bind socket. Error code 10048. : WSAEADDRINUSE"},
        StartFailure{"Listen", FakeSockets::Call::Listen, kWsaEinval,
            "Failed to listen on socket. Error code 10022. : WSAEINVAL"}),
    [](const auto& info) { return std::string(info.param.name); });

class AcceptFailures : public ConsoleTest, public ::testing::WithParamInterface<StartFailure> { };

// A connection lost before it was taken leaves the server listening, and the client waiting behind
// it is taken on the next tick; any other failure stops the server.
TEST_P(AcceptFailures, StopTheServerUnlessOneConnectionWasLost)
{
    const StartFailure& c = GetParam();
    Listen();
    sockets.QueueClient();
    sockets.Fail(c.call, c.code);
    Tick();
    EXPECT_EQ(ServerStatus(), c.status);
    if (ServerStatus() != "Listening...") {
        EXPECT_EQ(Listener(), kNoSocket);
        EXPECT_TRUE(host.IsEnabled(IDC_LISTEN));
        EXPECT_TRUE(sockets.OpenSockets().empty());
        return;
    }
    EXPECT_NE(Listener(), kNoSocket);
    EXPECT_EQ(RemoteClient(), kNoSocket);
    Tick();
    EXPECT_NE(RemoteClient(), kNoSocket);
    EXPECT_EQ(ServerStatus(), "Connected!");
}

INSTANTIATE_TEST_SUITE_P(LocalServer, AcceptFailures,
    ::testing::Values(StartFailure{"NoBuffers", FakeSockets::Call::Accept, kWsaEnobufs,
                          "accept failed. Error code 10055. : WSAENOBUFS"},
        StartFailure{
            "NetworkDown", FakeSockets::Call::Accept, kWsaEnetdown, "accept failed. Error code 10050. : WSAENETDOWN"},
        StartFailure{"Aborted", FakeSockets::Call::Accept, kWsaEconnaborted, "Listening..."},
        StartFailure{"Reset", FakeSockets::Call::Accept, kWsaEconnreset, "Listening..."},
        StartFailure{"NotConnected", FakeSockets::Call::Accept, kWsaEnotconn, "Listening..."}),
    [](const auto& info) { return std::string(info.param.name); });

class LocalServerTest : public ConsoleTest { };

// One IPv6 socket serves both families; a system without IPv6 listens on IPv4 alone.
TEST_F(LocalServerTest, SystemWithoutIpv6ListensOnIpv4)
{
    sockets.Fail(FakeSockets::Call::Socket, kWsaEafnosupport);
    Listen();
    EXPECT_EQ(ServerStatus(), "Listening...");
    EXPECT_EQ(sockets.State(Listener()).family, kAfInet);
    EXPECT_EQ(sockets.State(Listener()).address.family, kAfInet);
    EXPECT_EQ(sockets.State(Listener()).address.port, 80);
}

TEST_F(LocalServerTest, ListeningLocksFieldsAndStartsTheTimer)
{
    Listen();
    const auto& listener = sockets.State(Listener());
    EXPECT_TRUE(listener.listening);
    EXPECT_TRUE(listener.nonBlocking);
    EXPECT_EQ(ServerStatus(), "Listening...");
    EXPECT_EQ(TimerRunning(), 1);
    for (int id : {IDC_LISTEN_PORT, IDC_DEST_PORT, IDC_DEST_HOST, IDC_LISTEN})
        EXPECT_FALSE(host.IsEnabled(id));
    EXPECT_TRUE(host.IsEnabled(IDC_STOP_SERVER));
}

TEST_F(LocalServerTest, AcceptsOneClientAtATime)
{
    Listen();
    Tick();
    EXPECT_EQ(RemoteClient(), kNoSocket);
    EXPECT_EQ(ServerStatus(), "Listening...");
    sockets.QueueClient();
    sockets.QueueClient();
    Tick();
    const SocketHandle first = RemoteClient();
    ASSERT_NE(first, kNoSocket);
    EXPECT_EQ(ServerStatus(), "Connected!");
    EXPECT_EQ(sockets.State(first).noDelay, 1);
    EXPECT_TRUE(host.IsEnabled(IDC_SERVER_SEND));
    EXPECT_TRUE(host.IsEnabled(IDC_SERVER_DISCONNECT));
    Tick();
    EXPECT_EQ(RemoteClient(), first);
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Accept), 2); // one idle look, one accept

    sockets.DeliverClose(first);
    Tick();
    EXPECT_EQ(ServerStatus(), "Connection gracefully terminated.");
    EXPECT_EQ(RemoteClient(), kNoSocket);
    Tick();
    EXPECT_NE(RemoteClient(), kNoSocket);
    EXPECT_NE(RemoteClient(), first);
}

TEST_F(LocalServerTest, AcceptWithClientAutoConnectsInTheSameTick)
{
    Listen();
    host.Click(IDC_CLIENT_AUTO);
    sockets.connectMode = FakeSockets::ConnectMode::Pending;
    sockets.connectLooks = 1;
    AcceptClient();
    EXPECT_EQ(ServerConnected(), 1);
    EXPECT_EQ(ClientStatus(), "Connected!");
    EXPECT_EQ(host.statusHistory[host.statusHistory.size() - 2],
        std::make_pair(int{IDC_CLIENT_STATUS}, std::string("Connecting...")));
    EXPECT_EQ(system.sleepCalls, 0);
}

} // namespace
