// The 100 ms poll tick: accept, finish a pending connect, drain both connections into their
// queues and views, and forward where an "Auto" box is ticked.

#include <algorithm>
#include <chrono>

#include "console/relay_dlg.h"
#include "platform/system_services.h"
#include "res/resource.h"

void CRelayDlg::OnTimer(unsigned timerId)
{
    if (timerId != POLL_TIMER_ID || tickInProgress_)
        return;
    tickInProgress_ = true;
    tickStart_ = system_.Now();
    PollServerSide();
    PollClientSide();
    tickInProgress_ = false;
}

void CRelayDlg::PollServerSide()
{
    // A client that left still has its last bytes on their way to its server: the next client
    // waits in the backlog, so that its bytes cannot follow them into that conversation.
    if (listenSocket != kNoSocket && toClient_.peer == kNoSocket && !toServer_.request.closeWhenSent)
        AcceptRemoteClient();
    Poll(toClient_, toServer_);
}

void CRelayDlg::PollClientSide()
{
    if (toServer_.peer != kNoSocket && !toServer_.connected)
        ConnectRemoteServer();
    Poll(toServer_, toClient_);
}

void CRelayDlg::Poll(Direction& half, Direction& other)
{
    if (!Connected(half))
        return;
    UpdateCounter(half.received, ReceiveAll(half, other));
    // A ticked "Auto" box forwards all that is queued; otherwise what a "Send" click asked for
    // goes on.
    if (IsChecked(half.controls.autoBox) == 1)
        Forward(half);
    else
        Continue(half);
}

int CRelayDlg::ReceiveAll(Direction& half, Direction& other)
{
    // Bytes from a peer show in the view of the half that sends them on, beside that half's "CRLF"
    // box, framed by the "Buffers" box of the half that received them.
    const SocketHandle socket = half.peer;
    const bool buffers = IsChecked(half.controls.buffersBox) == 1;
    const bool crlf = IsChecked(other.controls.crlfBox) == 1;
    const auto passStart = system_.Now();
    const auto minPassEnd = passStart + receiveBudget_.minPassTime;
    // The "Auto" boxes are read again when their forwarding runs; here they only tell what it
    // will send.
    const bool autoToServer = IsChecked(toServer_.controls.autoBox) == 1;
    const bool autoToClient = IsChecked(toClient_.controls.autoBox) == 1;
    ReceiveArea areas[kReceiveChunksPerRead];
    for (int i = 0; i < kReceiveChunksPerRead; ++i)
        areas[i] = ReceiveArea{receiveBuffer + i * kReceiveChunkSize, kReceiveChunkSize};
    int total = 0;
    for (;;) {
        const int n = sockets_.RecvScatter(socket, areas, kReceiveChunksPerRead, 0);
        if (n > 0) {
            // Every area but the last one filled is full: one chunk each, queued, then shown.
            for (int offset = 0; offset < n; offset += kReceiveChunkSize) {
                const int length = std::min(kReceiveChunkSize, n - offset);
                Enqueue(receiveBuffer + offset, length, other.queue);
                FormatToView(receiveBuffer + offset, length, other.controls.view, crlf, buffers);
            }
            total += n;
            // A click while an out-of-memory box was open may have closed this connection.
            if (half.peer != socket)
                break;
            // A sender faster than the relay never lets the socket run dry: leave the rest in
            // the socket for the next tick so that forwarding and the window keep up.
            const auto now = system_.Now();
            if (now >= minPassEnd
                && ReadTimeLeft(half, autoToServer, autoToClient, now, passStart) <= SendRate::Duration::zero())
                break;
            continue;
        }
        const char* message = "Connection gracefully terminated.";
        int code = 0;
        if (n < 0) {
            code = sockets_.LastError();
            if (code == kWsaEwouldblock) {
                // A sender that kept the socket full for a while this pass is most likely still
                // sending, only slower than the relay reads: wait for its next bytes as long as the
                // pass may read rather than leave the rest of the tick idle. Smaller exchanges
                // never wait.
                if (total >= kBulkPassBytes) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        ReadTimeLeft(half, autoToServer, autoToClient, system_.Now(), passStart));
                    if (left.count() > 0 && sockets_.WaitReadable(socket, static_cast<int>(left.count())) == 1)
                        continue;
                }
                break;
            }
            message = "Connection terminated.";
        }
        ClosePeer(half, message, code);
        break;
    }
    return total;
}

SendRate::Duration CRelayDlg::ReadTimeLeft(
    const Direction& half, bool autoToServer, bool autoToClient, TimePoint now, TimePoint passStart) const
{
    // The server side's bytes and the replies the previous tick read are sent in this tick, after
    // the server side's pass; the client side's bytes at the start of the next.
    const bool serverSide = &half == &toClient_;
    const auto toServer = ForwardingTime(toServer_, autoToServer);
    const auto toClient = ForwardingTime(toClient_, autoToClient);
    const auto laterThisTick = serverSide ? toServer + toClient : toServer;
    const auto startOfNextTick = serverSide ? SendRate::Duration::zero() : toClient;
    const auto tickTime = receiveBudget_.tickTime;
    return std::min(tickStart_ + tickTime - (now + laterThisTick), passStart + tickTime - (now + startOfNextTick));
}
