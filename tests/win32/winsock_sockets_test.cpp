// The Windows Sockets layer on real loopback sockets, under Windows or Wine. Every wait is bounded
// in count and time.
#include <winsock2.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/winsock_sockets.h"

namespace {

using namespace std::chrono_literals;

SocketAddressIn Loopback(std::uint16_t port)
{
    SocketAddressIn address;
    address.family = kAfInet;
    address.port = htons(port);
    address.address = htonl(INADDR_LOOPBACK);
    return address;
}

// Handles are the system's SOCKET values, so the tests may use them with ws2_32 directly.
SOCKET System(SocketHandle s)
{
    return static_cast<SOCKET>(s);
}

std::uint16_t LocalPort(SocketHandle s)
{
    sockaddr_in local{};
    int length = sizeof local;
    ::getsockname(System(s), reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

class WinsockSocketsTest : public testing::Test {
public:
    void SetUp() override { ASSERT_TRUE(net.Startup()); }

    // A non-blocking listener on a port of the system's choosing.
    SocketHandle Listener()
    {
        const SocketHandle s = net.Socket(kAfInet, kSockStream, kIpProtoTcp);
        EXPECT_NE(s, kNoSocket);
        EXPECT_EQ(net.Bind(s, Loopback(0)), 0) << net.LastError();
        EXPECT_EQ(net.Listen(s, 1), 0) << net.LastError();
        EXPECT_EQ(net.SetNonBlocking(s, true), 0);
        return s;
    }

    // A blocking client connected to `listener`, and the listener's accepted end.
    std::pair<SocketHandle, SocketHandle> Connected(SocketHandle listener)
    {
        const SocketHandle client = net.Socket(kAfInet, kSockStream, kIpProtoTcp);
        EXPECT_EQ(net.Connect(client, Loopback(LocalPort(listener))), 0) << net.LastError();
        SocketHandle accepted = kNoSocket;
        for (int look = 0; look < 400 && accepted == kNoSocket; ++look) {
            accepted = net.Accept(listener, nullptr);
            if (accepted == kNoSocket)
                std::this_thread::sleep_for(5ms);
        }
        EXPECT_NE(accepted, kNoSocket) << net.LastError();
        return {client, accepted};
    }

    // A port nothing listens on: taken from the system, then given back.
    std::uint16_t FreePort()
    {
        const SocketHandle s = net.Socket(kAfInet, kSockStream, kIpProtoTcp);
        net.Bind(s, Loopback(0));
        const std::uint16_t port = LocalPort(s);
        net.CloseSocket(s);
        return port;
    }

    WinsockSockets net;
};

// Each failure the status lines report, provoked for real, with the system's own code.
struct FailureCase {
    const char* name;
    int expected;
    // Makes the failing call; returns what it returned.
    std::function<int(WinsockSocketsTest&, WinsockSockets&)> provoke;
};

class WinsockFailureTest : public WinsockSocketsTest, public testing::WithParamInterface<FailureCase> { };

TEST_P(WinsockFailureTest, FailsWithTheSystemsCode)
{
    EXPECT_EQ(GetParam().provoke(*this, net), kSocketError);
    EXPECT_EQ(net.LastError(), GetParam().expected);
}

const FailureCase kFailures[] = {
    {"PortInUse", WSAEADDRINUSE,
        [](WinsockSocketsTest& t, WinsockSockets& net) {
            const SocketHandle taken = t.Listener();
            const SocketHandle second = net.Socket(kAfInet, kSockStream, kIpProtoTcp);
            return net.Bind(second, Loopback(LocalPort(taken)));
        }},
    {"NothingToRead", WSAEWOULDBLOCK,
        [](WinsockSocketsTest& t, WinsockSockets& net) {
            // The accepted end is non-blocking with nothing set on it by the caller.
            const auto [client, accepted] = t.Connected(t.Listener());
            char buffer[16];
            return net.Recv(accepted, buffer, sizeof buffer, 0);
        }},
    {"ResetPeer", WSAECONNRESET,
        [](WinsockSocketsTest& t, WinsockSockets& net) {
            const auto [client, accepted] = t.Connected(t.Listener());
            // A zero linger makes the close a reset. Windows reports it to the next recv; Wine
            // shuts a socket down before closing it, so there the reset follows an end of stream
            // and reaches the next send.
            const linger abort{1, 0};
            ::setsockopt(System(client), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
            net.CloseSocket(client);
            char buffer[16];
            int result = 0;
            for (int look = 0; look < 400; ++look) {
                result = net.Recv(accepted, buffer, sizeof buffer, 0);
                if (result != kSocketError || net.LastError() != WSAEWOULDBLOCK)
                    break;
                std::this_thread::sleep_for(5ms);
            }
            return result == 0 ? net.Send(accepted, "x", 1, 0) : result;
        }},
    {"NonBlockingConnectStarts", WSAEWOULDBLOCK,
        [](WinsockSocketsTest& t, WinsockSockets& net) {
            const SocketHandle listener = t.Listener();
            const SocketHandle s = net.Socket(kAfInet, kSockStream, kIpProtoTcp);
            net.SetNonBlocking(s, true);
            return net.Connect(s, Loopback(LocalPort(listener)));
        }},
    {"HandleNotHandedOut", WSAENOTSOCK,
        [](WinsockSocketsTest&, WinsockSockets& net) { return net.Send(12345, "x", 1, 0); }},
    {"HandleClosedAlready", WSAENOTSOCK,
        [](WinsockSocketsTest&, WinsockSockets& net) {
            const SocketHandle s = net.Socket(kAfInet, kSockStream, kIpProtoTcp);
            net.CloseSocket(s);
            return net.CloseSocket(s);
        }},
};

INSTANTIATE_TEST_SUITE_P(Loopback, WinsockFailureTest, testing::ValuesIn(kFailures),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(WinsockSocketsTest, RefusedDestinationStaysPendingOnEveryLook)
{
    const SocketHandle s = net.Socket(kAfInet, kSockStream, kIpProtoTcp);
    ASSERT_EQ(net.SetNonBlocking(s, true), 0);
    const int started = net.Connect(s, Loopback(FreePort()));
    ASSERT_TRUE(started == 0 || net.LastError() == WSAEWOULDBLOCK) << net.LastError();
    // Windows itself retries a refused loopback connect for about a second before giving up.
    for (int look = 0; look < 100; ++look) {
        ASSERT_EQ(net.SelectWritable(s), 0) << "look " << look;
        std::this_thread::sleep_for(25ms);
    }
}

TEST_F(WinsockSocketsTest, ListeningDestinationBecomesWritable)
{
    const SocketHandle listener = Listener();
    const SocketHandle s = net.Socket(kAfInet, kSockStream, kIpProtoTcp);
    ASSERT_EQ(net.SetNonBlocking(s, true), 0);
    net.Connect(s, Loopback(LocalPort(listener)));
    int writable = 0;
    for (int look = 0; look < 400 && writable == 0; ++look) {
        writable = net.SelectWritable(s);
        if (writable == 0)
            std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(writable, 1) << net.LastError();
}

TEST_F(WinsockSocketsTest, BlockingSendHandsOverTheWholeBlockToASlowReader)
{
    const auto [client, accepted] = Connected(Listener());
    ASSERT_EQ(net.SetNonBlocking(accepted, false), 0);
    const DWORD readTimeoutMs = 10000;
    ::setsockopt(
        System(accepted), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&readTimeoutMs), sizeof readTimeoutMs);

    constexpr int kBlock = 6 << 20;
    std::vector<char> block(kBlock);
    for (int i = 0; i < kBlock; ++i)
        block[static_cast<std::size_t>(i)] = static_cast<char>((i * 7 + i / 4096) & 0xFF);

    std::vector<char> received;
    received.reserve(kBlock);
    std::thread reader([&, socket = accepted] {
        std::vector<char> chunk(64 * 1024);
        // At most one read per byte; each either moves bytes or ends within the read timeout.
        for (int read = 0; read < kBlock && received.size() < static_cast<std::size_t>(kBlock); ++read) {
            const int n = ::recv(System(socket), chunk.data(), static_cast<int>(chunk.size()), 0);
            if (n <= 0)
                break;
            received.insert(received.end(), chunk.begin(), chunk.begin() + n);
            std::this_thread::sleep_for(1ms);
        }
    });
    const int sent = net.Send(client, block.data(), kBlock, 0);
    reader.join();
    EXPECT_EQ(sent, kBlock) << net.LastError();
    EXPECT_TRUE(received == block) << received.size() << " bytes received";
}

// What forwarding waits on: a peer whose buffers are full keeps the socket unwritable until the
// time runs out, and one that reads makes it writable again.
TEST_F(WinsockSocketsTest, WaitWritableWaitsForAPeerToRead)
{
    const auto [client, accepted] = Connected(Listener());
    const std::string block(65536, 'x');
    int sent = 0;
    for (int i = 0; i < 4096 && sent >= 0; ++i)
        sent = net.Send(accepted, block.data(), static_cast<int>(block.size()), 0);
    ASSERT_EQ(sent, kSocketError);
    ASSERT_EQ(net.LastError(), WSAEWOULDBLOCK);
    EXPECT_EQ(net.WaitWritable(accepted, 50), 0);
    std::string drained(1 << 20, '\0');
    ASSERT_EQ(net.SetNonBlocking(client, true), 0);
    for (int i = 0; i < 4096 && net.Recv(client, drained.data(), static_cast<int>(drained.size()), 0) > 0;)
        ++i;
    EXPECT_EQ(net.WaitWritable(accepted, 3000), 1);
}

// A gathered send arrives as its pieces one after the other; a scatter read fills its areas in
// order, full ones first, as back-to-back reads of their sizes would.
TEST_F(WinsockSocketsTest, GatheredSendAndScatterReadKeepTheBytesAndTheirCut)
{
    const auto [client, accepted] = Connected(Listener());
    const std::string sent = std::string(3000, 'a') + std::string(7000, 'b') + std::string(5, 'c');
    const SendPiece pieces[] = {{sent.data(), 3000}, {sent.data() + 3000, 7000}, {sent.data() + 10000, 5}};
    ASSERT_EQ(net.SendGather(client, pieces, 3, 0), 10005) << net.LastError();
    u_long waiting = 0;
    for (int look = 0; look < 600 && waiting < sent.size(); ++look) {
        std::this_thread::sleep_for(5ms);
        ::ioctlsocket(System(accepted), FIONREAD, &waiting);
    }
    ASSERT_EQ(waiting, sent.size());
    std::string areas(4 * 4096, '\0');
    const ReceiveArea vector[] = {
        {areas.data(), 4096}, {areas.data() + 4096, 4096}, {areas.data() + 8192, 4096}, {areas.data() + 12288, 4096}};
    EXPECT_EQ(net.RecvScatter(accepted, vector, 4, 0), 10005) << net.LastError();
    EXPECT_EQ(areas.substr(0, sent.size()), sent);
    EXPECT_EQ(net.RecvScatter(accepted, vector, 4, 0), kSocketError);
    EXPECT_EQ(net.LastError(), WSAEWOULDBLOCK);
}

TEST(WinsockSocketsLifetime, DestroyingTheLayerClosesWhatIsStillOpen)
{
    std::uint16_t port = 0;
    {
        WinsockSockets net;
        ASSERT_TRUE(net.Startup());
        const SocketHandle s = net.Socket(kAfInet, kSockStream, kIpProtoTcp);
        ASSERT_EQ(net.Bind(s, Loopback(0)), 0);
        ASSERT_EQ(net.Listen(s, 1), 0);
        port = LocalPort(s);
    }
    WinsockSockets again;
    ASSERT_TRUE(again.Startup());
    const SocketHandle s = again.Socket(kAfInet, kSockStream, kIpProtoTcp);
    EXPECT_EQ(again.Bind(s, Loopback(port)), 0) << again.LastError();
}

TEST_F(WinsockSocketsTest, GetHostByNameResolvesAndFailsWithTheResolversCode)
{
    std::uint32_t address = 0;
    ASSERT_TRUE(net.GetHostByName("127.0.0.1", &address)) << net.LastError();
    EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
    EXPECT_FALSE(net.GetHostByName("no-such-host.brindle.invalid", &address));
    EXPECT_EQ(net.LastError(), WSAHOST_NOT_FOUND);
}

} // namespace
