// Peers that misbehave on real loopback connections, with both "Auto" boxes ticked: resets in the
// middle of a transfer, a client gone before its first tick, a server that stops reading while the
// console sends to it, and a 64 MB burst. The console must report, keep what it read, leak nothing,
// and never wait for a peer.
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <ostream>
#include <random>
#include <string>
#include <thread>

#include "loopback_peer.h"
#include "relay_harness.h"

namespace {

using namespace std::chrono_literals;

const std::string kResetLine = "Connection terminated. Error code 10054. : WSAECONNRESET";
const std::string kClosedLine = "Connection gracefully terminated.";

// Ends the process if a test is still running after its bound: a console stuck in a send must
// fail the run, not hang it.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds bound)
        : thread_([this, bound] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!done_.wait_for(lock, bound, [this] { return finished_; })) {
                std::fprintf(stderr, "still running after %lld s: the console is stuck\n",
                    static_cast<long long>(bound.count()));
                std::abort();
            }
        })
    { }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// Blocking calls of a peer give up after a while, so that every peer thread ends.
void BoundCalls(const Descriptor& socket, std::chrono::seconds bound)
{
    const timeval limit{static_cast<time_t>(bound.count()), 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

// Sends `bytes` up to `end` in 64 KB pieces; returns how far it got.
std::size_t Stream(const Descriptor& socket, const std::string& bytes, std::size_t end)
{
    constexpr std::size_t kPiece = 64 * 1024;
    std::size_t sent = 0;
    while (sent < end) {
        const std::size_t n = std::min(kPiece, end - sent);
        const ssize_t done = ::send(socket.Get(), bytes.data() + sent, n, MSG_NOSIGNAL);
        if (done <= 0)
            break;
        sent += static_cast<std::size_t>(done);
    }
    return sent;
}

class HostileTest : public RelayTest {
protected:
    // Both boxes ticked, a destination, a client, and the destination's side of the connection.
    void Open()
    {
        destination = ListenLoopback(0, &destPort);
        ASSERT_TRUE(destination.Valid());
        listenPort = FreeLoopbackPort();
        Listen(listenPort, destPort, true, true);
        client = ConnectLoopback(listenPort);
        ASSERT_TRUE(client.Valid());
        ASSERT_TRUE(TickUntil([&] { return ServerConnected() == 1; }, 10s));
        server = AcceptWithin(destination, 5s);
        ASSERT_TRUE(server.Valid());
        BoundCalls(client, 20s);
        BoundCalls(server, 20s);
    }

    bool BothClosed() const { return RemoteClient() == kNoSocket && RemoteServer() == kNoSocket; }

    // Ticks without keeping the view history of the in-memory window, which would grow with
    // every byte.
    bool TickLightly(const std::function<bool()>& done, std::chrono::milliseconds timeout)
    {
        return TickUntil(
            [&] {
                host.appends.clear();
                host.statusHistory.clear();
                return done();
            },
            timeout);
    }

    Descriptor destination;
    int destPort = 0;
    int listenPort = 0;
    Descriptor client;
    Descriptor server;
};

struct ResetCase {
    const char* name;
    bool upload; // bytes flow from the client to the server; else from the server to the client
    bool senderResets; // the sending peer resets; else the receiving one, after a first megabyte
};

void PrintTo(const ResetCase& c, std::ostream* os)
{
    *os << c.name;
}

class MidTransferResets : public HostileTest, public ::testing::WithParamInterface<ResetCase> { };

TEST_P(MidTransferResets, EndBothSidesAndKeepWhatWasRead)
{
    const ResetCase& c = GetParam();
    const Watchdog watchdog(120s);
    Open();
    if (HasFatalFailure())
        return;
    constexpr std::size_t kSize = 32 * 1024 * 1024;
    constexpr std::size_t kSenderStops = 4 * 1024 * 1024;
    constexpr std::size_t kReceiverStops = 1024 * 1024;
    const std::string source = RandomBytes(kSize, c.upload ? 11 : 12);
    Descriptor& sender = c.upload ? client : server;
    Descriptor& receiver = c.upload ? server : client;

    std::string received;
    std::thread reader([&] {
        received = ReadUntilClosed(receiver, c.senderResets ? kSize : kReceiverStops, 30s);
        if (!c.senderResets)
            ResetConnection(receiver);
    });
    std::thread writer([&] {
        Stream(sender, source, c.senderResets ? kSenderStops : kSize);
        if (c.senderResets)
            ResetConnection(sender);
    });
    const bool ended = TickLightly([&] { return BothClosed(); }, 60s);
    writer.join();
    reader.join();
    ASSERT_TRUE(ended);

    // Lines: the side whose peer reset, and the other side closed by the cascade.
    const std::string resetSide = c.upload == c.senderResets ? ServerStatus() : ClientStatus();
    const std::string otherSide = c.upload == c.senderResets ? ClientStatus() : ServerStatus();
    // Also when a send met the reset first: the read after it still reports the reset.
    EXPECT_EQ(resetSide, kResetLine);
    EXPECT_EQ(otherSide, c.upload == c.senderResets ? "Idle." : "Connection to client terminated.");
    EXPECT_EQ(sockets.OpenSocketCount(), 1u);

    const std::int64_t read = c.upload ? Counter(IDC_SERVER_RECEIVED) : Counter(IDC_CLIENT_RECEIVED);
    const std::int64_t sent = c.upload ? Counter(IDC_CLIENT_SENT) : Counter(IDC_SERVER_SENT);
    // What was read and not sent waits in its queue.
    EXPECT_GE(read, sent);
    EXPECT_EQ(read > sent, QueuedChunks() > 0);
    EXPECT_LE(received.size(), static_cast<std::size_t>(sent));
    EXPECT_TRUE(received == source.substr(0, received.size())) << "the receiver got other bytes than were sent";
    if (c.senderResets) {
        // Everything read before the reset went on before the cascade closed the other side.
        EXPECT_EQ(received.size(), static_cast<std::size_t>(read));
        EXPECT_EQ(QueuedChunks(), 0u);
        return;
    }
    // What the reset receiver did not take waits for the next peer, in order. The console sends it
    // in the tick that connects, so the new receiver must already be reading. Only this direction
    // carries bytes: what waits is what was read and not sent.
    const std::size_t held = static_cast<std::size_t>(read - sent);
    EXPECT_GT(held, 0u);
    Descriptor nextClient = ConnectLoopback(listenPort);
    ASSERT_TRUE(nextClient.Valid());
    BoundCalls(nextClient, 20s);
    Descriptor nextServer;
    std::string rest;
    std::atomic<bool> restRead{false};
    std::thread restReader([&] {
        if (c.upload) {
            nextServer = AcceptWithin(destination, 10s);
            rest = ReadUntilClosed(nextServer, held, 30s);
        } else {
            rest = ReadUntilClosed(nextClient, held, 30s);
        }
        restRead = true;
    });
    const bool flushed = TickLightly([&] { return restRead.load(); }, 40s);
    restReader.join();
    ASSERT_TRUE(flushed);
    EXPECT_EQ(QueuedChunks(), 0u);
    EXPECT_EQ(rest.size(), held);
    EXPECT_TRUE(rest == source.substr(static_cast<std::size_t>(sent), held));
}

INSTANTIATE_TEST_SUITE_P(Reliability, MidTransferResets,
    ::testing::Values(ResetCase{"UploadServerResets", true, false}, ResetCase{"UploadClientResets", true, true},
        ResetCase{"DownloadClientResets", false, false}, ResetCase{"DownloadServerResets", false, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct QuickClientCase {
    const char* name;
    std::size_t size;
};

void PrintTo(const QuickClientCase& c, std::ostream* os)
{
    *os << c.name;
}

class QuickClients : public HostileTest, public ::testing::WithParamInterface<QuickClientCase> { };

// Connects, sends and closes between two ticks: the first tick accepts, connects, reads it all and
// meets the end; the server must still get every byte before its connection is closed.
TEST_P(QuickClients, StillDeliverEverythingTheySent)
{
    const Watchdog watchdog(60s);
    destination = ListenLoopback(0, &destPort);
    listenPort = FreeLoopbackPort();
    Listen(listenPort, destPort, true, true);
    const std::string request = RandomBytes(GetParam().size, 3);
    {
        Descriptor quick = ConnectLoopback(listenPort);
        ASSERT_TRUE(quick.Valid());
        ASSERT_TRUE(SendAll(quick, request));
    }
    Ticks(1);
    EXPECT_TRUE(BothClosed());
    Descriptor peer = AcceptWithin(destination, 5s);
    ASSERT_TRUE(peer.Valid());
    EXPECT_TRUE(ReadUntilClosed(peer, request.size() + 1, 5s) == request);
    EXPECT_EQ(ServerStatus(), kClosedLine);
    EXPECT_EQ(ClientStatus(), "Idle.");
    EXPECT_EQ(Counter(IDC_CLIENT_SENT), static_cast<std::int64_t>(request.size()));
    EXPECT_EQ(sockets.OpenSocketCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Reliability, QuickClients,
    ::testing::Values(
        QuickClientCase{"Silent", 0}, QuickClientCase{"Request", 40}, QuickClientCase{"ThirtyTwoKilobytes", 32 * 1024}),
    [](const auto& info) { return std::string(info.param.name); });

struct StalledCase {
    const char* name;
    bool resets; // the stalled server resets; else it starts reading
};

void PrintTo(const StalledCase& c, std::ostream* os)
{
    *os << c.name;
}

class StalledServer : public HostileTest, public ::testing::WithParamInterface<StalledCase> { };

// A server that stops reading for 4 s while the console forwards to it must not hold a tick past
// the receive budget (80 ms into the tick, 35 ms a pass; the bound leaves room for a busy
// machine): what it cannot take waits in the queue, the client is still read, and it all goes
// once the server reads again. A blocking send held the tick for the whole pause.
TEST_P(StalledServer, NeverHoldsTheTick)
{
    const Watchdog watchdog(120s);
    Open();
    if (HasFatalFailure())
        return;
    constexpr std::size_t kSize = 24 * 1024 * 1024;
    const std::string source = RandomBytes(kSize, 5);

    std::thread writer([&] { Stream(client, source, kSize); });
    std::atomic<bool> acted{false};
    std::string received;
    std::thread stalled([&] {
        std::this_thread::sleep_for(4s);
        acted = true;
        if (GetParam().resets)
            ResetConnection(server);
        else
            received = ReadUntilClosed(server, kSize, 60s);
    });

    auto longestWhileStalled = 0ms;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        const auto start = std::chrono::steady_clock::now();
        const bool stalledNow = !acted;
        dlg.OnTimer(POLL_TIMER_ID);
        const auto took
            = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (stalledNow && !acted)
            longestWhileStalled = std::max(longestWhileStalled, took);
        host.appends.clear();
        ended = GetParam().resets ? BothClosed() : Counter(IDC_CLIENT_SENT) == static_cast<std::int64_t>(kSize);
        std::this_thread::sleep_until(start + std::chrono::milliseconds(kPollPeriodMs));
    }
    stalled.join();
    writer.join();
    ASSERT_TRUE(ended);
    EXPECT_LE(longestWhileStalled.count(), 500);

    if (GetParam().resets) {
        EXPECT_EQ(ClientStatus(), kResetLine);
        EXPECT_EQ(ServerStatus(), "Connection to client terminated.");
        EXPECT_GE(Counter(IDC_SERVER_RECEIVED), Counter(IDC_CLIENT_SENT));
        EXPECT_EQ(Counter(IDC_SERVER_RECEIVED) > Counter(IDC_CLIENT_SENT), QueuedChunks() > 0);
        EXPECT_EQ(sockets.OpenSocketCount(), 1u);
        return;
    }
    EXPECT_EQ(received.size(), kSize);
    EXPECT_TRUE(received == source);
    EXPECT_EQ(ClientStatus(), "Connected!");
    client = Descriptor();
    EXPECT_TRUE(TickUntil([&] { return BothClosed(); }, 10s));
    EXPECT_EQ(sockets.OpenSocketCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Reliability, StalledServer,
    ::testing::Values(StalledCase{"PeerResets", true}, StalledCase{"PeerStartsReading", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A 64-bit FNV-1a hash of a byte stream, fed in pieces.
class StreamHash {
public:
    void Add(const char* bytes, std::size_t length)
    {
        for (std::size_t i = 0; i < length; ++i) {
            hash_ ^= static_cast<unsigned char>(bytes[i]);
            hash_ *= 0x100000001b3ull;
        }
        size_ += length;
    }
    std::uint64_t Value() const { return hash_; }
    std::size_t Size() const { return size_; }

private:
    std::uint64_t hash_ = 0xcbf29ce484222325ull;
    std::size_t size_ = 0;
};

struct BurstCase {
    const char* name;
    bool upload;
};

void PrintTo(const BurstCase& c, std::ostream* os)
{
    *os << c.name;
}

class Burst : public HostileTest, public ::testing::WithParamInterface<BurstCase> { };

// 64 MB in one direction, made and checked piece by piece so that no copy of it is kept.
TEST_P(Burst, ArrivesByteExact)
{
    const Watchdog watchdog(300s);
    Open();
    if (HasFatalFailure())
        return;
    constexpr std::size_t kSize = 64 * 1024 * 1024;
    Descriptor& sender = GetParam().upload ? client : server;
    Descriptor& receiver = GetParam().upload ? server : client;
    host.SetCheck(IDC_CLIENT_CLEAR_ON_SEND, 1);
    host.SetCheck(IDC_SERVER_CLEAR_ON_SEND, 1);

    StreamHash sentHash;
    std::thread writer([&] {
        std::mt19937_64 random(GetParam().upload ? 64 : 46);
        std::string piece(256 * 1024, '\0');
        while (sentHash.Size() < kSize) {
            for (std::size_t i = 0; i < piece.size(); i += 8) {
                const std::uint64_t word = random();
                std::memcpy(piece.data() + i, &word, 8);
            }
            if (!SendAll(sender, piece))
                break;
            sentHash.Add(piece.data(), piece.size());
        }
    });
    StreamHash receivedHash;
    std::atomic<std::size_t> receivedSize{0};
    std::thread reader([&] {
        std::string buffer(256 * 1024, '\0');
        while (receivedHash.Size() < kSize) {
            const ssize_t n = ::recv(receiver.Get(), buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            receivedHash.Add(buffer.data(), static_cast<std::size_t>(n));
            receivedSize = receivedHash.Size();
        }
    });
    const bool done = TickLightly([&] { return receivedSize.load() >= kSize; }, 240s);
    writer.join();
    reader.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(receivedHash.Size(), kSize);
    EXPECT_EQ(receivedHash.Value(), sentHash.Value());
    EXPECT_EQ(
        GetParam().upload ? Counter(IDC_CLIENT_SENT) : Counter(IDC_SERVER_SENT), static_cast<std::int64_t>(kSize));
    EXPECT_EQ(ClientStatus(), "Connected!");
    EXPECT_EQ(ServerStatus(), "Connected!");
}

INSTANTIATE_TEST_SUITE_P(Reliability, Burst, ::testing::Values(BurstCase{"Upload", true}, BurstCase{"Download", false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
