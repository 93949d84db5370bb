#include "platform/win32/winsock_sockets.h"

#include <winsock2.h>

#include <climits>
#include <cstddef>
#include <cstring>
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

// Port and address are in network byte order on both sides; the family is passed as given, so
// that the system judges it.
sockaddr_in ToSockaddr(const SocketAddressIn& address)
{
    sockaddr_in out{};
    out.sin_family = address.family;
    out.sin_port = address.port;
    out.sin_addr.s_addr = address.address;
    return out;
}

SocketAddressIn FromSockaddr(const sockaddr_in& address)
{
    SocketAddressIn out;
    out.family = address.sin_family;
    out.port = address.sin_port;
    out.address = address.sin_addr.s_addr;
    return out;
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
    if (::WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return false;
    // A library that cannot speak 1.1 answers with the lowest version it has.
    if (LOBYTE(data.wVersion) != 1 || HIBYTE(data.wVersion) != 1) {
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
    const SOCKET created = ::socket(family, type, protocol);
    if (created == INVALID_SOCKET)
        return kNoSocket;
    return Adopt(created, false);
}

int WinsockSockets::Bind(SocketHandle s, const SocketAddressIn& address)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    const sockaddr_in local = ToSockaddr(address);
    return Result(::bind(open->system, reinterpret_cast<const sockaddr*>(&local), sizeof local));
}

int WinsockSockets::Listen(SocketHandle s, int backlog)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    return Result(::listen(open->system, backlog));
}

SocketHandle WinsockSockets::Accept(SocketHandle s, SocketAddressIn* peer)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kNoSocket;
    sockaddr_in remote{};
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
        *peer = FromSockaddr(remote);
    return handle;
}

int WinsockSockets::Connect(SocketHandle s, const SocketAddressIn& address)
{
    const OpenSocket* open = Find(s);
    if (open == nullptr)
        return kSocketError;
    const sockaddr_in remote = ToSockaddr(address);
    return Result(::connect(open->system, reinterpret_cast<const sockaddr*>(&remote), sizeof remote));
}

int WinsockSockets::SelectWritable(SocketHandle s)
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
    timeval now{0, 0};
    if (::select(0, nullptr, &writable, &failed, &now) == SOCKET_ERROR)
        return kSocketError;
    // Windows reports a refused attempt in the except set only; a failed attempt never counts,
    // even where a write set says otherwise.
    if (FD_ISSET(system, &failed))
        return 0;
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

bool WinsockSockets::GetHostByName(const char* name, std::uint32_t* address)
{
    if (name == nullptr || address == nullptr) {
        Fail(WSAEFAULT);
        return false;
    }
    const hostent* host = ::gethostbyname(name);
    if (host == nullptr)
        return false;
    if (host->h_addrtype != AF_INET || host->h_length != sizeof *address || host->h_addr_list == nullptr
        || host->h_addr_list[0] == nullptr) {
        Fail(WSANO_DATA);
        return false;
    }
    std::memcpy(address, host->h_addr_list[0], sizeof *address);
    return true;
}

int WinsockSockets::LastError()
{
    return ::WSAGetLastError();
}
