// The two status lines and the teardowns that report on them, with the coupling between the
// two sides that the "Auto" boxes switch on.
#include <string>

#include "console/relay_dlg.h"
#include "console/status_text.h"
#include "res/resource.h"

void CRelayDlg::SetStatus(const Direction& half, const std::string& text)
{
    host_.SetControlText(half.controls.status, text);
}

void CRelayDlg::CloseSocket(SocketHandle& socket)
{
    if (socket == kNoSocket)
        return;
    sockets_.Shutdown(socket, kShutdownBoth);
    sockets_.CloseSocket(socket);
    socket = kNoSocket;
}

void CRelayDlg::StopListening(const char* message, int code)
{
    CloseSocket(listenSocket);
    EnableConfiguration(true);
    EnableControl(IDC_SERVER_SEND, false);
    EnableControl(IDC_SERVER_DISCONNECT, false);
    SetServerStatus(ComposeStatus(message, code));
}

void CRelayDlg::ClosePeer(Direction& half, const char* message, int code)
{
    half.connected = false;
    CloseSocket(half.peer);
    // What was still to go to this peer waits for the next one's forwarding.
    half.request = {};
    if (half.controls.connectButton != 0)
        EnableControl(half.controls.connectButton, true);
    EnableControl(half.controls.sendButton, false);
    SetStatus(half, ComposeStatus(message, code));
    Direction& other = Other(half);
    if (IsChecked(other.controls.autoBox) == 1 && Connected(other)) {
        // Hand the other peer what this one sent last before closing it, as the ticked box would
        // have on this tick; otherwise it would go to the next connection instead of this
        // conversation's (a server that replies and closes in one tick would see its reply go to
        // the next client). A peer slow to take it keeps its connection until it has.
        Forward(other);
        CloseWhenSent(other);
    }
}

void CRelayDlg::OnStopServer()
{
    CloseRemoteClient("Connection to client terminated.", 0);
    StopListening("Idle.", 0);
}
