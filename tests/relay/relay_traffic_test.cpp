// Bulk binary traffic and hand-steered forwarding over real loopback connections.
#include <random>
#include <thread>

#include "loopback_peer.h"
#include "relay_harness.h"

namespace {

using namespace std::chrono_literals;

// Several megabytes each way with both "Auto" boxes ticked arrive whole and in order.
TEST_F(RelayTest, BinaryPayloadsBothWaysArriveByteExact)
{
    const std::string upload = RandomBytes(6 * 1024 * 1024 + 3, 1);
    const std::string download = RandomBytes(5 * 1024 * 1024 + 11, 2);
    int serverPort = 0;
    Descriptor listener = ListenLoopback(0, &serverPort);
    std::string serverGot;
    std::thread server([&] {
        Descriptor connection = AcceptWithin(listener, 20s);
        serverGot = ReadUntilClosed(connection, upload.size(), 30s);
        SendAll(connection, download);
    });
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, serverPort, true, true);

    std::string clientGot;
    std::thread client([&] {
        Descriptor connection = ConnectLoopback(listenPort);
        SendAll(connection, upload);
        clientGot = ReadUntilClosed(connection, download.size(), 30s);
    });
    EXPECT_TRUE(TickUntil([&] { return Counter(IDC_SERVER_SENT) >= static_cast<std::int64_t>(download.size()); }, 60s));
    client.join();
    server.join();
    EXPECT_TRUE(serverGot == upload);
    EXPECT_TRUE(clientGot == download);
    EXPECT_EQ(Counter(IDC_CLIENT_SENT), static_cast<std::int64_t>(upload.size()));
    EXPECT_EQ(Counter(IDC_SERVER_SENT), static_cast<std::int64_t>(download.size()));
}

// With both "Auto" boxes clear nothing moves until "Send"; a reply whose client has left goes
// to the next client.
TEST_F(RelayTest, ManualModeHoldsEachDirectionUntilSend)
{
    int serverPort = 0;
    Descriptor listener = ListenLoopback(0, &serverPort);
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, serverPort, false, false);

    Descriptor client = ConnectLoopback(listenPort);
    ASSERT_TRUE(TickUntil([&] { return RemoteClient() != kNoSocket; }, 5s));
    host.Click(IDC_CONNECT);
    ASSERT_EQ(ClientStatus(), "Connected!");
    Descriptor server = AcceptWithin(listener, 5s);
    ASSERT_TRUE(server.Valid());

    ASSERT_TRUE(SendAll(client, "GET /held HTTP/1.1\r\n\r\n"));
    Ticks(3);
    EXPECT_EQ(QueuedChunks(), 1u);
    EXPECT_EQ(ReadUntilClosed(server, 1, 300ms), "");
    host.Click(IDC_CLIENT_SEND);
    EXPECT_EQ(ReadUntilMarker(server, "\r\n\r\n", 5s), "GET /held HTTP/1.1\r\n\r\n");

    ASSERT_TRUE(SendAll(server, "reply one"));
    Ticks(3);
    EXPECT_EQ(ReadUntilClosed(client, 1, 300ms), "");
    host.Click(IDC_SERVER_SEND);
    EXPECT_EQ(ReadUntilClosed(client, 9, 5s), "reply one");

    // The client leaves while the next reply is still held.
    ASSERT_TRUE(SendAll(server, "reply two"));
    ASSERT_TRUE(TickUntil([&] { return QueuedChunks() == 1; }, 5s));
    client = Descriptor();
    ASSERT_TRUE(TickUntil([&] { return RemoteClient() == kNoSocket; }, 5s));
    EXPECT_EQ(ServerStatus(), "Connection gracefully terminated.");
    Descriptor nextClient = ConnectLoopback(listenPort);
    ASSERT_TRUE(TickUntil([&] { return RemoteClient() != kNoSocket; }, 5s));
    host.Click(IDC_SERVER_SEND);
    EXPECT_EQ(ReadUntilClosed(nextClient, 9, 5s), "reply two");
}

} // namespace
