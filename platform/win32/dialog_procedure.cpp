// How the window messages of a dialog reach the console: clicks, the poll timer, the system menu,
// and the icon chores of a minimised window; and a change of display scale, to dialog_scaling.cpp.
#include "platform/win32/minimised_icon.h"
#include "platform/win32/win32_dialog_host.h"

namespace {

// Multi-line edits are the traffic views; the rest are fields of one line.
BOOL CALLBACK CollectView(HWND control, LPARAM views)
{
    char className[16] = {};
    GetClassNameA(control, className, sizeof className);
    if (lstrcmpiA(className, "Edit") == 0 && (GetWindowLongA(control, GWL_STYLE) & ES_MULTILINE))
        reinterpret_cast<std::map<int, HWND>*>(views)->emplace(GetDlgCtrlID(control), control);
    return TRUE;
}

} // namespace

INT_PTR CALLBACK Win32DialogHost::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* host = reinterpret_cast<Win32DialogHost*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        host->window_ = window;
        return host->OnInitDialog();
    }
    auto* host = reinterpret_cast<Win32DialogHost*>(GetWindowLongPtrA(window, DWLP_USER));
    // Messages before WM_INITDIALOG (the font, the frame) are the dialog manager's alone.
    if (host && message == WM_DPICHANGED) {
        host->OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    }
    return host ? host->HandleMessage(message, wParam) : FALSE;
}

INT_PTR Win32DialogHost::OnInitDialog()
{
    std::map<int, HWND> found;
    EnumChildWindows(window_, &CollectView, reinterpret_cast<LPARAM>(&found));
    for (const auto& [id, control] : found) {
        if (auto view = TrafficViewWindow::Replace(control, viewCapacity_))
            views_.emplace(id, std::move(view));
    }
    RecordLayout();
    AnnotateControls();
    events_->OnInitDialog();
    FlushViews();
    // TRUE: the dialog manager puts the focus on the first tab stop, "OK".
    return TRUE;
}

void Win32DialogHost::OnCommand(int controlId, int notification)
{
    // Edits report changes and focus through here as well; only clicks are commands.
    if (notification != BN_CLICKED)
        return;
    const bool handled = events_->OnCommand(controlId);
    FlushViews();
    if (!handled && window_ && (controlId == IDOK || controlId == IDCANCEL))
        EndDialog(window_, controlId);
}

bool Win32DialogHost::OnPaint()
{
    if (!IsIconic(window_))
        return false;
    PaintMinimisedIcon(window_, largeIcon_);
    return true;
}

INT_PTR Win32DialogHost::HandleMessage(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_TIMER:
        events_->OnTimer(static_cast<unsigned>(wParam));
        FlushViews();
        return TRUE;
    case WM_SYSCOMMAND: {
        const bool handled = events_->OnSysCommand(static_cast<unsigned>(wParam));
        FlushViews();
        // FALSE leaves move, close and the menu's own keys to the dialog manager.
        return handled ? TRUE : FALSE;
    }
    case WM_PAINT:
        return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        // One of the few messages whose answer a dialog procedure returns directly.
        return reinterpret_cast<INT_PTR>(largeIcon_);
    case WM_DESTROY:
        // The controls go with the window; nothing may reach them afterwards.
        annotations_.clear();
        views_.clear();
        layout_.clear();
        return FALSE;
    default:
        return FALSE;
    }
}
