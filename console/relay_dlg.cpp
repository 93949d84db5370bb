// The console's controls, counters, opening state and the table that binds clicks to handlers.
#include "console/relay_dlg.h"

#include <string>

#include "console/field_text.h"
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
    // Each half's controls, in the order HalfControls lists them.
    : toServer_(system,
        {IDC_TO_SERVER_VIEW, IDC_CLIENT_CRLF, IDC_CLIENT_BUFFERS, IDC_CLIENT_AUTO, IDC_CLIENT_CLEAR_ON_SEND,
            IDC_CLIENT_SEND, IDC_CLIENT_DISCONNECT, IDC_CONNECT, IDC_CLIENT_STATUS, IDC_CLIENT_RECEIVED,
            IDC_CLIENT_SENT, "Idle."})
    , toClient_(system,
          {IDC_TO_CLIENT_VIEW, IDC_SERVER_CRLF, IDC_SERVER_BUFFERS, IDC_SERVER_AUTO, IDC_SERVER_CLEAR_ON_SEND,
              IDC_SERVER_SEND, IDC_SERVER_DISCONNECT, 0, IDC_SERVER_STATUS, IDC_SERVER_RECEIVED, IDC_SERVER_SENT,
              "Connection to client terminated."})
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
    host_.SetIcon(IDR_MAINFRAME, true);
    host_.SetIcon(IDR_MAINFRAME, false);
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

void CRelayDlg::EnableControl(int controlId, bool enable)
{
    if (host_.HasControl(controlId))
        host_.EnableControl(controlId, enable);
}

unsigned CRelayDlg::IsChecked(int controlId) const
{
    return host_.HasControl(controlId) ? host_.GetCheck(controlId) : 0;
}

void CRelayDlg::EnableConfiguration(bool enable)
{
    EnableControl(IDC_LISTEN_PORT, enable);
    EnableControl(IDC_DEST_PORT, enable);
    EnableControl(IDC_DEST_HOST, enable);
    EnableControl(IDC_LISTEN, enable);
}

bool CRelayDlg::RequireText(int controlId, const char* complaint)
{
    if (!IsBlank(host_.GetControlText(controlId)))
        return true;
    host_.MessageBox(complaint);
    return false;
}

void CRelayDlg::UpdateCounter(Counter& counter, std::int64_t amount)
{
    if (amount < 1)
        return;
    counter.value += amount;
    host_.SetControlText(counter.field, std::to_string(counter.value));
}

void CRelayDlg::ResetCounter(Counter& counter)
{
    counter.value = 0;
    host_.SetControlText(counter.field, "0");
}

void CRelayDlg::ResetCounters(Direction& half)
{
    ResetCounter(half.sent);
    ResetCounter(half.received);
}

bool CRelayDlg::StartPollTimer()
{
    if (!pollTimerRunning)
        pollTimerRunning = host_.SetTimer(POLL_TIMER_ID, kPollPeriodMs);
    return pollTimerRunning;
}

void CRelayDlg::InitConsole()
{
    host_.SetControlText(IDC_DEST_PORT, "80");
    host_.SetControlText(IDC_LISTEN_PORT, "80");
    StopListening(nullptr, 0);
    pollTimerRunning = false;
    toClient_.peer = kNoSocket;
    toServer_.peer = kNoSocket;
    toServer_.connected = false;
    ResetCounters(toServer_);
    ResetCounters(toClient_);
    CloseRemoteServer(nullptr, 0);
}
