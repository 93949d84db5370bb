#include <string>
#include <vector>

#include "console_fixture.h"

namespace {

class ForwardingTest : public ConsoleTest { };

TEST_F(ForwardingTest, SendForwardsOneBlockPerChunkOldestFirstWithoutBlocking)
{
    ConnectBoth();
    sockets.Deliver(client, std::string(5000, 'a'));
    Tick();
    sockets.Deliver(client, "tail");
    Tick();
    EXPECT_TRUE(sockets.State(server).sends.empty()); // nothing moves until "Send"
    host.Click(IDC_CLIENT_SEND);
    const auto& sends = sockets.State(server).sends;
    ASSERT_EQ(sends.size(), 3u);
    EXPECT_EQ(sends[0], std::string(4096, 'a'));
    EXPECT_EQ(sends[1], std::string(904, 'a'));
    EXPECT_EQ(sends[2], "tail");
    for (bool blocking : sockets.State(server).sendWasBlocking)
        EXPECT_FALSE(blocking);
    // One gathered send takes the three blocks, and nothing of this forwarding follows it.
    EXPECT_EQ(sockets.State(server).sendPieces, (std::vector<int>{3}));
    EXPECT_EQ(sockets.State(server).sendFlags, (std::vector<int>{0}));
    EXPECT_EQ(host.Text(IDC_CLIENT_SENT), "5004");
    EXPECT_EQ(QueuedChunks(), 0u);
    EXPECT_EQ(system.liveAllocations, 0);
}

// A peer whose buffer fills takes the front of a block; the rest stays at the head, exactly, and
// later ticks send on what the click found queued, without another click. A chunk that arrived
// after the click waits for the next one.
TEST_F(ForwardingTest, WhatThePeerCannotTakeGoesOnInLaterTicks)
{
    ConnectBoth();
    sockets.Deliver(client, std::string(5000, 'a'));
    sockets.Deliver(client, "tail");
    Tick();
    sockets.State(server).sendRoom = 4500;
    host.Click(IDC_CLIENT_SEND);
    EXPECT_EQ(host.Text(IDC_CLIENT_SENT), "4500");
    EXPECT_EQ(Counter(IDC_SERVER_RECEIVED) - Counter(IDC_CLIENT_SENT), 504);
    EXPECT_EQ(QueuedChunks(), 2u);
    Tick(); // the peer still takes nothing
    sockets.Deliver(client, "late");
    sockets.State(server).sendRoom = -1;
    Tick();
    const auto& sends = sockets.State(server).sends;
    EXPECT_EQ(sends,
        (std::vector<std::string>{std::string(4096, 'a'), std::string(404, 'a'), std::string(500, 'a'), "tail"}));
    EXPECT_EQ(host.Text(IDC_CLIENT_SENT), "5004");
    ASSERT_EQ(QueuedChunks(), 1u);
    Tick();
    EXPECT_EQ(QueuedChunks(), 1u);
    host.Click(IDC_CLIENT_SEND);
    EXPECT_EQ(sends.back(), "late");
}

// What a click asked for belongs to that connection: after it ends, the rest waits for a click
// on the next one, as a failed send's block does.
TEST_F(ForwardingTest, PendingSendEndsWithItsConnection)
{
    ConnectBoth();
    sockets.Deliver(server, "reply");
    Tick();
    sockets.State(client).sendRoom = 0;
    host.Click(IDC_SERVER_SEND);
    sockets.DeliverClose(client);
    Tick();
    const SocketHandle next = AcceptClient();
    Tick();
    EXPECT_EQ(sockets.State(next).sent, "");
    host.Click(IDC_SERVER_SEND);
    EXPECT_EQ(sockets.State(next).sent, "reply");
}

// With client "Auto" ticked the client's last bytes go to its server before the cascade closes
// it; a server slow to take them keeps its connection until it has, and the next client waits.
TEST_F(ForwardingTest, CascadeClosesOnlyOnceTheLastBytesWent)
{
    ConnectBoth();
    host.Click(IDC_CLIENT_AUTO);
    sockets.State(server).sendRoom = 3;
    sockets.Deliver(client, "last words");
    sockets.DeliverClose(client);
    sockets.QueueClient();
    Tick();
    EXPECT_EQ(ServerStatus(), "Connection gracefully terminated.");
    EXPECT_EQ(ClientStatus(), "Connected!");
    EXPECT_EQ(RemoteClient(), kNoSocket); // the waiting client is not taken yet
    sockets.State(server).sendRoom = -1;
    Tick();
    EXPECT_EQ(sockets.State(server).sent, "last words");
    EXPECT_EQ(ClientStatus(), "Idle.");
    EXPECT_EQ(RemoteServer(), kNoSocket);
    Tick();
    EXPECT_NE(RemoteClient(), kNoSocket);
}

TEST_F(ForwardingTest, EmptyQueueSendOnlyClearsTheViewWhenItsBoxIsTicked)
{
    ConnectBoth();
    host.Type(IDC_TO_CLIENT_VIEW, "old text");
    host.Type(IDC_SERVER_SENT, "7");
    host.SetCheck(IDC_SERVER_CLEAR_ON_SEND, 1);
    host.Click(IDC_SERVER_SEND);
    EXPECT_EQ(host.Text(IDC_TO_CLIENT_VIEW), "");
    EXPECT_EQ(host.Text(IDC_SERVER_SENT), "7");
    EXPECT_TRUE(sockets.State(client).sends.empty());
}

TEST_F(ForwardingTest, SendWhileStillConnectingDoesNothingAtAll)
{
    Listen();
    client = AcceptClient();
    sockets.Deliver(client, "GET /");
    Tick();
    host.Type(IDC_DEST_HOST, "127.0.0.1");
    sockets.connectMode = FakeSockets::ConnectMode::NeverWritable;
    host.Click(IDC_CONNECT);
    host.SetCheck(IDC_CLIENT_CLEAR_ON_SEND, 1);
    dlg.OnCommand(IDC_CLIENT_SEND);
    EXPECT_EQ(host.Text(IDC_TO_SERVER_VIEW), "GET /");
    EXPECT_EQ(QueuedChunks(), 1u);
}

TEST_F(ForwardingTest, ClearButtonEmptiesViewButKeepsBlocks)
{
    ConnectBoth();
    sockets.Deliver(client, "keep me");
    Tick();
    host.Click(IDC_CLIENT_CLEAR);
    EXPECT_EQ(host.Text(IDC_TO_SERVER_VIEW), "");
    host.Click(IDC_CLIENT_SEND);
    EXPECT_EQ(sockets.State(server).sent, "keep me");
}

// A failed send keeps its block, whole, at the head of the queue for the next peer, and the
// counter still counts what went out before it.
TEST_F(ForwardingTest, FailedSendKeepsItsBlockAndCountsEarlierOnes)
{
    ConnectBoth();
    for (const char* chunk : {"first", "second", "third"}) {
        sockets.Deliver(server, chunk);
        Tick();
    }
    ASSERT_EQ(QueuedChunks(), 3u);
    // The peer has room for the first block; the send after it fails.
    sockets.State(client).sendRoom = 5;
    sockets.Fail(FakeSockets::Call::Send, kWsaEconnreset, 1, 1);
    host.Click(IDC_SERVER_SEND);
    EXPECT_EQ(sockets.State(client).sent, "first");
    EXPECT_EQ(host.Text(IDC_SERVER_SENT), "5");
    EXPECT_EQ(QueuedChunks(), 2u);
    EXPECT_EQ(ServerStatus(), "Connected!"); // nothing reported

    host.Click(IDC_SERVER_DISCONNECT);
    const SocketHandle next = AcceptClient();
    host.Click(IDC_SERVER_SEND);
    EXPECT_EQ(sockets.State(next).sent, "secondthird");
    EXPECT_EQ(host.Text(IDC_SERVER_SENT), "16");
}

TEST_F(ForwardingTest, ReplyQueuedWhileItsClientLeftGoesToTheNextClient)
{
    ConnectBoth();
    sockets.Deliver(server, "HTTP/1.1 200 OK\r\n\r\n");
    Tick();
    sockets.DeliverClose(client);
    Tick();
    EXPECT_EQ(ServerStatus(), "Connection gracefully terminated.");
    const SocketHandle next = AcceptClient();
    host.Click(IDC_SERVER_SEND);
    EXPECT_EQ(sockets.State(next).sent, "HTTP/1.1 200 OK\r\n\r\n");
}

TEST_F(ForwardingTest, AutoAndClearBoxLeaveTheClientViewEmptyAfterEachTick)
{
    ConnectBoth();
    host.Click(IDC_CLIENT_AUTO);
    host.SetCheck(IDC_CLIENT_CLEAR_ON_SEND, 1);
    sockets.Deliver(client, "request");
    Tick();
    EXPECT_EQ(host.Text(IDC_TO_SERVER_VIEW), "");
    EXPECT_EQ(sockets.State(server).sent, "request");

    host.Click(IDC_SERVER_AUTO);
    host.SetCheck(IDC_SERVER_CLEAR_ON_SEND, 1);
    sockets.Deliver(server, "reply");
    Tick();
    EXPECT_EQ(host.Text(IDC_TO_CLIENT_VIEW), "reply"); // stays until the next tick forwards it
    Tick();
    EXPECT_EQ(host.Text(IDC_TO_CLIENT_VIEW), "");
    EXPECT_EQ(sockets.State(client).sent, "reply");
}

struct AutoBoxCase {
    const char* name;
    int box;
    bool tick; // true: tick the box; false: untick it after ticking
    bool listening;
    bool serverConnected;
    std::vector<int> enabled; // controls enabled afterwards
    std::vector<int> disabled;
};

class AutoBoxes : public ForwardingTest, public ::testing::WithParamInterface<AutoBoxCase> { };

TEST_P(AutoBoxes, SwitchTheManualButtons)
{
    const AutoBoxCase& c = GetParam();
    if (c.listening)
        Listen();
    if (c.serverConnected)
        ConnectServer();
    host.Click(c.box);
    if (!c.tick) {
        // Start from the buttons all disabled so that only what unticking enables shows.
        for (int id : {IDC_CLIENT_SEND, IDC_CONNECT, IDC_CLIENT_DISCONNECT, IDC_SERVER_SEND, IDC_SERVER_DISCONNECT})
            host.EnableControl(id, false);
        host.Click(c.box);
    }
    for (int id : c.enabled)
        EXPECT_TRUE(host.IsEnabled(id)) << id;
    for (int id : c.disabled)
        EXPECT_FALSE(host.IsEnabled(id)) << id;
}

INSTANTIATE_TEST_SUITE_P(Forwarding, AutoBoxes,
    ::testing::Values(AutoBoxCase{"ClientTicked", IDC_CLIENT_AUTO, true, false, false, {},
                          {IDC_CLIENT_SEND, IDC_CONNECT, IDC_CLIENT_DISCONNECT}},
        AutoBoxCase{"ClientUntickedNotConnected", IDC_CLIENT_AUTO, false, false, false, {IDC_CLIENT_SEND, IDC_CONNECT},
            {IDC_CLIENT_DISCONNECT}},
        AutoBoxCase{"ClientUntickedConnected", IDC_CLIENT_AUTO, false, false, true,
            {IDC_CLIENT_SEND, IDC_CONNECT, IDC_CLIENT_DISCONNECT}, {}},
        AutoBoxCase{"ServerTicked", IDC_SERVER_AUTO, true, true, false, {}, {IDC_SERVER_SEND, IDC_SERVER_DISCONNECT}},
        AutoBoxCase{"ServerUntickedListening", IDC_SERVER_AUTO, false, true, false,
            {IDC_SERVER_SEND, IDC_SERVER_DISCONNECT}, {}},
        AutoBoxCase{"ServerUntickedStopped", IDC_SERVER_AUTO, false, false, false, {},
            {IDC_SERVER_SEND, IDC_SERVER_DISCONNECT}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ForwardingTest, OutOfMemoryShowsBoxButStillDisplaysAndCounts)
{
    ConnectBoth();
    sockets.Deliver(client, "lost");
    system.FailAllocations(1);
    Tick();
    ASSERT_EQ(host.messageBoxes.size(), 1u);
    EXPECT_EQ(host.messageBoxes[0], "Out of memory error.  Data not saved.");
    EXPECT_EQ(host.Text(IDC_TO_SERVER_VIEW), "lost");
    EXPECT_EQ(host.Text(IDC_SERVER_RECEIVED), "4");
    EXPECT_EQ(QueuedChunks(), 0u);
    sockets.Deliver(client, "kept");
    Tick();
    EXPECT_EQ(QueuedChunks(), 1u);
}

// The box runs its own loop, in which timer ticks arrive; none may run until it closes, or it
// would overwrite the receive and display areas of the chunk it interrupted.
TEST_F(ForwardingTest, NoTickRunsWhileTheOutOfMemoryBoxIsOpen)
{
    ConnectBoth();
    sockets.Deliver(client, std::string(4096, 'a'));
    sockets.Deliver(client, std::string(10, 'b'));
    system.FailAllocations(1);
    int ticksInsideBox = 0;
    host.whileMessageBoxOpen = [&] {
        sockets.Deliver(client, "c");
        Tick();
        ++ticksInsideBox;
    };
    Tick();
    EXPECT_EQ(ticksInsideBox, 1);
    EXPECT_EQ(host.Text(IDC_TO_SERVER_VIEW).substr(0, 3), "aaa");
    EXPECT_EQ(Counter(IDC_SERVER_RECEIVED), 4107); // the inner tick read nothing; the outer one read all
    EXPECT_EQ(QueuedChunks(), 2u);
}

} // namespace
