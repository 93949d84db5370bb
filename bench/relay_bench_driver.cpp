// The relay window as the program runs it (console, POSIX sockets, Qt window with live traffic
// views, the 100 ms timer), set up through its own controls for the relay benchmark:
//
//   relay_bench_driver LISTEN_PORT DEST_PORT [--tick-log]
//
// It fills the fields with LISTEN_PORT and 127.0.0.1:DEST_PORT, ticks both "Auto" boxes, presses
// "Listen" and prints "ready". On SIGTERM or SIGINT it closes the window and prints one line of
// figures: ticks, the longest tick and the longest less its connect waits, the mean tick, the
// longest and mean gap between tick starts, the longest gap between passes of the event loop,
// paints of the views, the characters they hold, CPU time, minor page faults, peak RSS and the
// byte counters. --tick-log adds a line a tick on stderr.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

#include "bench/relay_bench_timing.h"
#include "console/relay_dlg.h"
#include "platform/posix/posix_sockets.h"
#include "platform/qt/qt_dialog_host.h"
#include "platform/qt/traffic_view.h"
#include "platform/system_services.h"
#include "res/dialog_template.h"
#include "res/resource.h"

namespace {

using relay_bench::Clock;
using relay_bench::Milliseconds;

class UniqueFd {
public:
    explicit UniqueFd(int fd)
        : fd_(fd)
    { }
    ~UniqueFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Counts the paint events of the widgets it watches: a view that never paints is not live.
class PaintCounter final : public QObject {
public:
    std::int64_t Paints() const { return paints_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints_;
        return QObject::eventFilter(watched, event);
    }

private:
    std::int64_t paints_ = 0;
};

// VmHWM from /proc/self/status, in KiB; -1 when it cannot be read.
std::int64_t PeakRssKib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtoll(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

rusage Usage()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage;
}

double Seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Characters both views hold.
std::int64_t ViewChars(QtDialogHost& host)
{
    std::int64_t chars = 0;
    for (const int view : {IDC_TO_SERVER_VIEW, IDC_TO_CLIENT_VIEW})
        if (auto* traffic = qobject_cast<TrafficView*>(host.Control(view)))
            chars += traffic->characterCount();
    return chars;
}

void ClickControl(QtDialogHost& host, int controlId)
{
    if (auto* button = qobject_cast<QAbstractButton*>(host.Control(controlId)))
        button->click();
}

} // namespace

int main(int argc, char* argv[])
{
    relay_bench::Arguments arguments;
    if (!relay_bench::ParseArguments(argc, argv, 0, "relay_bench_driver LISTEN_PORT DEST_PORT [--tick-log]", arguments))
        return 2;

    // Blocked before Qt starts any thread, so that the signals reach only the descriptor.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    if (::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0)
        return 1;
    const UniqueFd stopFd(::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK));
    if (stopFd.Get() < 0) {
        std::perror("signalfd");
        return 1;
    }

    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);

    RealSystemServices realSystem(kFullChunkBlockSize);
    relay_bench::WaitTimingServices system(realSystem);
    PosixSockets sockets;
    if (!sockets.Startup())
        return 1;
    QtDialogHost host(res::RelayDialogTemplate());
    CRelayDlg dlg(host, sockets, system);
    relay_bench::TimedEvents events(dlg, host, system, arguments.logTicks);

    // A thread rings an eventfd every 5 ms, and a notifier on it is served in every pass of the
    // event loop that serves input (the display's connection and the accessibility bus come in the
    // same way): the longest time between two of its activations is how long the window went
    // without answering anything; the same less the connect poll's sleeps in between is what the
    // relay's own work held it. A timer would understate the passes: Qt may run an overdue poll
    // tick again before a timer that fell due during the last one.
    const UniqueFd ringFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (ringFd.Get() < 0) {
        std::perror("eventfd");
        return 1;
    }
    std::atomic<bool> ringing{true};
    std::thread ringer([&ringFd, &ringing] {
        const std::uint64_t one = 1;
        while (ringing.load()) {
            if (::write(ringFd.Get(), &one, sizeof one) < 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    Clock::duration longestPassGap{};
    Clock::duration longestWorkingPassGap{};
    Clock::time_point lastPass = Clock::now();
    Clock::duration waitedAtLastPass{};
    QSocketNotifier passProbe(ringFd.Get(), QSocketNotifier::Read);
    passProbe.setEnabled(false);
    QObject::connect(&passProbe, &QSocketNotifier::activated,
        [&ringFd, &longestPassGap, &longestWorkingPassGap, &lastPass, &waitedAtLastPass, &system] {
            std::uint64_t rings = 0;
            if (::read(ringFd.Get(), &rings, sizeof rings) < 0)
                return;
            const Clock::time_point now = Clock::now();
            longestPassGap = std::max(longestPassGap, now - lastPass);
            longestWorkingPassGap
                = std::max(longestWorkingPassGap, now - lastPass - (system.Waited() - waitedAtLastPass));
            lastPass = now;
            waitedAtLastPass = system.Waited();
        });

    QSocketNotifier stopNotifier(stopFd.Get(), QSocketNotifier::Read);
    std::int64_t heldChars = 0;
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [&host, &stopFd, &heldChars] {
        signalfd_siginfo info;
        while (::read(stopFd.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) { }
        heldChars = ViewChars(host);
        if (QDialog* window = host.Window())
            window->done(IDCANCEL);
    });

    // Once the window runs: the fields are filled in over the defaults OnInitDialog put there.
    PaintCounter viewPaints;
    QTimer::singleShot(0, [&host, &viewPaints, &passProbe, &lastPass, &waitedAtLastPass, &system, arguments] {
        for (const int view : {IDC_TO_SERVER_VIEW, IDC_TO_CLIENT_VIEW}) {
            if (auto* area = qobject_cast<QAbstractScrollArea*>(host.Control(view)))
                area->viewport()->installEventFilter(&viewPaints);
        }
        host.SetControlText(IDC_LISTEN_PORT, std::to_string(arguments.listenPort));
        host.SetControlText(IDC_DEST_PORT, std::to_string(arguments.destPort));
        host.SetControlText(IDC_DEST_HOST, "127.0.0.1");
        ClickControl(host, IDC_CLIENT_AUTO);
        ClickControl(host, IDC_SERVER_AUTO);
        ClickControl(host, IDC_LISTEN);
        lastPass = Clock::now();
        waitedAtLastPass = system.Waited();
        passProbe.setEnabled(true);
        const std::string status = host.GetControlText(IDC_SERVER_STATUS);
        const bool ready
            = status == "Listening..." && host.GetCheck(IDC_CLIENT_AUTO) == 1 && host.GetCheck(IDC_SERVER_AUTO) == 1;
        std::printf("%s %s\n", ready ? "ready" : "failed", status.c_str());
        std::fflush(stdout);
        if (!ready && host.Window())
            host.Window()->done(IDCANCEL);
    });
    host.RunModal(events);
    ringing = false;
    ringer.join();

    const rusage usage = Usage();
    events.PrintFigures({.longestPassGapMs = Milliseconds(longestPassGap),
        .longestWorkingPassGapMs = Milliseconds(longestWorkingPassGap),
        .viewPaints = viewPaints.Paints(),
        .viewChars = heldChars,
        .userSeconds = Seconds(usage.ru_utime),
        .systemSeconds = Seconds(usage.ru_stime),
        .faults = usage.ru_minflt,
        .peakRssKib = PeakRssKib()});
    return 0;
}
