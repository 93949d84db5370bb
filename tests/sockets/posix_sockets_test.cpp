// The POSIX sockets layer on real loopback sockets. Every wait is bounded in count and time.
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/posix_sockets.h"

namespace {

using namespace std::chrono_literals;

SocketAddress Loopback(std::uint16_t port, int family = kAfInet)
{
    SocketAddress address;
    address.family = family;
    address.port = port;
    if (family == kAfInet) {
        address.bytes = {127, 0, 0, 1};
    } else {
        address.bytes[15] = 1; // ::1
    }
    return address;
}

SocketAddress AnyAddress(std::uint16_t port, int family)
{
    SocketAddress address;
    address.family = family;
    address.port = port;
    return address;
}

std::uint16_t LocalPort(SocketHandle s)
{
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(reinterpret_cast<sockaddr_in&>(local).sin_port); // same place in both families
}

// Whether this machine has an IPv6 loopback to test on.
bool HasIpv6Loopback()
{
    const int s = ::socket(AF_INET6, SOCK_STREAM, 0);
    if (s < 0) {
        return false;
    }
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return bound;
}

// Both loopbacks where the machine has them, for tests that run on each.
std::vector<int> LoopbackFamilies()
{
    return HasIpv6Loopback() ? std::vector<int>{kAfInet, kAfInet6} : std::vector<int>{kAfInet};
}

template<typename Condition> bool Within(std::chrono::milliseconds limit, Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (int look = 0; look < 1000; ++look) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

// Whether /proc/net/tcp shows a connection on this local port in TIME_WAIT (state 06).
bool TimeWaitOn(std::uint16_t port)
{
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        unsigned slot, address, localPort, remoteAddress, remotePort, state;
        if (std::sscanf(
                line.c_str(), " %u: %x:%x %x:%x %x", &slot, &address, &localPort, &remoteAddress, &remotePort, &state)
                == 6
            && localPort == port && state == 0x06) {
            return true;
        }
    }
    return false;
}

std::size_t OpenDescriptors()
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

class PosixSocketsTest : public testing::Test {
protected:
    SocketHandle NewSocket(int family = kAfInet)
    {
        const SocketHandle s = net.Socket(family, kSockStream, kIpProtoTcp);
        EXPECT_NE(s, kNoSocket) << net.LastError();
        return s;
    }
    SocketHandle NewListener(std::uint16_t port = 0, int family = kAfInet, int backlog = 5)
    {
        const SocketHandle s = NewSocket(family);
        EXPECT_EQ(net.Bind(s, Loopback(port, family)), 0) << net.LastError();
        EXPECT_EQ(net.Listen(s, backlog), 0) << net.LastError();
        EXPECT_EQ(net.SetNonBlocking(s, true), 0);
        return s;
    }
    SocketHandle AcceptOne(SocketHandle listener, SocketAddress* peer = nullptr)
    {
        SocketHandle accepted = kNoSocket;
        Within(3s, [&] { return (accepted = net.Accept(listener, peer)) != kNoSocket; });
        EXPECT_NE(accepted, kNoSocket) << net.LastError();
        return accepted;
    }
    struct Pair {
        SocketHandle client; // blocking
        SocketHandle accepted; // non-blocking
    };
    Pair ConnectedPair()
    {
        const SocketHandle listener = NewListener();
        const SocketHandle client = NewSocket();
        EXPECT_EQ(net.Connect(client, Loopback(LocalPort(listener))), 0) << net.LastError();
        return {client, AcceptOne(listener)};
    }

    PosixSockets net;
};

TEST_F(PosixSocketsTest, StartsAndRefusesWhatIsNotTcp)
{
    EXPECT_TRUE(net.Startup());
    EXPECT_EQ(net.Socket(1, kSockStream, kIpProtoTcp), kNoSocket);
    EXPECT_EQ(net.LastError(), kWsaEafnosupport);
    EXPECT_EQ(net.Socket(kAfInet, 5, 0), kNoSocket);
    EXPECT_EQ(net.LastError(), kWsaEsocktnosupport);
}

TEST_F(PosixSocketsTest, PortTakenByAnotherListenerFailsBindWithAddressInUse)
{
    const SocketHandle first = NewListener();
    const SocketHandle second = NewSocket();
    EXPECT_EQ(net.Bind(second, Loopback(LocalPort(first))), kSocketError);
    EXPECT_EQ(net.LastError(), kWsaEaddrinuse);
}

TEST_F(PosixSocketsTest, PortWhoseConnectionSitsInTimeWaitCanBeListenedOnAgain)
{
    const SocketHandle listener = NewListener();
    const std::uint16_t port = LocalPort(listener);
    const SocketHandle client = NewSocket();
    ASSERT_EQ(net.Connect(client, Loopback(port)), 0) << net.LastError();
    const SocketHandle accepted = AcceptOne(listener);
    // The listening side closes first, so its end of the connection waits in TIME_WAIT.
    ASSERT_EQ(net.CloseSocket(accepted), 0);
    ASSERT_EQ(net.SetNonBlocking(client, true), 0);
    char byte;
    ASSERT_TRUE(Within(3s, [&] { return net.Recv(client, &byte, 1, 0) == 0; }));
    ASSERT_EQ(net.CloseSocket(client), 0);
    ASSERT_EQ(net.CloseSocket(listener), 0);
    ASSERT_TRUE(Within(3s, [&] { return TimeWaitOn(port); })) << "no TIME_WAIT on port " << port;

    const SocketHandle again = NewSocket();
    EXPECT_EQ(net.Bind(again, Loopback(port)), 0) << net.LastError();
    EXPECT_EQ(net.Listen(again, 5), 0) << net.LastError();
}

TEST_F(PosixSocketsTest, AcceptedSocketIsNonBlockingAndNamesItsPeer)
{
    const SocketHandle listener = NewListener();
    const SocketHandle client = NewSocket();
    ASSERT_EQ(net.Connect(client, Loopback(LocalPort(listener))), 0);
    SocketAddress peer;
    const SocketHandle accepted = AcceptOne(listener, &peer);
    ASSERT_NE(accepted, kNoSocket);
    EXPECT_EQ(peer, Loopback(LocalPort(client)));
    EXPECT_NE(::fcntl(accepted, F_GETFD) & FD_CLOEXEC, 0);
    ASSERT_NE(::fcntl(accepted, F_GETFL) & O_NONBLOCK, 0); // or the Recv below would hang

    char buffer[16];
    EXPECT_EQ(net.Recv(accepted, buffer, sizeof buffer, 0), kSocketError);
    EXPECT_EQ(net.LastError(), kWsaEwouldblock);
    // What a send held back for more is pushed out by the send after it.
    ASSERT_EQ(net.Send(client, "h", 1, kSendMoreFollows), 1);
    ASSERT_EQ(net.Send(client, "i", 1, 0), 1);
    int received = kSocketError;
    EXPECT_TRUE(Within(3s, [&] { return (received = net.Recv(accepted, buffer, sizeof buffer, 0)) == 2; }));
}

// One listener on the IPv6 any-address takes clients of both families, and names an IPv4 one by
// its IPv4 address.
TEST_F(PosixSocketsTest, DualStackListenerAcceptsBothFamilies)
{
    if (!HasIpv6Loopback()) {
        GTEST_SKIP() << "no ::1 on this machine: IPv4 alone is covered by the other tests";
    }
    const SocketHandle listener = NewSocket(kAfInet6);
    ASSERT_EQ(net.Bind(listener, AnyAddress(0, kAfInet6)), 0) << net.LastError();
    ASSERT_EQ(net.Listen(listener, 5), 0);
    ASSERT_EQ(net.SetNonBlocking(listener, true), 0);
    for (const int family : {kAfInet, kAfInet6}) {
        const SocketHandle client = NewSocket(family);
        ASSERT_EQ(net.Connect(client, Loopback(LocalPort(listener), family)), 0) << net.LastError();
        SocketAddress peer;
        ASSERT_NE(AcceptOne(listener, &peer), kNoSocket);
        EXPECT_EQ(peer, Loopback(LocalPort(client), family));
    }
}

TEST_F(PosixSocketsTest, RefusedConnectionFailsWithConnectionRefused)
{
    for (const int family : LoopbackFamilies()) {
        const SocketHandle probe = NewSocket(family);
        ASSERT_EQ(net.Bind(probe, Loopback(0, family)), 0);
        const std::uint16_t closedPort = LocalPort(probe); // bound but never listening, then released
        ASSERT_EQ(net.CloseSocket(probe), 0);

        const SocketHandle s = NewSocket(family);
        ASSERT_EQ(net.SetNonBlocking(s, true), 0);
        int state = net.Connect(s, Loopback(closedPort, family));
        if (state == kSocketError && net.LastError() == kWsaEwouldblock) {
            state = net.ConnectState(s, 3000);
        }
        EXPECT_EQ(state, kSocketError) << "family " << family;
        EXPECT_EQ(net.LastError(), kWsaEconnrefused) << "family " << family;
    }
}

// A listener whose backlog is full drops new SYNs: the attempt stays pending, look after look.
TEST_F(PosixSocketsTest, SilentDestinationStaysPending)
{
    for (const int family : LoopbackFamilies()) {
        const SocketHandle listener = NewListener(0, family, 0);
        std::vector<SocketHandle> clients;
        int state = 1;
        for (int i = 0; i < 4 && state != 0; ++i) { // the queue holds one or two before it drops
            clients.push_back(NewSocket(family));
            ASSERT_EQ(net.SetNonBlocking(clients.back(), true), 0);
            net.Connect(clients.back(), Loopback(LocalPort(listener), family));
            state = net.ConnectState(clients.back(), 200);
        }
        ASSERT_EQ(state, 0) << "family " << family;
        EXPECT_EQ(net.ConnectState(clients.back(), 0), 0);
    }
}

TEST_F(PosixSocketsTest, ListeningDestinationIsConnected)
{
    for (const int family : LoopbackFamilies()) {
        const SocketHandle listener = NewListener(0, family);
        const SocketHandle s = NewSocket(family);
        EXPECT_EQ(net.ConnectState(s, 0), 0); // never connected
        ASSERT_EQ(net.SetNonBlocking(s, true), 0);
        if (net.Connect(s, Loopback(LocalPort(listener), family)) == kSocketError) {
            ASSERT_EQ(net.LastError(), kWsaEwouldblock);
        }
        EXPECT_EQ(net.ConnectState(s, 3000), 1);

        ASSERT_EQ(net.CloseSocket(s), 0);
        EXPECT_EQ(net.ConnectState(s, 0), kSocketError);
        EXPECT_EQ(net.LastError(), kWsaEnotsock);
    }
}

extern "C" void IgnoreSignal(int) { }

TEST_F(PosixSocketsTest, BlockingSendHandsOverTheWholeBlockToASlowReader)
{
    const Pair pair = ConnectedPair();
    const SocketHandle client = pair.client;
    const int smallBuffer = 128 * 1024; // so that the send blocks often
    ::setsockopt(client, SOL_SOCKET, SO_SNDBUF, &smallBuffer, sizeof smallBuffer);
    std::vector<char> block(4 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i * 31 + (i >> 13));
    }
    // Signals without SA_RESTART cut the blocked send short (partial writes, EINTR).
    struct sigaction action { };
    struct sigaction previous { };
    action.sa_handler = IgnoreSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    const pthread_t sender = ::pthread_self();

    std::vector<char> received;
    std::thread reader([&, accepted = pair.accepted] {
        std::vector<char> chunk(64 * 1024);
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        for (int reads = 0; received.size() < block.size() && std::chrono::steady_clock::now() < deadline;) {
            pollfd look{accepted, POLLIN, 0};
            if (::poll(&look, 1, 100) <= 0) {
                continue;
            }
            const ssize_t n = ::recv(accepted, chunk.data(), chunk.size(), 0);
            if (n <= 0) {
                break;
            }
            received.insert(received.end(), chunk.data(), chunk.data() + n);
            if (++reads % 8 == 0) {
                ::pthread_kill(sender, SIGUSR1);
                std::this_thread::sleep_for(1ms);
            }
        }
    });
    const int sent = net.Send(client, block.data(), static_cast<int>(block.size()), 0);
    const int error = net.LastError();
    if (sent != static_cast<int>(block.size())) {
        net.Shutdown(client, kShutdownBoth); // let the reader stop at once
    }
    reader.join();
    ::sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_EQ(sent, static_cast<int>(block.size())) << "LastError " << error;
    ASSERT_EQ(received.size(), block.size());
    EXPECT_TRUE(received == block);
}

TEST_F(PosixSocketsTest, SendToAResetPeerFailsWithoutSigpipe)
{
    std::signal(SIGPIPE, SIG_DFL); // a SIGPIPE would end the test process
    const Pair pair = ConnectedPair();
    const SocketHandle client = pair.client;
    const linger abort{1, 0};
    ASSERT_EQ(::setsockopt(pair.accepted, SOL_SOCKET, SO_LINGER, &abort, sizeof abort), 0);
    ASSERT_EQ(net.CloseSocket(pair.accepted), 0); // sends a reset

    const char data[] = "after the reset";
    EXPECT_TRUE(Within(3s, [&] { return net.Send(client, data, sizeof data, 0) == kSocketError; }));
    EXPECT_EQ(net.LastError(), kWsaEconnreset);
    EXPECT_EQ(net.Send(client, data, sizeof data, 0), kSocketError); // now EPIPE, the SIGPIPE case
    EXPECT_EQ(net.LastError(), kWsaEconnreset);
    // Linux would now read an orderly close; every read reports the reset, as on Windows.
    char buffer[16];
    for (int read = 0; read < 2; ++read) {
        EXPECT_EQ(net.Recv(client, buffer, sizeof buffer, 0), kSocketError);
        EXPECT_EQ(net.LastError(), kWsaEconnreset);
    }
}

// What forwarding waits on: a peer whose buffers are full keeps the socket unwritable until the
// time runs out, and one that reads makes it writable again.
TEST_F(PosixSocketsTest, WaitWritableWaitsForAPeerToRead)
{
    const Pair pair = ConnectedPair();
    const std::string block(65536, 'x');
    int sent = 0;
    for (int i = 0; i < 4096 && sent >= 0; ++i)
        sent = net.Send(pair.accepted, block.data(), static_cast<int>(block.size()), 0);
    ASSERT_EQ(sent, kSocketError);
    ASSERT_EQ(net.LastError(), kWsaEwouldblock);
    EXPECT_EQ(net.WaitWritable(pair.accepted, 50), 0);
    std::string drained(1 << 20, '\0');
    net.SetNonBlocking(pair.client, true);
    for (int i = 0; i < 4096 && net.Recv(pair.client, drained.data(), static_cast<int>(drained.size()), 0) > 0;)
        ++i;
    EXPECT_EQ(net.WaitWritable(pair.accepted, 3000), 1);
    EXPECT_EQ(net.WaitWritable(kNoSocket, 0), kSocketError);
}

// A gathered send arrives as its pieces one after the other; a scatter read cuts what waits as
// back-to-back reads of its areas' sizes would: full areas, then the rest, then nothing.
TEST_F(PosixSocketsTest, GatheredSendAndScatterReadKeepTheBytesAndTheirCut)
{
    struct Case {
        std::vector<int> pieces;
        std::vector<int> filled; // of four areas of 4096 bytes
    };
    for (const Case& c : {Case{{10000}, {4096, 4096, 1808}}, Case{{1, 4095, 4096}, {4096, 4096}},
             Case{{3000, 3000, 3000, 3000, 3000, 3000}, {4096, 4096, 4096, 4096}}, Case{{5}, {5}}}) {
        const Pair pair = ConnectedPair();
        std::string sent;
        std::vector<SendPiece> pieces;
        for (const int length : c.pieces) {
            sent += std::string(static_cast<std::size_t>(length), static_cast<char>('a' + pieces.size()));
            pieces.push_back({nullptr, length});
        }
        for (std::size_t i = 0, at = 0; i < pieces.size(); at += static_cast<std::size_t>(pieces[i++].length))
            pieces[i].data = sent.data() + at;
        ASSERT_EQ(net.SendGather(pair.client, pieces.data(), static_cast<int>(pieces.size()), 0),
            static_cast<int>(sent.size()));
        ASSERT_TRUE(Within(3s, [&] {
            int waiting = 0;
            return ::ioctl(pair.accepted, FIONREAD, &waiting) == 0 && waiting == static_cast<int>(sent.size());
        }));
        std::string areas(4 * 4096, '\0');
        ReceiveArea vector[4];
        for (int i = 0; i < 4; ++i)
            vector[i] = {areas.data() + i * 4096, 4096};
        int expected = 0;
        for (const int length : c.filled)
            expected += length;
        ASSERT_EQ(net.RecvScatter(pair.accepted, vector, 4, 0), expected);
        EXPECT_EQ(
            areas.substr(0, static_cast<std::size_t>(expected)), sent.substr(0, static_cast<std::size_t>(expected)));
        const int rest = static_cast<int>(sent.size()) - expected;
        if (rest == 0) {
            EXPECT_EQ(net.RecvScatter(pair.accepted, vector, 4, 0), kSocketError);
            EXPECT_EQ(net.LastError(), kWsaEwouldblock);
        } else {
            EXPECT_EQ(net.RecvScatter(pair.accepted, vector, 4, 0), rest);
        }
        net.CloseSocket(pair.client);
        net.CloseSocket(pair.accepted);
    }
    const ReceiveArea none{nullptr, 0};
    EXPECT_EQ(net.RecvScatter(kNoSocket, &none, 1, 0), kSocketError);
}

TEST_F(PosixSocketsTest, InetAddrKeepsTheClassicMeaning)
{
    EXPECT_EQ(net.InetAddr("127.0.0.1"), htonl(0x7F000001));
    EXPECT_EQ(net.InetAddr("10.1.2.3"), htonl(0x0A010203));
    EXPECT_EQ(net.InetAddr("255.255.255.255"), kInaddrNone);
    EXPECT_EQ(net.InetAddr("1abc"), kInaddrNone);
    EXPECT_EQ(net.InetAddr(nullptr), kInaddrNone);
}

struct Resolution {
    const char* host;
    bool numericOnly;
    std::vector<std::string> addresses; // the first ones found, in order; empty: a failure
};

std::string Text(const SocketAddress& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(address.family == kAfInet ? AF_INET : AF_INET6, address.bytes.data(), text, sizeof text);
    return address.scopeId != 0 ? std::string(text) + "%" + std::to_string(address.scopeId) : text;
}

TEST_F(PosixSocketsTest, ResolveHostGivesEveryAddressOfATextOrName)
{
    const Resolution cases[] = {
        {"127.0.0.1", true, {"127.0.0.1"}},
        {"::1", true, {"::1"}},
        {"2001:db8::7", true, {"2001:db8::7"}},
        {"fe80::1%1", true, {"fe80::1%1"}},
        {"localhost", false, {"127.0.0.1"}}, // where /etc/hosts names ::1 too, it may come first
        {"localhost", true, {}},
        {"no-such-host.brindle.invalid", false, {}},
    };
    for (const Resolution& c : cases) {
        std::vector<SocketAddress> found;
        const bool resolved = net.ResolveHost(c.host, c.numericOnly, &found);
        ASSERT_EQ(resolved, !c.addresses.empty()) << c.host << " " << net.LastError();
        if (!resolved) {
            EXPECT_GE(net.LastError(), kWsaHostNotFound) << c.host; // 11001, or what the resolver says
            EXPECT_LE(net.LastError(), kWsaNoData) << c.host;
            continue;
        }
        std::vector<std::string> texts;
        for (const SocketAddress& address : found) {
            EXPECT_EQ(address.port, 0);
            texts.push_back(Text(address));
        }
        EXPECT_NE(std::find(texts.begin(), texts.end(), c.addresses.front()), texts.end()) << c.host;
    }
}

TEST(PosixSocketsLifetime, DestroyingTheLayerClosesWhatIsStillOpen)
{
    const std::size_t before = OpenDescriptors();
    {
        PosixSockets net;
        const SocketHandle listener = net.Socket(kAfInet, kSockStream, kIpProtoTcp);
        ASSERT_EQ(net.Bind(listener, Loopback(0)), 0);
        ASSERT_EQ(net.Listen(listener, 5), 0);
        const SocketHandle client = net.Socket(kAfInet, kSockStream, 0);
        ASSERT_EQ(net.Connect(client, Loopback(LocalPort(listener))), 0);
        ASSERT_NE(net.Accept(listener, nullptr), kNoSocket);
        ASSERT_NE(net.Socket(kAfInet, kSockStream, kIpProtoTcp), kNoSocket);
        EXPECT_EQ(net.OpenSocketCount(), 4u);
        EXPECT_EQ(OpenDescriptors(), before + 4);

        // A descriptor the layer did not hand out is not its to close.
        const int foreign = ::socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_EQ(net.CloseSocket(foreign), kSocketError);
        EXPECT_EQ(net.LastError(), kWsaEnotsock);
        EXPECT_NE(::fcntl(foreign, F_GETFD), -1);
        ::close(foreign);
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

} // namespace
