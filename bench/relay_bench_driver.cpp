// The relay window as the program runs it (console, POSIX sockets, Qt window with live traffic
// views, the 100 ms timer), set up through its own controls for the relay benchmark:
//
//   relay_bench_driver LISTEN_PORT DEST_PORT [--tick-log]
//
// It fills the fields with LISTEN_PORT and 127.0.0.1:DEST_PORT, ticks both "Auto" boxes, presses
// "Listen" and prints "ready". On SIGTERM or SIGINT it closes the window and prints one line of
// figures: ticks, the longest and mean tick, the longest and mean gap between tick starts, the
// longest gap between passes of the event loop, paints of the views, the characters they hold,
// CPU time, minor page faults, peak RSS and the byte counters. --tick-log adds a line a tick on
// stderr.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "console/relay_dlg.h"
#include "platform/posix/posix_sockets.h"
#include "platform/qt/qt_dialog_host.h"
#include "platform/qt/traffic_view.h"
#include "platform/system_services.h"
#include "res/dialog_template.h"
#include "res/resource.h"

namespace {

using Clock = std::chrono::steady_clock;

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

double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Forwards every event to the console unchanged and times the poll ticks.
class TimedEvents final : public DialogEvents {
public:
    TimedEvents(CRelayDlg& dlg, bool logTicks)
        : dlg_(dlg)
        , logTicks_(logTicks)
    { }

    void OnInitDialog() override { dlg_.OnInitDialog(); }
    bool OnCommand(int controlId) override { return dlg_.OnCommand(controlId); }
    bool OnSysCommand(unsigned commandId) override { return dlg_.OnSysCommand(commandId); }
    void OnTimer(unsigned timerId) override
    {
        const Clock::time_point start = Clock::now();
        dlg_.OnTimer(timerId);
        if (timerId != POLL_TIMER_ID)
            return;
        const Clock::duration took = Clock::now() - start;
        if (logTicks_)
            LogTick(took, ticks_ > 0 ? start - lastStart_ : Clock::duration{});
        if (ticks_ == 0)
            firstStart_ = start;
        else
            longestGap_ = std::max(longestGap_, start - lastStart_);
        lastStart_ = start;
        ++ticks_;
        total_ += took;
        longest_ = std::max(longest_, took);
    }

    std::int64_t Ticks() const { return ticks_; }
    double LongestMs() const { return Milliseconds(longest_); }
    double MeanMs() const { return ticks_ > 0 ? Milliseconds(total_) / static_cast<double>(ticks_) : 0.0; }
    double LongestGapMs() const { return Milliseconds(longestGap_); }
    // How far apart ticks start on average: the timer's period as it turned out.
    double MeanGapMs() const
    {
        return ticks_ > 1 ? Milliseconds(lastStart_ - firstStart_) / static_cast<double>(ticks_ - 1) : 0.0;
    }

private:
    // One line a tick: how long it took, how long since the last one started, what it took in
    // from each side and what waits in each queue after it.
    void LogTick(Clock::duration took, Clock::duration gap)
    {
        const std::int64_t fromClient = dlg_.ServerReceivedBytes() - loggedFromClient_;
        const std::int64_t fromServer = dlg_.ClientReceivedBytes() - loggedFromServer_;
        loggedFromClient_ = dlg_.ServerReceivedBytes();
        loggedFromServer_ = dlg_.ClientReceivedBytes();
        std::fprintf(stderr,
            "tick_ms %.1f gap_ms %.1f from_client %" PRId64 " from_server %" PRId64 " queued_to_server %" PRId64
            " queued_to_client %" PRId64 "\n",
            Milliseconds(took), Milliseconds(gap), fromClient, fromServer, dlg_.ToServerQueue().QueuedBytes(),
            dlg_.ToClientQueue().QueuedBytes());
    }

    CRelayDlg& dlg_;
    const bool logTicks_;
    std::int64_t ticks_ = 0;
    Clock::duration total_{};
    Clock::duration longest_{};
    Clock::duration longestGap_{};
    Clock::time_point firstStart_{};
    Clock::time_point lastStart_{};
    std::int64_t loggedFromClient_ = 0;
    std::int64_t loggedFromServer_ = 0;
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

bool ParsePort(const char* text, int& port)
{
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), port);
    return error == std::errc() && end == view.data() + view.size() && port > 0 && port < 65536;
}

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

void Click(QtDialogHost& host, int controlId)
{
    if (auto* button = qobject_cast<QAbstractButton*>(host.Control(controlId)))
        button->click();
}

} // namespace

int main(int argc, char* argv[])
{
    int listenPort = 0;
    int destPort = 0;
    const bool logTicks = argc == 4 && std::string_view(argv[3]) == "--tick-log";
    if ((argc != 3 && !logTicks) || !ParsePort(argv[1], listenPort) || !ParsePort(argv[2], destPort)) {
        std::fprintf(stderr, "usage: relay_bench_driver LISTEN_PORT DEST_PORT [--tick-log]\n");
        return 2;
    }

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

    RealSystemServices system;
    PosixSockets sockets;
    if (!sockets.Startup())
        return 1;
    QtDialogHost host(res::RelayDialogTemplate());
    CRelayDlg dlg(host, sockets, system);
    TimedEvents events(dlg, logTicks);

    // A 10 ms timer fires on every pass of the event loop that can take it: the longest time
    // between two of its shots is how long the window went without answering anything.
    Clock::duration longestPassGap{};
    Clock::time_point lastPass = Clock::now();
    QTimer passProbe;
    passProbe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&passProbe, &QTimer::timeout, [&longestPassGap, &lastPass] {
        const Clock::time_point now = Clock::now();
        longestPassGap = std::max(longestPassGap, now - lastPass);
        lastPass = now;
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
    QTimer::singleShot(0, [&host, &viewPaints, &passProbe, &lastPass, listenPort, destPort] {
        for (const int view : {IDC_TO_SERVER_VIEW, IDC_TO_CLIENT_VIEW}) {
            if (auto* area = qobject_cast<QAbstractScrollArea*>(host.Control(view)))
                area->viewport()->installEventFilter(&viewPaints);
        }
        host.SetControlText(IDC_LISTEN_PORT, std::to_string(listenPort));
        host.SetControlText(IDC_DEST_PORT, std::to_string(destPort));
        host.SetControlText(IDC_DEST_HOST, "127.0.0.1");
        Click(host, IDC_CLIENT_AUTO);
        Click(host, IDC_SERVER_AUTO);
        Click(host, IDC_LISTEN);
        lastPass = Clock::now();
        passProbe.start(10);
        const std::string status = host.GetControlText(IDC_SERVER_STATUS);
        const bool ready
            = status == "Listening..." && host.GetCheck(IDC_CLIENT_AUTO) == 1 && host.GetCheck(IDC_SERVER_AUTO) == 1;
        std::printf("%s %s\n", ready ? "ready" : "failed", status.c_str());
        std::fflush(stdout);
        if (!ready && host.Window())
            host.Window()->done(IDCANCEL);
    });
    host.RunModal(events);

    const rusage usage = Usage();
    std::printf("ticks %" PRId64 " longest_tick_ms %.1f mean_tick_ms %.1f longest_gap_ms %.1f mean_gap_ms %.2f"
                " longest_pass_gap_ms %.1f view_paints %" PRId64 " view_chars %" PRId64
                " user_s %.2f sys_s %.2f minor_faults %ld peak_rss_kib %" PRId64 " server_received %" PRId64
                " server_sent %" PRId64 " client_received %" PRId64 " client_sent %" PRId64 "\n",
        events.Ticks(), events.LongestMs(), events.MeanMs(), events.LongestGapMs(), events.MeanGapMs(),
        Milliseconds(longestPassGap), viewPaints.Paints(), heldChars, Seconds(usage.ru_utime), Seconds(usage.ru_stime),
        usage.ru_minflt, PeakRssKib(), dlg.ServerReceivedBytes(), dlg.ServerSentBytes(), dlg.ClientReceivedBytes(),
        dlg.ClientSentBytes());
    return 0;
}
