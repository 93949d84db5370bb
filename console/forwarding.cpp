// Capture queues and forwarding: every received chunk waits in the queue of its direction until
// "Send" or a ticked "Auto" box sends it on, one send per chunk, oldest first.
#include "console/relay_dlg.h"
#include "res/resource.h"

void CRelayDlg::Enqueue(const char* bytes, int length, CaptureQueue& queue)
{
    if (!queue.Append(bytes, length))
        host_.MessageBox("Out of memory error.  Data not saved.");
}

std::int64_t CRelayDlg::SendQueue(CaptureQueue& queue, SocketHandle socket)
{
    sockets_.SetNonBlocking(socket, false);
    std::int64_t total = 0;
    while (!queue.IsEmpty()) {
        const CaptureBlock block = queue.Head();
        const int sent = sockets_.Send(socket, block.Data(), block.Length(), 0);
        // A failed send means this connection is gone. The block stays at the head, whole, for
        // the next forwarding in this direction; what went out before it still counts.
        if (sent < 0)
            break;
        total += sent;
        queue.RemoveHead();
    }
    sockets_.SetNonBlocking(socket, true);
    return total;
}

void CRelayDlg::ForwardToServer()
{
    if (remoteServerSocket == kNoSocket || remoteServerConnected == 0)
        return;
    if (IsChecked(IDC_CLIENT_CLEAR_ON_SEND) == 1)
        OnClientClear();
    const std::int64_t total = SendQueue(toServerQueue, remoteServerSocket);
    if (total > 0)
        UpdateCounter(Counter::ClientSent, total, 0);
}

void CRelayDlg::ForwardToClient()
{
    if (remoteClientSocket == kNoSocket)
        return;
    if (IsChecked(IDC_SERVER_CLEAR_ON_SEND) == 1)
        OnServerClear();
    const std::int64_t total = SendQueue(toClientQueue, remoteClientSocket);
    if (total > 0)
        UpdateCounter(Counter::ServerSent, total, 0);
}

void CRelayDlg::OnClientClear()
{
    host_.SetControlText(IDC_TO_SERVER_VIEW, "");
}

void CRelayDlg::OnServerClear()
{
    host_.SetControlText(IDC_TO_CLIENT_VIEW, "");
}

void CRelayDlg::OnClientAuto()
{
    if (IsChecked(IDC_CLIENT_AUTO) == 1) {
        EnableControl(IDC_CLIENT_SEND, 0);
        EnableControl(IDC_CONNECT, 0);
        EnableControl(IDC_CLIENT_DISCONNECT, 0);
        return;
    }
    EnableControl(IDC_CLIENT_SEND, 1);
    EnableControl(IDC_CONNECT, 1);
    if (remoteServerConnected != 0)
        EnableControl(IDC_CLIENT_DISCONNECT, 1);
}

void CRelayDlg::OnServerAuto()
{
    if (IsChecked(IDC_SERVER_AUTO) == 1) {
        EnableControl(IDC_SERVER_SEND, 0);
        EnableControl(IDC_SERVER_DISCONNECT, 0);
        return;
    }
    if (listenSocket != kNoSocket) {
        EnableControl(IDC_SERVER_SEND, 1);
        EnableControl(IDC_SERVER_DISCONNECT, 1);
    }
}
