// The console's controls, counters, opening state and the table that binds clicks to handlers.
#include "console/relay_dlg.h"

#include <string>

#include "res/resource.h"
#include "res/string_table.h"

const CRelayDlg::MessageMapEntry CRelayDlg::kMessageMap[] = {
    {IDC_CLIENT_AUTO, &CRelayDlg::OnClientAuto},
    {IDC_SERVER_AUTO, &CRelayDlg::OnServerAuto},
    {IDC_LISTEN, &CRelayDlg::OnListen},
    {IDC_CONNECT, &CRelayDlg::OnConnect},
    {IDC_CLIENT_SEND, &CRelayDlg::ForwardToServer},
    {IDC_SERVER_SEND, &CRelayDlg::ForwardToClient},
    {IDC_SERVER_DISCONNECT, &CRelayDlg::OnServerDisconnect},
    {IDC_CLIENT_DISCONNECT, &CRelayDlg::OnClientDisconnect},
    {IDC_CLIENT_CLEAR, &CRelayDlg::OnClientClear},
    {IDC_SERVER_CLEAR, &CRelayDlg::OnServerClear},
    {IDC_STOP_SERVER, &CRelayDlg::OnStopServer},
    {IDC_CLIENT_RESET, &CRelayDlg::OnClientReset},
    {IDC_SERVER_RESET, &CRelayDlg::OnServerReset},
};

CRelayDlg::CRelayDlg(DialogHost& host, SocketsLayer& sockets, SystemServices& system, std::function<void()> runAboutBox)
    : toClientQueue(system)
    , toServerQueue(system)
    , appIcon(IDR_MAINFRAME)
    , host_(host)
    , sockets_(sockets)
    , system_(system)
    , runAboutBox_(std::move(runAboutBox))
{ }

int CRelayDlg::DoModal()
{
    return host_.RunModal(*this);
}

void CRelayDlg::OnInitDialog()
{
    const std::string aboutMenu = res::LoadString(IDS_ABOUTBOX);
    if (!aboutMenu.empty())
        host_.AppendSystemMenuItem(IDM_ABOUTBOX, aboutMenu);
    host_.SetIcon(appIcon, true);
    host_.SetIcon(appIcon, false);
    InitConsole();
}

bool CRelayDlg::OnCommand(int controlId)
{
    for (const MessageMapEntry& entry : kMessageMap) {
        if (entry.controlId == controlId) {
            (this->*entry.handler)();
            return true;
        }
    }
    return false;
}

bool CRelayDlg::OnSysCommand(unsigned commandId)
{
    if ((commandId & kSystemCommandMask) != IDM_ABOUTBOX)
        return false;
    if (runAboutBox_)
        runAboutBox_();
    return true;
}

void CRelayDlg::EnableControl(int controlId, int enable)
{
    if (host_.HasControl(controlId))
        host_.EnableControl(controlId, enable != 0);
}

unsigned CRelayDlg::IsChecked(int controlId) const
{
    return host_.HasControl(controlId) ? host_.GetCheck(controlId) : 0;
}

void CRelayDlg::EnableConfiguration(int enable)
{
    EnableControl(IDC_LISTEN_PORT, enable);
    EnableControl(IDC_DEST_PORT, enable);
    EnableControl(IDC_DEST_HOST, enable);
    EnableControl(IDC_LISTEN, enable);
}

int CRelayDlg::CounterField(Counter counter)
{
    switch (counter) {
    case Counter::ServerReceived:
        return IDC_SERVER_RECEIVED;
    case Counter::ServerSent:
        return IDC_SERVER_SENT;
    case Counter::ClientReceived:
        return IDC_CLIENT_RECEIVED;
    case Counter::ClientSent:
        break;
    }
    return IDC_CLIENT_SENT;
}

std::int64_t& CRelayDlg::CounterValue(Counter counter)
{
    switch (counter) {
    case Counter::ServerReceived:
        return serverReceivedBytes;
    case Counter::ServerSent:
        return serverSentBytes;
    case Counter::ClientReceived:
        return clientReceivedBytes;
    case Counter::ClientSent:
        break;
    }
    return clientSentBytes;
}

void CRelayDlg::UpdateCounter(Counter counter, std::int64_t amount, int reset)
{
    std::int64_t& value = CounterValue(counter);
    if (reset != 0)
        value = 0;
    else if (amount < 1)
        return;
    else
        value += amount;
    host_.SetControlText(CounterField(counter), std::to_string(value));
}

void CRelayDlg::OnClientReset()
{
    UpdateCounter(Counter::ClientSent, 0, 1);
    UpdateCounter(Counter::ClientReceived, 0, 1);
}

void CRelayDlg::OnServerReset()
{
    UpdateCounter(Counter::ServerSent, 0, 1);
    UpdateCounter(Counter::ServerReceived, 0, 1);
}

int CRelayDlg::StartPollTimer()
{
    if (pollTimerRunning != 0)
        return 1;
    pollTimerRunning = host_.SetTimer(POLL_TIMER_ID, kPollPeriodMs) ? 1 : 0;
    return pollTimerRunning;
}

void CRelayDlg::InitConsole()
{
    host_.SetControlText(IDC_DEST_PORT, "80");
    host_.SetControlText(IDC_LISTEN_PORT, "80");
    StopListening(nullptr, 0);
    pollTimerRunning = 0;
    remoteClientSocket = kNoSocket;
    remoteServerSocket = kNoSocket;
    remoteServerConnected = 0;
    UpdateCounter(Counter::ClientReceived, 0, 1);
    UpdateCounter(Counter::ServerReceived, 0, 1);
    UpdateCounter(Counter::ServerSent, 0, 1);
    UpdateCounter(Counter::ClientSent, 0, 1);
    CloseRemoteServer(nullptr, 0);
}
