#include "platform/posix/posix_sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <new>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

#include "platform/posix/socket_errors.h"

namespace {

// Owns one descriptor until it is released to its next owner; closes it otherwise.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) noexcept
        : fd_(fd)
    { }
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept
        : fd_(other.Release())
    { }
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const noexcept { return fd_; }
    bool Valid() const noexcept { return fd_ >= 0; }
    int Release() noexcept { return std::exchange(fd_, -1); }
    void Reset(int fd = -1) noexcept
    {
        if (fd_ >= 0 && fd_ != fd) {
            ::close(fd_); // Linux releases the descriptor even when close reports EINTR.
        }
        fd_ = fd;
    }

private:
    int fd_;
};

// Windows Sockets message flags (MSG_OOB 1, MSG_PEEK 2, MSG_DONTROUTE 4, Winsock 2's
// MSG_WAITALL 8) as POSIX flags; false for a flag with no meaning here.
bool TranslateFlags(int flags, int& posixFlags)
{
    struct Flag {
        int windows;
        int posix;
    };
    static constexpr Flag kFlags[] = {{1, MSG_OOB}, {2, MSG_PEEK}, {4, MSG_DONTROUTE}, {8, MSG_WAITALL}};
    posixFlags = 0;
    for (const Flag& flag : kFlags) {
        if (flags & flag.windows) {
            posixFlags |= flag.posix;
            flags &= ~flag.windows;
        }
    }
    return flags == 0;
}

bool ToSockaddr(const SocketAddressIn& address, sockaddr_in& out)
{
    if (address.family != kAfInet) {
        return false;
    }
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = address.port; // already in network byte order
    out.sin_addr.s_addr = address.address; // already in network byte order
    return true;
}

SocketAddressIn FromSockaddr(const sockaddr_in& address)
{
    SocketAddressIn out;
    out.family = kAfInet;
    out.port = address.sin_port;
    out.address = address.sin_addr.s_addr;
    return out;
}

int NewTcpSocket()
{
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}

} // namespace

PosixSockets::~PosixSockets()
{
    for (const SocketHandle s : owned_) {
        ::close(s);
    }
}

int PosixSockets::Fail(int code)
{
    lastError_ = code;
    return kSocketError;
}

int PosixSockets::FailErrno(int error)
{
    return Fail(WsaErrorFromErrno(error));
}

bool PosixSockets::Owns(SocketHandle s)
{
    if (s >= 0 && owned_.count(s) != 0) {
        return true;
    }
    Fail(kWsaEnotsock);
    return false;
}

SocketHandle PosixSockets::Adopt(int descriptor)
{
    UniqueFd fd(descriptor);
    try {
        owned_.insert(fd.Get());
    } catch (const std::bad_alloc&) {
        return Fail(kWsaEnobufs);
    }
    return fd.Release();
}

void PosixSockets::RememberReset(SocketHandle s)
{
    try {
        resetBySend_.insert(s);
    } catch (const std::bad_alloc&) {
        // Out of memory: the next read may then show the reset as an orderly close.
    }
}

bool PosixSockets::Startup()
{
    const UniqueFd probe(NewTcpSocket());
    if (!probe.Valid()) {
        FailErrno(errno);
        return false;
    }
    return true;
}

SocketHandle PosixSockets::Socket(int family, int type, int protocol)
{
    if (family != kAfInet) {
        return Fail(kWsaEafnosupport);
    }
    if (type != kSockStream) {
        return Fail(kWsaEsocktnosupport);
    }
    if (protocol != 0 && protocol != kIpProtoTcp) {
        return Fail(kWsaEprotonosupport);
    }
    const int fd = NewTcpSocket();
    if (fd < 0) {
        return FailErrno(errno);
    }
    return Adopt(fd);
}

int PosixSockets::Bind(SocketHandle s, const SocketAddressIn& address)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    sockaddr_in local;
    if (!ToSockaddr(address, local)) {
        return Fail(kWsaEafnosupport);
    }
    // On Linux SO_REUSEADDR must be set before bind() to let the port be taken while old
    // connections on it sit in TIME_WAIT. It never lets two sockets listen on one port.
    const int on = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        return FailErrno(errno);
    }
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return FailErrno(errno);
    }
    return 0;
}

int PosixSockets::Listen(SocketHandle s, int backlog)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    return ::listen(s, backlog) == 0 ? 0 : FailErrno(errno);
}

SocketHandle PosixSockets::Accept(SocketHandle s, SocketAddressIn* peer)
{
    if (!Owns(s)) {
        return kNoSocket;
    }
    sockaddr_in remote{};
    int fd = -1;
    do {
        socklen_t length = sizeof remote;
        // Linux accepted sockets do not inherit O_NONBLOCK; the relay needs them non-blocking.
        fd = ::accept4(s, reinterpret_cast<sockaddr*>(&remote), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return Fail(WsaErrorFromAcceptErrno(errno));
    }
    if (peer != nullptr) {
        *peer = FromSockaddr(remote);
    }
    return Adopt(fd);
}

int PosixSockets::Connect(SocketHandle s, const SocketAddressIn& address)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    sockaddr_in remote;
    if (!ToSockaddr(address, remote)) {
        return Fail(kWsaEafnosupport);
    }
    if (::connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
        return 0;
    }
    // EINPROGRESS (a non-blocking connect under way) reads 10035 through the errno table. A TCP
    // connect's EAGAIN, though, means the kernel ran short of resources: not "pending".
    return errno == EAGAIN ? Fail(kWsaEnobufs) : FailErrno(errno);
}

int PosixSockets::SelectWritable(SocketHandle s)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    pollfd look{s, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&look, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        return FailErrno(errno);
    }
    if (look.revents & POLLNVAL) {
        return Fail(kWsaEnotsock);
    }
    if (!(look.revents & POLLOUT)) {
        return 0;
    }
    // A refused attempt and a socket never connected can be "writable" too; only an established
    // connection has a peer. SO_ERROR is not read: reading clears it, and the next look would take
    // the failed attempt for a connection.
    sockaddr_in remote{};
    socklen_t length = sizeof remote;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&remote), &length) == 0) {
        return 1;
    }
    return errno == ENOTCONN ? 0 : FailErrno(errno);
}

int PosixSockets::WaitWritable(SocketHandle s, int timeoutMs)
{
    return WaitFor(s, POLLOUT, timeoutMs);
}

int PosixSockets::WaitReadable(SocketHandle s, int timeoutMs)
{
    return WaitFor(s, POLLIN, timeoutMs);
}

int PosixSockets::WaitFor(SocketHandle s, short events, int timeoutMs)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    pollfd look{s, events, 0};
    int ready;
    do {
        ready = ::poll(&look, 1, timeoutMs); // a signal only shortens the wait
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        return FailErrno(errno);
    }
    if (look.revents & POLLNVAL) {
        return Fail(kWsaEnotsock);
    }
    // POLLERR and POLLHUP too: the send or receive that follows reports what happened.
    return ready > 0 ? 1 : 0;
}

template<typename Piece>
bool PosixSockets::CheckVector(SocketHandle s, const Piece* pieces, int count, int flags, int& posixFlags)
{
    if (!Owns(s)) {
        return false;
    }
    if (count < 1 || count > kMaxIoPieces || pieces == nullptr) {
        Fail(kWsaEinval);
        return false;
    }
    long long total = 0;
    for (int i = 0; i < count; ++i) {
        if (pieces[i].length < 0) {
            Fail(kWsaEinval);
            return false;
        }
        if (pieces[i].data == nullptr && pieces[i].length > 0) {
            Fail(kWsaEfault);
            return false;
        }
        total += pieces[i].length;
    }
    if (total > INT_MAX) {
        Fail(kWsaEinval);
        return false;
    }
    if (!TranslateFlags(flags, posixFlags)) {
        Fail(kWsaEopnotsupp);
        return false;
    }
    return true;
}

int PosixSockets::Recv(SocketHandle s, char* buffer, int length, int flags)
{
    const ReceiveArea area{buffer, length};
    return RecvScatter(s, &area, 1, flags);
}

int PosixSockets::RecvScatter(SocketHandle s, const ReceiveArea* areas, int count, int flags)
{
    int posixFlags = 0;
    if (!CheckVector(s, areas, count, flags, posixFlags)) {
        return kSocketError;
    }
    iovec vector[kMaxIoPieces];
    std::size_t length = 0;
    for (int i = 0; i < count; ++i) {
        vector[i] = {areas[i].data, static_cast<std::size_t>(areas[i].length)};
        length += vector[i].iov_len;
    }
    msghdr message{};
    message.msg_iov = vector;
    message.msg_iovlen = static_cast<std::size_t>(count);
    for (;;) {
        const ssize_t received = ::recvmsg(s, &message, posixFlags);
        if (received > 0 || (received == 0 && length == 0)) {
            return static_cast<int>(received);
        }
        // Linux reports a reset once: when a send met it, the reads after it find an orderly
        // close (or nothing). Windows Sockets goes on reporting the reset, and so do we.
        if (resetBySend_.count(s) != 0) {
            return Fail(kWsaEconnreset);
        }
        if (received == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return FailErrno(errno);
        }
    }
}

int PosixSockets::Send(SocketHandle s, const char* data, int length, int flags)
{
    const SendPiece piece{data, length};
    return SendGather(s, &piece, 1, flags);
}

int PosixSockets::SendGather(SocketHandle s, const SendPiece* pieces, int count, int flags)
{
    int posixFlags = 0;
    if (!CheckVector(s, pieces, count, flags & ~kSendMoreFollows, posixFlags)) {
        return kSocketError;
    }
    if (flags & kSendMoreFollows) {
        posixFlags |= MSG_MORE;
    }
    const int status = ::fcntl(s, F_GETFL);
    if (status < 0) {
        return FailErrno(errno);
    }
    const bool blocking = (status & O_NONBLOCK) == 0;
    iovec vector[kMaxIoPieces];
    int length = 0;
    for (int i = 0; i < count; ++i) {
        vector[i] = {const_cast<char*>(pieces[i].data), static_cast<std::size_t>(pieces[i].length)};
        length += pieces[i].length;
    }
    msghdr message{};
    message.msg_iov = vector;
    message.msg_iovlen = static_cast<std::size_t>(count);
    int sent = 0;
    for (;;) {
        const ssize_t n = ::sendmsg(s, &message, posixFlags | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == ECONNRESET || errno == EPIPE) {
                RememberReset(s);
            }
            // Blocking: the whole block or failure. Non-blocking: this one send moved nothing.
            return FailErrno(errno);
        }
        sent += static_cast<int>(n);
        if (!blocking || sent >= length) {
            return sent;
        }
        if (n == 0) {
            return Fail(kWsaEnobufs); // TCP never does this; guard against spinning forever.
        }
        // A blocking send interrupted part way goes on from the first byte not taken.
        auto taken = static_cast<std::size_t>(n);
        while (taken >= message.msg_iov->iov_len) {
            taken -= message.msg_iov->iov_len;
            ++message.msg_iov;
            --message.msg_iovlen;
        }
        message.msg_iov->iov_base = static_cast<char*>(message.msg_iov->iov_base) + taken;
        message.msg_iov->iov_len -= taken;
    }
}

int PosixSockets::SetNonBlocking(SocketHandle s, bool nonBlocking)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    int on = nonBlocking ? 1 : 0;
    return ::ioctl(s, FIONBIO, &on) == 0 ? 0 : FailErrno(errno);
}

int PosixSockets::SetTcpNoDelay(SocketHandle s, int value)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    return ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0 ? 0 : FailErrno(errno);
}

int PosixSockets::Shutdown(SocketHandle s, int how)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    static constexpr int kHow[] = {SHUT_RD, SHUT_WR, SHUT_RDWR};
    if (how < 0 || how > kShutdownBoth) {
        return Fail(kWsaEinval);
    }
    return ::shutdown(s, kHow[how]) == 0 ? 0 : FailErrno(errno);
}

int PosixSockets::CloseSocket(SocketHandle s)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    owned_.erase(s);
    resetBySend_.erase(s);
    // The descriptor is gone whatever close reports (Linux), so it is never closed twice; EINTR
    // in particular is no failure.
    if (::close(s) != 0 && errno != EINTR) {
        return FailErrno(errno);
    }
    return 0;
}

std::uint32_t PosixSockets::InetAddr(const char* text)
{
    return text == nullptr ? kInaddrNone : static_cast<std::uint32_t>(::inet_addr(text));
}

bool PosixSockets::GetHostByName(const char* name, std::uint32_t* address)
{
    if (name == nullptr || address == nullptr) {
        Fail(kWsaEfault);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    errno = 0;
    const int result = ::getaddrinfo(name, nullptr, &hints, &found);
    const int systemError = errno;
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owner(found, [](addrinfo* list) { ::freeaddrinfo(list); });
    if (result != 0) {
        Fail(WsaErrorFromAddrInfo(result, systemError));
        return false;
    }
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in ipv4;
            std::memcpy(&ipv4, entry->ai_addr, sizeof ipv4);
            *address = ipv4.sin_addr.s_addr;
            return true;
        }
    }
    Fail(kWsaNoData);
    return false;
}
