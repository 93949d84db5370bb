// Clients that connect and reset before a tick takes them, on the real sockets layer: the server
// goes on listening and the next client gets through. Linux accepts such a connection and reports
// the reset on the first read; Windows Sockets fails the accept itself (Wine with 10057).
#include <string>

#include "loopback_peer.h"
#include "relay_harness.h"

namespace {

using namespace std::chrono_literals;

class ResettingClients : public RelayTest, public ::testing::WithParamInterface<int> { };

TEST_P(ResettingClients, LeaveTheServerListeningForTheNext)
{
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, FreeLoopbackPort(), false, false);
    for (int i = 0; i < GetParam(); ++i) {
        Descriptor gone = ConnectLoopback(listenPort);
        ASSERT_TRUE(gone.Valid());
        ResetConnection(gone);
    }
    Descriptor client = ConnectLoopback(listenPort);
    ASSERT_TRUE(client.Valid());
    ASSERT_TRUE(SendAll(client, "ping"));

    EXPECT_TRUE(TickUntil([&] { return Counter(IDC_SERVER_RECEIVED) == 4; }, 10s)) << ServerStatus();
    EXPECT_NE(Listener(), kNoSocket);
    EXPECT_EQ(ServerStatus(), "Connected!");
}

INSTANTIATE_TEST_SUITE_P(Relay, ResettingClients, ::testing::Values(1, 3),
    [](const auto& info) { return std::to_string(info.param) + "Reset"; });

} // namespace
