// The process runs out of descriptors (a lowered RLIMIT_NOFILE) while the relay accepts or
// connects on the real sockets layer: the failure reads as 10024, nothing stays open, and once
// descriptors are back the relay carries traffic again.
#include <fcntl.h>
#include <sys/resource.h>

#include <ostream>
#include <string>

#include "loopback_peer.h"
#include "relay_harness.h"

namespace {

using namespace std::chrono_literals;

// Lowers the soft descriptor limit so that exactly `spare` more descriptors can be opened, and
// puts it back when it goes.
class DescriptorLimit {
public:
    explicit DescriptorLimit(int spare)
    {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        // New descriptors take the lowest free numbers: the limit is the first one past `spare`.
        int fd = 0;
        for (int free = 0; fd < 65536; ++fd) {
            if (::fcntl(fd, F_GETFD) == -1 && free++ == spare)
                break;
        }
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(fd);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;

private:
    rlimit saved_{};
};

struct ExhaustionCase {
    const char* name;
    int spare; // descriptors left when the client arrives
    std::string serverLine;
    std::string clientLine;
    bool stillListening;
};

void PrintTo(const ExhaustionCase& c, std::ostream* os)
{
    *os << c.name;
}

class DescriptorExhaustion : public RelayTest, public ::testing::WithParamInterface<ExhaustionCase> { };

TEST_P(DescriptorExhaustion, ReportsAndRecovers)
{
    const ExhaustionCase& c = GetParam();
    int destPort = 0;
    Descriptor destination = ListenLoopback(0, &destPort);
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, destPort, true, true);
    // A tick with descriptors to spare first: the undefined-behaviour checker's first look at each
    // virtual call needs a pipe of its own, and without one it reports a call it could not check.
    Ticks(1);
    {
        Descriptor client = ConnectLoopback(listenPort);
        ASSERT_TRUE(client.Valid());
        const DescriptorLimit limit(c.spare);
        Ticks(1);
    }
    EXPECT_EQ(ServerStatus(), c.serverLine);
    EXPECT_EQ(ClientStatus(), c.clientLine);
    EXPECT_EQ(Listener() != kNoSocket, c.stillListening);
    EXPECT_EQ(RemoteClient(), kNoSocket);
    EXPECT_EQ(RemoteServer(), kNoSocket);
    EXPECT_EQ(sockets.OpenSocketCount(), c.stillListening ? 1u : 0u);

    if (!c.stillListening) {
        ASSERT_TRUE(host.IsEnabled(IDC_LISTEN));
        host.Click(IDC_LISTEN);
        ASSERT_EQ(ServerStatus(), "Listening...");
    }
    Descriptor client = ConnectLoopback(listenPort);
    ASSERT_TRUE(TickUntil([&] { return ServerConnected() == 1; }, 5s));
    Descriptor server = AcceptWithin(destination, 5s);
    ASSERT_TRUE(server.Valid());
    ASSERT_TRUE(SendAll(client, "after"));
    ASSERT_TRUE(TickUntil([&] { return Counter(IDC_CLIENT_SENT) == 5; }, 5s));
    EXPECT_EQ(ReadUntilClosed(server, 5, 5s), "after");
}

INSTANTIATE_TEST_SUITE_P(Reliability, DescriptorExhaustion,
    ::testing::Values(ExhaustionCase{"AtAccept", 0, "accept failed. Error code 10024. : WSAEMFILE", "Idle", false},
        ExhaustionCase{"AtConnect", 1, "Connection to client terminated.",
            "Failed to get socket. Error code 10024. : WSAEMFILE", true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
