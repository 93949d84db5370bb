// What both relay benchmark drivers (the Qt window and the Windows one) measure of the window they
// run, and the line of figures they print at the end. No toolkit and no system headers here.
#ifndef BRINDLE_BENCH_RELAY_BENCH_TIMING_H
#define BRINDLE_BENCH_RELAY_BENCH_TIMING_H

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string_view>

#include "console/relay_dlg.h"
#include "platform/system_services.h"
#include "res/resource.h"

namespace relay_bench {

using Clock = std::chrono::steady_clock;

inline double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

inline bool ParsePort(const char* text, int& port)
{
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), port);
    return error == std::errc() && end == view.data() + view.size() && port > 0 && port < 65536;
}

// A driver's command line: LISTEN_PORT DEST_PORT, `extra` arguments of its own (from argv[3]), then
// --tick-log or nothing. False, after printing `usage`, for anything else.
struct Arguments {
    int listenPort = 0;
    int destPort = 0;
    bool logTicks = false;
};
inline bool ParseArguments(int argc, char* argv[], int extra, const char* usage, Arguments& out)
{
    const int fixed = 3 + extra;
    out.logTicks = argc == fixed + 1 && std::string_view(argv[fixed]) == "--tick-log";
    if ((argc == fixed || out.logTicks) && ParsePort(argv[1], out.listenPort) && ParsePort(argv[2], out.destPort))
        return true;
    std::fprintf(stderr, "usage: %s\n", usage);
    return false;
}

// The real services, with the time the console spends asleep added up: the connect poll's waits,
// which a tick may hold by design and which are told apart from its own work.
class WaitTimingServices final : public SystemServices {
public:
    explicit WaitTimingServices(SystemServices& real)
        : real_(real)
    { }

    void Sleep(std::chrono::milliseconds duration) override
    {
        const Clock::time_point start = Clock::now();
        real_.Sleep(duration);
        waited_ += Clock::now() - start;
    }
    Clock::time_point Now() override { return real_.Now(); }
    void* Allocate(std::size_t size) override { return real_.Allocate(size); }
    void Free(void* block, std::size_t size) override { real_.Free(block, size); }

    Clock::duration Waited() const { return waited_; }

private:
    SystemServices& real_;
    Clock::duration waited_{};
};

// Forwards every event to the console unchanged and times the poll ticks. Timers other than the
// poll timer go to `otherTimers` when it is set (a driver's own), to the console otherwise.
class TimedEvents final : public DialogEvents {
public:
    TimedEvents(CRelayDlg& dlg, const DialogHost& host, const WaitTimingServices& system, bool logTicks)
        : dlg_(dlg)
        , host_(host)
        , system_(system)
        , logTicks_(logTicks)
    { }

    std::function<void()> afterInit;
    std::function<void(unsigned)> otherTimers;

    void OnInitDialog() override
    {
        dlg_.OnInitDialog();
        if (afterInit)
            afterInit();
    }
    bool OnCommand(int controlId) override { return dlg_.OnCommand(controlId); }
    bool OnSysCommand(unsigned commandId) override { return dlg_.OnSysCommand(commandId); }
    void OnTimer(unsigned timerId) override
    {
        if (timerId != POLL_TIMER_ID) {
            if (otherTimers)
                otherTimers(timerId);
            else
                dlg_.OnTimer(timerId);
            return;
        }
        const Clock::time_point start = Clock::now();
        const std::clock_t cpuStart = std::clock();
        const Clock::duration waitedBefore = system_.Waited();
        dlg_.OnTimer(timerId);
        const Clock::duration took = Clock::now() - start;
        const Clock::duration waited = system_.Waited() - waitedBefore;
        // The fields go with the window: the totals are kept as the last tick left them.
        for (std::size_t i = 0; i < kCounterFields.size(); ++i)
            finalCounters_[i] = Counter(kCounterFields[i]);
        if (logTicks_)
            LogTick(start, took, waited, ticks_ > 0 ? start - lastStart_ : Clock::duration{}, std::clock() - cpuStart);
        if (ticks_ == 0)
            firstStart_ = start;
        else
            longestGap_ = std::max(longestGap_, start - lastStart_);
        lastStart_ = start;
        ++ticks_;
        total_ += took;
        longest_ = std::max(longest_, took);
        longestWorking_ = std::max(longestWorking_, took - waited);
        waits_ += waited;
    }

    // One line: the ticks, then what the caller measured of the window and the process. A
    // negative peakCommitKib is left out (the Linux driver has no such figure).
    struct ProcessFigures {
        double longestPassGapMs = 0;
        double longestWorkingPassGapMs = 0;
        std::int64_t viewPaints = 0;
        std::int64_t viewChars = 0;
        double userSeconds = 0;
        double systemSeconds = 0;
        std::int64_t faults = 0;
        std::int64_t peakRssKib = -1;
        std::int64_t peakCommitKib = -1;
    };
    void PrintFigures(const ProcessFigures& p) const
    {
        std::printf("ticks %" PRId64 " longest_tick_ms %.1f longest_working_tick_ms %.1f connect_wait_ms %.1f"
                    " mean_tick_ms %.1f longest_gap_ms %.1f mean_gap_ms %.2f longest_pass_gap_ms %.1f"
                    " longest_working_pass_gap_ms %.1f"
                    " view_paints %" PRId64 " view_chars %" PRId64 " user_s %.2f sys_s %.2f minor_faults %" PRId64
                    " peak_rss_kib %" PRId64,
            ticks_, Milliseconds(longest_), Milliseconds(longestWorking_), Milliseconds(waits_), MeanMs(),
            Milliseconds(longestGap_), MeanGapMs(), p.longestPassGapMs, p.longestWorkingPassGapMs, p.viewPaints,
            p.viewChars, p.userSeconds, p.systemSeconds, p.faults, p.peakRssKib);
        if (p.peakCommitKib >= 0)
            std::printf(" peak_commit_kib %" PRId64, p.peakCommitKib);
        std::printf(" server_received %" PRId64 " server_sent %" PRId64 " client_received %" PRId64
                    " client_sent %" PRId64 "\n",
            finalCounters_[0], finalCounters_[1], finalCounters_[2], finalCounters_[3]);
        std::fflush(stdout);
    }

private:
    double MeanMs() const { return ticks_ > 0 ? Milliseconds(total_) / static_cast<double>(ticks_) : 0.0; }
    // How far apart ticks start on average: the timer's period as it turned out.
    double MeanGapMs() const
    {
        return ticks_ > 1 ? Milliseconds(lastStart_ - firstStart_) / static_cast<double>(ticks_ - 1) : 0.0;
    }

    // One line a tick: when it started on the steady clock (which is CLOCK_MONOTONIC where there is
    // one, so that other processes' times compare), how long it took and slept, the processor time it had (where the C
    // library counts processor time: glibc does, Windows' C runtime counts wall time), how long since the last one
    // started, what it took in from each side and what waits in each queue after it.
    void LogTick(
        Clock::time_point start, Clock::duration took, Clock::duration waited, Clock::duration gap, std::clock_t cpu)
    {
        const std::int64_t fromClientTotal = Counter(IDC_SERVER_RECEIVED);
        const std::int64_t fromServerTotal = Counter(IDC_CLIENT_RECEIVED);
        const std::int64_t fromClient = fromClientTotal - loggedFromClient_;
        const std::int64_t fromServer = fromServerTotal - loggedFromServer_;
        loggedFromClient_ = fromClientTotal;
        loggedFromServer_ = fromServerTotal;
        std::fprintf(stderr,
            "start_ms %.1f tick_ms %.1f waited_ms %.1f cpu_ms %.1f gap_ms %.1f from_client %" PRId64
            " from_server %" PRId64 " queued_to_server %" PRId64 " queued_to_client %" PRId64 "\n",
            Milliseconds(start.time_since_epoch()), Milliseconds(took), Milliseconds(waited),
            1000.0 * static_cast<double>(cpu) / CLOCKS_PER_SEC, Milliseconds(gap), fromClient, fromServer,
            fromClientTotal - Counter(IDC_CLIENT_SENT), fromServerTotal - Counter(IDC_SERVER_SENT));
    }

    // A byte counter as its field shows it. The counters are never reset here and no chunk is
    // lost, so what one side read and the other has not sent is what waits in its queue.
    std::int64_t Counter(int fieldId) const { return std::strtoll(host_.GetControlText(fieldId).c_str(), nullptr, 10); }

    CRelayDlg& dlg_;
    const DialogHost& host_;
    const WaitTimingServices& system_;
    const bool logTicks_;
    std::int64_t ticks_ = 0;
    Clock::duration total_{};
    Clock::duration longest_{};
    Clock::duration longestWorking_{};
    Clock::duration waits_{};
    Clock::duration longestGap_{};
    Clock::time_point firstStart_{};
    Clock::time_point lastStart_{};
    std::int64_t loggedFromClient_ = 0;
    std::int64_t loggedFromServer_ = 0;
    static constexpr std::array<int, 4> kCounterFields{
        IDC_SERVER_RECEIVED, IDC_SERVER_SENT, IDC_CLIENT_RECEIVED, IDC_CLIENT_SENT};
    std::array<std::int64_t, 4> finalCounters_{};
};

} // namespace relay_bench

#endif
