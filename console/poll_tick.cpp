// The 100 ms poll tick: accept, finish a pending connect, drain both connections into their
// queues and views, and forward where an "Auto" box is ticked.
#include <algorithm>

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
    const auto tickTime = serverSide != 0 ? receiveBudget_.tickTime : receiveBudget_.clientTickTime;
    const auto deadline = std::max(passStart + receiveBudget_.minPassTime, tickStart_ + tickTime);
    int total = 0;
    for (;;) {
        const int n = sockets_.Recv(socket, receiveBuffer, kReceiveChunkSize, 0);
        if (n > 0) {
            Enqueue(receiveBuffer, n, queue);
            FormatToView(receiveBuffer, n, viewId, crlf, buffers);
            total += n;
            // A click while an out-of-memory box was open may have closed this connection.
            if (socket != (serverSide != 0 ? remoteClientSocket : remoteServerSocket))
                break;
            // A sender faster than the relay never lets the socket run dry: leave the rest in
            // the socket for the next tick so that forwarding and the window keep up.
            if (system_.Now() >= deadline)
                break;
            continue;
        }
        const char* message = "Connection gracefully terminated.";
        int code = 0;
        if (n < 0) {
            code = sockets_.LastError();
            if (code == kWsaEwouldblock)
                break;
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
