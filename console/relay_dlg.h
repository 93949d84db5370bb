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
#include <vector>

#include "console/capture_queue.h"
#include "console/send_rate.h"
#include "platform/dialog_host.h"
#include "platform/sockets_layer.h"

class SystemServices;

inline constexpr unsigned POLL_TIMER_ID = 1025;
inline constexpr unsigned kPollPeriodMs = 100;
// Every chunk is what one read of at most kReceiveChunkSize bytes returns.
inline constexpr int kReceiveChunkSize = 4096;
// The capture block of a full read: what the system services keep for reuse.
inline constexpr std::size_t kFullChunkBlockSize = kReceiveChunkSize + CaptureBlock::kOverhead;
// One scatter read fills up to this many chunk areas back to back: the chunks are those that as
// many reads of kReceiveChunkSize bytes in a row return, for one system call instead of one each.
inline constexpr int kReceiveChunksPerRead = 16;
// What a receive pass must have read before it waits for more from a socket that ran dry.
inline constexpr int kBulkPassBytes = 1 << 20;
// Pending connections the listening socket queues for the one client taken at a time.
inline constexpr int kListenBacklog = 5;
// How long an attempt to connect to one address of the destination may stay unanswered before
// the next address is tried, or the attempt is reported as timed out.
inline constexpr std::chrono::seconds kConnectAttemptTimeout{10};
// The most a look at a just-started attempt waits for the system to complete it.
inline constexpr int kConnectFirstLookMs = 20;
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
struct ReceiveBudget {
    std::chrono::milliseconds tickTime{95};
    std::chrono::milliseconds minPassTime{35};
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

private:
    // One byte counter and the field that shows it; 64-bit so that the count stays true past 2 GiB.
    struct Counter {
        const int field;
        std::int64_t value = 0;
    };
    // Bytes from the head of one direction's queue that a forwarding ("Send", a ticked "Auto" box,
    // or a teardown handing over a peer's last bytes) asked to go and the peer has not taken yet.
    // Each tick sends on what the peer takes; with `closeWhenSent` a teardown's close of that
    // connection waits until they are gone.
    struct ForwardRequest {
        std::int64_t bytes = 0;
        bool closeWhenSent = false;
    };
    // The ids of one half's controls.
    struct HalfControls {
        int view; // the traffic on its way to this half's peer
        int crlfBox; // how that view shows line ends
        int buffersBox; // whether what this half reads from its peer shows framed
        int autoBox;
        int clearOnSendBox;
        int sendButton;
        int disconnectButton;
        int connectButton; // 0 where the half has none (the server half)
        int status;
        int receivedField;
        int sentField;
        const char* disconnectMessage; // the status a "Disconnect" click leaves
    };
    // One half of the console, named by where its bytes go: the peer it talks to, what waits to go
    // to that peer, and the controls of its half of the window. `toServer_` is the local client
    // (its peer the remote server, its queue toServerQueue), `toClient_` the local server (its peer
    // the remote client, its queue toClientQueue). Each half reads its peer into the other's queue.
    struct Direction {
        Direction(SystemServices& system, const HalfControls& ids)
            : controls(ids)
            , queue(system)
            , received{ids.receivedField}
            , sent{ids.sentField}
        { }
        const HalfControls controls;
        SocketHandle peer = kNoSocket;
        // The remote server's connect may still be pending; the remote client is connected once
        // accepted.
        bool connected = false;
        CaptureQueue queue;
        ForwardRequest request;
        SendRate rate;
        Counter received; // read from the peer
        Counter sent; // sent to the peer
    };
    static bool Connected(const Direction& half) { return half.peer != kNoSocket && half.connected; }
    Direction& Other(const Direction& half) { return &half == &toServer_ ? toClient_ : toServer_; }

    // Controls, counters and opening state.
    void EnableControl(int controlId, bool enable);
    unsigned IsChecked(int controlId) const;
    void EnableConfiguration(bool enable);
    // True when the field holds more than white space; otherwise the complaint shows in a box.
    bool RequireText(int controlId, const char* complaint);
    void UpdateCounter(Counter& counter, std::int64_t amount);
    void ResetCounter(Counter& counter);
    void ResetCounters(Direction& half);
    void OnClientReset() { ResetCounters(toServer_); }
    void OnServerReset() { ResetCounters(toClient_); }
    bool StartPollTimer();
    void InitConsole();

    // Status lines and teardown. A null message stands for "no message".
    void SetStatus(const Direction& half, const std::string& text);
    void SetServerStatus(const std::string& text) { SetStatus(toClient_, text); }
    void SetClientStatus(const std::string& text) { SetStatus(toServer_, text); }
    void StopListening(const char* message, int code);
    // Closes the half's connection, reports on its status line, and hands the other half's peer
    // what waits for it where that half's "Auto" box is ticked.
    void ClosePeer(Direction& half, const char* message, int code);
    void CloseRemoteClient(const char* message, int code) { ClosePeer(toClient_, message, code); }
    void CloseRemoteServer(const char* message, int code) { ClosePeer(toServer_, message, code); }
    void Disconnect(Direction& half) { ClosePeer(half, half.controls.disconnectMessage, 0); }
    void OnServerDisconnect() { Disconnect(toClient_); }
    void OnClientDisconnect() { Disconnect(toServer_); }
    void OnStopServer();

    // Poll tick and receive pump.
    void PollServerSide();
    void PollClientSide();
    // Reads the half's peer into the other half's queue and view, then forwards what waits for it.
    void Poll(Direction& half, Direction& other);
    int ReceiveAll(Direction& half, Direction& other);
    using TimePoint = std::chrono::steady_clock::time_point;
    // How long a pass reading `half`'s peer may still read before its reads and the sends that
    // follow them would fill the tick's time; zero or less once they would.
    SendRate::Duration ReadTimeLeft(
        const Direction& half, bool autoToServer, bool autoToClient, TimePoint now, TimePoint passStart) const;
    // The traffic display of one chunk, as a tick shows it.
    void FormatToView(const char* bytes, int length, int viewId, bool crlf, bool buffers);

    // Local server endpoint.
    void OnListen();
    bool ValidatePorts();
    bool ValidateDestPort();
    bool StartListening();
    int GetListenPort();
    void OnListening();
    void AcceptRemoteClient();
    void OnRemoteClientConnected();

    // Local client endpoint.
    void OnConnect();
    bool ValidateHost();
    bool SetNoDelay(SocketHandle socket);
    // Starts the connection, or looks at the attempt under way; true once connected.
    bool ConnectRemoteServer();
    int GetDestPort();
    // Every address the host text stands for, with the port. On failure *errorCode (when given)
    // receives the reason in sockets numbering.
    bool ResolveAddress(int port, std::string host, std::vector<SocketAddress>& addresses, int* errorCode = nullptr);
    // What a failed attempt reports on the client line when no address is left to try.
    struct AttemptFailure {
        const char* message;
        int code;
    };
    enum class AttemptStart { Connected, Pending, Failed };
    // A new socket connecting to one address; on failure it is closed again and `failure` says why.
    AttemptStart StartAttempt(const SocketAddress& address, AttemptFailure& failure);
    void OnRemoteServerConnected();

    // Capture queues and forwarding.
    struct SendResult {
        std::int64_t sent = 0;
        bool failed = false; // the connection is gone; "would block" is no failure
        SendRate::Duration took{}; // timed only when something went
    };
    void Enqueue(const char* bytes, int length, CaptureQueue& queue);
    SendResult SendQueue(CaptureQueue& queue, SocketHandle socket, std::int64_t limit);
    // True when a close waited for the half's request and may run now.
    bool SendRequested(Direction& half);
    // How long the next forwarding of one half will take: all that is queued when `autoTicked`,
    // otherwise what a "Send" click asked for and the peer has not taken yet.
    static SendRate::Duration ForwardingTime(const Direction& half, bool autoTicked);
    // Everything queued at this moment; chunks that arrive later wait for the next forwarding.
    void Forward(Direction& half);
    // What a forwarding asked for and the peer has not taken yet.
    void Continue(Direction& half);
    void ForwardToServer() { Forward(toServer_); }
    void ForwardToClient() { Forward(toClient_); }
    // The teardown of the other side's cascade: now, or once the half's request has gone.
    void CloseWhenSent(Direction& half);
    void Clear(const Direction& half);
    void OnClientClear() { Clear(toServer_); }
    void OnServerClear() { Clear(toClient_); }
    // A ticked "Auto" box forwards by itself: the buttons that forward or end the connection by
    // hand wait until it is cleared, and come back where they may be used.
    void OnAuto(const Direction& half, bool sendAllowed, bool disconnectAllowed);
    void OnClientAuto() { OnAuto(toServer_, true, toServer_.connected); }
    void OnServerAuto() { OnAuto(toClient_, listenSocket != kNoSocket, listenSocket != kNoSocket); }

    using Handler = void (CRelayDlg::*)();
    struct MessageMapEntry {
        int controlId;
        Handler handler;
    };
    static const MessageMapEntry kMessageMap[];

    void CloseSocket(SocketHandle& socket);

    // Every receive reads into these consecutive chunk areas; the allocation per chunk is its
    // queued copy.
    char receiveBuffer[kReceiveChunkSize * kReceiveChunksPerRead] = {};
    Direction toServer_;
    Direction toClient_;
    SocketHandle listenSocket = kNoSocket;
    // The destination's addresses in the resolver's order, and the next one to try.
    std::vector<SocketAddress> destinationAddresses_;
    std::size_t nextDestination_ = 0;
    std::chrono::steady_clock::time_point attemptDeadline_{};
    bool pollTimerRunning = false;

    DialogHost& host_;
    SocketsLayer& sockets_;
    SystemServices& system_;
    std::function<void()> runAboutBox_;
    const ReceiveBudget receiveBudget_;
    std::chrono::steady_clock::time_point tickStart_{};
    // Set while a tick runs: a message box opened inside a tick must not let another tick
    // overwrite the scratch areas the interrupted chunk still uses.
    bool tickInProgress_ = false;
};

#endif
