#include <string>

#include "console/status_text.h"
#include "console_fixture.h"

namespace {

struct ComposeCase {
    const char* message;
    int code;
    std::string expected;
};

class ComposeStatusCases : public ::testing::TestWithParam<ComposeCase> { };

TEST_P(ComposeStatusCases, ComposesMessageCodeAndName)
{
    EXPECT_EQ(ComposeStatus(GetParam().message, GetParam().code), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(StatusLines, ComposeStatusCases,
    ::testing::Values(ComposeCase{nullptr, 0, "Idle"}, ComposeCase{"Idle.", 0, "Idle."},
        ComposeCase{"Connection gracefully terminated.", 0, "Connection gracefully terminated."},
        ComposeCase{"Failed to bind socket.", 10048, "Failed to bind socket. Error code 10048. : WSAEADDRINUSE"},
        ComposeCase{"Failed to bind socket.", 10072, "Failed to bind socket. Error code 10072."},
        ComposeCase{nullptr, 10054, " Error code 10054. : WSAECONNRESET"},
        ComposeCase{"Connection terminated.", -5, "Connection terminated. Error code -5."}));

struct NameCase {
    int code;
    const char* name; // nullptr: the code has no name
};

class SocketErrorNames : public ::testing::TestWithParam<NameCase> { };

TEST_P(SocketErrorNames, NamesOnlyTheCodesOfTheTable)
{
    const auto [code, name] = GetParam();
    const std::string number = " Error code " + std::to_string(code) + ".";
    EXPECT_EQ(FormatSocketError(code), name != nullptr ? number + " : " + name : number);
}

INSTANTIATE_TEST_SUITE_P(StatusLines, SocketErrorNames,
    ::testing::Values(NameCase{10004, "WSAEINTR"}, NameCase{10009, "WSAEBADF"}, NameCase{10013, "WSAEACCES"},
        NameCase{10014, "WSAEFAULT"}, NameCase{10022, "WSAEINVAL"}, NameCase{10024, "WSAEMFILE"},
        NameCase{10035, "WSAEWOULDBLOCK"}, NameCase{10036, "WSAEINPROGRESS"}, NameCase{10037, "WSAEALREADY"},
        NameCase{10038, "WSAENOTSOCK"}, NameCase{10039, "WSAEDESTADDRREQ"}, NameCase{10040, "WSAEMSGSIZE"},
        NameCase{10041, "WSAEPROTOTYPE"}, NameCase{10042, "WSAENOPROTOOPT"}, NameCase{10043, "WSAEPROTONOSUPPORT"},
        NameCase{10044, "WSAESOCKTNOSUPPORT"}, NameCase{10045, "WSAEOPNOTSUPP"}, NameCase{10046, "WSAEPFNOSUPPORT"},
        NameCase{10047, "WSAEAFNOSUPPORT"}, NameCase{10048, "WSAEADDRINUSE"}, NameCase{10049, "WSAEADDRNOTAVAIL"},
        NameCase{10050, "WSAENETDOWN"}, NameCase{10051, "WSAENETUNREACH"}, NameCase{10052, "WSAENETRESET"},
        NameCase{10053, "WSAECONNABORTED"}, NameCase{10054, "WSAECONNRESET"}, NameCase{10055, "WSAENOBUFS"},
        NameCase{10056, "WSAEISCONN"}, NameCase{10057, "WSAENOTCONN"}, NameCase{10058, "WSAESHUTDOWN"},
        NameCase{10059, "WSAETOOMANYREFS"}, NameCase{10060, "WSAETIMEDOUT"}, NameCase{10061, "WSAECONNREFUSED"},
        NameCase{10062, "WSAELOOP"}, NameCase{10063, "WSAENAMETOOLONG"}, NameCase{10064, "WSAEHOSTDOWN"},
        NameCase{10065, "WSAEHOSTUNREACH"}, NameCase{10066, "WSAENOTEMPTY"}, NameCase{10067, "WSAEPROCLIM"},
        NameCase{10068, "WSAEUSERS"}, NameCase{10069, "WSAEDQUOT"}, NameCase{10070, "WSAESTALE"},
        NameCase{10071, "WSAEREMOTE"}, NameCase{10091, "WSASYSNOTREADY"}, NameCase{10092, "WSAVERNOTSUPPORTED"},
        NameCase{10093, "WSANOTINITIALISED"}, NameCase{10101, "WSAEDISCON"}, NameCase{11001, "WSAHOST_NOT_FOUND"},
        NameCase{11002, "WSATRY_AGAIN"}, NameCase{11003, "WSANO_RECOVERY"}, NameCase{11004, "WSANO_DATA"},
        // Gaps between the rows, and codes beside the table.
        NameCase{0, nullptr}, NameCase{10003, nullptr}, NameCase{10005, nullptr}, NameCase{10010, nullptr},
        NameCase{10023, nullptr}, NameCase{10072, nullptr}, NameCase{10090, nullptr}, NameCase{10094, nullptr},
        NameCase{10100, nullptr}, NameCase{10102, nullptr}, NameCase{11000, nullptr}, NameCase{11005, nullptr},
        NameCase{-1, nullptr}, NameCase{111, nullptr}));

class TeardownTest : public ConsoleTest { };

TEST_F(TeardownTest, OpeningStateOfStatusLinesAndButtons)
{
    EXPECT_EQ(ClientStatus(), "Idle");
    EXPECT_EQ(ServerStatus(), "Idle");
    for (int id : {IDC_LISTEN_PORT, IDC_DEST_PORT, IDC_DEST_HOST, IDC_LISTEN, IDC_CONNECT, IDC_CLIENT_DISCONNECT,
             IDC_STOP_SERVER})
        EXPECT_TRUE(host.IsEnabled(id)) << id;
    for (int id : {IDC_CLIENT_SEND, IDC_SERVER_SEND, IDC_SERVER_DISCONNECT, IDC_PLUGIN_PATH, IDC_PLUGIN_LOAD})
        EXPECT_FALSE(host.IsEnabled(id)) << id;
    EXPECT_EQ(host.Text(IDC_LISTEN_PORT), "80");
    EXPECT_EQ(host.Text(IDC_DEST_PORT), "80");
    EXPECT_EQ(host.Text(IDC_DEST_HOST), "");
    for (int id : {IDC_CLIENT_SENT, IDC_CLIENT_RECEIVED, IDC_SERVER_SENT, IDC_SERVER_RECEIVED})
        EXPECT_EQ(host.Text(id), "0");
    EXPECT_TRUE(sockets.OpenSockets().empty());
    EXPECT_TRUE(host.timers.empty());
}

TEST_F(TeardownTest, ButtonsRightAfterOpeningOnlyRewriteStatusLines)
{
    host.Click(IDC_STOP_SERVER);
    EXPECT_EQ(ServerStatus(), "Idle.");
    EXPECT_EQ(host.statusHistory.back(), std::make_pair(int{IDC_SERVER_STATUS}, std::string("Idle.")));
    EXPECT_EQ(host.statusHistory[host.statusHistory.size() - 2],
        std::make_pair(int{IDC_SERVER_STATUS}, std::string("Connection to client terminated.")));
    host.Click(IDC_CLIENT_DISCONNECT);
    EXPECT_EQ(ClientStatus(), "Idle.");
    EXPECT_TRUE(host.IsEnabled(IDC_CONNECT));
    EXPECT_FALSE(host.IsEnabled(IDC_CLIENT_SEND));
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Socket), 0);
}

TEST_F(TeardownTest, ServerDisconnectWithoutClientStillReportsAndDisablesSend)
{
    Listen();
    host.EnableControl(IDC_SERVER_SEND, true);
    host.EnableControl(IDC_SERVER_DISCONNECT, true);
    host.Click(IDC_SERVER_DISCONNECT);
    EXPECT_EQ(ServerStatus(), "Connection to client terminated.");
    EXPECT_FALSE(host.IsEnabled(IDC_SERVER_SEND));
    EXPECT_TRUE(host.IsEnabled(IDC_SERVER_DISCONNECT));
    EXPECT_NE(Listener(), kNoSocket);
}

TEST_F(TeardownTest, StopServerClosesClientThenListenerAndUnlocksFields)
{
    Listen();
    const SocketHandle client = AcceptClient();
    const SocketHandle listener = Listener();
    host.Click(IDC_STOP_SERVER);
    EXPECT_EQ(ServerStatus(), "Idle.");
    EXPECT_TRUE(sockets.State(client).shutDown);
    EXPECT_TRUE(sockets.OpenSockets().empty());
    EXPECT_FALSE(sockets.State(listener).open);
    for (int id : {IDC_LISTEN_PORT, IDC_DEST_PORT, IDC_DEST_HOST, IDC_LISTEN})
        EXPECT_TRUE(host.IsEnabled(id));
    EXPECT_FALSE(host.IsEnabled(IDC_SERVER_SEND));
    EXPECT_FALSE(host.IsEnabled(IDC_SERVER_DISCONNECT));
    EXPECT_TRUE(host.IsEnabled(IDC_STOP_SERVER));
}

// Each teardown runs the other side's cascade only under its "Auto" box and the other side's
// state: the remote client's end closes a connected (not a pending) local client; the local
// client's end closes an open remote client.
struct CascadeCase {
    const char* name;
    bool clientAuto;
    bool serverAuto;
    bool serverConnected; // false: the attempt is still pending
    bool endClientSide; // true: the remote client ends; false: the remote server does
    bool otherSideClosed;
};

class Cascades : public ConsoleTest, public ::testing::WithParamInterface<CascadeCase> { };

TEST_P(Cascades, FollowAutoBoxesAndState)
{
    const CascadeCase& c = GetParam();
    Listen();
    const SocketHandle client = AcceptClient();
    host.Type(IDC_DEST_HOST, "127.0.0.1");
    sockets.connectMode
        = c.serverConnected ? FakeSockets::ConnectMode::Immediate : FakeSockets::ConnectMode::NeverWritable;
    host.Click(IDC_CONNECT);
    const SocketHandle server = RemoteServer();
    ASSERT_EQ(ServerConnected(), c.serverConnected ? 1 : 0);
    host.SetCheck(IDC_CLIENT_AUTO, c.clientAuto ? 1 : 0);
    host.SetCheck(IDC_SERVER_AUTO, c.serverAuto ? 1 : 0);

    if (c.endClientSide) {
        sockets.DeliverClose(client);
        Tick();
        EXPECT_EQ(ServerStatus(), "Connection gracefully terminated.");
        EXPECT_EQ(sockets.State(server).open, !c.otherSideClosed);
        if (c.otherSideClosed) {
            EXPECT_EQ(ClientStatus(), "Idle.");
        }
    } else {
        sockets.DeliverClose(server);
        Tick();
        EXPECT_EQ(ClientStatus(), "Connection gracefully terminated.");
        EXPECT_EQ(sockets.State(client).open, !c.otherSideClosed);
        if (c.otherSideClosed) {
            EXPECT_EQ(ServerStatus(), "Connection to client terminated.");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(StatusLines, Cascades,
    ::testing::Values(CascadeCase{"ClientEndsClientAutoConnected", true, false, true, true, true},
        CascadeCase{"ClientEndsClientAutoPending", true, false, false, true, false},
        CascadeCase{"ClientEndsNoAuto", false, false, true, true, false},
        CascadeCase{"ClientEndsServerAutoOnly", false, true, true, true, false},
        CascadeCase{"ServerEndsServerAuto", false, true, true, false, true},
        CascadeCase{"ServerEndsNoAuto", false, false, true, false, false},
        CascadeCase{"ServerEndsClientAutoOnly", true, false, true, false, false},
        CascadeCase{"ServerEndsBothAuto", true, true, true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TeardownTest, FailedConnectCascadesToRemoteClientUnderServerAuto)
{
    Listen();
    const SocketHandle client = AcceptClient();
    host.SetCheck(IDC_SERVER_AUTO, 1);
    host.Type(IDC_DEST_HOST, "127.0.0.1");
    sockets.Fail(FakeSockets::Call::Connect, kWsaEaddrnotavail);
    host.Click(IDC_CONNECT);
    EXPECT_EQ(ClientStatus(), "Failed to get socket address. Error code 10049. : WSAEADDRNOTAVAIL");
    EXPECT_EQ(ServerStatus(), "Connection to client terminated.");
    EXPECT_FALSE(sockets.State(client).open);
    EXPECT_TRUE(sockets.OpenSockets() == std::set<SocketHandle>{Listener()});
}

TEST_F(TeardownTest, ServerDisconnectCascadesToConnectedLocalClientUnderClientAuto)
{
    Listen();
    AcceptClient();
    const SocketHandle server = ConnectServer();
    host.SetCheck(IDC_CLIENT_AUTO, 1);
    host.EnableControl(IDC_SERVER_DISCONNECT, true);
    host.Click(IDC_SERVER_DISCONNECT);
    EXPECT_EQ(ServerStatus(), "Connection to client terminated.");
    EXPECT_EQ(ClientStatus(), "Idle.");
    EXPECT_FALSE(sockets.State(server).open);
}

} // namespace
