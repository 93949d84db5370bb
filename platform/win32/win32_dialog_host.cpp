// The controls, timers, menu, icons and boxes of a dialog made by the Windows dialog manager.
#include "platform/win32/win32_dialog_host.h"

#include <algorithm>

Win32DialogHost::Win32DialogHost(HINSTANCE resources, int templateId, HWND owner)
    : resources_(resources)
    , templateId_(templateId)
    , owner_(owner)
{ }

HWND Win32DialogHost::Control(int controlId) const
{
    return window_ ? GetDlgItem(window_, controlId) : nullptr;
}

TrafficViewWindow* Win32DialogHost::View(int controlId) const
{
    const auto it = views_.find(controlId);
    return it == views_.end() ? nullptr : it->second.get();
}

bool Win32DialogHost::HasControl(int controlId) const
{
    return Control(controlId) != nullptr;
}

std::string Win32DialogHost::GetControlText(int controlId) const
{
    if (TrafficViewWindow* view = View(controlId))
        return view->Text();
    const HWND control = Control(controlId);
    if (!control)
        return {};
    std::string text(static_cast<std::size_t>(std::max(GetWindowTextLengthA(control), 0)) + 1, '\0');
    const UINT copied = GetDlgItemTextA(window_, controlId, text.data(), static_cast<int>(text.size()));
    text.resize(std::min<std::size_t>(copied, text.size() - 1));
    return text;
}

void Win32DialogHost::SetControlText(int controlId, std::string_view text)
{
    if (TrafficViewWindow* view = View(controlId)) {
        view->SetText(text);
        return;
    }
    const HWND control = Control(controlId);
    if (!control)
        return;
    // A status line told its own text again has nothing new to announce.
    const bool statusLine = statusLines_.count(controlId) != 0;
    if (statusLine && GetControlText(controlId) == text)
        return;
    SetDlgItemTextA(window_, controlId, std::string(text).c_str());
    if (statusLine)
        AnnounceStatus(control);
}

void Win32DialogHost::EnableControl(int controlId, bool enable)
{
    const HWND control = Control(controlId);
    if (!control)
        return;
    // A disabled control cannot keep the focus; hand it on in tab order rather than leave the
    // keyboard user with none.
    if (!enable && GetFocus() == control)
        SendMessageA(window_, WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(control, enable ? TRUE : FALSE);
}

unsigned Win32DialogHost::GetCheck(int controlId) const
{
    const HWND control = Control(controlId);
    if (!control)
        return 0;
    const LRESULT state = SendMessageA(control, BM_GETCHECK, 0, 0);
    return state == BST_CHECKED ? 1u : state == BST_INDETERMINATE ? 2u : 0u;
}

void Win32DialogHost::AppendTrafficToEnd(int controlId, std::string_view bytes, TrafficFormat format)
{
    if (TrafficViewWindow* view = View(controlId))
        view->AppendTraffic(bytes, format);
}

void Win32DialogHost::MessageBox(std::string_view text)
{
    // Over the window while there is one; before it, on its own.
    MessageBoxA(window_ ? window_ : owner_, std::string(text).c_str(), "brindle", MB_OK | MB_ICONEXCLAMATION);
}

bool Win32DialogHost::SetTimer(unsigned timerId, unsigned periodMs)
{
    if (!window_)
        return false;
    const UINT period = std::clamp<UINT>(periodMs, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    return ::SetTimer(window_, timerId, period, nullptr) != 0;
}

bool Win32DialogHost::AppendSystemMenuItem(unsigned commandId, std::string_view text)
{
    const HMENU menu = window_ ? GetSystemMenu(window_, FALSE) : nullptr;
    if (!menu)
        return false;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    return AppendMenuA(menu, MF_STRING, commandId, std::string(text).c_str()) != FALSE;
}

void Win32DialogHost::SetIcon(int iconId, bool large)
{
    if (!window_)
        return;
    (large ? largeIconId_ : smallIconId_) = iconId;
    LoadIcon(large);
}

void Win32DialogHost::LoadIcon(bool large)
{
    const int iconId = large ? largeIconId_ : smallIconId_;
    if (!window_ || iconId == 0)
        return;
    // The image of the size asked for at the window's scale, so the title bar shows the 16, 20 or
    // 24 pixel one rather than a shrunken 32 x 32.
    const int width = SystemMetricAt(large ? SM_CXICON : SM_CXSMICON, dpi_);
    const int height = SystemMetricAt(large ? SM_CYICON : SM_CYSMICON, dpi_);
    const auto icon
        = static_cast<HICON>(LoadImageA(resources_, MAKEINTRESOURCEA(iconId), IMAGE_ICON, width, height, LR_SHARED));
    if (!icon)
        return;
    (large ? largeIcon_ : smallIcon_) = icon;
    SendMessageA(window_, WM_SETICON, large ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void Win32DialogHost::RunModalDialog(int templateId, DialogEvents& events)
{
    Win32DialogHost child(resources_, templateId, window_ ? window_ : owner_);
    child.SetViewCapacity(viewCapacity_);
    child.RunModal(events);
}

int Win32DialogHost::RunModal(DialogEvents& events)
{
    if (window_ || events_)
        return -1;
    events_ = &events;
    const INT_PTR result = DialogBoxParamA(
        resources_, MAKEINTRESOURCEA(templateId_), owner_, &DialogProcedure, reinterpret_cast<LPARAM>(this));
    Detach();
    return static_cast<int>(result);
}

void Win32DialogHost::FlushViews()
{
    for (auto& [id, view] : views_)
        view->Flush();
}

void Win32DialogHost::Detach()
{
    annotations_.clear();
    views_.clear();
    events_ = nullptr;
    window_ = nullptr;
    largeIcon_ = nullptr;
    smallIcon_ = nullptr;
    largeIconId_ = smallIconId_ = 0;
    layout_.clear();
    scaledFont_.reset();
}
