// The local server endpoint: "Listen", the listening socket, and the one accepted client.
#include <cstdint>
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

// The system has no IPv6 to listen on.
bool IsWithoutIpv6(int code)
{
    return code == kWsaEafnosupport || code == kWsaEpfnosupport || code == kWsaEprotonosupport;
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
    if (IsBlank(host_.GetControlText(IDC_LISTEN_PORT))) {
        host_.MessageBox("You must enter a valid listen port.");
        return 0;
    }
    if (IsBlank(host_.GetControlText(IDC_DEST_PORT))) {
        host_.MessageBox("You must enter a valid destination port.");
        return 0;
    }
    return 1;
}

int CRelayDlg::GetListenPort()
{
    return LeadingNumber(host_.GetControlText(IDC_LISTEN_PORT));
}

int CRelayDlg::StartListening()
{
    // Any local address of both families: one IPv6 socket takes IPv4 clients as well. A system
    // without IPv6 listens on IPv4 alone.
    SocketAddress address;
    address.family = kAfInet6;
    address.port = static_cast<std::uint16_t>(GetListenPort()); // the low 16 bits
    listenSocket = sockets_.Socket(kAfInet6, kSockStream, kIpProtoTcp);
    if (listenSocket == kNoSocket && IsWithoutIpv6(sockets_.LastError())) {
        address.family = kAfInet;
        listenSocket = sockets_.Socket(kAfInet, kSockStream, kIpProtoTcp);
    }
    if (listenSocket == kNoSocket) {
        StopListening("Failed to get socket.", sockets_.LastError());
        return 0;
    }
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
    SocketAddress peer{};
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
