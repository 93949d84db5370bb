// The sockets layer the relay is written against: the calls and error numbering of classic
// Windows Sockets, so that the status lines read the same on every platform.
#ifndef BRINDLE_PLATFORM_SOCKETS_LAYER_H
#define BRINDLE_PLATFORM_SOCKETS_LAYER_H

#include <array>
#include <cstdint>
#include <vector>

#include "platform/wsa_error_codes.h"

using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
inline constexpr int kSocketError = -1;

// Address families as Windows Sockets numbers them.
inline constexpr int kAfInet = 2;
inline constexpr int kAfInet6 = 23;
inline constexpr int kSockStream = 1;
inline constexpr int kIpProtoTcp = 6;
inline constexpr int kShutdownBoth = 2;
inline constexpr std::uint32_t kInaddrNone = 0xFFFFFFFFu;

// A socket address of either family. An IPv4 address fills the first four bytes, in network
// order; the port is in host order.
struct SocketAddress {
    int family = 0; // kAfInet or kAfInet6
    std::uint16_t port = 0;
    std::array<std::uint8_t, 16> bytes{};
    std::uint32_t scopeId = 0; // IPv6 only: the interface of a link-local address

    bool operator==(const SocketAddress&) const = default;
};

// Every call returns as its Windows Sockets namesake does: kSocketError or kNoSocket on failure,
// with the reason in LastError().
// A Send flag of our own: more of the same forwarding follows at once, so a layer whose system
// can hold a partly filled segment back for it (Linux's MSG_MORE) does so instead of sending a
// segment per chunk. The last send of a forwarding goes without it and pushes everything out;
// a layer without such a hint ignores it.
inline constexpr int kSendMoreFollows = 0x100000;

// One area a scatter read fills, and one piece of a gathered send.
struct ReceiveArea {
    char* data;
    int length;
};
struct SendPiece {
    const char* data;
    int length;
};
// The most areas or pieces one call takes (what every system's vector calls accept).
inline constexpr int kMaxIoPieces = 64;

class SocketsLayer {
public:
    virtual ~SocketsLayer() = default;

    // Whether the network layer can be used at all.
    virtual bool Startup() = 0;

    // family kAfInet or kAfInet6. An IPv6 socket takes IPv4 peers as well (IPV6_V6ONLY off), so
    // that one listener bound to the IPv6 any-address serves both families.
    virtual SocketHandle Socket(int family, int type, int protocol) = 0;
    virtual int Bind(SocketHandle s, const SocketAddress& address) = 0;
    virtual int Listen(SocketHandle s, int backlog) = 0;
    // The accepted socket is non-blocking, as the listening socket is. An IPv4 peer of an IPv6
    // listener is given as the IPv4 address it is, not in its IPv4-mapped IPv6 form.
    virtual SocketHandle Accept(SocketHandle s, SocketAddress* peer) = 0;
    virtual int Connect(SocketHandle s, const SocketAddress& address) = 0;
    // How a non-blocking connect stands, waiting up to `waitMs` (0: a look without waiting) for it
    // to end: 1 established, 0 still pending, kSocketError when the attempt failed, with its reason
    // in LastError() (10061 refused, 10051 or 10065 unreachable, 10060 timed out), or when the call
    // itself failed. A socket whose attempt has failed is of no further use.
    virtual int ConnectState(SocketHandle s, int waitMs) = 0;
    // select() with a write set of this one connected socket, waiting up to `timeoutMs`: 1 as soon
    // as a send would take bytes or report a failure, 0 when the time ran out, kSocketError when
    // the call fails.
    virtual int WaitWritable(SocketHandle s, int timeoutMs) = 0;
    // The same with a read set: 1 as soon as a receive would return bytes, the end of the stream
    // or a failure.
    virtual int WaitReadable(SocketHandle s, int timeoutMs) = 0;
    virtual int Recv(SocketHandle s, char* buffer, int length, int flags) = 0;
    // One read into up to kMaxIoPieces areas, each filled before the next is started: the bytes
    // and their cut into areas are those that one Recv per area, back to back, would return while
    // nothing new arrives; a read that leaves an area short ends there. Returns the total, 0 at
    // the end of the stream, or kSocketError as Recv does.
    virtual int RecvScatter(SocketHandle s, const ReceiveArea* areas, int count, int flags) = 0;
    // The relay sends only on non-blocking sockets: one send, which may hand over part of the
    // block, or kSocketError with 10035 (WSAEWOULDBLOCK) when the peer's buffer is full. On a
    // blocking socket it hands over the whole block or fails. `flags` may add kSendMoreFollows.
    virtual int Send(SocketHandle s, const char* data, int length, int flags) = 0;
    // One send of up to kMaxIoPieces pieces, in order, as if they were one block: on a
    // non-blocking socket it may hand over only the front of them. Same results and flags as Send.
    virtual int SendGather(SocketHandle s, const SendPiece* pieces, int count, int flags) = 0;
    virtual int SetNonBlocking(SocketHandle s, bool nonBlocking) = 0; // ioctlsocket FIONBIO
    virtual int SetTcpNoDelay(SocketHandle s, int value) = 0; // setsockopt TCP_NODELAY
    virtual int Shutdown(SocketHandle s, int how) = 0;
    virtual int CloseSocket(SocketHandle s) = 0;

    // A dotted IPv4 text in network byte order, kInaddrNone when the text is not one.
    virtual std::uint32_t InetAddr(const char* text) = 0;
    // Every address of a host name or address text, of both families, in the resolver's order,
    // with port 0. With `numericOnly` the text must be an address itself and nothing is looked up
    // (an IPv6 one may carry a scope: fe80::1%eth0). False when nothing was found, with the reason
    // (usually 11001 to 11004) in LastError(). The lookup of a name may block.
    virtual bool ResolveHost(const char* host, bool numericOnly, std::vector<SocketAddress>* addresses) = 0;

    virtual int LastError() = 0;
};

#endif
