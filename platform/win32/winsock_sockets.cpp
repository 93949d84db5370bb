#include "platform/win32/winsock_sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {

// Owns one system socket until it is released to the layer's table; closes it otherwise.
class UniqueSocket {
public:
    explicit UniqueSocket(SOCKET socket) noexcept
        : socket_(socket)
    { }
    ~UniqueSocket()
    {
        if (socket_ != INVALID_SOCKET)
            ::closesocket(socket_);
    }
    UniqueSocket(const UniqueSocket&) = delete;
    UniqueSocket& operator=(const UniqueSocket&) = delete;

    SOCKET Get() const noexcept { return socket_; }
    SOCKET Release() noexcept { return std::exchange(socket_, INVALID_SOCKET); }

private:
    SOCKET socket_;
};

// A socket address in the system's form, with its length; 0 for a family the layer does not know,
// which the system then refuses.
int ToSockaddr(const SocketAddress& address, sockaddr_storage& out)
{
    out = {};
    if (address.family == kAfInet) {
        sockaddr_in ipv4{};
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(address.port);
        std::memcpy(&ipv4.sin_addr, address.bytes.data(), sizeof ipv4.sin_addr);
        std::memcpy(&out, &ipv4, sizeof ipv4);
        return sizeof ipv4;
    }
    if (address.family == kAfInet6) {
        sockaddr_in6 ipv6{};
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(address.port);
        std::memcpy(&ipv6.sin6_addr, address.bytes.data(), sizeof ipv6.sin6_addr);
        ipv6.sin6_scope_id = address.scopeId;
        std::memcpy(&out, &ipv6, sizeof ipv6);
        return sizeof ipv6;
    }
    return 0;
}

// The system's socket address as ours; an IPv4-mapped IPv6 address becomes the IPv4 address it
// carries. False for a family other than the two.
bool FromSockaddr(const sockaddr* address, std::size_t length, SocketAddress& out)
{
    out = {};
    if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
        sockaddr_in ipv4;
        std::memcpy(&ipv4, address, sizeof ipv4);
        out.family = kAfInet;
        out.port = ntohs(ipv4.sin_port);
        std::memcpy(out.bytes.data(), &ipv4.sin_addr, sizeof ipv4.sin_addr);
        return true;
    }
    if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
        sockaddr_in6 ipv6;
        std::memcpy(&ipv6, address, sizeof ipv6);
        out.port = ntohs(ipv6.sin6_port);
        if (IN6_IS_ADDR_V4MAPPED(&ipv6.sin6_addr)) {
            out.family = kAfInet;
            std::memcpy(out.bytes.data(), ipv6.sin6_addr.s6_addr + 12, 4);
            return true;
        }
        out.family = kAfInet6;
        std::memcpy(out.bytes.data(), &ipv6.sin6_addr, sizeof ipv6.sin6_addr);
        out.scopeId = ipv6.sin6_scope_id;
        return true;
    }
    return false;
}

int Fail(int code)
{
    ::WSASetLastError(code);
    return kSocketError;
}

// Closes first, so that the reason is not overwritten by the close.
int CloseAndFail(UniqueSocket& socket, int code)
{
    ::closesocket(socket.Release());
    return Fail(code);
}

int Result(int status)
{
    return status == SOCKET_ERROR ? kSocketError : status;
}

} // namespace

WinsockSockets::~WinsockSockets()
{
    for (const auto& [handle, open] : open_)
        ::closesocket(static_cast<SOCKET>(open.system));
    if (started_)
        ::WSACleanup();
}

bool WinsockSockets::Startup()
{
    if (started_)
        return true;
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    // A library that cannot speak 2.2 answers with the lowest version it has.
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        ::WSACleanup();
        return false;
    }
    started_ = true;
    return true;
}

WinsockSockets::OpenSocket* WinsockSockets::Find(SocketHandle s)
{
    const auto found = open_.find(s);
    if (found == open_.end()) {
        Fail(WSAENOTSOCK);
        return nullptr;
    }
    return &found->second;
}

SocketHandle WinsockSockets::Adopt(std::uintptr_t system, bool nonBlocking)
{
    UniqueSocket socket(static_cast<SOCKET>(system));
    // SOCKET values are small in practice, but the type is pointer-sized.
    if (system > static_cast<std::uintptr_t>(INT_MAX))
        return CloseAndFail(socket, WSAEMFILE);
    const SocketHandle handle = static_cast<SocketHandle>(system);
    try {
        open_.emplace(handle, OpenSocket{system, nonBlocking});
    } catch (const std::bad_alloc&) {
        return CloseAndFail(socket, WSAENOBUFS);
    }
    socket.Release();
    return handle;
}

SocketHandle WinsockSockets::Socket(int family, int type, int protocol)
{
    UniqueSocket created(::socket(family, type, protocol));
    if (created.Get() == INVALID_SOCKET)
        return kNoSocket;
    // Windows makes an IPv6 socket IPv6-only by default; the listener relies on both families.
    const DWORD off = 0;
    if (family == AF_INET6
        && ::setsockopt(created.Get(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off), sizeof off)
            == SOCKET_ERROR)
        return CloseAndFail(created, ::WSAGetLastError());
    return Adopt(created.Release(), false);
}

int WinsockSockets::Bind(SocketHandle s, const SocketAddress& address)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    sockaddr_storage local;
    const int length = ToSockaddr(address, local);
    if (length == 0)
        return Fail(WSAEAFNOSUPPORT);
    return Result(::bind(open->system, reinterpret_cast<const sockaddr*>(&local), length));
}

int WinsockSockets::Listen(SocketHandle s, int backlog)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    return Result(::listen(open->system, backlog));
}

SocketHandle WinsockSockets::Accept(SocketHandle s, SocketAddress* peer)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kNoSocket;
    sockaddr_storage remote{};
    int length = sizeof remote;
    UniqueSocket accepted(::accept(open->system, reinterpret_cast<sockaddr*>(&remote), &length));
    if (accepted.Get() == INVALID_SOCKET)
        return kNoSocket;
    // Inherited from a non-blocking listener on Windows, but the relay depends on it: set it.
    u_long on = 1;
    if (::ioctlsocket(accepted.Get(), FIONBIO, &on) == SOCKET_ERROR)
        return CloseAndFail(accepted, ::WSAGetLastError());
    const SocketHandle handle = Adopt(accepted.Release(), true);
    if (handle != kNoSocket && peer != nullptr)
        FromSockaddr(reinterpret_cast<const sockaddr*>(&remote), sizeof remote, *peer);
    return handle;
}

int WinsockSockets::Connect(SocketHandle s, const SocketAddress& address)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    sockaddr_storage remote;
    const int length = ToSockaddr(address, remote);
    if (length == 0)
        return Fail(WSAEAFNOSUPPORT);
    return Result(::connect(open->system, reinterpret_cast<const sockaddr*>(&remote), length));
}

int WinsockSockets::ConnectState(SocketHandle s, int waitMs)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    const SOCKET system = open->system;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(system, &writable);
    FD_SET(system, &failed);
    waitMs = waitMs < 0 ? 0 : waitMs;
    timeval wait{waitMs / 1000, (waitMs % 1000) * 1000};
    if (::select(0, nullptr, &writable, &failed, &wait) == SOCKET_ERROR)
        return kSocketError;
    // Windows reports a failed attempt in the except set only, with its reason in SO_ERROR.
    if (FD_ISSET(system, &failed)) {
        int error = 0;
        int length = sizeof error;
        if (::getsockopt(system, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == SOCKET_ERROR)
            return kSocketError;
        return Fail(error != 0 ? error : WSAECONNREFUSED);
    }
    return FD_ISSET(system, &writable) ? 1 : 0;
}

int WinsockSockets::WaitWritable(SocketHandle s, int timeoutMs)
{
    return WaitFor(s, false, timeoutMs);
}

int WinsockSockets::WaitReadable(SocketHandle s, int timeoutMs)
{
    return WaitFor(s, true, timeoutMs);
}

int WinsockSockets::WaitFor(SocketHandle s, bool readable, int timeoutMs)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(open->system, &ready);
    FD_SET(open->system, &failed);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int count
        = readable ? ::select(0, &ready, nullptr, &failed, &wait) : ::select(0, nullptr, &ready, &failed, &wait);
    if (count == SOCKET_ERROR)
        return kSocketError;
    return count > 0 ? 1 : 0;
}

int WinsockSockets::Recv(SocketHandle s, char* buffer, int length, int flags)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    return Result(::recv(open->system, buffer, length, flags));
}

int WinsockSockets::RecvScatter(SocketHandle s, const ReceiveArea* areas, int count, int flags)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    if (count < 1 || count > kMaxIoPieces || areas == nullptr)
        return Fail(WSAEINVAL);
    WSABUF buffers[kMaxIoPieces];
    for (int i = 0; i < count; ++i) {
        if (areas[i].length < 0)
            return Fail(WSAEINVAL);
        buffers[i].len = static_cast<ULONG>(areas[i].length);
        buffers[i].buf = areas[i].data;
    }
    DWORD received = 0;
    auto systemFlags = static_cast<DWORD>(flags);
    if (::WSARecv(open->system, buffers, static_cast<DWORD>(count), &received, &systemFlags, nullptr, nullptr)
        == SOCKET_ERROR)
        return kSocketError;
    return static_cast<int>(received);
}

int WinsockSockets::Send(SocketHandle s, const char* data, int length, int flags)
{
    const SendPiece piece{data, length};
    return SendGather(s, &piece, 1, flags);
}

int WinsockSockets::SendGather(SocketHandle s, const SendPiece* pieces, int count, int flags)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    if (count < 1 || count > kMaxIoPieces || pieces == nullptr)
        return Fail(WSAEINVAL);
    WSABUF buffers[kMaxIoPieces];
    long long length = 0;
    for (int i = 0; i < count; ++i) {
        if (pieces[i].length < 0)
            return Fail(WSAEINVAL);
        buffers[i].len = static_cast<ULONG>(pieces[i].length);
        // WSASend takes the same structure as WSARecv and only reads through it.
        buffers[i].buf = const_cast<char*>(pieces[i].data);
        length += pieces[i].length;
    }
    if (length > INT_MAX)
        return Fail(WSAEINVAL);
    const auto systemFlags = static_cast<DWORD>(flags & ~kSendMoreFollows); // Windows Sockets has no such hint
    WSABUF* next = buffers;
    auto left = static_cast<DWORD>(count);
    int sent = 0;
    // Each round moves at least one byte or ends, so there are at most `length` rounds.
    for (;;) {
        DWORD moved = 0;
        if (::WSASend(open->system, next, left, &moved, systemFlags, nullptr, nullptr) == SOCKET_ERROR)
            return kSocketError;
        sent += static_cast<int>(moved);
        if (open->nonBlocking || sent >= length)
            return sent;
        if (moved == 0)
            return Fail(WSAENOBUFS); // TCP never does this; guard against spinning forever.
        // A blocking send that went part way goes on from the first byte not taken.
        while (moved >= next->len) {
            moved -= next->len;
            ++next;
            --left;
        }
        next->buf += moved;
        next->len -= moved;
    }
}

int WinsockSockets::SetNonBlocking(SocketHandle s, bool nonBlocking)
{
    OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    u_long on = nonBlocking ? 1 : 0;
    if (::ioctlsocket(open->system, FIONBIO, &on) == SOCKET_ERROR)
        return kSocketError;
    open->nonBlocking = nonBlocking;
    return 0;
}

int WinsockSockets::SetTcpNoDelay(SocketHandle s, int value)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    return Result(
        ::setsockopt(open->system, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value), sizeof value));
}

int WinsockSockets::Shutdown(SocketHandle s, int how)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    return Result(::shutdown(open->system, how));
}

int WinsockSockets::CloseSocket(SocketHandle s)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    // A socket that could not be closed (only a lingering non-blocking one) stays ours, and the
    // destructor tries again.
    if (::closesocket(open->system) == SOCKET_ERROR)
        return kSocketError;
    open_.erase(s);
    return 0;
}

std::uint32_t WinsockSockets::InetAddr(const char* text)
{
    return text == nullptr ? kInaddrNone : static_cast<std::uint32_t>(::inet_addr(text));
}

bool WinsockSockets::ResolveHost(const char* host, bool numericOnly, std::vector<SocketAddress>* addresses)
{
    if (host == nullptr || addresses == nullptr) {
        Fail(WSAEFAULT);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = numericOnly ? AI_NUMERICHOST : 0;
    addrinfo* found = nullptr;
    // Windows' getaddrinfo returns the Windows Sockets code itself (11001 for an unknown name).
    const int result = ::getaddrinfo(host, nullptr, &hints, &found);
    if (result != 0) {
        Fail(result);
        return false;
    }
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owner(found, [](addrinfo* list) { ::freeaddrinfo(list); });
    addresses->clear();
    try {
        for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
            SocketAddress address;
            if (entry->ai_addr != nullptr && FromSockaddr(entry->ai_addr, entry->ai_addrlen, address))
                addresses->push_back(address);
        }
    } catch (const std::bad_alloc&) {
        Fail(WSAENOBUFS);
        return false;
    }
    if (addresses->empty()) {
        Fail(WSANO_DATA);
        return false;
    }
    return true;
}

int WinsockSockets::LastError()
{
    return ::WSAGetLastError();
}
