// The relay console: one dialog that owns both endpoints, the poll tick, the capture queues, the
// traffic views and the status lines. It reaches the window only through a DialogHost and the
// network only through a SocketsLayer.
#ifndef BRINDLE_CONSOLE_RELAY_DLG_H
#define BRINDLE_CONSOLE_RELAY_DLG_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "console/capture_queue.h"
#include "console/send_rate.h"
#include "platform/dialog_host.h"
#include "platform/sockets_layer.h"

class SystemServices;

inline constexpr unsigned POLL_TIMER_ID = 1025;
inline constexpr unsigned kPollPeriodMs = 100;
inline constexpr int kReceiveChunkSize = 4096;
// A read fills up to this many chunk areas at once (one scatter read): the chunks are those that
// as many 4096-byte reads back to back return, for one system call instead of one each.
inline constexpr int kReceiveChunksPerRead = 16;
// What a receive pass must have read before it waits for more from a socket that ran dry.
inline constexpr int kBulkPassBytes = 1 << 20;
// Pending connections the listening socket queues for the one client taken at a time.
inline constexpr int kListenBacklog = 5;
// Checks of a pending connect: on a "Connect" click, and on each tick while it is still pending.
inline constexpr int kConnectPollsOnClick = 20;
inline constexpr int kConnectPollsPerTick = 10;
// The low four bits of a system command are the system's own; the rest names the command.
inline constexpr unsigned kSystemCommandMask = 0xFFF0;

// How long a ReceiveAll call may read from a socket before it leaves the rest for the next tick,
// so that a sender that never pauses cannot hold the window. Time alone bounds it, so the relay
// moves what the machine can format in that time. What a pass reads has to be sent on as well, so
// a pass ends once its reads and the sends that follow them would fill `tickTime`: the sends still
// to come in this tick (the server side's bytes go out in the tick that read them) must end within
// that time of the tick's start, and a pass's own reads with the sends of all that waits in its
// queue (the client side's bytes go out at the start of the next tick) must fit it as well. Sends
// are predicted at the pace each peer has been taking bytes, waits for its room included, so a
// slow peer leaves the bytes it cannot take yet in the sender's socket. Whatever the sends, a pass
// reads for `minPassTime` of its own, so that a busy server side cannot starve the client side:
// with both sides busy a tick still ends within about 150 ms.
// The clock is read once a read: `chunksPerRead` (1 to kReceiveChunksPerRead) chunk areas a read.
struct ReceiveBudget {
    std::chrono::milliseconds tickTime{95};
    std::chrono::milliseconds minPassTime{35};
    int chunksPerRead = kReceiveChunksPerRead;
};

class CRelayDlg final : public DialogEvents {
public:
    CRelayDlg(DialogHost& host, SocketsLayer& sockets, SystemServices& system, std::function<void()> runAboutBox = {});
    ~CRelayDlg() override = default;
    CRelayDlg(const CRelayDlg&) = delete;
    CRelayDlg& operator=(const CRelayDlg&) = delete;

    int DoModal();

    // DialogEvents
    void OnInitDialog() override;
    bool OnCommand(int controlId) override;
    void OnTimer(unsigned timerId) override;
    bool OnSysCommand(unsigned commandId) override;
    int OnQueryDragIcon() const { return appIcon; }

    // Status line composition, pure; a null message stands for "no message".
    static std::string ComposeStatus(const char* message, int code);
    static std::string FormatSocketError(int code);

    // The traffic display of one chunk, as a tick shows it.
    void FormatToView(const char* bytes, int length, int viewId, int crlf, int buffers);

    void SetReceiveBudget(ReceiveBudget budget) { receiveBudget_ = budget; }

    // The console's state, read by tests and the window.
    SocketHandle ListenSocket() const { return listenSocket; }
    SocketHandle RemoteClientSocket() const { return remoteClientSocket; }
    SocketHandle RemoteServerSocket() const { return remoteServerSocket; }
    int RemoteServerConnected() const { return remoteServerConnected; }
    int PollTimerRunning() const { return pollTimerRunning; }
    const SocketAddressIn& RemoteServerAddress() const { return remoteServerAddress; }
    const CaptureQueue& ToClientQueue() const { return toClientQueue; }
    const CaptureQueue& ToServerQueue() const { return toServerQueue; }
    std::int64_t ServerReceivedBytes() const { return serverReceivedBytes; }
    std::int64_t ServerSentBytes() const { return serverSentBytes; }
    std::int64_t ClientReceivedBytes() const { return clientReceivedBytes; }
    std::int64_t ClientSentBytes() const { return clientSentBytes; }

private:
    // Tests reach the few steps no click or tick isolates through this one accessor.
    friend struct CRelayDlgTestAccess;

    // Controls, counters and opening state.
    void EnableControl(int controlId, int enable);
    unsigned IsChecked(int controlId) const;
    void EnableConfiguration(int enable);
    void OnClientReset();
    void OnServerReset();
    int StartPollTimer();
    void InitConsole();

    // Status lines and teardown. A null message stands for "no message".
    void SetServerStatus(const std::string& text);
    void SetClientStatus(const std::string& text);
    void StopListening(const char* message, int code);
    void CloseRemoteClient(const char* message, int code);
    void CloseRemoteServer(const char* message, int code);
    void OnServerDisconnect();
    void OnClientDisconnect();
    void OnStopServer();

    // Poll tick and receive pump.
    void PollServerSide();
    void PollClientSide();
    int ReceiveAll(SocketHandle socket, int viewId, int crlf, CaptureQueue& queue, int serverSide, int buffers);
    using TimePoint = std::chrono::steady_clock::time_point;
    // How long a pass may still read before its reads and the sends that follow them would fill
    // the tick's time; zero or less once they would.
    SendRate::Duration ReadTimeLeft(
        int serverSide, bool autoToServer, bool autoToClient, TimePoint now, TimePoint passStart) const;

    // Local server endpoint.
    void OnListen();
    int ValidatePorts();
    int StartListening();
    int GetListenPort();
    static int FillAnyAddress(SocketAddressIn& address, int port);
    void OnListening();
    SocketHandle AcceptRemoteClient();
    void OnRemoteClientConnected(SocketHandle socket);

    // Local client endpoint.
    void OnConnect();
    int ValidateHost();
    int SetNoDelay(SocketHandle socket);
    int ConnectRemoteServer(int maxPolls);
    int GetDestPort();
    // On failure *errorCode (when given) receives the reason in sockets numbering.
    int ResolveAddress(int port, std::string host, SocketAddressIn& address, int* errorCode = nullptr);
    void OnRemoteServerConnected(SocketHandle socket);

    using Handler = void (CRelayDlg::*)();

    // Capture queues and forwarding.
    enum class Counter { ServerReceived, ServerSent, ClientReceived, ClientSent };
    // Bytes from the head of one direction's queue that a forwarding ("Send", a ticked "Auto" box,
    // or a teardown handing over a peer's last bytes) asked to go and the peer has not taken yet.
    // Each tick sends on what the peer takes; with `closeWhenSent` a teardown's close of that
    // connection waits until they are gone.
    struct ForwardRequest {
        std::int64_t bytes = 0;
        bool closeWhenSent = false;
    };
    struct SendResult {
        std::int64_t sent = 0;
        bool failed = false; // the connection is gone; "would block" is no failure
        SendRate::Duration took{}; // timed only when something went
    };
    void Enqueue(const char* bytes, int length, CaptureQueue& queue);
    SendResult SendQueue(CaptureQueue& queue, SocketHandle socket, std::int64_t limit);
    // True when a close waited for this request and may run now.
    bool SendRequested(
        ForwardRequest& request, CaptureQueue& queue, SocketHandle socket, Counter counter, SendRate& rate);
    // How long the next forwarding of one direction will take: all that is queued when `autoTicked`,
    // otherwise what a "Send" click asked for and the peer has not taken yet.
    SendRate::Duration ForwardingTime(bool toServer, bool autoTicked) const;
    void ForwardToServer();
    void ForwardToClient();
    void ContinueToServer();
    void ContinueToClient();
    // The teardown of the other side's cascade: now, or once `request` has gone.
    void CloseWhenSent(ForwardRequest& request, Handler close);
    void OnClientClear();
    void OnServerClear();
    void OnClientAuto();
    void OnServerAuto();

    struct MessageMapEntry {
        int controlId;
        Handler handler;
    };
    static const MessageMapEntry kMessageMap[];

    static int CounterField(Counter counter);
    std::int64_t& CounterValue(Counter counter);
    void UpdateCounter(Counter counter, std::int64_t amount, int reset);
    void CloseSocket(SocketHandle& socket);

    // Consecutive chunk areas of kReceiveChunkSize bytes each.
    char receiveBuffer[kReceiveChunkSize * kReceiveChunksPerRead] = {};
    CaptureQueue toClientQueue;
    CaptureQueue toServerQueue;
    ForwardRequest toClientRequest_;
    ForwardRequest toServerRequest_;
    SocketHandle listenSocket = kNoSocket;
    SocketAddressIn remoteServerAddress{};
    int remoteServerConnected = 0;
    SocketHandle remoteServerSocket = kNoSocket;
    // 64-bit so that the counts stay true past 2 GiB.
    std::int64_t serverReceivedBytes = 0;
    std::int64_t serverSentBytes = 0;
    std::int64_t clientReceivedBytes = 0;
    std::int64_t clientSentBytes = 0;
    int pollTimerRunning = 0;
    SocketHandle remoteClientSocket = kNoSocket;
    int appIcon;

    DialogHost& host_;
    SocketsLayer& sockets_;
    SystemServices& system_;
    std::function<void()> runAboutBox_;
    ReceiveBudget receiveBudget_;
    SendRate toServerRate_;
    SendRate toClientRate_;
    std::chrono::steady_clock::time_point tickStart_{};
    // How long this tick has slept in the connect poll so far.
    std::chrono::milliseconds tickConnectWait_{};
    // Set while a tick runs: a message box opened inside a tick must not let another tick
    // overwrite the scratch areas the interrupted chunk still uses.
    bool tickInProgress_ = false;
};

#endif
