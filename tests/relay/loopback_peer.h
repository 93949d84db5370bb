// Plain blocking loopback sockets for the peers of a relay test: a listener on a free port and
// connections with bounded waits. On Windows they need Windows Sockets started, as the relay
// harness's sockets layer does.
#ifndef BRINDLE_TESTS_LOOPBACK_PEER_H
#define BRINDLE_TESTS_LOOPBACK_PEER_H

#include <chrono>
#include <string>

// An owned descriptor (on Windows a SOCKET, whose values are small in practice).
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd)
        : fd_(fd)
    { }
    ~Descriptor();
    Descriptor(Descriptor&& other) noexcept
        : fd_(other.Release())
    { }
    Descriptor& operator=(Descriptor&& other) noexcept;
    int Get() const { return fd_; }
    int Release();
    bool Valid() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Deterministic pseudo-random bytes to send through the relay.
std::string RandomBytes(std::size_t size, unsigned seed);

// A port on 127.0.0.1 that nothing listens on right now.
int FreeLoopbackPort();

// Listens on 127.0.0.1:port (0: any free port).
Descriptor ListenLoopback(int port, int* boundPort = nullptr);
// Waits up to `timeout` for a connection; invalid on time-out.
Descriptor AcceptWithin(const Descriptor& listener, std::chrono::milliseconds timeout);
Descriptor ConnectLoopback(int port);
// The local port a socket is bound to (ours or a sockets layer's handle); -1 on failure.
int LocalPort(int socket);

// Sends everything (blocking); false on failure.
bool SendAll(const Descriptor& socket, const std::string& bytes);
// Reads until the peer closes, `limit` bytes have come, or `timeout` passes.
std::string ReadUntilClosed(const Descriptor& socket, std::size_t limit, std::chrono::milliseconds timeout);
// Reads until `marker` has arrived (e.g. the blank line that ends an HTTP head), the peer
// closes, or `timeout` passes.
std::string ReadUntilMarker(const Descriptor& socket, const std::string& marker, std::chrono::milliseconds timeout);
// Sends back everything it reads, as an echo server does, each piece with a blocking send before it
// reads on, until the peer closes or nothing comes for `idle`; returns how many bytes it echoed.
std::size_t Echo(const Descriptor& socket, std::chrono::milliseconds idle);
// Closes with a reset instead of an orderly close.
void ResetConnection(Descriptor& socket);

#endif
