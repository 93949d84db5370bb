// The traffic view's keyboard, mouse and clipboard: moving the caret, selecting, copying.
#include "platform/win32/traffic_view_window.h"

#include <cstring>

namespace {

constexpr int kMargin = 2;

bool KeyDown(int key)
{
    return (GetKeyState(key) & 0x8000) != 0;
}

// The clipboard is open for as long as this lives.
class OpenClipboardScope {
public:
    explicit OpenClipboardScope(HWND owner)
        : open_(OpenClipboard(owner) != FALSE)
    { }
    ~OpenClipboardScope()
    {
        if (open_)
            CloseClipboard();
    }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
    bool IsOpen() const { return open_; }

private:
    bool open_;
};

// Movable global memory, freed unless the clipboard took it over.
class GlobalBlock {
public:
    explicit GlobalBlock(std::size_t bytes)
        : handle_(GlobalAlloc(GMEM_MOVEABLE, bytes))
    { }
    ~GlobalBlock()
    {
        if (handle_)
            GlobalFree(handle_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL Get() const { return handle_; }
    void Release() { handle_ = nullptr; }

private:
    HGLOBAL handle_;
};

} // namespace

bool TrafficViewWindow::OnKey(WPARAM key)
{
    const bool control = KeyDown(VK_CONTROL);
    const bool shift = KeyDown(VK_SHIFT);
    if (control && (key == 'C' || key == VK_INSERT)) {
        CopySelection();
        return true;
    }
    if (control && key == 'A') {
        SetSelection(store_.beginOffset(), store_.endOffset());
        return true;
    }
    Move move{};
    switch (key) {
    case VK_LEFT:
        move = Move::PreviousChar;
        break;
    case VK_RIGHT:
        move = Move::NextChar;
        break;
    case VK_UP:
        move = Move::PreviousLine;
        break;
    case VK_DOWN:
        move = Move::NextLine;
        break;
    case VK_PRIOR:
        move = Move::PreviousPage;
        break;
    case VK_NEXT:
        move = Move::NextPage;
        break;
    case VK_HOME:
        move = control ? Move::TextStart : Move::LineStart;
        break;
    case VK_END:
        move = control ? Move::TextEnd : Move::LineEnd;
        break;
    default:
        return false;
    }
    const bool vertical
        = move == Move::PreviousLine || move == Move::NextLine || move == Move::PreviousPage || move == Move::NextPage;
    const std::int64_t to = Moved(cursor_, move);
    if (!vertical)
        goalColumn_ = -1;
    SetSelection(shift ? anchor_ : to, to);
    EnsureVisible(to);
    return true;
}

std::int64_t TrafficViewWindow::Moved(std::int64_t from, Move move)
{
    const std::int64_t line = store_.lineAt(from);
    const std::int64_t lines = store_.lineCount();
    auto onLine = [this](std::int64_t target, std::int64_t column) {
        return std::min(store_.lineStart(target) + column, store_.lineEnd(target));
    };
    std::int64_t column = goalColumn_ >= 0 ? goalColumn_ : from - store_.lineStart(line);
    switch (move) {
    case Move::PreviousChar:
        if (from == store_.lineStart(line))
            return line > 0 ? store_.lineEnd(line - 1) : from;
        return from - 1;
    case Move::NextChar:
        if (from >= store_.lineEnd(line))
            return line + 1 < lines ? store_.lineStart(line + 1) : from;
        return from + 1;
    case Move::PreviousLine:
    case Move::NextLine:
    case Move::PreviousPage:
    case Move::NextPage: {
        const std::int64_t step = (move == Move::PreviousLine || move == Move::NextLine) ? 1 : VisibleLines();
        const std::int64_t sign = (move == Move::PreviousLine || move == Move::PreviousPage) ? -1 : 1;
        const std::int64_t target = std::clamp<std::int64_t>(line + sign * step, 0, lines - 1);
        goalColumn_ = column;
        return onLine(target, column);
    }
    case Move::LineStart:
        return store_.lineStart(line);
    case Move::LineEnd:
        return store_.lineEnd(line);
    case Move::TextStart:
        return store_.beginOffset();
    case Move::TextEnd:
        return store_.endOffset();
    }
    return from;
}

std::int64_t TrafficViewWindow::OffsetAt(int x, int y) const
{
    const std::int64_t row = y < kMargin ? -1 : (y - kMargin) / lineHeight_;
    const std::int64_t line = std::clamp<std::int64_t>(topLine_ + row, 0, store_.lineCount() - 1);
    const std::int64_t column = std::max<std::int64_t>(0, leftColumn_ + (x - kMargin + charWidth_ / 2) / charWidth_);
    return std::min(store_.lineStart(line) + column, store_.lineEnd(line));
}

void TrafficViewWindow::SetSelection(std::int64_t anchor, std::int64_t cursor)
{
    anchor_ = std::clamp(anchor, store_.beginOffset(), store_.endOffset());
    cursor_ = std::clamp(cursor, store_.beginOffset(), store_.endOffset());
    InvalidateRect(window_, nullptr, FALSE);
    PlaceCaret();
    accessibility_.SelectionChanged();
}

void TrafficViewWindow::CopySelection() const
{
    const std::int64_t from = SelectionStart();
    const std::int64_t to = SelectionEnd();
    if (from == to)
        return;
    GlobalBlock block(static_cast<std::size_t>(to - from) + 1);
    if (!block.Get())
        return;
    if (void* locked = GlobalLock(block.Get())) {
        auto* out = static_cast<char*>(locked);
        store_.copy(from, to, out);
        out[to - from] = '\0';
        GlobalUnlock(block.Get());
    } else {
        return;
    }
    const OpenClipboardScope clipboard(window_);
    if (!clipboard.IsOpen())
        return;
    EmptyClipboard();
    if (SetClipboardData(CF_TEXT, block.Get()))
        block.Release();
}
