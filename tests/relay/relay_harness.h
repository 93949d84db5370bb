// The real console on the real sockets layer, ticked every 100 ms as the window's timer would,
// with an in-memory window to read its controls from.
#ifndef BRINDLE_TESTS_RELAY_HARNESS_H
#define BRINDLE_TESTS_RELAY_HARNESS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "console/relay_dlg.h"
#include "fakes/fake_dialog_host.h"
#ifdef _WIN32
#include "platform/win32/winsock_sockets.h"
using RealSockets = WinsockSockets;
#else
#include "platform/posix/posix_sockets.h"
using RealSockets = PosixSockets;
#endif
#include "observed_layers.h"
#include "res/dialog_template.h"
#include "res/resource.h"

class RelayTest : public ::testing::Test {
protected:
    // The layer started as the program starts it, before the window.
    RelayTest()
    {
        EXPECT_TRUE(sockets.Startup());
        dlg.DoModal();
    }

    // Ticks every 100 ms until `done` holds or `timeout` passes; true when it held.
    bool TickUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollPeriodMs);
            Tick();
            if (done())
                return true;
            std::this_thread::sleep_until(next);
        }
        return done();
    }

    // One tick, timed.
    void Tick()
    {
        const auto start = std::chrono::steady_clock::now();
        dlg.OnTimer(POLL_TIMER_ID);
        const auto took = std::chrono::steady_clock::now() - start;
        longestTick = std::max(longestTick, std::chrono::duration_cast<std::chrono::milliseconds>(took));
    }

    void Ticks(int count)
    {
        for (int i = 0; i < count; ++i) {
            Tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollPeriodMs));
        }
    }

    // "Listen" on `listenPort` with 127.0.0.1:`destPort` as the destination.
    void Listen(int listenPort, int destPort, bool clientAuto, bool serverAuto)
    {
        host.Type(IDC_LISTEN_PORT, std::to_string(listenPort));
        host.Type(IDC_DEST_PORT, std::to_string(destPort));
        host.Type(IDC_DEST_HOST, "127.0.0.1");
        if (clientAuto)
            host.Click(IDC_CLIENT_AUTO);
        if (serverAuto)
            host.Click(IDC_SERVER_AUTO);
        host.Click(IDC_LISTEN);
        ASSERT_EQ(host.Text(IDC_SERVER_STATUS), "Listening...");
    }

    std::string ClientStatus() const { return host.Text(IDC_CLIENT_STATUS); }
    std::string ServerStatus() const { return host.Text(IDC_SERVER_STATUS); }

    // What the console holds, as the layers under it see it.
    SocketHandle Listener() const { return observed.listener; }
    SocketHandle RemoteClient() const { return observed.remoteClient; }
    SocketHandle RemoteServer() const { return observed.remoteServer; }
    // 1 once the console took the connect to the destination as made: its line says so while it is.
    int ServerConnected() const { return ClientStatus() == "Connected!" ? 1 : 0; }
    std::int64_t Counter(int fieldId) const { return std::stoll(host.Text(fieldId)); }
    // Chunks waiting in the two capture queues together: each holds one allocation.
    std::size_t QueuedChunks() const { return system.liveAllocations; }

    // The longest tick so far: the window answers clicks only between ticks.
    std::chrono::milliseconds longestTick{0};
    FakeDialogHost host{res::RelayDialogTemplate()};
    RealSockets sockets;
    ObservedSockets observed{sockets};
    ObservedSystem system;
    CRelayDlg dlg{host, observed, system};
};

#endif
