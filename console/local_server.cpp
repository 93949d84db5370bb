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
    if (!ValidatePorts())
        return;
    if (!ValidateHost())
        return;
    EnableConfiguration(false);
    StartListening();
}

bool CRelayDlg::ValidatePorts()
{
    if (NamesNoPort(host_.GetControlText(IDC_LISTEN_PORT))) {
        host_.MessageBox("You must enter a valid listen port.");
        return false;
    }
    return ValidateDestPort();
}

int CRelayDlg::GetListenPort()
{
    return LeadingNumber(host_.GetControlText(IDC_LISTEN_PORT));
}

bool CRelayDlg::StartListening()
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
        return false;
    }
    if (sockets_.Bind(listenSocket, address) != 0) {
        StopListening("Failed to bind socket.", sockets_.LastError());
        return false;
    }
    if (sockets_.Listen(listenSocket, kListenBacklog) != 0) {
        StopListening("Failed to listen on socket.", sockets_.LastError());
        return false;
    }
    sockets_.SetNonBlocking(listenSocket, true);
    OnListening();
    return true;
}

void CRelayDlg::OnListening()
{
    EnableControl(IDC_STOP_SERVER, true);
    SetServerStatus("Listening...");
    StartPollTimer();
}

// The tick calls it only while listening without a remote client.
void CRelayDlg::AcceptRemoteClient()
{
    SocketHandle& remoteClientSocket = toClient_.peer;
    SocketAddress peer{};
    remoteClientSocket = sockets_.Accept(listenSocket, &peer);
    if (remoteClientSocket == kNoSocket) {
        const int code = sockets_.LastError();
        if (code != kWsaEwouldblock && !IsOneConnectionLost(code))
            StopListening("accept failed.", code);
        return;
    }
    toClient_.connected = true;
    SetNoDelay(remoteClientSocket);
    OnRemoteClientConnected();
}

void CRelayDlg::OnRemoteClientConnected()
{
    SetServerStatus("Connected!");
    EnableControl(IDC_SERVER_SEND, true);
    EnableControl(IDC_SERVER_DISCONNECT, true);
    if (IsChecked(IDC_CLIENT_AUTO) == 1 && !toServer_.connected)
        OnConnect();
}
