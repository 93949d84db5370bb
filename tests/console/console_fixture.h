// A console on an in-memory window and a scripted sockets layer, opened as the program opens it.
#ifndef BRINDLE_TESTS_CONSOLE_FIXTURE_H
#define BRINDLE_TESTS_CONSOLE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "console/relay_dlg.h"
#include "fakes/fake_dialog_host.h"
#include "fakes/fake_sockets.h"
#include "fakes/fake_system.h"
#include "res/dialog_template.h"
#include "res/resource.h"

class ConsoleTest : public ::testing::Test {
protected:
    ConsoleTest() { dlg.DoModal(); }

    void Tick() { dlg.OnTimer(POLL_TIMER_ID); }

    // "Listen" on the default fields with a destination host filled in.
    void Listen()
    {
        host.Type(IDC_DEST_HOST, "127.0.0.1");
        host.Click(IDC_LISTEN);
        ASSERT_NE(dlg.ListenSocket(), kNoSocket);
    }

    // A remote client connects and the next tick accepts it.
    SocketHandle AcceptClient()
    {
        sockets.QueueClient();
        Tick();
        return dlg.RemoteClientSocket();
    }

    // "Connect" to a destination that accepts at once.
    SocketHandle ConnectServer()
    {
        host.Type(IDC_DEST_HOST, "127.0.0.1");
        sockets.connectMode = FakeSockets::ConnectMode::Immediate;
        host.Click(IDC_CONNECT);
        return dlg.RemoteServerSocket();
    }

    // A remote client accepted and a remote server connected, both "Auto" boxes clear.
    void ConnectBoth()
    {
        Listen();
        client = AcceptClient();
        server = ConnectServer();
        ASSERT_EQ(dlg.RemoteServerConnected(), 1);
    }

    std::string ClientStatus() const { return host.Text(IDC_CLIENT_STATUS); }
    std::string ServerStatus() const { return host.Text(IDC_SERVER_STATUS); }

    FakeDialogHost host{res::RelayDialogTemplate()};
    FakeSockets sockets;
    FakeSystem system;
    CRelayDlg dlg{host, sockets, system};
    SocketHandle client = kNoSocket;
    SocketHandle server = kNoSocket;
};

#endif
