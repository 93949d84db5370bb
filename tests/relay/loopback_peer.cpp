#include "loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

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
        ::close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
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
    Descriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = Loopback(port);
    if (::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(socket.Get(), 16) != 0)
        return {};
    socklen_t length = sizeof address;
    ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    if (boundPort != nullptr)
        *boundPort = ntohs(address.sin_port);
    return socket;
}

int FreeLoopbackPort()
{
    int port = 0;
    ListenLoopback(0, &port);
    return port;
}

Descriptor AcceptWithin(const Descriptor& listener, std::chrono::milliseconds timeout)
{
    pollfd look{listener.Get(), POLLIN, 0};
    if (::poll(&look, 1, static_cast<int>(timeout.count())) != 1)
        return {};
    return Descriptor(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
}

Descriptor ConnectLoopback(int port)
{
    Descriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(port);
    if (::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return {};
    return socket;
}

bool SendAll(const Descriptor& socket, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
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
        pollfd look{socket.Get(), POLLIN, 0};
        if (::poll(&look, 1, static_cast<int>(left.count())) != 1)
            break;
        const ssize_t n = ::recv(socket.Get(), buffer, sizeof buffer, 0);
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

void ResetConnection(Descriptor& socket)
{
    const linger hard{1, 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    socket = Descriptor();
}
