// A console on an in-memory window and a scripted sockets layer, opened as the program opens it.
#ifndef BRINDLE_TESTS_CONSOLE_FIXTURE_H
#define BRINDLE_TESTS_CONSOLE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
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
        ASSERT_NE(Listener(), kNoSocket);
    }

    // A remote client connects and the next tick accepts it.
    SocketHandle AcceptClient()
    {
        sockets.QueueClient();
        Tick();
        return RemoteClient();
    }

    // "Connect" to a destination that accepts at once.
    SocketHandle ConnectServer()
    {
        host.Type(IDC_DEST_HOST, "127.0.0.1");
        sockets.connectMode = FakeSockets::ConnectMode::Immediate;
        host.Click(IDC_CONNECT);
        return RemoteServer();
    }

    // A remote client accepted and a remote server connected, both "Auto" boxes clear.
    void ConnectBoth()
    {
        Listen();
        client = AcceptClient();
        server = ConnectServer();
        ASSERT_EQ(ServerConnected(), 1);
    }

    // What the console holds, as the fakes see it.
    SocketHandle Listener()
    {
        return FindOpen([](const FakeSockets::SocketState& s) { return s.listening; });
    }
    SocketHandle RemoteClient()
    {
        const SocketHandle accepted = sockets.lastAccepted;
        return accepted != kNoSocket && sockets.State(accepted).open ? accepted : kNoSocket;
    }
    // The socket made for the destination, from the connect on, pending or connected.
    SocketHandle RemoteServer()
    {
        return FindOpen([](const FakeSockets::SocketState& s) { return s.connectIssued; });
    }
    // 1 once the console took the connect to the destination as made: its line says so while it is.
    int ServerConnected() const { return ClientStatus() == "Connected!" ? 1 : 0; }
    int TimerRunning() const { return host.timers.count(POLL_TIMER_ID) != 0 ? 1 : 0; }
    std::int64_t Counter(int fieldId) const { return std::stoll(host.Text(fieldId)); }
    // Chunks waiting in the two capture queues together: each holds one allocation.
    std::size_t QueuedChunks() const { return static_cast<std::size_t>(system.liveAllocations); }

    std::string ClientStatus() const { return host.Text(IDC_CLIENT_STATUS); }
    std::string ServerStatus() const { return host.Text(IDC_SERVER_STATUS); }

    template<typename Match> SocketHandle FindOpen(Match match)
    {
        for (SocketHandle s : sockets.OpenSockets())
            if (match(sockets.State(s)))
                return s;
        return kNoSocket;
    }

    FakeDialogHost host{res::RelayDialogTemplate()};
    FakeSockets sockets;
    FakeSystem system;
    CRelayDlg dlg{host, sockets, system};
    SocketHandle client = kNoSocket;
    SocketHandle server = kNoSocket;
};

#endif
