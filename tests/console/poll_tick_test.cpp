#include <string>
#include <tuple>
#include <vector>

#include "console_fixture.h"

namespace {

using namespace std::chrono_literals;

class PollTickTest : public ConsoleTest { };

TEST_F(PollTickTest, TickWithNothingOpenTouchesNoSocket)
{
    Tick();
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Accept), 0);
    EXPECT_EQ(sockets.Count(FakeSockets::Call::Recv), 0);
}

// What arrives in one tick, as the reads find it (each Deliver is the most one read returns), and
// the chunks it makes: one 4096-byte read each, whether a read fills one chunk area or sixteen.
struct ChunkingCase {
    std::vector<int> arrivals;
    std::vector<int> chunks;
};

class Chunking : public PollTickTest, public ::testing::WithParamInterface<std::tuple<ChunkingCase, int>> { };

TEST_P(Chunking, ChunksAreWhatOneReadEachReturnsAndAreCountedOnce)
{
    const auto& [c, areasPerRead] = GetParam();
    sockets.LimitAreasPerRead(areasPerRead);
    ConnectBoth();
    host.SetCheck(IDC_SERVER_BUFFERS, 1);
    host.Click(IDC_CLIENT_AUTO);
    int total = 0;
    for (const int size : c.arrivals) {
        sockets.Deliver(client, std::string(static_cast<std::size_t>(size), static_cast<char>('a' + total % 26)));
        total += size;
    }
    Tick();
    // Each queued chunk goes on as one piece of a gathered send.
    std::vector<int> chunks;
    for (const std::string& piece : sockets.State(server).sends)
        chunks.push_back(static_cast<int>(piece.size()));
    EXPECT_EQ(chunks, c.chunks);
    EXPECT_EQ(Counter(IDC_SERVER_RECEIVED), total);
    const std::string shown = host.Text(IDC_TO_SERVER_VIEW);
    std::size_t marks = 0;
    for (std::size_t at = shown.find("BUF:"); at != std::string::npos; at = shown.find("BUF:", at + 1))
        ++marks;
    EXPECT_EQ(marks, c.chunks.size());
}

INSTANTIATE_TEST_SUITE_P(PollTick, Chunking,
    ::testing::Combine(
        ::testing::Values(ChunkingCase{{10000}, {4096, 4096, 1808}}, ChunkingCase{{100, 5000}, {100, 4096, 904}},
            ChunkingCase{{4096, 4096, 10}, {4096, 4096, 10}}, ChunkingCase{{1, 1, 1}, {1, 1, 1}},
            ChunkingCase{{4095, 4097}, {4095, 4096, 1}},
            // More than one scatter read takes: seventeen full chunks and the rest.
            ChunkingCase{{70000},
                {4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096,
                    368}}),
        ::testing::Values(1, kReceiveChunksPerRead)));

TEST_F(PollTickTest, BytesThenCloseAreKeptThenTheSideCloses)
{
    ConnectBoth();
    sockets.Deliver(client, "last words");
    sockets.DeliverClose(client);
    Tick();
    EXPECT_EQ(host.Text(IDC_TO_SERVER_VIEW), "last words");
    EXPECT_EQ(host.Text(IDC_SERVER_RECEIVED), "10");
    EXPECT_EQ(QueuedChunks(), 1u);
    EXPECT_EQ(ServerStatus(), "Connection gracefully terminated.");
    EXPECT_FALSE(sockets.State(client).open);
}

TEST_F(PollTickTest, ReadErrorsCloseTheirSideWithTheCode)
{
    ConnectBoth();
    sockets.DeliverError(server, kWsaEconnreset);
    Tick();
    EXPECT_EQ(ClientStatus(), "Connection terminated. Error code 10054. : WSAECONNRESET");
    EXPECT_EQ(RemoteServer(), kNoSocket);
    sockets.DeliverError(client, kWsaEconnaborted);
    Tick();
    EXPECT_EQ(ServerStatus(), "Connection terminated. Error code 10053. : WSAECONNABORTED");
}

// The "CRLF" box beside a view governs it; the "Buffers" box that frames it is the one of the
// side that received the bytes.
struct FlagCase {
    const char* name;
    int box;
    bool fromClient; // which peer sends "a\r\n"
    std::string expectedView;
};

class CrossedFlags : public PollTickTest, public ::testing::WithParamInterface<FlagCase> { };

TEST_P(CrossedFlags, FollowTheirTable)
{
    const FlagCase& c = GetParam();
    ConnectBoth();
    host.SetCheck(c.box, 1);
    sockets.Deliver(c.fromClient ? client : server, "a\r\n");
    Tick();
    EXPECT_EQ(host.Text(c.fromClient ? IDC_TO_SERVER_VIEW : IDC_TO_CLIENT_VIEW), c.expectedView);
}

INSTANTIATE_TEST_SUITE_P(PollTick, CrossedFlags,
    ::testing::Values(FlagCase{"ClientCrlfShowsInClientView", IDC_CLIENT_CRLF, true, "a\\r\\n\r\n"},
        FlagCase{"ServerCrlfLeavesClientView", IDC_SERVER_CRLF, true, "a\r\n"},
        FlagCase{"ServerBuffersFrameClientView", IDC_SERVER_BUFFERS, true, "BUF:a\r\n\r\n"},
        FlagCase{"ClientBuffersLeaveClientView", IDC_CLIENT_BUFFERS, true, "a\r\n"},
        FlagCase{"ServerCrlfShowsInServerView", IDC_SERVER_CRLF, false, "a\\r\\n\r\n"},
        FlagCase{"ClientCrlfLeavesServerView", IDC_CLIENT_CRLF, false, "a\r\n"},
        FlagCase{"ClientBuffersFrameServerView", IDC_CLIENT_BUFFERS, false, "BUF:a\r\n\r\n"},
        FlagCase{"ServerBuffersLeaveServerView", IDC_SERVER_BUFFERS, false, "a\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PollTickTest, RequestGoesOutInItsTickAndReplyOneTickLater)
{
    ConnectBoth();
    host.Click(IDC_CLIENT_AUTO);
    host.Click(IDC_SERVER_AUTO);
    sockets.Deliver(client, "GET / HTTP/1.1\r\n\r\n");
    Tick();
    EXPECT_EQ(sockets.State(server).sent, "GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(host.Text(IDC_CLIENT_SENT), "18");
    sockets.Deliver(server, "HTTP/1.1 204 No Content\r\n\r\n");
    Tick();
    EXPECT_EQ(sockets.State(client).sent, "");
    Tick();
    EXPECT_EQ(sockets.State(client).sent, "HTTP/1.1 204 No Content\r\n\r\n");
}

// A server that replies and closes in one tick, as every HTTP/1.0 server does: the reply must
// reach the client that asked before the cascade closes it.
TEST_F(PollTickTest, ReplyAndCloseInOneTickReachTheClientBeforeItIsClosed)
{
    ConnectBoth();
    host.Click(IDC_CLIENT_AUTO);
    host.Click(IDC_SERVER_AUTO);
    sockets.Deliver(server, "HTTP/1.0 200 OK\r\n\r\nbody");
    sockets.DeliverClose(server);
    Tick();
    EXPECT_EQ(sockets.State(client).sent, "HTTP/1.0 200 OK\r\n\r\nbody");
    EXPECT_FALSE(sockets.State(client).open);
    EXPECT_EQ(QueuedChunks(), 0u);
    EXPECT_EQ(ClientStatus(), "Connection gracefully terminated.");
    EXPECT_EQ(ServerStatus(), "Connection to client terminated.");
}

TEST_F(PollTickTest, RequestAndCloseInOneTickReachTheServerBeforeItIsClosed)
{
    ConnectBoth();
    host.Click(IDC_CLIENT_AUTO);
    sockets.Deliver(client, "POST /x\r\n\r\n");
    sockets.DeliverClose(client);
    Tick();
    EXPECT_EQ(sockets.State(server).sent, "POST /x\r\n\r\n");
    EXPECT_FALSE(sockets.State(server).open);
    EXPECT_EQ(ClientStatus(), "Idle.");
}

TEST_F(PollTickTest, WithoutAutoTheLastDataWaitsForTheNextPeer)
{
    ConnectBoth();
    sockets.Deliver(server, "reply");
    sockets.DeliverClose(server);
    Tick();
    EXPECT_TRUE(sockets.State(client).open);
    EXPECT_EQ(QueuedChunks(), 1u);
}

// Every clock reading seems to take 10 ms: the tick starts at 10 ms, the server side's pass at
// 20 ms; with nothing to forward a pass reads until 95 ms into the tick and for at least 35 ms of
// its own.
struct BudgetCase {
    int chunksFromClient;
    int chunksFromServer;
    std::size_t readFromClient;
    std::size_t readFromServer;
};

class ReceiveBudgetCases : public PollTickTest, public ::testing::WithParamInterface<BudgetCase> { };

TEST_P(ReceiveBudgetCases, PassesStopAtTheirTimeAndTheRestWaitsForTheNextTick)
{
    const BudgetCase& c = GetParam();
    sockets.LimitAreasPerRead(1); // a clock step a chunk
    ConnectBoth();
    if (c.chunksFromClient > 0)
        sockets.Deliver(client, std::string(static_cast<std::size_t>(c.chunksFromClient) * 4096, 'c'));
    if (c.chunksFromServer > 0)
        sockets.Deliver(server, std::string(static_cast<std::size_t>(c.chunksFromServer) * 4096, 's'));
    system.SetTickPerNow(10ms);
    Tick();
    // Each chunk read is 4096 bytes and none is sent on.
    EXPECT_EQ(Counter(IDC_SERVER_RECEIVED), static_cast<std::int64_t>(c.readFromClient * 4096));
    EXPECT_EQ(Counter(IDC_CLIENT_RECEIVED), static_cast<std::int64_t>(c.readFromServer * 4096));
    system.SetTickPerNow(0ms);
    Tick();
    EXPECT_EQ(Counter(IDC_SERVER_RECEIVED), c.chunksFromClient * 4096);
    EXPECT_EQ(Counter(IDC_CLIENT_RECEIVED), c.chunksFromServer * 4096);
}

INSTANTIATE_TEST_SUITE_P(PollTick, ReceiveBudgetCases,
    ::testing::Values(BudgetCase{40, 0, 9, 0}, // until 110 ms: the tick's time
        BudgetCase{0, 40, 0, 8}, // the client side alone: until 105 ms, from 30 ms
        BudgetCase{40, 40, 9, 4})); // after a busy server side: its own 35 ms

// A pass leaves room for the sends of what it read, at the pace the peer took the bytes of an
// earlier tick: `paceBytes` in one 10 ms clock step. The measured tick starts at T; its pass starts
// 10 ms later (the client side's 20 ms) and every chunk takes 10 ms. Its own 35 ms it reads
// whatever the sends: four chunks.
struct SendTimeCase {
    const char* name;
    bool fromClient; // upload: sent on in the same tick; download: at the start of the next
    int paceBytes; // 0: nothing was forwarded yet, so no pace is known
    bool autoAfter; // the direction's "Auto" box stays ticked for the measured tick
    std::size_t read;
};

class PassLeavesRoomForItsSends : public PollTickTest, public ::testing::WithParamInterface<SendTimeCase> { };

TEST_P(PassLeavesRoomForItsSends, ReadsStopWhenTheirSendsWouldFillTheTick)
{
    const SendTimeCase& c = GetParam();
    sockets.LimitAreasPerRead(1); // a clock step a chunk
    ConnectBoth();
    host.Click(IDC_CLIENT_AUTO);
    host.Click(IDC_SERVER_AUTO);
    const SocketHandle from = c.fromClient ? client : server;
    system.SetTickPerNow(10ms);
    if (c.paceBytes > 0) {
        sockets.Deliver(from, std::string(static_cast<std::size_t>(c.paceBytes), 'p'));
        Tick();
        Tick();
        ASSERT_EQ(sockets.State(c.fromClient ? server : client).sent.size(), static_cast<std::size_t>(c.paceBytes));
    }
    if (!c.autoAfter)
        host.Click(c.fromClient ? IDC_CLIENT_AUTO : IDC_SERVER_AUTO);
    sockets.Deliver(from, std::string(40 * 4096, 'x'));
    Tick();
    const std::int64_t read = c.fromClient ? Counter(IDC_SERVER_RECEIVED) : Counter(IDC_CLIENT_RECEIVED);
    EXPECT_EQ(read - c.paceBytes, static_cast<std::int64_t>(c.read * 4096));
}

INSTANTIATE_TEST_SUITE_P(PollTick, PassLeavesRoomForItsSends,
    ::testing::Values(
        // Upload: reads and sends end within 95 ms of T. Without sends, the tick's time: T + 100 ms.
        SendTimeCase{"UploadNoPaceYet", true, 0, true, 9},
        // 4096 bytes in 2.5 ms: at T + 80 ms seven chunks take another 17.5 ms.
        SendTimeCase{"UploadFastPeer", true, 16384, true, 7}, SendTimeCase{"UploadSlowerPeer", true, 4096, true, 5},
        SendTimeCase{"UploadSlowPeerKeepsItsOwnTime", true, 1024, true, 4},
        SendTimeCase{"UploadWithoutAutoReadsItsTime", true, 4096, false, 9},
        // Download: the pass (T + 20 ms on) with its sends at the next tick's start fits 95 ms.
        SendTimeCase{"DownloadNoPaceYet", false, 0, true, 8}, SendTimeCase{"DownloadFastPeer", false, 8192, true, 7},
        SendTimeCase{"DownloadSlowerPeer", false, 4096, true, 5},
        SendTimeCase{"DownloadSlowPeerKeepsItsOwnTime", false, 1024, true, 4},
        SendTimeCase{"DownloadWithoutAutoReadsItsTime", false, 4096, false, 8}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PollTickTest, NoByteCountLimitsAPassWithinItsTime)
{
    ConnectBoth();
    sockets.Deliver(client, std::string(17 * 1024 * 1024, 'x'));
    Tick();
    EXPECT_EQ(Counter(IDC_SERVER_RECEIVED), 17 * 1024 * 1024);
}

// A socket that runs dry for a moment in the middle of bulk traffic is waited for within the
// pass; after a small exchange the pass ends at once and the rest waits for the next tick.
class DryMoment : public PollTickTest, public ::testing::WithParamInterface<int> { };

TEST_P(DryMoment, IsWaitedForOnlyAfterBulkTraffic)
{
    const int before = GetParam();
    ConnectBoth();
    sockets.Deliver(client, std::string(static_cast<std::size_t>(before), 'b'));
    sockets.DeliverError(client, kWsaEwouldblock);
    sockets.Deliver(client, "more");
    Tick();
    EXPECT_EQ(Counter(IDC_SERVER_RECEIVED), before >= kBulkPassBytes ? before + 4 : before);
    EXPECT_EQ(host.Text(IDC_SERVER_STATUS), "Connected!");
}

INSTANTIATE_TEST_SUITE_P(PollTick, DryMoment, ::testing::Values(1000, kBulkPassBytes - 1, kBulkPassBytes, 3 << 20));

} // namespace
