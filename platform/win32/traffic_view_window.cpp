// The traffic view's window: its class, its place in the dialog, painting and scrolling.
#include "platform/win32/traffic_view_window.h"

#include <climits>

namespace {

constexpr char kClassName[] = "BrindleTrafficView";
constexpr int kMargin = 2;
constexpr int kWheelLines = 3;

// The class is the process's, registered by the first view and kept until the process ends.
bool EnsureClassRegistered(HINSTANCE instance, WNDPROC procedure)
{
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(instance, kClassName, &existing))
        return true;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32513)); // IDC_IBEAM
    windowClass.lpszClassName = kClassName;
    return RegisterClassExA(&windowClass) != 0;
}

int ClampToInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, INT_MAX));
}

// Control bytes get a stand-in of one cell so that columns stay lined up.
void MakePrintable(std::string& bytes)
{
    for (char& c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = '.';
    }
}

} // namespace

std::unique_ptr<TrafficViewWindow> TrafficViewWindow::Replace(HWND placeholder, std::int64_t capacity)
{
    const HWND dialog = GetParent(placeholder);
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    if (!EnsureClassRegistered(instance, &Procedure))
        return nullptr;
    RECT rect{};
    GetWindowRect(placeholder, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    // The frame, scroll bars, tab stop and visibility of the template's control; not its edit
    // styles, which mean something else to a window of ours.
    const DWORD keep
        = WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_TABSTOP | WS_GROUP | WS_BORDER | WS_VSCROLL | WS_HSCROLL;
    const auto style = static_cast<DWORD>(GetWindowLongA(placeholder, GWL_STYLE)) & keep;
    const auto exStyle = static_cast<DWORD>(GetWindowLongA(placeholder, GWL_EXSTYLE));
    const int id = GetDlgCtrlID(placeholder);
    std::unique_ptr<TrafficViewWindow> view(new TrafficViewWindow(nullptr, capacity));
    const HWND window = CreateWindowExA(exStyle, kClassName, "", style, rect.left, rect.top, rect.right - rect.left,
        rect.bottom - rect.top, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, view.get());
    if (!window)
        return nullptr;
    // Right behind the placeholder in Z order, which is the dialog's tab order.
    SetWindowPos(window, placeholder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    DestroyWindow(placeholder);
    return view;
}

TrafficViewWindow::TrafficViewWindow(HWND window, std::int64_t capacity)
    : window_(window)
{
    store_.setCapacity(capacity);
}

TrafficViewWindow::~TrafficViewWindow()
{
    if (window_ && IsWindow(window_)) {
        accessibility_.WindowDestroyed();
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK TrafficViewWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* view = static_cast<TrafficViewWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        view->window_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
    }
    auto* view = reinterpret_cast<TrafficViewWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!view)
        return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        view->window_ = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return view->HandleMessage(message, wParam, lParam);
}

void TrafficViewWindow::Append(std::string_view text)
{
    if (text.empty())
        return;
    const bool atEnd = anchor_ == cursor_;
    store_.append(text);
    FollowStore();
    // An empty selection rides at the end; one the user made stays where it is.
    if (atEnd) {
        anchor_ = store_.endOffset();
        cursor_ = anchor_;
    }
    followEnd_ = true;
    dirty_ = true;
}

void TrafficViewWindow::SetText(std::string_view text)
{
    store_.clear();
    store_.append(text);
    seenDroppedLines_ = 0;
    anchor_ = cursor_ = store_.endOffset();
    topLine_ = leftColumn_ = 0;
    goalColumn_ = -1;
    followEnd_ = true;
    dirty_ = true;
    accessibility_.TextReplaced();
    Flush();
}

void TrafficViewWindow::Flush()
{
    if (!dirty_ || !window_)
        return;
    dirty_ = false;
    UpdateScrollBars();
    if (followEnd_) {
        followEnd_ = false;
        EnsureVisible(store_.endOffset());
    }
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
    accessibility_.TextFlushed();
}

// Offsets outlive dropped lines; line numbers shift, and the scroll position with them.
void TrafficViewWindow::FollowStore()
{
    const std::int64_t dropped = store_.droppedLines() - seenDroppedLines_;
    seenDroppedLines_ = store_.droppedLines();
    anchor_ = std::max(anchor_, store_.beginOffset());
    cursor_ = std::max(cursor_, store_.beginOffset());
    topLine_ = std::max<std::int64_t>(0, topLine_ - dropped);
}

void TrafficViewWindow::MeasureFont()
{
    font_ = static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
    const HDC dc = GetDC(window_);
    const HGDIOBJ old = SelectObject(dc, font_);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
    charWidth_ = std::max<int>(1, metrics.tmAveCharWidth);
    lineHeight_ = std::max<int>(1, metrics.tmHeight);
}

int TrafficViewWindow::VisibleLines() const
{
    RECT client{};
    GetClientRect(window_, &client);
    return std::max(1, static_cast<int>((client.bottom - kMargin) / lineHeight_));
}

int TrafficViewWindow::VisibleColumns() const
{
    RECT client{};
    GetClientRect(window_, &client);
    return std::max(1, static_cast<int>((client.right - 2 * kMargin) / charWidth_));
}

void TrafficViewWindow::UpdateScrollBars()
{
    SCROLLINFO vertical{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0,
        ClampToInt(store_.lineCount() - 1), static_cast<UINT>(VisibleLines()), ClampToInt(topLine_), 0};
    SetScrollInfo(window_, SB_VERT, &vertical, TRUE);
    SCROLLINFO horizontal{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0,
        ClampToInt(store_.longestLine()), static_cast<UINT>(VisibleColumns()), ClampToInt(leftColumn_), 0};
    SetScrollInfo(window_, SB_HORZ, &horizontal, TRUE);
}

void TrafficViewWindow::ScrollTo(std::int64_t topLine, std::int64_t leftColumn)
{
    topLine = std::clamp<std::int64_t>(topLine, 0, std::max<std::int64_t>(0, store_.lineCount() - VisibleLines()));
    leftColumn = std::clamp<std::int64_t>(
        leftColumn, 0, std::max<std::int64_t>(0, store_.longestLine() + 1 - VisibleColumns()));
    if (topLine == topLine_ && leftColumn == leftColumn_)
        return;
    topLine_ = topLine;
    leftColumn_ = leftColumn;
    UpdateScrollBars();
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
}

void TrafficViewWindow::EnsureVisible(std::int64_t offset)
{
    const std::int64_t line = store_.lineAt(offset);
    const std::int64_t column = offset - store_.lineStart(line);
    std::int64_t top = topLine_;
    std::int64_t left = leftColumn_;
    if (line < top)
        top = line;
    else if (line >= top + VisibleLines())
        top = line - VisibleLines() + 1;
    if (column < left)
        left = column;
    else if (column >= left + VisibleColumns())
        left = column - VisibleColumns() + 1;
    ScrollTo(top, left);
}

void TrafficViewWindow::Scroll(int bar, int request)
{
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(window_, bar, &info);
    const bool vertical = bar == SB_VERT;
    const std::int64_t page = vertical ? VisibleLines() : VisibleColumns();
    std::int64_t position = vertical ? topLine_ : leftColumn_;
    switch (request) {
    case SB_LINEUP:
        position -= 1;
        break;
    case SB_LINEDOWN:
        position += 1;
        break;
    case SB_PAGEUP:
        position -= page;
        break;
    case SB_PAGEDOWN:
        position += page;
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        position = info.nTrackPos;
        break;
    case SB_TOP:
        position = 0;
        break;
    case SB_BOTTOM:
        position = INT_MAX;
        break;
    default:
        return;
    }
    if (vertical)
        ScrollTo(position, leftColumn_);
    else
        ScrollTo(topLine_, position);
}

void TrafficViewWindow::PlaceCaret()
{
    if (!hasCaret_)
        return;
    const std::int64_t line = store_.lineAt(cursor_);
    const std::int64_t column = cursor_ - store_.lineStart(line);
    SetCaretPos(kMargin + ClampToInt(column - leftColumn_ + 1) * charWidth_ - charWidth_,
        kMargin + static_cast<int>(std::clamp<std::int64_t>(line - topLine_, -1, VisibleLines() + 1)) * lineHeight_);
}

void TrafficViewWindow::Paint()
{
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window_, &paint);
    if (!dc)
        return;
    RECT client{};
    GetClientRect(window_, &client);
    const HGDIOBJ oldFont = SelectObject(dc, font_);
    const COLORREF text = GetSysColor(IsWindowEnabled(window_) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    const COLORREF back = GetSysColor(COLOR_WINDOW);
    const std::int64_t from = SelectionStart();
    const std::int64_t to = SelectionEnd();
    const int lines = VisibleLines() + 1;
    const int columns = VisibleColumns() + 2;
    for (int row = 0; row < lines; ++row) {
        RECT band{client.left, kMargin + row * lineHeight_, client.right, kMargin + (row + 1) * lineHeight_};
        if (row == 0)
            band.top = client.top;
        const std::int64_t line = topLine_ + row;
        std::int64_t start = 0;
        std::int64_t end = 0;
        if (line < store_.lineCount()) {
            start = std::min(store_.lineStart(line) + leftColumn_, store_.lineEnd(line));
            end = std::min(start + columns, store_.lineEnd(line));
        }
        lineBuffer_.assign(static_cast<std::size_t>(end - start), ' ');
        if (end > start)
            store_.copy(start, end, lineBuffer_.data());
        MakePrintable(lineBuffer_);
        SetTextColor(dc, text);
        SetBkColor(dc, back);
        ExtTextOutA(dc, kMargin, kMargin + row * lineHeight_, ETO_OPAQUE | ETO_CLIPPED, &band, lineBuffer_.data(),
            static_cast<UINT>(lineBuffer_.size()), nullptr);
        // The selected part of the line, drawn over in the highlight colours.
        const std::int64_t selectedFrom = std::max(from, start);
        const std::int64_t selectedTo = std::min(to, end);
        if (selectedFrom < selectedTo) {
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
            const int x = kMargin + static_cast<int>(selectedFrom - start) * charWidth_;
            ExtTextOutA(dc, x, kMargin + row * lineHeight_, ETO_OPAQUE | ETO_CLIPPED, &band,
                lineBuffer_.data() + (selectedFrom - start), static_cast<UINT>(selectedTo - selectedFrom), nullptr);
        }
    }
    SelectObject(dc, oldFont);
    EndPaint(window_, &paint);
}

TextRange TrafficViewWindow::VisibleText() const
{
    const std::int64_t last = std::min<std::int64_t>(topLine_ + VisibleLines(), store_.lineCount() - 1);
    return {store_.lineStart(std::min(topLine_, last)), store_.lineEnd(last)};
}

std::int64_t TrafficViewWindow::OffsetAtScreenPoint(POINT point) const
{
    RECT client{};
    if (!window_ || !ScreenToClient(window_, &point) || !GetClientRect(window_, &client) || !PtInRect(&client, point))
        return -1;
    return OffsetAt(point.x, point.y);
}

void TrafficViewWindow::Select(std::int64_t anchor, std::int64_t caret)
{
    SetSelection(anchor, caret);
    EnsureVisible(cursor_);
}

LRESULT TrafficViewWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_GETOBJECT: {
        LRESULT answer = 0;
        if (accessibility_.OnGetObject(wParam, lParam, &answer))
            return answer;
        break;
    }
    case WM_DESTROY:
        accessibility_.WindowDestroyed();
        return 0;
    case WM_CREATE:
        MeasureFont();
        UpdateScrollBars();
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // every pixel is painted
    case WM_SIZE:
        UpdateScrollBars();
        InvalidateRect(window_, nullptr, FALSE);
        return 0;
    case WM_VSCROLL:
        Scroll(SB_VERT, LOWORD(wParam));
        return 0;
    case WM_HSCROLL:
        Scroll(SB_HORZ, LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        ScrollTo(topLine_ - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * kWheelLines, leftColumn_);
        return 0;
    case WM_SETFOCUS:
        hasCaret_ = CreateCaret(window_, nullptr, 1, lineHeight_) != FALSE;
        PlaceCaret();
        if (hasCaret_)
            ShowCaret(window_);
        return 0;
    case WM_KILLFOCUS:
        if (hasCaret_)
            DestroyCaret();
        hasCaret_ = false;
        return 0;
    case WM_ENABLE:
        InvalidateRect(window_, nullptr, FALSE);
        return 0;
    case WM_GETDLGCODE: {
        // Arrows and characters are the view's; Enter too (want-return), so that it does not
        // end the dialog. Tab and Escape stay the dialog's.
        LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        if (OnKey(wParam))
            return 0;
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        SetFocus(window_);
        SetCapture(window_);
        dragging_ = true;
        const std::int64_t at = OffsetAt(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        SetSelection((wParam & MK_SHIFT) ? anchor_ : at, at);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (dragging_) {
            const std::int64_t at = OffsetAt(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            SetSelection(anchor_, at);
            EnsureVisible(at);
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        dragging_ = false;
        if (message == WM_LBUTTONUP)
            ReleaseCapture();
        return 0;
    // What assistive tools and GetWindowText read: the text from its oldest held byte.
    case WM_GETTEXTLENGTH:
        return ClampToInt(store_.size());
    case WM_GETTEXT: {
        if (wParam == 0 || lParam == 0)
            return 0;
        const std::int64_t count = std::min<std::int64_t>(store_.size(), static_cast<std::int64_t>(wParam) - 1);
        auto* out = reinterpret_cast<char*>(lParam);
        store_.copy(store_.beginOffset(), store_.beginOffset() + count, out);
        out[count] = '\0';
        return static_cast<LRESULT>(count);
    }
    default:
        break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}
