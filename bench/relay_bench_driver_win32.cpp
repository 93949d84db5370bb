// The Windows relay window as brindle.exe runs it (console, Windows Sockets, the dialog from the
// resource script with live traffic views, timer 1025), set up through its own controls for the
// relay benchmark under Wine:
//
//   relay_bench_driver_win32.exe LISTEN_PORT DEST_PORT STOP_FILE [--tick-log]
//
// It fills the fields with LISTEN_PORT and 127.0.0.1:DEST_PORT, clicks both "Auto" boxes and
// "Listen" (BM_CLICK, so the clicks come back as the dialog's own BN_CLICKED) and prints "ready".
// Once STOP_FILE exists (a Windows path; Wine has no signal to give a GUI program) it ends the
// window and prints the Linux driver's line of figures, with peak memory from
// GetProcessMemoryInfo (peak working set as peak_rss_kib, peak pagefile usage as peak_commit_kib)
// and CPU time from GetProcessTimes. A console program, so that the figures reach stdout.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "bench/relay_bench_timing.h"
#include "console/relay_dlg.h"
#include "platform/system_services.h"
#include "platform/win32/win32_dialog_host.h"
#include "platform/win32/windows_api.h"
#include "platform/win32/winsock_sockets.h"
#include "res/resource.h"

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>

namespace {

using relay_bench::Clock;
using relay_bench::Milliseconds;

constexpr UINT_PTR kSetupTimerId = 0xB001;
// Fires on every pass of the message loop that can take it: the longest time between two of its
// shots is how long the window went without answering anything.
constexpr UINT_PTR kPassTimerId = 0xB002;
constexpr UINT kPassPeriodMs = 10;
// The stop file is looked for every tenth shot, about ten times a second.
constexpr int kShotsPerStopLook = 10;
constexpr int kViews[] = {IDC_TO_SERVER_VIEW, IDC_TO_CLIENT_VIEW};

LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR paints)
{
    if (message == WM_PAINT)
        ++*reinterpret_cast<std::int64_t*>(paints);
    else if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, &CountPaints, id);
    return DefSubclassProc(window, message, wParam, lParam);
}

double Seconds(const FILETIME& t)
{
    const std::uint64_t ticks = (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
    return static_cast<double>(ticks) / 1e7;
}

// The driver's own timers: the set-up once the window runs, then the pass probe and the look for
// the stop file.
class BenchTimers {
public:
    BenchTimers(Win32DialogHost& host, int listenPort, int destPort, std::string stopFile)
        : host_(host)
        , listenPort_(listenPort)
        , destPort_(destPort)
        , stopFile_(std::move(stopFile))
    { }

    void Start() { host_.SetTimer(kSetupTimerId, USER_TIMER_MINIMUM); }

    void OnTimer(unsigned timerId)
    {
        if (timerId == kSetupTimerId)
            SetUp();
        else if (timerId == kPassTimerId)
            OnPass();
    }

    std::int64_t Paints() const { return paints_; }
    std::int64_t HeldChars() const { return heldChars_; }
    double LongestPassGapMs() const { return Milliseconds(longestPassGap_); }

private:
    void Click(int controlId) const { SendMessageA(GetDlgItem(host_.Window(), controlId), BM_CLICK, 0, 0); }

    void SetUp()
    {
        const HWND window = host_.Window();
        KillTimer(window, kSetupTimerId);
        for (const int view : kViews)
            SetWindowSubclass(GetDlgItem(window, view), &CountPaints, 1, reinterpret_cast<DWORD_PTR>(&paints_));
        host_.SetControlText(IDC_LISTEN_PORT, std::to_string(listenPort_));
        host_.SetControlText(IDC_DEST_PORT, std::to_string(destPort_));
        host_.SetControlText(IDC_DEST_HOST, "127.0.0.1");
        Click(IDC_CLIENT_AUTO);
        Click(IDC_SERVER_AUTO);
        Click(IDC_LISTEN);
        lastPass_ = Clock::now();
        host_.SetTimer(kPassTimerId, kPassPeriodMs);
        const std::string status = host_.GetControlText(IDC_SERVER_STATUS);
        const bool ready
            = status == "Listening..." && host_.GetCheck(IDC_CLIENT_AUTO) == 1 && host_.GetCheck(IDC_SERVER_AUTO) == 1;
        std::printf("%s %s\n", ready ? "ready" : "failed", status.c_str());
        std::fflush(stdout);
        if (!ready)
            EndDialog(window, IDCANCEL);
    }

    void OnPass()
    {
        const Clock::time_point now = Clock::now();
        longestPassGap_ = std::max(longestPassGap_, now - lastPass_);
        lastPass_ = now;
        if (++shots_ % kShotsPerStopLook != 0 || GetFileAttributesA(stopFile_.c_str()) == INVALID_FILE_ATTRIBUTES)
            return;
        const HWND window = host_.Window();
        for (const int view : kViews)
            heldChars_ += SendMessageA(GetDlgItem(window, view), WM_GETTEXTLENGTH, 0, 0);
        KillTimer(window, kPassTimerId);
        EndDialog(window, IDCANCEL);
    }

    Win32DialogHost& host_;
    const int listenPort_;
    const int destPort_;
    const std::string stopFile_;
    std::int64_t paints_ = 0;
    std::int64_t heldChars_ = 0;
    std::int64_t shots_ = 0;
    Clock::duration longestPassGap_{};
    Clock::time_point lastPass_{};
};

} // namespace

int main(int argc, char* argv[])
{
    relay_bench::Arguments arguments;
    if (!relay_bench::ParseArguments(
            argc, argv, 1, "relay_bench_driver_win32 LISTEN_PORT DEST_PORT STOP_FILE [--tick-log]", arguments))
        return 2;

    // Lines end in LF alone, as the Linux driver's do, for the script that reads them.
    _setmode(_fileno(stdout), _O_BINARY);

    RealSystemServices realSystem(kFullChunkBlockSize);
    relay_bench::WaitTimingServices system(realSystem);
    WinsockSockets sockets;
    if (!sockets.Startup())
        return 1;
    Win32DialogHost host(GetModuleHandleA(nullptr), IDD_RELAY_DIALOG);
    CRelayDlg dlg(host, sockets, system);
    relay_bench::TimedEvents events(dlg, host, system, arguments.logTicks);
    BenchTimers timers(host, arguments.listenPort, arguments.destPort, argv[3]);
    events.afterInit = [&timers] { timers.Start(); };
    events.otherTimers = [&timers](unsigned timerId) { timers.OnTimer(timerId); };
    host.RunModal(events);

    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    events.PrintFigures({.longestPassGapMs = timers.LongestPassGapMs(),
        .viewPaints = timers.Paints(),
        .viewChars = timers.HeldChars(),
        .userSeconds = Seconds(user),
        .systemSeconds = Seconds(kernel),
        .faults = memory.PageFaultCount,
        .peakRssKib = static_cast<std::int64_t>(memory.PeakWorkingSetSize / 1024),
        .peakCommitKib = static_cast<std::int64_t>(memory.PeakPagefileUsage / 1024)});
    return 0;
}
