#include "loopback_peer.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <random>

namespace {

#ifdef _WIN32
// SOCKET values are small in practice; INVALID_SOCKET becomes -1.
using socklen_t = int;
constexpr int kNoSignal = 0;
SOCKET System(int fd)
{
    return static_cast<SOCKET>(fd);
}
int NewTcpSocket()
{
    return static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
}
void CloseSystemSocket(int fd)
{
    ::closesocket(System(fd));
}
bool WaitReadable(int fd, int milliseconds)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(System(fd), &readable);
    timeval wait{milliseconds / 1000, milliseconds % 1000 * 1000};
    return ::select(0, &readable, nullptr, nullptr, &wait) == 1;
}
int AcceptSystem(int fd)
{
    return static_cast<int>(::accept(System(fd), nullptr, nullptr));
}
#else
constexpr int kNoSignal = MSG_NOSIGNAL;
int System(int fd)
{
    return fd;
}
int NewTcpSocket()
{
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
void CloseSystemSocket(int fd)
{
    ::close(fd);
}
bool WaitReadable(int fd, int milliseconds)
{
    pollfd look{fd, POLLIN, 0};
    return ::poll(&look, 1, milliseconds) == 1;
}
int AcceptSystem(int fd)
{
    return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
}
#endif

} // namespace

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

Descriptor::~Descriptor()
{
    if (fd_ >= 0)
        CloseSystemSocket(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            CloseSystemSocket(fd_);
        fd_ = other.Release();
    }
    return *this;
}

int Descriptor::Release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

namespace {

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

Descriptor ListenLoopback(int port, int* boundPort)
{
    Descriptor socket(NewTcpSocket());
#ifndef _WIN32
    // Windows' SO_REUSEADDR would let the port be taken from a listener already on it.
    const int on = 1;
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
    sockaddr_in address = Loopback(port);
    if (::bind(System(socket.Get()), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(System(socket.Get()), 16) != 0)
        return {};
    if (boundPort != nullptr)
        *boundPort = LocalPort(socket.Get());
    return socket;
}

int LocalPort(int socket)
{
    // Room for an IPv6 address too; the port sits in the same place in both families.
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(System(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

int FreeLoopbackPort()
{
    int port = 0;
    ListenLoopback(0, &port);
    return port;
}

Descriptor AcceptWithin(const Descriptor& listener, std::chrono::milliseconds timeout)
{
    if (!WaitReadable(listener.Get(), static_cast<int>(timeout.count())))
        return {};
    return Descriptor(AcceptSystem(listener.Get()));
}

Descriptor ConnectLoopback(int port)
{
    Descriptor socket(NewTcpSocket());
    sockaddr_in address = Loopback(port);
    if (::connect(System(socket.Get()), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return {};
    return socket;
}

bool SendAll(const Descriptor& socket, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(System(socket.Get()), bytes.data() + sent,
            static_cast<int>(std::min<std::size_t>(bytes.size() - sent, 1 << 20)), kNoSignal);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

namespace {

template<typename Done> std::string ReadWhile(const Descriptor& socket, std::chrono::milliseconds timeout, Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string received;
    char buffer[65536];
    while (!done(received)) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        if (!WaitReadable(socket.Get(), static_cast<int>(left.count())))
            break;
        const ssize_t n = ::recv(System(socket.Get()), buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        received.append(buffer, static_cast<std::size_t>(n));
    }
    return received;
}

} // namespace

std::string ReadUntilClosed(const Descriptor& socket, std::size_t limit, std::chrono::milliseconds timeout)
{
    return ReadWhile(socket, timeout, [limit](const std::string& received) { return received.size() >= limit; });
}

std::string ReadUntilMarker(const Descriptor& socket, const std::string& marker, std::chrono::milliseconds timeout)
{
    return ReadWhile(
        socket, timeout, [&marker](const std::string& received) { return received.find(marker) != std::string::npos; });
}

std::size_t Echo(const Descriptor& socket, std::chrono::milliseconds idle)
{
    std::size_t echoed = 0;
    std::string piece(65536, '\0');
    while (WaitReadable(socket.Get(), static_cast<int>(idle.count()))) {
        const ssize_t n = ::recv(System(socket.Get()), piece.data(), static_cast<int>(piece.size()), 0);
        if (n <= 0 || !SendAll(socket, piece.substr(0, static_cast<std::size_t>(n))))
            break;
        echoed += static_cast<std::size_t>(n);
    }
    return echoed;
}

void ResetConnection(Descriptor& socket)
{
    const linger hard{1, 0};
    ::setsockopt(System(socket.Get()), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    socket = Descriptor();
}
