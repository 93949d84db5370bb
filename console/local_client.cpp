// The local client endpoint: the one connection to the destination. Every address of the
// destination is tried in turn; an attempt is started without blocking and looked at on each tick
// without waiting, so that a destination that stays silent never holds the window.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "console/field_text.h"
#include "console/relay_dlg.h"
#include "platform/system_services.h"
#include "res/resource.h"

void CRelayDlg::OnConnect()
{
    if (!ValidateDestPort() || !ValidateHost())
        return;
    SetClientStatus("Connecting...");
    EnableControl(IDC_CONNECT, false);
    ConnectRemoteServer();
    StartPollTimer();
}

bool CRelayDlg::ValidateDestPort()
{
    if (NamesNoPort(host_.GetControlText(IDC_DEST_PORT))) {
        host_.MessageBox("You must enter a valid destination port.");
        return false;
    }
    return true;
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

namespace {

// Keeps the IPv6 addresses alone: brackets and a leading digit never stand for an IPv4 address
// other than the dotted one inet_addr reads.
void KeepIpv6(std::vector<SocketAddress>& addresses)
{
    std::erase_if(addresses, [](const SocketAddress& address) { return address.family != kAfInet6; });
}

} // namespace

bool CRelayDlg::ResolveAddress(int port, std::string host, std::vector<SocketAddress>& addresses, int* errorCode)
{
    addresses.clear();
    int error = 0;
    if (!host.empty() && host[0] >= '0' && host[0] <= '9') {
        // A text that begins with a digit is only ever an address, never a name to look up: a
        // dotted IPv4 one, or an IPv6 one such as 2001:db8::1.
        const std::uint32_t dotted = sockets_.InetAddr(host.c_str());
        if (dotted != kInaddrNone) {
            SocketAddress address;
            address.family = kAfInet;
            std::memcpy(address.bytes.data(), &dotted, sizeof dotted); // network order, as the bytes
            addresses.push_back(address);
        } else if (sockets_.ResolveHost(host.c_str(), true, &addresses)) {
            KeepIpv6(addresses);
        }
    } else if (!host.empty() && host[0] == '[') {
        // [::1], as a URL writes it: the IPv6 address inside, never a name.
        if (host.back() == ']' && sockets_.ResolveHost(host.substr(1, host.size() - 2).c_str(), true, &addresses))
            KeepIpv6(addresses);
    } else if (!sockets_.ResolveHost(host.c_str(), false, &addresses)) {
        // A name, or an IPv6 address that begins with a letter or a colon (::1, fe80::1%eth0).
        error = sockets_.LastError() != 0 ? sockets_.LastError() : kWsaHostNotFound;
    }
    if (addresses.empty()) {
        if (errorCode != nullptr)
            *errorCode = error != 0 ? error : kWsaHostNotFound;
        return false;
    }
    for (SocketAddress& address : addresses)
        address.port = static_cast<std::uint16_t>(port); // the low 16 bits
    return true;
}

bool CRelayDlg::ConnectRemoteServer()
{
    SocketHandle& remoteServerSocket = toServer_.peer;
    if (toServer_.connected) {
        // "Connect" on a live connection: the line must not keep saying "Connecting...".
        SetClientStatus("Connected!");
        return true;
    }
    if (remoteServerSocket == kNoSocket) {
        int error = 0;
        if (!ResolveAddress(GetDestPort(), host_.GetControlText(IDC_DEST_HOST), destinationAddresses_, &error)) {
            CloseRemoteServer("Failed to get socket address.", error);
            return false;
        }
        nextDestination_ = 0;
    }

    // An attempt started here is looked at once with a short wait, so that a connection the system
    // completes at once (loopback) relays in this very tick; the waits of one call share that time.
    auto lookWait = std::chrono::milliseconds(kConnectFirstLookMs);
    if (tickInProgress_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            tickStart_ + receiveBudget_.tickTime - system_.Now());
        lookWait = std::clamp(left, std::chrono::milliseconds(0), lookWait);
    }
    const auto lookEnd = system_.Now() + lookWait;
    AttemptFailure failure{"Failed to get socket address.", kWsaHostNotFound};
    // Each round ends one attempt or returns, so there are at most as many rounds as addresses.
    for (;;) {
        int waitMs = 0;
        if (remoteServerSocket == kNoSocket) {
            if (nextDestination_ >= destinationAddresses_.size()) {
                // Every address failed: the last one's failure stands for them all.
                CloseRemoteServer(failure.message, failure.code);
                return false;
            }
            const AttemptStart start = StartAttempt(destinationAddresses_[nextDestination_++], failure);
            if (start == AttemptStart::Failed)
                continue;
            if (start == AttemptStart::Connected) {
                OnRemoteServerConnected();
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lookEnd - system_.Now());
            waitMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        const int state = sockets_.ConnectState(remoteServerSocket, waitMs);
        if (state == 1) {
            OnRemoteServerConnected();
            return true;
        }
        if (state == 0 && system_.Now() < attemptDeadline_)
            return false;
        // Refused, unreachable or silent for too long: on to the next address.
        failure = {"Failed to connect.", state == 0 ? kWsaEtimedout : sockets_.LastError()};
        CloseSocket(remoteServerSocket);
    }
}

CRelayDlg::AttemptStart CRelayDlg::StartAttempt(const SocketAddress& address, AttemptFailure& failure)
{
    SocketHandle& remoteServerSocket = toServer_.peer;
    remoteServerSocket = sockets_.Socket(address.family, kSockStream, kIpProtoTcp);
    if (remoteServerSocket == kNoSocket) {
        failure = {"Failed to get socket.", sockets_.LastError()};
        return AttemptStart::Failed;
    }
    SetNoDelay(remoteServerSocket);
    sockets_.SetNonBlocking(remoteServerSocket, true);
    if (sockets_.Connect(remoteServerSocket, address) == 0)
        return AttemptStart::Connected;
    const int error = sockets_.LastError();
    if (error != kWsaEwouldblock) {
        CloseSocket(remoteServerSocket);
        failure = {"Failed to get socket address.", error};
        return AttemptStart::Failed;
    }
    attemptDeadline_ = system_.Now() + kConnectAttemptTimeout;
    return AttemptStart::Pending;
}

void CRelayDlg::OnRemoteServerConnected()
{
    SetClientStatus("Connected!");
    toServer_.connected = true;
    EnableControl(IDC_CONNECT, false);
    EnableControl(IDC_CLIENT_DISCONNECT, true);
    EnableControl(IDC_CLIENT_SEND, true);
}
