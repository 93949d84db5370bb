#include <string>

#include "console_fixture.h"

namespace {

class ControlsTest : public ConsoleTest { };

TEST_F(ControlsTest, OpeningAddsAboutItemAndBothIcons)
{
    ASSERT_EQ(host.systemMenu.size(), 1u);
    EXPECT_EQ(host.systemMenu[0], std::make_pair(unsigned{IDM_ABOUTBOX}, std::string("&About brindle...")));
    EXPECT_EQ(host.icons, (std::vector<std::pair<int, bool>>{{IDR_MAINFRAME, true}, {IDR_MAINFRAME, false}}));
}

TEST(SystemCommands, OnlyTheAboutCommandUnderTheMaskOpensTheAboutBox)
{
    FakeDialogHost host{res::RelayDialogTemplate()};
    FakeSockets sockets;
    FakeSystem system;
    int aboutBoxes = 0;
    CRelayDlg dlg{host, sockets, system, [&aboutBoxes] { ++aboutBoxes; }};
    EXPECT_TRUE(dlg.OnSysCommand(0x10));
    EXPECT_TRUE(dlg.OnSysCommand(0x1F));
    EXPECT_FALSE(dlg.OnSysCommand(0xF060)); // close
    EXPECT_FALSE(dlg.OnSysCommand(0xF020)); // minimise
    EXPECT_FALSE(dlg.OnSysCommand(0x20));
    EXPECT_EQ(aboutBoxes, 2);
}

TEST_F(ControlsTest, CountersGrowOnlyByPositiveAmountsAndResetToZero)
{
    Listen();
    const SocketHandle client = AcceptClient();
    sockets.Deliver(client, std::string(5000, 'x'));
    Tick();
    EXPECT_EQ(host.Text(IDC_SERVER_RECEIVED), "5000");
    // A tick that reads nothing leaves the field as it is.
    host.Type(IDC_SERVER_RECEIVED, "as shown");
    Tick();
    EXPECT_EQ(host.Text(IDC_SERVER_RECEIVED), "as shown");
    sockets.Deliver(client, "abc");
    Tick();
    EXPECT_EQ(host.Text(IDC_SERVER_RECEIVED), "5003");
    EXPECT_EQ(Counter(IDC_SERVER_RECEIVED), 5003);

    host.Click(IDC_SERVER_RESET);
    EXPECT_EQ(host.Text(IDC_SERVER_RECEIVED), "0");
    EXPECT_EQ(host.Text(IDC_SERVER_SENT), "0");
    EXPECT_EQ(QueuedChunks(), 3u); // resets leave queues alone

    // Closing and reopening a connection does not reset the counters.
    host.Click(IDC_SERVER_DISCONNECT);
    const SocketHandle next = AcceptClient();
    sockets.Deliver(next, "z");
    Tick();
    EXPECT_EQ(host.Text(IDC_SERVER_RECEIVED), "1");
}

TEST_F(ControlsTest, PollTimerStartsOnceAndRetriesAfterFailure)
{
    // "Listen" and "Connect" each start it.
    host.failTimers = true;
    Listen();
    EXPECT_EQ(TimerRunning(), 0);
    host.failTimers = false;
    host.Click(IDC_CONNECT);
    EXPECT_EQ(TimerRunning(), 1);
    host.Click(IDC_CONNECT);
    EXPECT_EQ(TimerRunning(), 1);
    EXPECT_EQ(host.timerStarts, 2);
    EXPECT_EQ(host.timers.at(POLL_TIMER_ID), 100u);
}

TEST_F(ControlsTest, ClicksWithoutHandlersAreNotClaimed)
{
    for (int id : {IDOK, IDCANCEL, IDC_CLIENT_CRLF, IDC_SERVER_BUFFERS, IDC_CLIENT_CLEAR_ON_SEND, IDC_PLUGIN_LOAD})
        EXPECT_FALSE(dlg.OnCommand(id)) << id;
    EXPECT_TRUE(dlg.OnCommand(IDC_CLIENT_RESET));
}

TEST_F(ControlsTest, OtherTimersDoNotTick)
{
    Listen();
    sockets.QueueClient();
    dlg.OnTimer(IDC_CLIENT_CLEAR + 1);
    EXPECT_EQ(RemoteClient(), kNoSocket);
    dlg.OnTimer(POLL_TIMER_ID);
    EXPECT_NE(RemoteClient(), kNoSocket);
}

} // namespace
