// The Windows Sockets layer on real loopback sockets, under Windows or Wine. Every wait is bounded
// in count and time.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
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

SocketAddress Loopback(std::uint16_t port, int family = kAfInet)
{
    SocketAddress address;
    address.family = family;
    address.port = port;
    if (family == kAfInet)
        address.bytes = {127, 0, 0, 1};
    else
        address.bytes[15] = 1; // ::1
    return address;
}

// Handles are the system's SOCKET values, so the tests may use them with ws2_32 directly.
SOCKET System(SocketHandle s)
{
    return static_cast<SOCKET>(s);
}

std::uint16_t LocalPort(SocketHandle s)
{
    sockaddr_storage local{};
    int length = sizeof local;
    ::getsockname(System(s), reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(reinterpret_cast<sockaddr_in&>(local).sin_port); // same place in both families
}

// Both loopbacks where the machine has them (::1 needs IPv6), for tests that run on each.
std::vector<int> LoopbackFamilies(WinsockSockets& net)
{
    const SocketHandle s = net.Socket(kAfInet6, kSockStream, kIpProtoTcp);
    const bool ipv6 = s != kNoSocket && net.Bind(s, Loopback(0, kAfInet6)) == 0;
    if (s != kNoSocket)
        net.CloseSocket(s);
    return ipv6 ? std::vector<int>{kAfInet, kAfInet6} : std::vector<int>{kAfInet};
}

class WinsockSocketsTest : public testing::Test {
public:
    void SetUp() override { ASSERT_TRUE(net.Startup()); }

    // A non-blocking listener on a port of the system's choosing.
    SocketHandle Listener(int family = kAfInet, int backlog = 1)
    {
        const SocketHandle s = net.Socket(family, kSockStream, kIpProtoTcp);
        EXPECT_NE(s, kNoSocket);
        EXPECT_EQ(net.Bind(s, Loopback(0, family)), 0) << net.LastError();
        EXPECT_EQ(net.Listen(s, backlog), 0) << net.LastError();
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
    std::uint16_t FreePort(int family = kAfInet)
    {
        const SocketHandle s = net.Socket(family, kSockStream, kIpProtoTcp);
        net.Bind(s, Loopback(0, family));
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

// One listener on the IPv6 any-address takes clients of both families, and names an IPv4 one by
// its IPv4 address.
TEST_F(WinsockSocketsTest, DualStackListenerAcceptsBothFamilies)
{
    if (LoopbackFamilies(net).size() < 2)
        GTEST_SKIP() << "no ::1 on this machine: IPv4 alone is covered by the other tests";
    const SocketHandle listener = net.Socket(kAfInet6, kSockStream, kIpProtoTcp);
    SocketAddress any;
    any.family = kAfInet6;
    ASSERT_EQ(net.Bind(listener, any), 0) << net.LastError();
    ASSERT_EQ(net.Listen(listener, 5), 0);
    ASSERT_EQ(net.SetNonBlocking(listener, true), 0);
    for (const int family : {kAfInet, kAfInet6}) {
        const SocketHandle client = net.Socket(family, kSockStream, kIpProtoTcp);
        ASSERT_EQ(net.Connect(client, Loopback(LocalPort(listener), family)), 0) << net.LastError();
        SocketAddress peer;
        SocketHandle accepted = kNoSocket;
        for (int look = 0; look < 400 && accepted == kNoSocket; ++look) {
            accepted = net.Accept(listener, &peer);
            if (accepted == kNoSocket)
                std::this_thread::sleep_for(5ms);
        }
        ASSERT_NE(accepted, kNoSocket) << net.LastError();
        EXPECT_EQ(peer, Loopback(LocalPort(client), family));
    }
}

TEST_F(WinsockSocketsTest, RefusedDestinationFailsWithConnectionRefused)
{
    for (const int family : LoopbackFamilies(net)) {
        const SocketHandle s = net.Socket(family, kSockStream, kIpProtoTcp);
        ASSERT_EQ(net.SetNonBlocking(s, true), 0);
        ASSERT_EQ(net.Connect(s, Loopback(FreePort(family), family)), kSocketError);
        ASSERT_EQ(net.LastError(), WSAEWOULDBLOCK);
        int state = 0;
        // Windows itself retries a refused loopback connect for a second or two before giving up.
        for (int look = 0; look < 50 && state == 0; ++look)
            state = net.ConnectState(s, 100);
        EXPECT_EQ(state, kSocketError) << "family " << family;
        EXPECT_EQ(net.LastError(), WSAECONNREFUSED) << "family " << family;
    }
}

// A listener whose backlog is full drops new SYNs where the system is Linux (under Wine): the
// attempt stays pending, look after look. Windows itself refuses such a connection.
TEST_F(WinsockSocketsTest, SilentDestinationStaysPending)
{
    for (const int family : LoopbackFamilies(net)) {
        const SocketHandle listener = Listener(family, 0);
        SocketHandle s = kNoSocket;
        int state = 1;
        for (int i = 0; i < 4 && state != 0; ++i) { // the queue holds one or two before it drops
            s = net.Socket(family, kSockStream, kIpProtoTcp);
            ASSERT_EQ(net.SetNonBlocking(s, true), 0);
            net.Connect(s, Loopback(LocalPort(listener), family));
            state = net.ConnectState(s, 200);
        }
        if (state == kSocketError && net.LastError() == WSAECONNREFUSED)
            GTEST_SKIP() << "this system refuses a connection its full backlog cannot take";
        ASSERT_EQ(state, 0) << "family " << family << " " << net.LastError();
        EXPECT_EQ(net.ConnectState(s, 0), 0);
    }
}

TEST_F(WinsockSocketsTest, ListeningDestinationIsConnected)
{
    for (const int family : LoopbackFamilies(net)) {
        const SocketHandle listener = Listener(family);
        const SocketHandle s = net.Socket(family, kSockStream, kIpProtoTcp);
        ASSERT_EQ(net.SetNonBlocking(s, true), 0);
        EXPECT_EQ(net.ConnectState(s, 0), 0); // never connected
        net.Connect(s, Loopback(LocalPort(listener), family));
        EXPECT_EQ(net.ConnectState(s, 3000), 1) << "family " << family << " " << net.LastError();
    }
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

struct Resolution {
    const char* host;
    bool numericOnly;
    std::string address; // one that must be among those found; empty: a failure
};

std::string Text(const SocketAddress& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(address.family == kAfInet ? AF_INET : AF_INET6, address.bytes.data(), text, sizeof text);
    return address.scopeId != 0 ? std::string(text) + "%" + std::to_string(address.scopeId) : text;
}

TEST_F(WinsockSocketsTest, ResolveHostGivesEveryAddressOfATextOrName)
{
    const Resolution cases[] = {
        {"127.0.0.1", true, "127.0.0.1"},
        {"::1", true, "::1"},
        {"::1", false, "::1"},
        {"2001:db8::7", true, "2001:db8::7"},
        {"fe80::1%1", true, "fe80::1%1"},
        {"localhost", false, "127.0.0.1"},
        {"localhost", true, ""},
        {"no-such-host.brindle.invalid", false, ""},
    };
    for (const Resolution& c : cases) {
        std::vector<SocketAddress> found;
        const bool resolved = net.ResolveHost(c.host, c.numericOnly, &found);
        ASSERT_EQ(resolved, !c.address.empty()) << c.host << " " << net.LastError();
        if (!resolved) {
            EXPECT_EQ(net.LastError(), WSAHOST_NOT_FOUND) << c.host;
            continue;
        }
        std::vector<std::string> texts;
        for (const SocketAddress& address : found) {
            EXPECT_EQ(address.port, 0);
            texts.push_back(Text(address));
        }
        EXPECT_NE(std::find(texts.begin(), texts.end(), c.address), texts.end()) << c.host << " " << texts[0];
    }
}

} // namespace
