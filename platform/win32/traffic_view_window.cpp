// The traffic view's window: its class, its place in the dialog, painting and scrolling.
#include "platform/win32/traffic_view_window.h"

#include "platform/win32/view_key_input.h"
#include "platform/win32/window_class.h"

#include <array>
#include <climits>

namespace {

constexpr char kClassName[] = "BrindleTrafficView"; // an I-beam cursor (IDC_IBEAM, 32513)
constexpr int kMargin = 2;

int CaretWidth(UINT dpi)
{
    return std::max(1, MulDiv(1, static_cast<int>(dpi), static_cast<int>(kDefaultDpi)));
}

int ClampToInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, INT_MAX));
}

} // namespace

std::unique_ptr<TrafficViewWindow> TrafficViewWindow::Replace(HWND placeholder, std::int64_t capacity)
{
    const HWND dialog = GetParent(placeholder);
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    if (!EnsureWindowClass(instance, kClassName, &ObjectProcedure<TrafficViewWindow>, CS_DBLCLKS, 32513, nullptr))
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
    view->area_ = rect;
    return view;
}

TrafficViewWindow::TrafficViewWindow(HWND window, std::int64_t capacity)
    : window_(window)
    , model_(capacity)
{ }

TrafficViewWindow::~TrafficViewWindow()
{
    if (window_)
        accessibility_.WindowDestroyed();
    DestroyObjectWindow(window_);
}

void TrafficViewWindow::AppendTraffic(std::string_view bytes, TrafficFormat format)
{
    model_.appendTraffic(bytes, format);
}

void TrafficViewWindow::SetText(std::string_view text)
{
    model_.setText(text);
    accessibility_.TextReplaced();
    Sync();
}

void TrafficViewWindow::Flush()
{
    model_.flush();
    Sync();
    accessibility_.TextFlushed(); // tells only what arrived since it last told
}

void TrafficViewWindow::Sync()
{
    const unsigned changes = model_.takeChanges();
    if (changes == 0 || !window_)
        return;
    if (changes & (kTextChanged | kScrolled))
        UpdateScrollBars();
    if (changes & kFindStatusChanged && findBar_)
        findBar_->SetStatus(findStatusText(model_.findStatus()));
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
    if (changes & (kSelectionChanged | kCaretMoved))
        accessibility_.SelectionChanged();
}

void TrafficViewWindow::MeasureFont(UINT dpi)
{
    dpi_ = dpi;
    if (FontHandle font = CreateFixedPitchFont(window_, kFontPoints, dpi))
        font_ = std::move(font);
    const HDC dc = GetDC(window_);
    const HGDIOBJ old = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(ANSI_FIXED_FONT));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
    charWidth_ = std::max<int>(1, metrics.tmAveCharWidth);
    lineHeight_ = std::max<int>(1, metrics.tmHeight);
}

void TrafficViewWindow::Rescale(const RECT& area, UINT dpi, HFONT dialogFont)
{
    area_ = area;
    dialogFont_ = dialogFont;
    MeasureFont(dpi);
    if (findBar_)
        findBar_->SetFonts(dialogFont_, font_.get(), dpi_);
    const bool findShown = findBar_ && findBar_->IsShown();
    // The model keeps the caret, the selection and the first line and column shown; the new page
    // size follows from WM_SIZE, or here when the size happens to stay.
    MoveWindow(window_, area_.left, area_.top, area_.right - area_.left,
        findShown ? std::max<int>(lineHeight_, area_.bottom - area_.top - findBar_->Height())
                  : area_.bottom - area_.top,
        TRUE);
    if (findShown)
        findBar_->Show(area_, false);
    if (hasCaret_) {
        DestroyCaret();
        hasCaret_ = CreateCaret(window_, nullptr, CaretWidth(dpi_), lineHeight_) != FALSE;
        if (hasCaret_)
            ShowCaret(window_);
    }
    UpdatePage();
    UpdateScrollBars();
    PlaceCaret();
    InvalidateRect(window_, nullptr, FALSE);
}

void TrafficViewWindow::UpdatePage()
{
    RECT client{};
    GetClientRect(window_, &client);
    model_.setPage(std::max(1, static_cast<int>((client.bottom - kMargin) / lineHeight_)),
        std::max(1, static_cast<int>((client.right - 2 * kMargin) / charWidth_)));
    Sync();
}

void TrafficViewWindow::UpdateScrollBars()
{
    const auto page = [](std::int64_t size) { return static_cast<UINT>(ClampToInt(size)); };
    SCROLLINFO vertical{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0,
        ClampToInt(model_.maxTopLine() + model_.pageLines() - 1), page(model_.pageLines()),
        ClampToInt(model_.topLine()), 0};
    SetScrollInfo(window_, SB_VERT, &vertical, TRUE);
    SCROLLINFO horizontal{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0,
        ClampToInt(model_.maxLeftColumn() + model_.pageColumns() - 1), page(model_.pageColumns()),
        ClampToInt(model_.leftColumn()), 0};
    SetScrollInfo(window_, SB_HORZ, &horizontal, TRUE);
}

void TrafficViewWindow::Scroll(int bar, int request)
{
    const ScrollAxis axis = bar == SB_VERT ? ScrollAxis::Vertical : ScrollAxis::Horizontal;
    if (request == SB_THUMBTRACK || request == SB_THUMBPOSITION) {
        SCROLLINFO info{sizeof(SCROLLINFO), SIF_TRACKPOS, 0, 0, 0, 0, 0};
        GetScrollInfo(window_, bar, &info);
        if (axis == ScrollAxis::Vertical)
            model_.scrollTo(info.nTrackPos, model_.leftColumn());
        else
            model_.scrollTo(model_.topLine(), info.nTrackPos);
        Sync();
        return;
    }
    struct Request {
        int request;
        ScrollStep step;
    };
    static constexpr std::array kSteps{Request{SB_LINEUP, ScrollStep::LineBack},
        Request{SB_LINEDOWN, ScrollStep::LineForward}, Request{SB_PAGEUP, ScrollStep::PageBack},
        Request{SB_PAGEDOWN, ScrollStep::PageForward}, Request{SB_TOP, ScrollStep::Start},
        Request{SB_BOTTOM, ScrollStep::End}};
    for (const Request& step : kSteps) {
        if (step.request == request) {
            model_.scroll(axis, step.step);
            Sync();
        }
    }
}

void TrafficViewWindow::PlaceCaret()
{
    if (!hasCaret_)
        return;
    const auto [row, column] = model_.cellOf(model_.caret());
    // Off screen only the side matters.
    SetCaretPos(kMargin + static_cast<int>(std::clamp<std::int64_t>(column, -1, model_.pageColumns() + 1)) * charWidth_,
        kMargin + static_cast<int>(std::clamp<std::int64_t>(row, -1, model_.pageLines() + 1)) * lineHeight_);
}

void TrafficViewWindow::Paint()
{
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window_, &paint);
    if (!dc)
        return;
    RECT client{};
    GetClientRect(window_, &client);
    const HGDIOBJ oldFont
        = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(ANSI_FIXED_FONT));
    const COLORREF text = GetSysColor(IsWindowEnabled(window_) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    const COLORREF back = GetSysColor(COLOR_WINDOW);
    const TextStore& store = model_.store();
    const auto rows = static_cast<int>(model_.pageLines()) + 1;
    for (int row = 0; row < rows; ++row) {
        const int y = kMargin + row * lineHeight_;
        RECT band{client.left, y, client.right, y + lineHeight_};
        if (row == 0)
            band.top = client.top;
        const std::int64_t line = model_.topLine() + row;
        VisibleLine shown;
        if (line < store.lineCount())
            model_.printableText(shown = model_.visibleLine(line), lineBuffer_);
        else
            lineBuffer_.clear();
        const auto xAt = [&](std::int64_t offset) {
            return kMargin + static_cast<int>(offset - shown.start - model_.leftColumn()) * charWidth_;
        };
        // The whole band in the text's colours, then the selected cells alone over it.
        SetTextColor(dc, text);
        SetBkColor(dc, back);
        ExtTextOutA(dc, kMargin, y, ETO_OPAQUE | ETO_CLIPPED, &band, lineBuffer_.data(),
            static_cast<UINT>(lineBuffer_.size()), nullptr);
        const std::int64_t cellsTo = shown.selectedTo + (shown.breakSelected ? 1 : 0);
        if (shown.selectedFrom < cellsTo) {
            RECT cells{xAt(shown.selectedFrom), y, xAt(cellsTo), band.bottom};
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
            ExtTextOutA(dc, cells.left, y, ETO_OPAQUE | ETO_CLIPPED, &cells,
                lineBuffer_.data() + (shown.selectedFrom - shown.from),
                static_cast<UINT>(shown.selectedTo - shown.selectedFrom), nullptr);
        }
    }
    // Below the last row, where the view was shorter while its find bar was open.
    RECT below{client.left, kMargin + rows * lineHeight_, client.right, client.bottom};
    SetBkColor(dc, back);
    if (below.top < below.bottom)
        ExtTextOutA(dc, 0, below.top, ETO_OPAQUE, &below, "", 0, nullptr);
    SelectObject(dc, oldFont);
    EndPaint(window_, &paint);
}

std::int64_t TrafficViewWindow::OffsetAtScreenPoint(POINT point) const
{
    RECT client{};
    if (!window_ || !ScreenToClient(window_, &point) || !GetClientRect(window_, &client) || !PtInRect(&client, point))
        return -1;
    const auto [row, column] = CellAt(MAKELPARAM(point.x, point.y));
    return model_.offsetAtCell(row, column);
}

void TrafficViewWindow::Select(std::int64_t anchor, std::int64_t caret)
{
    model_.selectForReader(anchor, caret);
    Sync();
}

void TrafficViewWindow::Reveal(TextRange range, bool endWins)
{
    model_.reveal(range, endWins);
    Sync();
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
        dialogFont_ = reinterpret_cast<HFONT>(SendMessageA(GetParent(window_), WM_GETFONT, 0, 0));
        MeasureFont(WindowDpi(window_));
        UpdatePage();
        UpdateScrollBars();
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // every pixel is painted
    case WM_SIZE:
        UpdatePage();
        InvalidateRect(window_, nullptr, FALSE);
        return 0;
    case WM_VSCROLL:
        Scroll(SB_VERT, LOWORD(wParam));
        return 0;
    case WM_HSCROLL:
        Scroll(SB_HORZ, LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        model_.wheel(ScrollAxis::Vertical, GET_WHEEL_DELTA_WPARAM(wParam));
        Sync();
        return 0;
    case WM_SETFOCUS:
        hasCaret_ = CreateCaret(window_, nullptr, CaretWidth(dpi_), lineHeight_) != FALSE;
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
        // Arrows and characters are the view's, and every key the view acts on, so that Enter does not
        // end the dialog. Tab and the rest stay the dialog's.
        LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg && msg->message == WM_KEYDOWN
            && keyAction(ViewKeyOf(msg->wParam), ViewModifiersHeld(), model_.findOpen()).kind
                != KeyAction::Kind::NotMine)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        if (OnKey(wParam))
            return 0;
        break;
    case WM_CHAR:
        return 0; // read-only: the keys were taken on WM_KEYDOWN
    case WM_TIMER:
        ContinueSearch();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnButtonDown(lParam, message == WM_LBUTTONDBLCLK, (wParam & MK_SHIFT) != 0);
        return 0;
    case WM_MOUSEMOVE:
        if (dragging_) {
            const auto [row, column] = CellAt(lParam);
            model_.dragTo(row, column);
            Sync();
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        dragging_ = false;
        if (message == WM_LBUTTONUP)
            ReleaseCapture();
        return 0;
    case WM_CONTEXTMENU:
        ShowContextMenu(lParam);
        return 0;
    // What assistive tools and GetWindowText read: the text from its oldest held byte.
    case WM_GETTEXTLENGTH:
        return ClampToInt(model_.store().size());
    case WM_GETTEXT: {
        if (wParam == 0 || lParam == 0)
            return 0;
        const TextStore& store = model_.store();
        const std::int64_t count = std::min<std::int64_t>(store.size(), static_cast<std::int64_t>(wParam) - 1);
        auto* out = reinterpret_cast<char*>(lParam);
        store.copy(store.beginOffset(), store.beginOffset() + count, out);
        out[count] = '\0';
        return static_cast<LRESULT>(count);
    }
    default:
        break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}
