// The local client endpoint: the one connection to the destination, started without blocking
// and then polled in steps of 100 ms.
#include <chrono>
#include <string>

#include "console/field_text.h"
#include "console/relay_dlg.h"
#include "platform/system_services.h"
#include "res/resource.h"

void CRelayDlg::OnConnect()
{
    if (ValidateHost() == 0)
        return;
    SetClientStatus("Connecting...");
    EnableControl(IDC_CONNECT, 0);
    ConnectRemoteServer(kConnectPollsOnClick);
    StartPollTimer();
}

int CRelayDlg::ValidateHost()
{
    if (IsBlank(host_.GetControlText(IDC_DEST_HOST))) {
        host_.MessageBox("You must enter a valid hostname.");
        return 0;
    }
    return 1;
}

int CRelayDlg::SetNoDelay(SocketHandle socket)
{
    return sockets_.SetTcpNoDelay(socket, 1) >= 0 ? 1 : 0;
}

int CRelayDlg::GetDestPort()
{
    return LeadingNumber(host_.GetControlText(IDC_DEST_PORT));
}

int CRelayDlg::ResolveAddress(int port, std::string host, SocketAddressIn& address, int* errorCode)
{
    address = SocketAddressIn{};
    std::uint32_t resolved = 0;
    int error = 0;
    // A text that begins with a digit is only ever a dotted address, never a name to look up.
    if (!host.empty() && host[0] >= '0' && host[0] <= '9') {
        resolved = sockets_.InetAddr(host.c_str());
        if (resolved == kInaddrNone)
            error = kWsaHostNotFound;
    } else if (!sockets_.GetHostByName(host.c_str(), &resolved)) {
        error = sockets_.LastError() != 0 ? sockets_.LastError() : kWsaHostNotFound;
    }
    if (error != 0) {
        if (errorCode != nullptr)
            *errorCode = error;
        return 0;
    }
    address.family = kAfInet;
    address.port = HostToNetworkShort(port);
    address.address = resolved;
    return 1;
}

int CRelayDlg::ConnectRemoteServer(int maxPolls)
{
    int error = kWsaEwouldblock;
    int pending = 1;
    int result = 1;

    if (remoteServerConnected != 0) {
        // "Connect" on a live connection: the line must not keep saying "Connecting...".
        SetClientStatus("Connected!");
        return 1;
    }
    if (remoteServerSocket == kNoSocket) {
        const int port = GetDestPort();
        const std::string host = host_.GetControlText(IDC_DEST_HOST);
        remoteServerSocket = sockets_.Socket(kAfInet, kSockStream, kIpProtoTcp);
        if (remoteServerSocket == kNoSocket) {
            CloseRemoteServer("Failed to get socket.", sockets_.LastError());
            return 0;
        }
        SetNoDelay(remoteServerSocket);
        sockets_.SetNonBlocking(remoteServerSocket, true);
        int resolveError = 0;
        if (ResolveAddress(port, host, remoteServerAddress, &resolveError) == 0) {
            // Reported rather than left pending: no connect was issued, so nothing would ever
            // complete and the line would say "Connecting..." for good.
            CloseSocket(remoteServerSocket);
            CloseRemoteServer("Failed to get socket address.", resolveError);
            return 0;
        }
        if (sockets_.Connect(remoteServerSocket, remoteServerAddress) == 0)
            pending = 0;
        else
            error = sockets_.LastError();
    }

    if (error != kWsaEwouldblock) {
        CloseSocket(remoteServerSocket);
        CloseRemoteServer("Failed to get socket address.", error);
        return 0;
    }
    if (pending == 0) {
        OnRemoteServerConnected(remoteServerSocket);
        return 1;
    }

    while (maxPolls > 0) {
        --maxPolls;
        system_.Sleep(std::chrono::milliseconds(kPollPeriodMs));
        tickConnectWait_ += std::chrono::milliseconds(kPollPeriodMs);
        if (remoteServerSocket == kNoSocket) {
            CloseRemoteServer("Connection cancelled.", 0);
            result = 0;
            error = 0;
            break;
        }
        const int writable = sockets_.SelectWritable(remoteServerSocket);
        if (writable == 0) {
            error = kWsaEwouldblock;
            continue;
        }
        error = writable < 0 ? sockets_.LastError() : 0;
        break;
    }

    if (error == 0) {
        if (result == 1) {
            OnRemoteServerConnected(remoteServerSocket);
            return 1;
        }
        return 0;
    }
    if (error == kWsaEwouldblock)
        return 0;
    CloseSocket(remoteServerSocket);
    CloseRemoteServer("Failed to connect.", error);
    return 0;
}

void CRelayDlg::OnRemoteServerConnected(SocketHandle)
{
    SetClientStatus("Connected!");
    remoteServerConnected = 1;
    EnableControl(IDC_CONNECT, 0);
    EnableControl(IDC_CLIENT_DISCONNECT, 1);
    EnableControl(IDC_CLIENT_SEND, 1);
}
