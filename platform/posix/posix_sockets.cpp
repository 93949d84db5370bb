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

// A socket address in the system's form; false for a family it cannot be.
bool ToSockaddr(const SocketAddress& address, sockaddr_storage& out, socklen_t& length)
{
    out = {};
    if (address.family == kAfInet) {
        sockaddr_in ipv4{};
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(address.port);
        std::memcpy(&ipv4.sin_addr, address.bytes.data(), sizeof ipv4.sin_addr);
        std::memcpy(&out, &ipv4, sizeof ipv4);
        length = sizeof ipv4;
        return true;
    }
    if (address.family == kAfInet6) {
        sockaddr_in6 ipv6{};
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(address.port);
        std::memcpy(&ipv6.sin6_addr, address.bytes.data(), sizeof ipv6.sin6_addr);
        ipv6.sin6_scope_id = address.scopeId;
        std::memcpy(&out, &ipv6, sizeof ipv6);
        length = sizeof ipv6;
        return true;
    }
    return false;
}

// The system's socket address as ours; an IPv4-mapped IPv6 address becomes the IPv4 address it
// carries. False for a family other than the two.
bool FromSockaddr(const sockaddr* address, socklen_t length, SocketAddress& out)
{
    out = {};
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        sockaddr_in ipv4;
        std::memcpy(&ipv4, address, sizeof ipv4);
        out.family = kAfInet;
        out.port = ntohs(ipv4.sin_port);
        std::memcpy(out.bytes.data(), &ipv4.sin_addr, sizeof ipv4.sin_addr);
        return true;
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
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

int NewTcpSocket(int family)
{
    return ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
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
    const UniqueFd probe(NewTcpSocket(AF_INET));
    if (!probe.Valid()) {
        FailErrno(errno);
        return false;
    }
    return true;
}

SocketHandle PosixSockets::Socket(int family, int type, int protocol)
{
    if (family != kAfInet && family != kAfInet6) {
        return Fail(kWsaEafnosupport);
    }
    if (type != kSockStream) {
        return Fail(kWsaEsocktnosupport);
    }
    if (protocol != 0 && protocol != kIpProtoTcp) {
        return Fail(kWsaEprotonosupport);
    }
    UniqueFd fd(NewTcpSocket(family == kAfInet ? AF_INET : AF_INET6));
    if (!fd.Valid()) {
        return FailErrno(errno);
    }
    // Linux's default follows a system setting (bindv6only); the listener relies on both families.
    const int off = 0;
    if (family == kAfInet6 && ::setsockopt(fd.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) {
        return FailErrno(errno);
    }
    return Adopt(fd.Release());
}

int PosixSockets::Bind(SocketHandle s, const SocketAddress& address)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    sockaddr_storage local;
    socklen_t length = 0;
    if (!ToSockaddr(address, local, length)) {
        return Fail(kWsaEafnosupport);
    }
    // On Linux SO_REUSEADDR must be set before bind() to let the port be taken while old
    // connections on it sit in TIME_WAIT. It never lets two sockets listen on one port.
    const int on = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        return FailErrno(errno);
    }
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), length) != 0) {
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

SocketHandle PosixSockets::Accept(SocketHandle s, SocketAddress* peer)
{
    if (!Owns(s)) {
        return kNoSocket;
    }
    sockaddr_storage remote{};
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
        FromSockaddr(reinterpret_cast<const sockaddr*>(&remote), sizeof remote, *peer);
    }
    return Adopt(fd);
}

int PosixSockets::Connect(SocketHandle s, const SocketAddress& address)
{
    if (!Owns(s)) {
        return kSocketError;
    }
    sockaddr_storage remote;
    socklen_t length = 0;
    if (!ToSockaddr(address, remote, length)) {
        return Fail(kWsaEafnosupport);
    }
    if (::connect(s, reinterpret_cast<const sockaddr*>(&remote), length) == 0) {
        return 0;
    }
    // EINPROGRESS (a non-blocking connect under way) reads 10035 through the errno table. A TCP
    // connect's EAGAIN, though, means the kernel ran short of resources: not "pending".
    return errno == EAGAIN ? Fail(kWsaEnobufs) : FailErrno(errno);
}

int PosixSockets::ConnectState(SocketHandle s, int waitMs)
{
    const int ready = WaitFor(s, POLLOUT, waitMs < 0 ? 0 : waitMs);
    if (ready <= 0) {
        return ready;
    }
    // A failed attempt shows as writable (with POLLERR) too; its reason waits in SO_ERROR.
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return FailErrno(errno);
    }
    if (error != 0) {
        return FailErrno(error);
    }
    // A socket never connected is "writable" as well; only an established connection has a peer.
    sockaddr_storage remote{};
    socklen_t remoteLength = sizeof remote;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&remote), &remoteLength) == 0) {
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

bool PosixSockets::ResolveHost(const char* host, bool numericOnly, std::vector<SocketAddress>* addresses)
{
    if (host == nullptr || addresses == nullptr) {
        Fail(kWsaEfault);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = numericOnly ? AI_NUMERICHOST : 0;
    addrinfo* found = nullptr;
    errno = 0;
    const int result = ::getaddrinfo(host, nullptr, &hints, &found);
    const int systemError = errno;
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owner(found, [](addrinfo* list) { ::freeaddrinfo(list); });
    if (result != 0) {
        Fail(WsaErrorFromAddrInfo(result, systemError));
        return false;
    }
    addresses->clear();
    try {
        for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
            SocketAddress address;
            if (entry->ai_addr != nullptr && FromSockaddr(entry->ai_addr, entry->ai_addrlen, address)) {
                addresses->push_back(address);
            }
        }
    } catch (const std::bad_alloc&) {
        Fail(kWsaEnobufs);
        return false;
    }
    if (addresses->empty()) {
        Fail(kWsaNoData);
        return false;
    }
    return true;
}
