#include "fake_sockets.h"

#include <algorithm>
#include <cstring>

#include "inet_text.h"

bool FakeSockets::Faulted(Call call)
{
    ++calls_[call];
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->call != call)
            continue;
        if (it->skip > 0) {
            --it->skip;
            return false;
        }
        lastError_ = it->code;
        if (--it->times == 0)
            faults_.erase(it);
        return true;
    }
    return false;
}

int FakeSockets::Failure(int code)
{
    lastError_ = code;
    return kSocketError;
}

FakeSockets::SocketState* FakeSockets::Find(SocketHandle s)
{
    auto it = sockets_.find(s);
    return it == sockets_.end() || !it->second.open ? nullptr : &it->second;
}

void FakeSockets::Fail(Call call, int code, int times, int skip)
{
    faults_.push_back({call, code, times, skip});
}

bool FakeSockets::Startup()
{
    return !Faulted(Call::Startup);
}

SocketHandle FakeSockets::Socket(int family, int, int)
{
    if (Faulted(Call::Socket))
        return kNoSocket;
    lastCreated = nextHandle_++;
    sockets_[lastCreated] = SocketState{};
    sockets_[lastCreated].family = family;
    return lastCreated;
}

int FakeSockets::Bind(SocketHandle s, const SocketAddress& address)
{
    if (Faulted(Call::Bind))
        return kSocketError;
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    state->address = address;
    return 0;
}

int FakeSockets::Listen(SocketHandle s, int)
{
    if (Faulted(Call::Listen))
        return kSocketError;
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    state->listening = true;
    return 0;
}

SocketHandle FakeSockets::Accept(SocketHandle s, SocketAddress* peer)
{
    if (Faulted(Call::Accept))
        return kNoSocket;
    SocketState* state = Find(s);
    if (state == nullptr || !state->listening)
        return Failure(kWsaEinval);
    if (waitingClients_ == 0)
        return Failure(kWsaEwouldblock);
    --waitingClients_;
    if (peer != nullptr)
        inet_text::Parse("127.0.0.1", *peer);
    lastAccepted = nextHandle_++;
    SocketState accepted;
    accepted.connected = true;
    accepted.nonBlocking = true;
    sockets_[lastAccepted] = accepted;
    return lastAccepted;
}

int FakeSockets::Connect(SocketHandle s, const SocketAddress& address)
{
    if (Faulted(Call::Connect))
        return kSocketError;
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    connectAttempts.push_back(address);
    state->address = address;
    state->connectIssued = true;
    state->connectMode = connectMode;
    if (!nextConnectModes.empty()) {
        state->connectMode = nextConnectModes.front();
        nextConnectModes.pop_front();
    }
    if (state->connectMode == ConnectMode::Immediate) {
        state->connected = true;
        return 0;
    }
    state->looksUntilWritable = connectLooks;
    return Failure(kWsaEwouldblock);
}

int FakeSockets::ConnectState(SocketHandle s, int)
{
    if (Faulted(Call::Select))
        return kSocketError;
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    if (state->connected)
        return 1;
    if (!state->connectIssued || state->connectMode == ConnectMode::NeverWritable)
        return 0;
    if (state->connectMode == ConnectMode::Fails)
        return Failure(connectError);
    if (--state->looksUntilWritable > 0)
        return 0;
    state->connected = true;
    return 1;
}

int FakeSockets::WaitWritable(SocketHandle s, int)
{
    ++calls_[Call::WaitWritable];
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    return state->sendRoom != 0 ? 1 : 0;
}

int FakeSockets::WaitReadable(SocketHandle s, int)
{
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    return state->inbound.empty() ? 0 : 1;
}

int FakeSockets::Take(SocketState& state, char* buffer, int length)
{
    if (state.inbound.empty())
        return Failure(kWsaEwouldblock);
    Inbound& next = state.inbound.front();
    if (next.kind == Inbound::Closed)
        return 0;
    if (next.kind == Inbound::Error) {
        int code = next.code;
        state.inbound.pop_front();
        return Failure(code);
    }
    int n = std::min<int>(length, static_cast<int>(next.data.size()));
    std::memcpy(buffer, next.data.data(), static_cast<std::size_t>(n));
    next.data.erase(0, static_cast<std::size_t>(n));
    if (next.data.empty())
        state.inbound.pop_front();
    return n;
}

int FakeSockets::Recv(SocketHandle s, char* buffer, int length, int flags)
{
    const ReceiveArea area{buffer, length};
    return RecvScatter(s, &area, 1, flags);
}

int FakeSockets::RecvScatter(SocketHandle s, const ReceiveArea* areas, int count, int)
{
    if (Faulted(Call::Recv))
        return kSocketError;
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    if (count < 1 || count > kMaxIoPieces)
        return Failure(kWsaEinval);
    int total = 0;
    for (int i = 0; i < std::min(count, areasPerRead_); ++i) {
        // What was read stands; the end of the stream or a failure shows in the next read.
        if (i > 0 && (state->inbound.empty() || state->inbound.front().kind != Inbound::Data))
            break;
        const int n = Take(*state, areas[i].data, areas[i].length);
        if (n <= 0)
            return n;
        total += n;
        if (n < areas[i].length)
            break;
    }
    return total;
}

int FakeSockets::Send(SocketHandle s, const char* data, int length, int flags)
{
    const SendPiece piece{data, length};
    return SendGather(s, &piece, 1, flags);
}

int FakeSockets::SendGather(SocketHandle s, const SendPiece* pieces, int count, int flags)
{
    if (Faulted(Call::Send))
        return kSocketError;
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    if (count < 1 || count > kMaxIoPieces)
        return Failure(kWsaEinval);
    if (state->sendRoom == 0)
        return Failure(kWsaEwouldblock);
    int sent = 0;
    int made = 0;
    for (int i = 0; i < count && state->sendRoom != 0; ++i) {
        int length = pieces[i].length;
        if (state->sendRoom > 0 && state->sendRoom < length)
            length = static_cast<int>(state->sendRoom);
        if (state->sendRoom > 0)
            state->sendRoom -= length;
        state->sent.append(pieces[i].data, static_cast<std::size_t>(length));
        state->sends.emplace_back(pieces[i].data, static_cast<std::size_t>(length));
        sent += length;
        ++made;
    }
    state->sendWasBlocking.push_back(!state->nonBlocking);
    state->sendFlags.push_back(flags);
    state->sendPieces.push_back(made);
    return sent;
}

int FakeSockets::SetNonBlocking(SocketHandle s, bool nonBlocking)
{
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    state->nonBlocking = nonBlocking;
    return 0;
}

int FakeSockets::SetTcpNoDelay(SocketHandle s, int value)
{
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    state->noDelay = value;
    return 0;
}

int FakeSockets::Shutdown(SocketHandle s, int)
{
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    state->shutDown = true;
    return 0;
}

int FakeSockets::CloseSocket(SocketHandle s)
{
    SocketState* state = Find(s);
    if (state == nullptr)
        return Failure(kWsaEnotsock);
    state->open = false;
    return 0;
}

std::uint32_t FakeSockets::InetAddr(const char* text)
{
    return inet_text::Address(text);
}

bool FakeSockets::ResolveHost(const char* host, bool numericOnly, std::vector<SocketAddress>* addresses)
{
    SocketAddress literal;
    if (inet_text::Parse(host, literal)) {
        *addresses = {literal};
        return true;
    }
    if (numericOnly) {
        lastError_ = kWsaHostNotFound;
        return false;
    }
    lookups.emplace_back(host);
    if (Faulted(Call::HostLookup))
        return false;
    auto it = hosts.find(host);
    if (it == hosts.end() || it->second.empty()) {
        lastError_ = hostLookupError;
        return false;
    }
    *addresses = it->second;
    return true;
}

void FakeSockets::Deliver(SocketHandle s, const std::string& data)
{
    sockets_.at(s).inbound.push_back({Inbound::Data, data, 0});
    bytesDelivered += static_cast<int>(data.size());
}

void FakeSockets::DeliverClose(SocketHandle s)
{
    sockets_.at(s).inbound.push_back({Inbound::Closed, {}, 0});
}

void FakeSockets::DeliverError(SocketHandle s, int code)
{
    sockets_.at(s).inbound.push_back({Inbound::Error, {}, code});
}

std::set<SocketHandle> FakeSockets::OpenSockets() const
{
    std::set<SocketHandle> open;
    for (const auto& [handle, state] : sockets_)
        if (state.open)
            open.insert(handle);
    return open;
}

int FakeSockets::Count(Call call) const
{
    auto it = calls_.find(call);
    return it == calls_.end() ? 0 : it->second;
}
