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
    tickConnectWait_ = {};
    PollServerSide();
    PollClientSide();
    tickInProgress_ = false;
}

void CRelayDlg::PollServerSide()
{
    // A client that left still has its last bytes on their way to its server: the next client
    // waits in the backlog, so that its bytes cannot follow them into that conversation.
    if (listenSocket != kNoSocket && remoteClientSocket == kNoSocket && !toServerRequest_.closeWhenSent)
        remoteClientSocket = AcceptRemoteClient();
    if (remoteClientSocket == kNoSocket)
        return;
    // Bytes from the remote client show in the view beside the client-side "CRLF" box, framed
    // by the "Buffers" box of the server side that received them.
    const int buffers = IsChecked(IDC_SERVER_BUFFERS) == 1;
    const int crlf = IsChecked(IDC_CLIENT_CRLF) == 1;
    const int total = ReceiveAll(remoteClientSocket, IDC_TO_SERVER_VIEW, crlf, toServerQueue, 1, buffers);
    UpdateCounter(Counter::ServerReceived, total, 0);
    // A ticked "Auto" box forwards all that is queued; otherwise what a "Send" click asked for
    // goes on.
    if (IsChecked(IDC_SERVER_AUTO) == 1)
        ForwardToClient();
    else
        ContinueToClient();
}

void CRelayDlg::PollClientSide()
{
    if (remoteServerSocket == kNoSocket)
        return;
    if (remoteServerConnected == 0) {
        ConnectRemoteServer(kConnectPollsPerTick);
        if (remoteServerConnected == 0)
            return;
    }
    const int buffers = IsChecked(IDC_CLIENT_BUFFERS) == 1;
    const int crlf = IsChecked(IDC_SERVER_CRLF) == 1;
    const int total = ReceiveAll(remoteServerSocket, IDC_TO_CLIENT_VIEW, crlf, toClientQueue, 0, buffers);
    UpdateCounter(Counter::ClientReceived, total, 0);
    if (IsChecked(IDC_CLIENT_AUTO) == 1)
        ForwardToServer();
    else
        ContinueToServer();
}

int CRelayDlg::ReceiveAll(SocketHandle socket, int viewId, int crlf, CaptureQueue& queue, int serverSide, int buffers)
{
    const auto passStart = system_.Now();
    // A tick that already waited for a connect has held the window that long: its pass reads only
    // what its time leaves, so that the window answers again within about a tick.
    const auto minPassEnd = passStart
        + std::max<SendRate::Duration>(receiveBudget_.minPassTime - tickConnectWait_, SendRate::Duration::zero());
    // The "Auto" boxes are read again when their forwarding runs; here they only tell what it
    // will send.
    const bool autoToServer = IsChecked(IDC_CLIENT_AUTO) == 1;
    const bool autoToClient = IsChecked(IDC_SERVER_AUTO) == 1;
    ReceiveArea areas[kReceiveChunksPerRead];
    const int areaCount = std::clamp(receiveBudget_.chunksPerRead, 1, kReceiveChunksPerRead);
    for (int i = 0; i < areaCount; ++i)
        areas[i] = ReceiveArea{receiveBuffer + i * kReceiveChunkSize, kReceiveChunkSize};
    int total = 0;
    bool lastRead = false;
    for (;;) {
        const int n = sockets_.RecvScatter(socket, areas, areaCount, 0);
        if (n > 0) {
            // Every area but the last one filled is full: one chunk each, queue first, display second.
            for (int offset = 0; offset < n; offset += kReceiveChunkSize) {
                const int length = std::min(kReceiveChunkSize, n - offset);
                Enqueue(receiveBuffer + offset, length, queue);
                FormatToView(receiveBuffer + offset, length, viewId, crlf, buffers);
            }
            total += n;
            // A click while an out-of-memory box was open may have closed this connection.
            if (socket != (serverSide != 0 ? remoteClientSocket : remoteServerSocket))
                break;
            // A sender faster than the relay never lets the socket run dry: leave the rest in
            // the socket for the next tick so that forwarding and the window keep up.
            if (lastRead)
                break;
            const auto now = system_.Now();
            if (now >= minPassEnd
                && ReadTimeLeft(serverSide, autoToServer, autoToClient, now, passStart) <= SendRate::Duration::zero()) {
                // A read that came back short has most likely emptied the socket: one more read
                // tells whether the peer has closed it, so that a close right behind the last
                // bytes is met in the tick that read them.
                if (n < areaCount * kReceiveChunkSize) {
                    lastRead = true;
                    continue;
                }
                break;
            }
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
                if (total >= kBulkPassBytes && !lastRead) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        ReadTimeLeft(serverSide, autoToServer, autoToClient, system_.Now(), passStart));
                    if (left.count() > 0 && sockets_.WaitReadable(socket, static_cast<int>(left.count())) == 1)
                        continue;
                }
                break;
            }
            message = "Connection terminated.";
        }
        if (serverSide != 0)
            CloseRemoteClient(message, code);
        else
            CloseRemoteServer(message, code);
        break;
    }
    return total;
}

SendRate::Duration CRelayDlg::ReadTimeLeft(
    int serverSide, bool autoToServer, bool autoToClient, TimePoint now, TimePoint passStart) const
{
    // The server side's bytes and the replies the previous tick read are sent in this tick, after
    // the server side's pass; the client side's bytes at the start of the next.
    const auto toServer = ForwardingTime(true, autoToServer);
    const auto toClient = ForwardingTime(false, autoToClient);
    const auto laterThisTick = serverSide != 0 ? toServer + toClient : toServer;
    const auto startOfNextTick = serverSide != 0 ? SendRate::Duration::zero() : toClient;
    const auto tickTime = receiveBudget_.tickTime;
    return std::min(tickStart_ + tickTime - (now + laterThisTick), passStart + tickTime - (now + startOfNextTick));
}
