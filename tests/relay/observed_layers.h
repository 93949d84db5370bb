// The real sockets layer and system services as the console uses them, watched from below: which
// sockets it listens, accepts and connects on, and how many capture blocks it holds.
#ifndef BRINDLE_TESTS_RELAY_OBSERVED_LAYERS_H
#define BRINDLE_TESTS_RELAY_OBSERVED_LAYERS_H

#include <cstddef>
#include <vector>

#include "console/relay_dlg.h"
#include "platform/sockets_layer.h"
#include "platform/system_services.h"

class ObservedSockets final : public SocketsLayer {
public:
    explicit ObservedSockets(SocketsLayer& real)
        : real_(real)
    { }

    bool Startup() override { return real_.Startup(); }
    SocketHandle Socket(int family, int type, int protocol) override { return real_.Socket(family, type, protocol); }
    int Bind(SocketHandle s, const SocketAddress& address) override { return real_.Bind(s, address); }
    int Listen(SocketHandle s, int backlog) override
    {
        const int result = real_.Listen(s, backlog);
        if (result == 0)
            listener = s;
        return result;
    }
    SocketHandle Accept(SocketHandle s, SocketAddress* peer) override
    {
        const SocketHandle accepted = real_.Accept(s, peer);
        if (accepted != kNoSocket)
            remoteClient = accepted;
        return accepted;
    }
    int Connect(SocketHandle s, const SocketAddress& address) override
    {
        remoteServer = s;
        return real_.Connect(s, address);
    }
    int ConnectState(SocketHandle s, int waitMs) override { return real_.ConnectState(s, waitMs); }
    int WaitWritable(SocketHandle s, int timeoutMs) override { return real_.WaitWritable(s, timeoutMs); }
    int WaitReadable(SocketHandle s, int timeoutMs) override { return real_.WaitReadable(s, timeoutMs); }
    int Recv(SocketHandle s, char* buffer, int length, int flags) override
    {
        return real_.Recv(s, buffer, length, flags);
    }
    int Send(SocketHandle s, const char* data, int length, int flags) override
    {
        return real_.Send(s, data, length, flags);
    }
    int RecvScatter(SocketHandle s, const ReceiveArea* areas, int count, int flags) override
    {
        return real_.RecvScatter(s, areas, count, flags);
    }
    int SendGather(SocketHandle s, const SendPiece* pieces, int count, int flags) override
    {
        return real_.SendGather(s, pieces, count, flags);
    }
    int SetNonBlocking(SocketHandle s, bool nonBlocking) override { return real_.SetNonBlocking(s, nonBlocking); }
    int SetTcpNoDelay(SocketHandle s, int value) override { return real_.SetTcpNoDelay(s, value); }
    int Shutdown(SocketHandle s, int how) override { return real_.Shutdown(s, how); }
    int CloseSocket(SocketHandle s) override
    {
        for (SocketHandle* held : {&listener, &remoteClient, &remoteServer})
            if (*held == s)
                *held = kNoSocket;
        return real_.CloseSocket(s);
    }
    std::uint32_t InetAddr(const char* text) override { return real_.InetAddr(text); }
    bool ResolveHost(const char* host, bool numericOnly, std::vector<SocketAddress>* addresses) override
    {
        return real_.ResolveHost(host, numericOnly, addresses);
    }
    int LastError() override { return real_.LastError(); }

    // The sockets the console holds open: listening, accepted, and connecting or connected.
    SocketHandle listener = kNoSocket;
    SocketHandle remoteClient = kNoSocket;
    SocketHandle remoteServer = kNoSocket;

private:
    SocketsLayer& real_;
};

class ObservedSystem final : public SystemServices {
public:
    void Sleep(std::chrono::milliseconds duration) override { real_.Sleep(duration); }
    std::chrono::steady_clock::time_point Now() override { return real_.Now(); }
    void* Allocate(std::size_t size) override
    {
        void* block = real_.Allocate(size);
        if (block != nullptr)
            ++liveAllocations;
        return block;
    }
    void Free(void* block, std::size_t size) override
    {
        if (block != nullptr)
            --liveAllocations;
        real_.Free(block, size);
    }

    // The console allocates only its capture blocks: one a queued chunk.
    std::size_t liveAllocations = 0;

private:
    RealSystemServices real_{kFullChunkBlockSize};
};

#endif
