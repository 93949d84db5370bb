// The local server endpoint: "Listen", the listening socket, and the one accepted client.
#include <string>

#include "console/field_text.h"
#include "console/relay_dlg.h"
#include "res/resource.h"

namespace {

// A failed accept that concerns one incoming connection alone: it went away (a client that gave up,
// a reset while it waited in the queue) before it was taken. Windows reports 10054 or 10053 for it,
// Wine 10057, and the POSIX layer maps Linux's forms of it to these codes. The listener is sound and
// the next accept may well succeed, so the server keeps listening and tries again on the next tick;
// any other failure is about listening itself, and stops it.
bool IsOneConnectionLost(int code)
{
    return code == kWsaEconnaborted || code == kWsaEconnreset || code == kWsaEnotconn;
}

} // namespace

void CRelayDlg::OnListen()
{
    if (ValidatePorts() == 0)
        return;
    if (ValidateHost() == 0)
        return;
    EnableConfiguration(0);
    StartListening();
}

int CRelayDlg::ValidatePorts()
{
    if (NamesNoPort(host_.GetControlText(IDC_LISTEN_PORT))) {
        host_.MessageBox("You must enter a valid listen port.");
        return 0;
    }
    return ValidateDestPort();
}

int CRelayDlg::GetListenPort()
{
    return LeadingNumber(host_.GetControlText(IDC_LISTEN_PORT));
}

int CRelayDlg::FillAnyAddress(SocketAddressIn& address, int port)
{
    address = SocketAddressIn{};
    address.family = kAfInet;
    address.port = HostToNetworkShort(port);
    return 1;
}

int CRelayDlg::StartListening()
{
    listenSocket = sockets_.Socket(kAfInet, kSockStream, kIpProtoTcp);
    if (listenSocket == kNoSocket) {
        StopListening("Failed to get socket.", sockets_.LastError());
        return 0;
    }
    SocketAddressIn address;
    FillAnyAddress(address, GetListenPort());
    if (sockets_.Bind(listenSocket, address) != 0) {
        StopListening("Failed to bind socket.", sockets_.LastError());
        return 0;
    }
    if (sockets_.Listen(listenSocket, kListenBacklog) != 0) {
        StopListening("Failed to listen on socket.", sockets_.LastError());
        return 0;
    }
    sockets_.SetNonBlocking(listenSocket, true);
    OnListening();
    return 1;
}

void CRelayDlg::OnListening()
{
    EnableControl(IDC_STOP_SERVER, 1);
    SetServerStatus("Listening...");
    StartPollTimer();
}

SocketHandle CRelayDlg::AcceptRemoteClient()
{
    if (listenSocket == kNoSocket) {
        StopListening("Listen cancelled.", 0);
        return kNoSocket;
    }
    if (remoteClientSocket != kNoSocket)
        return kNoSocket;
    SocketAddressIn peer{};
    remoteClientSocket = sockets_.Accept(listenSocket, &peer);
    if (remoteClientSocket == kNoSocket) {
        const int code = sockets_.LastError();
        if (code != kWsaEwouldblock && !IsOneConnectionLost(code))
            StopListening("accept failed.", code);
        return kNoSocket;
    }
    SetNoDelay(remoteClientSocket);
    OnRemoteClientConnected(remoteClientSocket);
    return remoteClientSocket;
}

void CRelayDlg::OnRemoteClientConnected(SocketHandle)
{
    SetServerStatus("Connected!");
    EnableControl(IDC_SERVER_SEND, 1);
    EnableControl(IDC_SERVER_DISCONNECT, 1);
    if (IsChecked(IDC_CLIENT_AUTO) == 1 && remoteServerConnected == 0)
        OnConnect();
}
