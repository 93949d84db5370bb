// An echo server behind the relay, with both "Auto" boxes ticked: it sends back what it reads while
// the client is still sending, so bytes stream both ways at once. A relay that waited in a send to
// a peer sitting in its own send to the relay would hang here for good, with both buffers full.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

#include "loopback_peer.h"
#include "relay_harness.h"

namespace {

using namespace std::chrono_literals;

TEST_F(RelayTest, EchoServerStreamingBothWaysGetsEveryByteBack)
{
    constexpr std::size_t kSize = 32 * 1024 * 1024;
    int destPort = 0;
    const Descriptor destination = ListenLoopback(0, &destPort);
    ASSERT_TRUE(destination.Valid());
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, destPort, true, true);
    if (HasFatalFailure())
        return;
    const Descriptor client = ConnectLoopback(listenPort);
    ASSERT_TRUE(client.Valid());

    std::size_t echoed = 0;
    std::thread echo([&] {
        const Descriptor server = AcceptWithin(destination, 10s);
        if (server.Valid())
            echoed = Echo(server, 30s);
    });
    const std::string source = RandomBytes(kSize, 16);
    std::thread writer([&] { SendAll(client, source); });
    std::string received;
    std::atomic<bool> readAll{false};
    std::thread reader([&] {
        received = ReadUntilClosed(client, kSize, 240s);
        readAll = true;
    });

    const bool done = TickUntil(
        [&] {
            host.appends.clear(); // the in-memory window would keep every byte's text
            return readAll.load();
        },
        240s);
    writer.join();
    reader.join();
    host.Click(IDC_STOP_SERVER);
    echo.join();

    ASSERT_TRUE(done);
    EXPECT_EQ(received.size(), kSize);
    EXPECT_TRUE(received == source) << "the client got other bytes than it sent";
    EXPECT_EQ(Counter(IDC_CLIENT_SENT), static_cast<std::int64_t>(kSize));
    EXPECT_EQ(Counter(IDC_SERVER_SENT), static_cast<std::int64_t>(kSize));
    EXPECT_GE(echoed, kSize);
    EXPECT_LE(longestTick.count(), 1000) << "the window did not answer for that long";
}

} // namespace
