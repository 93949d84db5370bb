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
    if (!ValidateHost())
        return;
    SetClientStatus("Connecting...");
    EnableControl(IDC_CONNECT, false);
    ConnectRemoteServer(kConnectPollsOnClick);
    StartPollTimer();
}

bool CRelayDlg::ValidateHost()
{
    return RequireText(IDC_DEST_HOST, "You must enter a valid hostname.");
}

bool CRelayDlg::SetNoDelay(SocketHandle socket)
{
    return sockets_.SetTcpNoDelay(socket, 1) >= 0;
}

int CRelayDlg::GetDestPort()
{
    return LeadingNumber(host_.GetControlText(IDC_DEST_PORT));
}

bool CRelayDlg::ResolveAddress(int port, std::string host, SocketAddressIn& address, int* errorCode)
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
        return false;
    }
    address.family = kAfInet;
    address.port = HostToNetworkShort(port);
    address.address = resolved;
    return true;
}

bool CRelayDlg::ConnectRemoteServer(int maxPolls)
{
    SocketHandle& remoteServerSocket = toServer_.peer;
    int error = kWsaEwouldblock;
    bool pending = true;

    if (toServer_.connected) {
        // "Connect" on a live connection: the line must not keep saying "Connecting...".
        SetClientStatus("Connected!");
        return true;
    }
    if (remoteServerSocket == kNoSocket) {
        const int port = GetDestPort();
        const std::string host = host_.GetControlText(IDC_DEST_HOST);
        remoteServerSocket = sockets_.Socket(kAfInet, kSockStream, kIpProtoTcp);
        if (remoteServerSocket == kNoSocket) {
            CloseRemoteServer("Failed to get socket.", sockets_.LastError());
            return false;
        }
        SetNoDelay(remoteServerSocket);
        sockets_.SetNonBlocking(remoteServerSocket, true);
        int resolveError = 0;
        if (!ResolveAddress(port, host, remoteServerAddress, &resolveError)) {
            // Reported rather than left pending: no connect was issued, so nothing would ever
            // complete and the line would say "Connecting..." for good.
            CloseSocket(remoteServerSocket);
            CloseRemoteServer("Failed to get socket address.", resolveError);
            return false;
        }
        if (sockets_.Connect(remoteServerSocket, remoteServerAddress) == 0)
            pending = false;
        else
            error = sockets_.LastError();
    }

    if (error != kWsaEwouldblock) {
        CloseSocket(remoteServerSocket);
        CloseRemoteServer("Failed to get socket address.", error);
        return false;
    }
    if (!pending) {
        OnRemoteServerConnected();
        return true;
    }

    while (maxPolls > 0) {
        --maxPolls;
        system_.Sleep(std::chrono::milliseconds(kPollPeriodMs));
        const int writable = sockets_.SelectWritable(remoteServerSocket);
        if (writable == 0) {
            error = kWsaEwouldblock;
            continue;
        }
        error = writable < 0 ? sockets_.LastError() : 0;
        break;
    }

    if (error == 0) {
        OnRemoteServerConnected();
        return true;
    }
    if (error == kWsaEwouldblock)
        return false;
    CloseSocket(remoteServerSocket);
    CloseRemoteServer("Failed to connect.", error);
    return false;
}

void CRelayDlg::OnRemoteServerConnected()
{
    SetClientStatus("Connected!");
    toServer_.connected = true;
    EnableControl(IDC_CONNECT, false);
    EnableControl(IDC_CLIENT_DISCONNECT, true);
    EnableControl(IDC_CLIENT_SEND, true);
}
