// The two status lines and the teardowns that report on them, with the coupling between the
// two sides that the "Auto" boxes switch on.
#include <string>

#include "console/relay_dlg.h"
#include "res/resource.h"

void CRelayDlg::SetServerStatus(const std::string& text)
{
    host_.SetControlText(IDC_SERVER_STATUS, text);
}

void CRelayDlg::SetClientStatus(const std::string& text)
{
    host_.SetControlText(IDC_CLIENT_STATUS, text);
}

std::string CRelayDlg::ComposeStatus(const char* message, int code)
{
    if (message == nullptr && code == 0)
        return "Idle";
    std::string text = message != nullptr ? message : "";
    if (code != 0)
        text += FormatSocketError(code);
    return text;
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
    EnableConfiguration(1);
    EnableControl(IDC_SERVER_SEND, 0);
    EnableControl(IDC_SERVER_DISCONNECT, 0);
    SetServerStatus(ComposeStatus(message, code));
}

void CRelayDlg::CloseRemoteClient(const char* message, int code)
{
    CloseSocket(remoteClientSocket);
    // What was still to go to this client waits for the next one's forwarding.
    toClientRequest_ = {};
    EnableControl(IDC_SERVER_SEND, 0);
    SetServerStatus(ComposeStatus(message, code));
    if (IsChecked(IDC_CLIENT_AUTO) == 1 && remoteServerConnected == 1) {
        // Hand the remote server what its client sent last before closing it, as the ticked
        // box would have on this tick; otherwise it would wait for the next server connection.
        // A server slow to take it keeps its connection until it has.
        ForwardToServer();
        CloseWhenSent(toServerRequest_, &CRelayDlg::OnClientDisconnect);
    }
}

void CRelayDlg::CloseRemoteServer(const char* message, int code)
{
    remoteServerConnected = 0;
    CloseSocket(remoteServerSocket);
    toServerRequest_ = {};
    EnableControl(IDC_CONNECT, 1);
    EnableControl(IDC_CLIENT_SEND, 0);
    SetClientStatus(ComposeStatus(message, code));
    if (IsChecked(IDC_SERVER_AUTO) == 1 && remoteClientSocket != kNoSocket) {
        // A server that replies and closes in one tick would otherwise see its reply go to the
        // next client instead of the one that asked.
        ForwardToClient();
        CloseWhenSent(toClientRequest_, &CRelayDlg::OnServerDisconnect);
    }
}

void CRelayDlg::OnServerDisconnect()
{
    CloseRemoteClient("Connection to client terminated.", 0);
}

void CRelayDlg::OnClientDisconnect()
{
    CloseRemoteServer("Idle.", 0);
}

void CRelayDlg::OnStopServer()
{
    CloseRemoteClient("Connection to client terminated.", 0);
    StopListening("Idle.", 0);
}
