// The sockets layer over POSIX (Linux): the Windows Sockets 1.1 calls of SocketsLayer on top of
// BSD sockets, with failures reported in Windows Sockets numbering.
//
// A handle is the socket's file descriptor. The layer owns every socket it hands out (Socket,
// Accept) until CloseSocket, and closes whatever is still open when it is destroyed; a handle it
// did not hand out, or has already closed, is refused with 10038 (WSAENOTSOCK), so a stale handle
// can never reach a descriptor that now belongs to someone else. Hence: close handles only through
// CloseSocket, never with ::close.
//
// One instance is used from one thread: LastError() is kept in the object.
#ifndef BRINDLE_PLATFORM_POSIX_POSIX_SOCKETS_H
#define BRINDLE_PLATFORM_POSIX_POSIX_SOCKETS_H

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "platform/sockets_layer.h"

class PosixSockets final : public SocketsLayer {
public:
    PosixSockets() = default;
    ~PosixSockets() override;
    PosixSockets(const PosixSockets&) = delete;
    PosixSockets& operator=(const PosixSockets&) = delete;

    // True when a TCP/IPv4 socket can be created (one is created and closed).
    bool Startup() override;

    // Only TCP over IPv4 or IPv6: family 2 or 23, type 1, protocol 6 (or 0). Close-on-exec,
    // blocking.
    SocketHandle Socket(int family, int type, int protocol) override;
    // Sets SO_REUSEADDR first, so that a port whose old connections sit in TIME_WAIT can be
    // listened on again at once; a port another socket listens on still fails with 10048.
    int Bind(SocketHandle s, const SocketAddress& address) override;
    int Listen(SocketHandle s, int backlog) override;
    // The accepted socket is non-blocking and close-on-exec whatever the listening socket is.
    SocketHandle Accept(SocketHandle s, SocketAddress* peer) override;
    // A non-blocking connect that has started fails with 10035.
    int Connect(SocketHandle s, const SocketAddress& address) override;
    // A failure is read from SO_ERROR, which that clears. A socket on which no connect was issued
    // stays pending.
    int ConnectState(SocketHandle s, int waitMs) override;
    int WaitWritable(SocketHandle s, int timeoutMs) override;
    int WaitReadable(SocketHandle s, int timeoutMs) override;
    // Once a send on the socket has met a reset (ECONNRESET or EPIPE), every read that finds no
    // data fails with 10054 (WSAECONNRESET), as on Windows, where Linux would report an orderly
    // close.
    int Recv(SocketHandle s, char* buffer, int length, int flags) override;
    // recvmsg() over the areas; reports as Recv does.
    int RecvScatter(SocketHandle s, const ReceiveArea* areas, int count, int flags) override;
    // Never raises SIGPIPE. Blocking socket: the whole block or kSocketError (it goes on over
    // partial writes and signals). Non-blocking socket: one send, which may be partial.
    int Send(SocketHandle s, const char* data, int length, int flags) override;
    // sendmsg() over the pieces; behaves as Send does.
    int SendGather(SocketHandle s, const SendPiece* pieces, int count, int flags) override;
    int SetNonBlocking(SocketHandle s, bool nonBlocking) override;
    int SetTcpNoDelay(SocketHandle s, int value) override;
    // how: 0 receive, 1 send, 2 both.
    int Shutdown(SocketHandle s, int how) override;
    int CloseSocket(SocketHandle s) override;

    std::uint32_t InetAddr(const char* text) override;
    // getaddrinfo() with no family preference.
    bool ResolveHost(const char* host, bool numericOnly, std::vector<SocketAddress>* addresses) override;

    int LastError() override { return lastError_; }

    // How many of the sockets this layer handed out are still open.
    std::size_t OpenSocketCount() const { return owned_.size(); }

private:
    // Records the reason and returns kSocketError (which is also kNoSocket).
    int Fail(int code);
    int FailErrno(int error);
    // False, with 10038, for a handle this layer did not hand out or has closed.
    bool Owns(SocketHandle s);
    // What the reads and sends check before touching the socket: ownership, the count of areas or
    // pieces, their lengths (which must add up to an int) and buffers, and the flags; false with
    // the reason recorded.
    template<typename Piece>
    bool CheckVector(SocketHandle s, const Piece* pieces, int count, int flags, int& posixFlags);
    // poll() for `events` on one socket: 1 ready (errors and hang-ups too), 0 timed out.
    int WaitFor(SocketHandle s, short events, int timeoutMs);
    // Takes ownership of a fresh descriptor; closes it and fails if it cannot be tracked.
    SocketHandle Adopt(int descriptor);
    void RememberReset(SocketHandle s);

    std::unordered_set<SocketHandle> owned_;
    // Sockets on which a send met a reset; forgotten when the socket is closed.
    std::unordered_set<SocketHandle> resetBySend_;
    int lastError_ = 0;
};

#endif
