// Every sockets call failing where the console makes it, mostly with the "Auto" boxes ticked: the
// status lines, the sockets left open, the cascades, and what becomes of the bytes in flight. Each
// case then brings fresh peers and checks that every byte read from one side went out on the other,
// in order, exactly once, and that no socket or block is left behind.
#include <algorithm>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "console/console_fixture.h"

namespace {

using Call = FakeSockets::Call;

const std::string kRequest = "GET /a HTTP/1.1\r\nHost: relay.test\r\n\r\n";
const std::string kReply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

// The steps of one exchange, in the order the console meets them.
enum class Stage {
    Listen, // "Listen": socket, bind, listen
    Accept, // a client arrives; with client "Auto" the same tick connects: socket, lookup, connect, select
    Connect, // "Connect" by hand (client "Auto" clear)
    Request, // the client's request is read and, with client "Auto", sent on
    Reply, // the server's reply is read
    Forward, // with server "Auto", the reply goes out on the next tick
};

struct Fault {
    Call call;
    int code;
    int times;
    int skip; // calls of this kind within the step that succeed first
};

enum class Held { Nothing, Request, Reply };

struct FaultCase {
    const char* name;
    Stage stage; // the faults are armed right before this step
    std::vector<Fault> faults;
    bool clientAuto, serverAuto;
    // Right after the step:
    std::string serverStatus, clientStatus;
    bool listenOpen, clientOpen, serverOpen;
    Held held; // the block left queued, if any
    int extraTicks = 0; // idle ticks after the step, for faults that follow one another
    int connectLooks = 1;
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

class FaultInjection : public ConsoleTest, public ::testing::WithParamInterface<FaultCase> {
protected:
    void SetUp() override
    {
        sockets.hosts["relay.test"] = 0x0700000Au; // 10.0.0.7
        sockets.connectMode = FakeSockets::ConnectMode::Pending;
        sockets.connectLooks = GetParam().connectLooks;
        host.Type(IDC_DEST_HOST, "relay.test");
        if (GetParam().clientAuto)
            host.Click(IDC_CLIENT_AUTO);
        if (GetParam().serverAuto)
            host.Click(IDC_SERVER_AUTO);
    }

    void Run(Stage stage)
    {
        switch (stage) {
        case Stage::Listen: {
            const SocketHandle before = sockets.lastCreated;
            host.Click(IDC_LISTEN);
            if (sockets.lastCreated != before)
                listeners_.insert(sockets.lastCreated);
            break;
        }
        case Stage::Accept:
            sockets.QueueClient();
            Tick();
            break;
        case Stage::Connect:
            if (IsChecked(IDC_CLIENT_AUTO))
                break;
            host.Click(IDC_CONNECT);
            break;
        case Stage::Request:
            ASSERT_NE(dlg.RemoteClientSocket(), kNoSocket);
            DeliverTo(dlg.RemoteClientSocket(), kRequest);
            Tick();
            break;
        case Stage::Reply:
            ASSERT_EQ(dlg.RemoteServerConnected(), 1);
            DeliverTo(dlg.RemoteServerSocket(), kReply);
            Tick();
            break;
        case Stage::Forward:
            Tick();
            break;
        }
        Track();
    }

    bool IsChecked(int id) const { return host.GetCheck(id) == 1; }

    void DeliverTo(SocketHandle s, const std::string& bytes)
    {
        sockets.Deliver(s, bytes);
        delivered_[s] += bytes;
    }

    // Sockets seen so far, in the order they were made.
    void Track()
    {
        if (sockets.lastAccepted != kNoSocket
            && std::find(clients_.begin(), clients_.end(), sockets.lastAccepted) == clients_.end())
            clients_.push_back(sockets.lastAccepted);
        if (sockets.lastCreated != kNoSocket && listeners_.count(sockets.lastCreated) == 0
            && std::find(servers_.begin(), servers_.end(), sockets.lastCreated) == servers_.end())
            servers_.push_back(sockets.lastCreated);
    }

    // What the console has taken out of these sockets, in turn: what was delivered to each less
    // what still waits there.
    std::string ReadFrom(const std::vector<SocketHandle>& peers)
    {
        std::string all;
        for (SocketHandle s : peers) {
            std::size_t unread = 0;
            for (const FakeSockets::Inbound& in : sockets.State(s).inbound)
                unread += in.kind == FakeSockets::Inbound::Data ? in.data.size() : 0;
            all += delivered_[s].substr(0, delivered_[s].size() - unread);
        }
        return all;
    }

    // What the console sent on these sockets, in turn.
    std::string SentTo(const std::vector<SocketHandle>& peers)
    {
        std::string all;
        for (SocketHandle s : peers)
            all += sockets.State(s).sent;
        return all;
    }

    // What must hold between any two events, whatever failed.
    void ExpectConsistent()
    {
        std::set<SocketHandle> referenced;
        for (SocketHandle s : {dlg.ListenSocket(), dlg.RemoteClientSocket(), dlg.RemoteServerSocket()})
            if (s != kNoSocket)
                referenced.insert(s);
        EXPECT_EQ(sockets.OpenSockets(), referenced) << "an open socket the console no longer holds";

        const bool listening = dlg.ListenSocket() != kNoSocket;
        for (int id : {IDC_LISTEN, IDC_LISTEN_PORT, IDC_DEST_PORT, IDC_DEST_HOST})
            EXPECT_EQ(host.IsEnabled(id), !listening) << id;
        EXPECT_EQ(host.IsEnabled(IDC_SERVER_SEND), dlg.RemoteClientSocket() != kNoSocket);
        EXPECT_EQ(host.IsEnabled(IDC_CLIENT_SEND), dlg.RemoteServerConnected() == 1);

        // Whatever was read went out or still waits; what went out was read, in order.
        EXPECT_EQ(dlg.ServerReceivedBytes(), dlg.ClientSentBytes() + dlg.ToServerQueue().QueuedBytes());
        EXPECT_EQ(dlg.ClientReceivedBytes(), dlg.ServerSentBytes() + dlg.ToClientQueue().QueuedBytes());
        const std::string toServers = SentTo(servers_);
        const std::string toClients = SentTo(clients_);
        EXPECT_EQ(ReadFrom(clients_).substr(0, toServers.size()), toServers);
        EXPECT_EQ(ReadFrom(servers_).substr(0, toClients.size()), toClients);
        EXPECT_EQ(dlg.ServerReceivedBytes(), static_cast<std::int64_t>(ReadFrom(clients_).size()));
        EXPECT_EQ(dlg.ClientSentBytes(), static_cast<std::int64_t>(toServers.size()));
        EXPECT_EQ(dlg.ClientReceivedBytes(), static_cast<std::int64_t>(ReadFrom(servers_).size()));
        EXPECT_EQ(dlg.ServerSentBytes(), static_cast<std::int64_t>(toClients.size()));
        EXPECT_EQ(host.Text(IDC_SERVER_RECEIVED), std::to_string(dlg.ServerReceivedBytes()));
        EXPECT_EQ(host.Text(IDC_SERVER_SENT), std::to_string(dlg.ServerSentBytes()));
        EXPECT_EQ(host.Text(IDC_CLIENT_RECEIVED), std::to_string(dlg.ClientReceivedBytes()));
        EXPECT_EQ(host.Text(IDC_CLIENT_SENT), std::to_string(dlg.ClientSentBytes()));
    }

    // Ends whatever peers are left, serves one more exchange with fresh ones (both boxes ticked),
    // and stops: everything held must reach the new peers.
    void Recover()
    {
        host.SetCheck(IDC_CLIENT_AUTO, 1);
        host.SetCheck(IDC_SERVER_AUTO, 1);
        sockets.connectLooks = 1;
        // The server first, so that a held request cannot leave with the old connection.
        if (dlg.RemoteServerSocket() != kNoSocket) {
            ASSERT_EQ(dlg.RemoteServerConnected(), 1);
            sockets.DeliverClose(dlg.RemoteServerSocket());
            Tick();
        }
        if (dlg.RemoteClientSocket() != kNoSocket) {
            sockets.DeliverClose(dlg.RemoteClientSocket());
            Tick();
        }
        ExpectConsistent();
        if (dlg.ListenSocket() == kNoSocket)
            Run(Stage::Listen);
        ASSERT_NE(dlg.ListenSocket(), kNoSocket) << ServerStatus();
        Run(Stage::Accept);
        ASSERT_EQ(dlg.RemoteServerConnected(), 1) << ClientStatus();
        DeliverTo(dlg.RemoteClientSocket(), "tail request");
        Tick();
        DeliverTo(dlg.RemoteServerSocket(), "tail reply");
        Tick();
        Tick();
        ExpectConsistent();
        EXPECT_TRUE(dlg.ToServerQueue().IsEmpty());
        EXPECT_TRUE(dlg.ToClientQueue().IsEmpty());

        host.Click(IDC_STOP_SERVER);
        EXPECT_TRUE(sockets.OpenSockets().empty());
        // Only the memory of sent full blocks is kept, for the next full chunks.
        EXPECT_EQ(system.liveAllocations,
            static_cast<int>(dlg.ToServerQueue().SpareBlocks() + dlg.ToClientQueue().SpareBlocks()));
        EXPECT_EQ(SentTo(servers_), ReadFrom(clients_));
        EXPECT_EQ(SentTo(clients_), ReadFrom(servers_));
    }

    std::set<SocketHandle> listeners_;
    std::vector<SocketHandle> clients_;
    std::vector<SocketHandle> servers_;
    std::map<SocketHandle, std::string> delivered_;
};

TEST_P(FaultInjection, ReportsKeepsEveryByteAndLeaksNothing)
{
    const FaultCase& c = GetParam();
    for (Stage stage : {Stage::Listen, Stage::Accept, Stage::Connect, Stage::Request, Stage::Reply, Stage::Forward}) {
        if (stage == c.stage) {
            for (const Fault& fault : c.faults)
                sockets.Fail(fault.call, fault.code, fault.times, fault.skip);
        }
        Run(stage);
        if (HasFatalFailure())
            return;
        if (stage == c.stage)
            break;
        ExpectConsistent();
    }
    for (int i = 0; i < c.extraTicks; ++i)
        Tick();

    EXPECT_EQ(ServerStatus(), c.serverStatus);
    EXPECT_EQ(ClientStatus(), c.clientStatus);
    EXPECT_EQ(dlg.ListenSocket() != kNoSocket, c.listenOpen);
    EXPECT_EQ(dlg.RemoteClientSocket() != kNoSocket, c.clientOpen);
    EXPECT_EQ(dlg.RemoteServerSocket() != kNoSocket, c.serverOpen);
    // Only a failed send, or a side with nowhere to send, may leave a block behind: the one block
    // of this exchange, whole.
    const auto expectHeld = [](const CaptureQueue& queue, bool held, const std::string& block) {
        ASSERT_EQ(queue.Count(), held ? 1u : 0u);
        if (held) {
            EXPECT_EQ(std::string(queue.Head().Data(), static_cast<std::size_t>(queue.Head().Length())), block);
        }
    };
    expectHeld(dlg.ToServerQueue(), c.held == Held::Request, kRequest);
    expectHeld(dlg.ToClientQueue(), c.held == Held::Reply, kReply);
    ExpectConsistent();
    Recover();
}

const std::string kToClientEnded = "Connection to client terminated.";

INSTANTIATE_TEST_SUITE_P(Reliability, FaultInjection,
    ::testing::Values(
        // Opening the listening socket.
        FaultCase{"ListenSocket", Stage::Listen, {{Call::Socket, kWsaEmfile, 1, 0}}, true, true,
            "Failed to get socket. Error code 10024. : WSAEMFILE", "Idle", false, false, false, Held::Nothing},
        FaultCase{"Bind", Stage::Listen, {{Call::Bind, kWsaEaddrinuse, 1, 0}}, true, true,
            "Failed to bind socket. Error code 10048. : WSAEADDRINUSE", "Idle", false, false, false, Held::Nothing},
        FaultCase{"Listen", Stage::Listen, {{Call::Listen, kWsaEnobufs, 1, 0}}, true, true,
            "Failed to listen on socket. Error code 10055. : WSAENOBUFS", "Idle", false, false, false, Held::Nothing},
        // Accepting: "would block" is no failure, nor is a connection lost before it was taken;
        // anything else stops the server.
        FaultCase{"Accept", Stage::Accept, {{Call::Accept, kWsaEmfile, 1, 0}}, true, true,
            "accept failed. Error code 10024. : WSAEMFILE", "Idle", false, false, false, Held::Nothing},
        FaultCase{"AcceptWouldBlockThenAborted", Stage::Accept,
            {{Call::Accept, kWsaEwouldblock, 1, 0}, {Call::Accept, kWsaEconnaborted, 1, 0}}, true, true, "Listening...",
            "Idle", true, false, false, Held::Nothing, 1},
        // Connecting from the accepting tick: under server "Auto" the new client is dropped at once.
        FaultCase{"ConnectSocket", Stage::Accept, {{Call::Socket, kWsaEnobufs, 1, 0}}, true, true, kToClientEnded,
            "Failed to get socket. Error code 10055. : WSAENOBUFS", true, false, false, Held::Nothing},
        FaultCase{"ConnectSocketClientStays", Stage::Accept, {{Call::Socket, kWsaEnobufs, 1, 0}}, true, false,
            "Connected!", "Failed to get socket. Error code 10055. : WSAENOBUFS", true, true, false, Held::Nothing},
        FaultCase{"HostLookup", Stage::Accept, {{Call::HostLookup, kWsaTryAgain, 1, 0}}, true, true, kToClientEnded,
            "Failed to get socket address. Error code 11002. : WSATRY_AGAIN", true, false, false, Held::Nothing},
        FaultCase{"Connect", Stage::Accept, {{Call::Connect, kWsaEconnrefused, 1, 0}}, true, true, kToClientEnded,
            "Failed to get socket address. Error code 10061. : WSAECONNREFUSED", true, false, false, Held::Nothing},
        FaultCase{"SelectWhileWaiting", Stage::Accept, {{Call::Select, kWsaEnetdown, 1, 1}}, true, true, kToClientEnded,
            "Failed to connect. Error code 10050. : WSAENETDOWN", true, false, false, Held::Nothing, 0, 3},
        FaultCase{"ManualConnect", Stage::Connect, {{Call::Connect, kWsaEhostunreach, 1, 0}}, false, false,
            "Connected!", "Failed to get socket address. Error code 10065. : WSAEHOSTUNREACH", true, true, false,
            Held::Nothing},
        // A connection still pending when the request arrives: the request waits for the next server.
        FaultCase{"SelectInALaterTick", Stage::Request, {{Call::Select, kWsaEtimedout, 1, 0}}, true, true,
            kToClientEnded, "Failed to connect. Error code 10060. : WSAETIMEDOUT", true, false, false, Held::Request, 0,
            35},
        // Reading: a reset after data still hands the data on before the cascade closes.
        FaultCase{"RecvClientSide", Stage::Request, {{Call::Recv, kWsaEconnreset, 1, 1}}, true, true,
            "Connection terminated. Error code 10054. : WSAECONNRESET", "Idle.", true, false, false, Held::Nothing},
        FaultCase{"RecvClientSideNoClientAuto", Stage::Request, {{Call::Recv, kWsaEconnreset, 1, 1}}, false, true,
            "Connection terminated. Error code 10054. : WSAECONNRESET", "Connected!", true, false, true, Held::Request},
        FaultCase{"RecvServerSide", Stage::Reply, {{Call::Recv, kWsaEconnaborted, 1, 2}}, true, true, kToClientEnded,
            "Connection terminated. Error code 10053. : WSAECONNABORTED", true, false, false, Held::Nothing},
        FaultCase{"RecvServerSideNoServerAuto", Stage::Reply, {{Call::Recv, kWsaEconnaborted, 1, 2}}, true, false,
            "Connected!", "Connection terminated. Error code 10053. : WSAECONNABORTED", true, true, false, Held::Reply},
        FaultCase{"RecvWouldBlockIsNoFailure", Stage::Request, {{Call::Recv, kWsaEwouldblock, 3, 0}}, true, true,
            "Connected!", "Connected!", true, true, true, Held::Nothing},
        // Sending: the block stays whole at the head and nothing is reported.
        FaultCase{"SendToServer", Stage::Request, {{Call::Send, kWsaEconnreset, 1, 0}}, true, true, "Connected!",
            "Connected!", true, true, true, Held::Request},
        FaultCase{"SendToServerFailsOnTwoServers", Stage::Request, {{Call::Send, kWsaEshutdown, 2, 0}}, true, true,
            "Connected!", "Connected!", true, true, true, Held::Request},
        FaultCase{"SendToServerRetriedNextTick", Stage::Request, {{Call::Send, kWsaEnobufs, 1, 0}}, true, true,
            "Connected!", "Connected!", true, true, true, Held::Nothing, 1},
        // "Would block" is a full peer buffer, no failure: the rest goes once the peer has room.
        FaultCase{"SendWouldBlockIsNoFailure", Stage::Request, {{Call::Send, kWsaEwouldblock, 3, 0}}, true, true,
            "Connected!", "Connected!", true, true, true, Held::Nothing},
        FaultCase{"SendToClient", Stage::Forward, {{Call::Send, kWsaEconnaborted, 1, 0}}, true, true, "Connected!",
            "Connected!", true, true, true, Held::Reply},
        FaultCase{"SendToClientFailsThenServerEnds", Stage::Forward, {{Call::Send, kWsaEconnreset, 3, 0}}, true, true,
            "Connected!", "Connected!", true, true, true, Held::Reply}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
