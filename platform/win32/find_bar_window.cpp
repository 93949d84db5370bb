#include "platform/win32/find_bar_window.h"

#include <algorithm>

#include "platform/win32/display_scale.h"
#include "platform/win32/view_key_input.h"
#include "platform/win32/window_class.h"

namespace {

constexpr char kClassName[] = "BrindleFindBar"; // an arrow cursor (IDC_ARROW, 32512)
constexpr int kPadding = 3;

enum ControlId { kCaptionId = 1, kFieldId, kMatchCaseId, kStatusId };

// The characters of the keys the bar takes (Enter, Escape, Ctrl+A, Ctrl+F, Ctrl+G), which would only
// beep in the field.
bool IsTakenCharacter(WPARAM character)
{
    return character == '\r' || character == '\n' || character == 0x1B || character == 0x01 || character == 0x06
        || character == 0x07;
}

int TextHeight(HWND window, HFONT font)
{
    const HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return static_cast<int>(metrics.tmHeight);
}

int TextWidth(HWND window, HFONT font, const char* text)
{
    const HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size.cx;
}

} // namespace

FindBarWindow::FindBarWindow(FindBarClient& client)
    : client_(client)
{ }

std::unique_ptr<FindBarWindow> FindBarWindow::Create(
    HWND view, FindBarClient& client, HFONT dialogFont, HFONT fieldFont, UINT dpi)
{
    const HWND dialog = GetParent(view);
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    if (!EnsureWindowClass(instance, kClassName, &ObjectProcedure<FindBarWindow>, 0, 32512,
            reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1))))
        return nullptr;
    std::unique_ptr<FindBarWindow> bar(new FindBarWindow(client));
    // A control parent: the dialog manager tabs into its controls, and past it while it is hidden.
    if (!CreateWindowExA(WS_EX_CONTROLPARENT, kClassName, "Find", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, dialog,
            nullptr, instance, bar.get()))
        return nullptr;
    const auto make = [&](DWORD exStyle, const char* className, const char* text, DWORD style, int id) {
        return CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, bar->window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    // In reading order, which is also the tab order. No mnemonics: the console's own would clash.
    bar->caption_ = make(0, "STATIC", "Find:", SS_LEFT, kCaptionId);
    bar->field_ = make(WS_EX_CLIENTEDGE, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, kFieldId);
    bar->matchCase_ = make(0, "BUTTON", "Match case", WS_TABSTOP | BS_AUTOCHECKBOX, kMatchCaseId);
    bar->status_ = make(0, "STATIC", "", SS_LEFT | SS_NOPREFIX, kStatusId);
    if (!bar->caption_ || !bar->field_ || !bar->matchCase_ || !bar->status_)
        return nullptr;
    // The field and the box take the bar's keys before the dialog makes Enter its default button and
    // Escape its end.
    for (const HWND control : {bar->field_, bar->matchCase_}) {
        SetWindowLongPtrA(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bar.get()));
        const auto previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProcedure)));
        (control == bar->field_ ? bar->fieldProcedure_ : bar->matchCaseProcedure_) = previous;
    }
    bar->SetFonts(dialogFont, fieldFont, dpi);
    SetWindowPos(bar->window_, view, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return bar;
}

FindBarWindow::~FindBarWindow()
{
    DestroyObjectWindow(window_);
}

LRESULT FindBarWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case WM_COMMAND:
        if ((LOWORD(wParam) == kFieldId && HIWORD(wParam) == EN_CHANGE)
            || (LOWORD(wParam) == kMatchCaseId && HIWORD(wParam) == BN_CLICKED))
            QueryChanged();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

LRESULT CALLBACK FindBarWindow::ControlProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* bar = reinterpret_cast<FindBarWindow*>(GetWindowLongPtrA(control, GWLP_USERDATA));
    if (!bar)
        return DefWindowProcA(control, message, wParam, lParam);
    const WNDPROC previous = control == bar->field_ ? bar->fieldProcedure_ : bar->matchCaseProcedure_;
    switch (message) {
    case WM_GETDLGCODE: {
        LRESULT code = CallWindowProcA(previous, control, message, wParam, lParam);
        // Their characters too, which the dialog manager would otherwise take for mnemonics.
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg
            && ((msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE))
                || (msg->message == WM_CHAR && IsTakenCharacter(msg->wParam))))
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        if (bar->OnKey(wParam))
            return 0;
        break;
    case WM_CHAR:
        if (IsTakenCharacter(wParam))
            return 0;
        break;
    default:
        break;
    }
    return CallWindowProcA(previous, control, message, wParam, lParam);
}

bool FindBarWindow::OnKey(WPARAM key)
{
    switch (findBarKey(ViewKeyOf(key), ViewModifiersHeld())) {
    case FindBarKey::FocusField:
        SendMessageA(GetParent(window_), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field_), TRUE);
        SendMessageA(field_, EM_SETSEL, 0, -1);
        return true;
    case FindBarKey::SelectField:
        if (GetFocus() != field_)
            return false;
        SendMessageA(field_, EM_SETSEL, 0, -1);
        return true;
    case FindBarKey::FindNext:
        client_.OnFindRequested(SearchDirection::Forward);
        return true;
    case FindBarKey::FindPrevious:
        client_.OnFindRequested(SearchDirection::Backward);
        return true;
    case FindBarKey::Close:
        client_.OnFindClosed();
        return true;
    case FindBarKey::NotMine:
        break;
    }
    return false;
}

void FindBarWindow::QueryChanged()
{
    const int length = GetWindowTextLengthW(field_);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(field_, text.data(), static_cast<int>(text.size()))));
    client_.OnFindQueryChanged(
        std::u16string(text.begin(), text.end()), SendMessageA(matchCase_, BM_GETCHECK, 0, 0) == BST_CHECKED);
}

void FindBarWindow::Show(const RECT& area, bool focus)
{
    SetWindowPos(window_, nullptr, area.left, area.bottom - height_, area.right - area.left, height_,
        SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    Layout();
    if (focus) {
        SendMessageA(GetParent(window_), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field_), TRUE);
        SendMessageA(field_, EM_SETSEL, 0, -1);
    }
}

void FindBarWindow::Hide()
{
    ShowWindow(window_, SW_HIDE);
}

bool FindBarWindow::IsShown() const
{
    return window_ && IsWindowVisible(window_);
}

void FindBarWindow::SetStatus(const char* status)
{
    SetWindowTextA(status_, status);
}

int FindBarWindow::Scaled(int pixels) const
{
    return MulDiv(pixels, static_cast<int>(dpi_), static_cast<int>(kDefaultDpi));
}

void FindBarWindow::SetFonts(HFONT dialogFont, HFONT fieldFont, UINT dpi)
{
    dpi_ = dpi;
    font_ = dialogFont;
    fieldFont_ = fieldFont ? fieldFont : dialogFont;
    for (const HWND control : {caption_, matchCase_, status_})
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageA(field_, WM_SETFONT, reinterpret_cast<WPARAM>(fieldFont_), FALSE);
    height_ = std::max(TextHeight(window_, font_), TextHeight(window_, fieldFont_)) + Scaled(2 * kPadding + 6);
    if (IsShown())
        Layout();
}

void FindBarWindow::Layout()
{
    RECT client{};
    GetClientRect(window_, &client);
    const int padding = Scaled(kPadding);
    const int height = client.bottom - 2 * padding;
    const int captionWidth = TextWidth(window_, font_, "Find:") + 2 * padding;
    const int boxWidth = TextWidth(window_, font_, "Match case") + SystemMetricAt(SM_CXMENUCHECK, dpi_) + Scaled(11);
    const int rest = std::max(0, static_cast<int>(client.right) - captionWidth - boxWidth - 4 * padding);
    const int fieldWidth = std::max(Scaled(40), rest * 2 / 3);
    int x = padding;
    const auto place = [&](HWND control, int width, int inset) {
        MoveWindow(control, x, padding + inset, width, height - 2 * inset, TRUE);
        x += width + padding;
    };
    place(caption_, captionWidth, padding);
    place(field_, fieldWidth, 0);
    place(matchCase_, boxWidth, 0);
    place(status_, std::max(0, static_cast<int>(client.right) - x - padding), padding);
}
