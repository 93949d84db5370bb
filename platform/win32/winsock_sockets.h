// The sockets layer over Windows Sockets (ws2_32), asking for version 1.1. Error codes are the
// system's own, straight from WSAGetLastError.
#ifndef BRINDLE_PLATFORM_WIN32_WINSOCK_SOCKETS_H
#define BRINDLE_PLATFORM_WIN32_WINSOCK_SOCKETS_H

#include <cstdint>
#include <set>

#include "platform/sockets_layer.h"

class WinsockSockets final : public SocketsLayer {
public:
    WinsockSockets() = default;
    // Closes every socket still open and, after a successful Startup(), ends the library's use.
    ~WinsockSockets() override;
    WinsockSockets(const WinsockSockets&) = delete;
    WinsockSockets& operator=(const WinsockSockets&) = delete;

    bool Startup() override;

    SocketHandle Socket(int family, int type, int protocol) override;
    int Bind(SocketHandle s, const SocketAddressIn& address) override;
    int Listen(SocketHandle s, int backlog) override;
    SocketHandle Accept(SocketHandle s, SocketAddressIn* peer) override;
    int Connect(SocketHandle s, const SocketAddressIn& address) override;
    int SelectWritable(SocketHandle s) override;
    int Recv(SocketHandle s, char* buffer, int length, int flags) override;
    int Send(SocketHandle s, const char* data, int length, int flags) override;
    int SetNonBlocking(SocketHandle s, bool nonBlocking) override;
    int SetTcpNoDelay(SocketHandle s, int value) override;
    int Shutdown(SocketHandle s, int how) override;
    int CloseSocket(SocketHandle s) override;

    std::uint32_t InetAddr(const char* text) override;
    bool GetHostByName(const char* name, std::uint32_t* address) override;

    int LastError() override;

private:
    // The system's handle behind one of ours, or false (with WSAENOTSOCK set) for a handle this
    // layer did not hand out or has closed already.
    bool Owned(SocketHandle s, std::uintptr_t* system) const;
    // Takes ownership of a new system socket and hands out its number, or closes it and fails
    // with WSAEMFILE when the number does not fit in a SocketHandle.
    SocketHandle Adopt(std::uintptr_t system);

    bool started_ = false;
    std::set<std::uintptr_t> open_;
};

#endif
