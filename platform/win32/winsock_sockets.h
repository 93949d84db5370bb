// The sockets layer over Windows Sockets 2 (ws2_32). Error codes are the
// system's own, straight from WSAGetLastError.
//
// A handle is the system's SOCKET value, handed out only when it fits in a SocketHandle. The layer
// owns every socket it hands out (Socket, Accept) until CloseSocket, and closes whatever is still
// open when it is destroyed; a handle it did not hand out, or has already closed, is refused with
// 10038 (WSAENOTSOCK), so a stale handle never reaches a socket that now belongs to someone else.
//
// One instance is used from one thread.
#ifndef BRINDLE_PLATFORM_WIN32_WINSOCK_SOCKETS_H
#define BRINDLE_PLATFORM_WIN32_WINSOCK_SOCKETS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "platform/sockets_layer.h"

class WinsockSockets final : public SocketsLayer {
public:
    WinsockSockets() = default;
    // Closes every socket still open and, after a successful Startup(), ends the library's use.
    ~WinsockSockets() override;
    WinsockSockets(const WinsockSockets&) = delete;
    WinsockSockets& operator=(const WinsockSockets&) = delete;

    // WSAStartup asking for 2.2; false when it fails or the library cannot give 2.2.
    bool Startup() override;

    SocketHandle Socket(int family, int type, int protocol) override;
    int Bind(SocketHandle s, const SocketAddress& address) override;
    int Listen(SocketHandle s, int backlog) override;
    // The accepted socket is made non-blocking explicitly, whatever it inherits.
    SocketHandle Accept(SocketHandle s, SocketAddress* peer) override;
    // A non-blocking connect that has started fails with 10035.
    int Connect(SocketHandle s, const SocketAddress& address) override;
    // select() with a write and an except set: a failed attempt shows in the except set, its
    // reason in SO_ERROR. A socket on which no connect was issued stays pending.
    int ConnectState(SocketHandle s, int waitMs) override;
    // Also 1 when the socket shows in the except set: the send that follows reports the failure.
    int WaitWritable(SocketHandle s, int timeoutMs) override;
    int WaitReadable(SocketHandle s, int timeoutMs) override;
    int Recv(SocketHandle s, char* buffer, int length, int flags) override;
    // WSARecv over the areas, without overlapping; a stream socket fills them in order.
    int RecvScatter(SocketHandle s, const ReceiveArea* areas, int count, int flags) override;
    // Blocking socket: the whole block or kSocketError, going on over partial sends. Non-blocking
    // socket: one send, which may be partial.
    int Send(SocketHandle s, const char* data, int length, int flags) override;
    // WSASend over the pieces, without overlapping; behaves as Send does.
    int SendGather(SocketHandle s, const SendPiece* pieces, int count, int flags) override;
    int SetNonBlocking(SocketHandle s, bool nonBlocking) override;
    int SetTcpNoDelay(SocketHandle s, int value) override;
    int Shutdown(SocketHandle s, int how) override;
    int CloseSocket(SocketHandle s) override;

    std::uint32_t InetAddr(const char* text) override;
    // getaddrinfo() with no family preference.
    bool ResolveHost(const char* host, bool numericOnly, std::vector<SocketAddress>* addresses) override;

    int LastError() override;

    // How many of the sockets this layer handed out are still open.
    std::size_t OpenSocketCount() const { return open_.size(); }

private:
    struct OpenSocket {
        std::uintptr_t system; // SOCKET
        bool nonBlocking;
    };

    // The socket behind one of our handles, or nullptr (with 10038 set) for a handle this layer
    // did not hand out or has closed already.
    OpenSocket* Find(SocketHandle s);
    // Takes ownership of a new system socket and hands out its number; closes it and fails with
    // 10024 (WSAEMFILE) when the number does not fit in a SocketHandle.
    SocketHandle Adopt(std::uintptr_t system, bool nonBlocking);
    // select() for reading or writing on one socket: 1 ready (failures too), 0 timed out.
    int WaitFor(SocketHandle s, bool readable, int timeoutMs);

    bool started_ = false;
    std::map<SocketHandle, OpenSocket> open_;
};

#endif
