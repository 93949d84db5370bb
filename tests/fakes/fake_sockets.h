// A scriptable sockets layer: it keeps every socket's state and what was sent on it, delivers
// what the test queues for each socket, and fails the calls the test tells it to fail.
#ifndef BRINDLE_TESTS_FAKE_SOCKETS_H
#define BRINDLE_TESTS_FAKE_SOCKETS_H

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/sockets_layer.h"

class FakeSockets final : public SocketsLayer {
public:
    enum class Call { Startup, Socket, Bind, Listen, Accept, Connect, Select, Recv, Send, HostLookup, WaitWritable };

    // How a connect attempt turns out.
    enum class ConnectMode {
        Immediate, // connect() itself succeeds
        Pending, // connect() says would-block; established at the `connectLooks`th look
        NeverWritable, // a silent destination: pending for ever
        Fails // the first look reports `connectError` (refused, unreachable)
    };

    struct Inbound {
        enum Kind { Data, Closed, Error } kind;
        std::string data;
        int code;
    };

    struct SocketState {
        int family = 0;
        bool open = true;
        bool nonBlocking = false;
        bool listening = false;
        bool connected = false;
        bool connectIssued = false;
        int looksUntilWritable = 0;
        int noDelay = 0;
        bool shutDown = false;
        SocketAddress address{}; // bound or connected to
        ConnectMode connectMode = ConnectMode::Pending;
        std::string sent;
        // What went, one entry per block handed over: a Send's block, or each piece (or the front
        // of a piece) a SendGather took.
        std::vector<std::string> sends;
        // One entry per Send or SendGather call that moved bytes: its blocking mode, its flags and
        // how many entries of `sends` it made.
        std::vector<bool> sendWasBlocking;
        std::vector<int> sendFlags;
        std::vector<int> sendPieces;
        // What the peer's buffer takes before a send would block; negative: no limit.
        long long sendRoom = -1;
        std::deque<Inbound> inbound;
    };

    bool Startup() override;
    SocketHandle Socket(int family, int type, int protocol) override;
    int Bind(SocketHandle s, const SocketAddress& address) override;
    int Listen(SocketHandle s, int backlog) override;
    SocketHandle Accept(SocketHandle s, SocketAddress* peer) override;
    int Connect(SocketHandle s, const SocketAddress& address) override;
    // Waits for nothing: a look at the attempt as scripted.
    int ConnectState(SocketHandle s, int waitMs) override;
    // Writable while the peer has room: no time passes waiting for it.
    int WaitWritable(SocketHandle s, int timeoutMs) override;
    // Readable while bytes or the end of the stream wait: no time passes waiting for them.
    int WaitReadable(SocketHandle s, int timeoutMs) override;
    // Each Deliver is what one read can return at most: a read stops at its end.
    int Recv(SocketHandle s, char* buffer, int length, int flags) override;
    // Fills areas one after another as back-to-back Recv calls would, and stops after one that is
    // left short; counts as one Recv call (for Count and Fail).
    int RecvScatter(SocketHandle s, const ReceiveArea* areas, int count, int flags) override;
    int Send(SocketHandle s, const char* data, int length, int flags) override;
    // Takes the pieces in order up to the peer's room; counts as one Send call.
    int SendGather(SocketHandle s, const SendPiece* pieces, int count, int flags) override;
    int SetNonBlocking(SocketHandle s, bool nonBlocking) override;
    int SetTcpNoDelay(SocketHandle s, int value) override;
    int Shutdown(SocketHandle s, int how) override;
    int CloseSocket(SocketHandle s) override;
    std::uint32_t InetAddr(const char* text) override;
    // An address text is parsed; a name is looked up in `hosts` unless `numericOnly`.
    bool ResolveHost(const char* host, bool numericOnly, std::vector<SocketAddress>* addresses) override;
    int LastError() override { return lastError_; }

    // Scripting. The next `times` calls of `call`, after `skip` calls that succeed, fail with
    // `code`.
    void Fail(Call call, int code, int times = 1, int skip = 0);
    void QueueClient() { ++waitingClients_; }
    // The most areas one scatter read fills, as when bytes arrive no faster than one read each.
    void LimitAreasPerRead(int areas) { areasPerRead_ = areas; }
    void Deliver(SocketHandle s, const std::string& data);
    void DeliverClose(SocketHandle s);
    void DeliverError(SocketHandle s, int code);

    ConnectMode connectMode = ConnectMode::Pending;
    // Modes for the next attempts, one each, before `connectMode` applies again.
    std::deque<ConnectMode> nextConnectModes;
    int connectLooks = 1;
    int connectError = kWsaEconnrefused;
    std::map<std::string, std::vector<SocketAddress>> hosts; // name → its addresses, port 0
    int hostLookupError = kWsaHostNotFound;

    // Inspection.
    SocketState& State(SocketHandle s) { return sockets_.at(s); }
    std::set<SocketHandle> OpenSockets() const;
    int Count(Call call) const;
    SocketHandle lastCreated = kNoSocket;
    SocketHandle lastAccepted = kNoSocket;
    std::vector<std::string> lookups; // names looked up, not address texts
    std::vector<SocketAddress> connectAttempts; // every Connect's address, in order
    int bytesDelivered = 0;

private:
    struct Fault {
        Call call;
        int code;
        int times;
        int skip;
    };
    // True (and the error set) when this call is scripted to fail.
    bool Faulted(Call call);
    int Failure(int code);
    SocketState* Find(SocketHandle s);
    // One read of what waits, without counting a call or a scripted fault.
    int Take(SocketState& state, char* buffer, int length);

    std::map<SocketHandle, SocketState> sockets_;
    std::vector<Fault> faults_;
    int areasPerRead_ = kMaxIoPieces;
    std::map<Call, int> calls_;
    SocketHandle nextHandle_ = 100;
    int waitingClients_ = 0;
    int lastError_ = 0;
};

#endif
