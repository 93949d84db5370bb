// A dialog at the scale of the monitor it is on. The dialog manager lays the template out, in dialog
// units, for the scale the window starts at; a move to a monitor of another scale (WM_DPICHANGED)
// lays every control out again from those first places, in proportion, so that nothing drifts over
// moves back and forth, and remakes the dialog's font and the views' for the new scale.
#include "platform/win32/win32_dialog_host.h"

#include <algorithm>

namespace {

int Scale(int value, UINT to, UINT from)
{
    return MulDiv(value, static_cast<int>(to), static_cast<int>(from));
}

BOOL CALLBACK CollectChild(HWND control, LPARAM layout)
{
    auto& places = *reinterpret_cast<std::vector<std::pair<HWND, RECT>>*>(layout);
    const HWND dialog = GetParent(control);
    RECT place{};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    places.emplace_back(control, place);
    return TRUE;
}

} // namespace

void Win32DialogHost::RecordLayout()
{
    TakeOverDialogScaling(window_);
    layoutDpi_ = dpi_ = WindowDpi(window_);
    layout_.clear();
    RECT client{};
    GetClientRect(window_, &client);
    layoutClient_ = {client.right, client.bottom};
    // The dialog's own children only: the controls of a find bar are its to place.
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        CollectChild(child, reinterpret_cast<LPARAM>(&layout_));
}

void Win32DialogHost::OnDpiChanged(UINT dpi, const RECT* suggested)
{
    if (!window_ || dpi == 0 || dpi == dpi_)
        return;
    const UINT from = layoutDpi_;
    const auto scaled = [&](const RECT& place) {
        return RECT{Scale(place.left, dpi, from), Scale(place.top, dpi, from), Scale(place.right, dpi, from),
            Scale(place.bottom, dpi, from)};
    };
    // The template's font, made again for the new scale; the first scale's is the dialog manager's.
    const auto templateFont = reinterpret_cast<HFONT>(SendMessageA(window_, WM_GETFONT, 0, 0));
    FontHandle font = dpi == layoutDpi_ ? nullptr : CreateRescaledFont(templateFont, layoutDpi_, dpi);
    const HFONT controlsFont = font ? font.get() : templateFont;

    if (suggested) {
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
            suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (const auto& [control, place] : layout_) {
        const RECT area = scaled(place);
        const auto view = std::find_if(
            views_.begin(), views_.end(), [&](const auto& entry) { return entry.second->Window() == control; });
        if (view != views_.end()) {
            view->second->Rescale(area, dpi, controlsFont);
            continue;
        }
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(controlsFont), FALSE);
        MoveWindow(control, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
    }
    // The frame scales otherwise than the client area: the window grows should the suggested size
    // leave less room than the first client area, in proportion.
    RECT client{};
    GetClientRect(window_, &client);
    const int wantWidth = Scale(layoutClient_.cx, dpi, from);
    const int wantHeight = Scale(layoutClient_.cy, dpi, from);
    if (client.right < wantWidth || client.bottom < wantHeight) {
        RECT frame{};
        GetWindowRect(window_, &frame);
        SetWindowPos(window_, nullptr, 0, 0,
            frame.right - frame.left + std::max(0, wantWidth - static_cast<int>(client.right)),
            frame.bottom - frame.top + std::max(0, wantHeight - static_cast<int>(client.bottom)),
            SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    scaledFont_ = std::move(font); // after the controls have the new one
    dpi_ = dpi;
    LoadIcon(true);
    LoadIcon(false);
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}
