// What the traffic view's commands need of the system: the clipboard, the context menu and the find bar.
#include "platform/win32/traffic_view_window.h"

#include <cstring>
#include <string>
#include <type_traits>

namespace {

constexpr int kMargin = 2;
constexpr UINT_PTR kSearchTimer = 1;

struct MenuDeleter {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using MenuHandle = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

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

void TrafficViewWindow::CarryOut(ViewCommand command)
{
    SystemCommands commands(*this);
    carryOut(command, commands);
    Sync();
}

// From the mouse at its place; from the keyboard (Shift+F10, the Menu key) at the caret.
void TrafficViewWindow::ShowContextMenu(LPARAM position)
{
    POINT at{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    if (position == -1) {
        const auto [row, column] = model_.menuCell();
        at.x = kMargin + static_cast<int>(column) * charWidth_;
        at.y = kMargin + static_cast<int>(row) * lineHeight_;
        ClientToScreen(window_, &at);
    }
    const MenuHandle menu(CreatePopupMenu());
    if (!menu)
        return;
    UINT id = 1;
    for (const MenuEntry& entry : TrafficViewModel::kContextMenu) {
        if (entry.separatorBefore)
            AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
        const std::string label = std::string(entry.label) + '\t' + entry.shortcut;
        AppendMenuA(
            menu.get(), MF_STRING | (model_.enabled(entry.command) ? MF_ENABLED : MF_GRAYED), id++, label.c_str());
    }
    const auto chosen = static_cast<UINT>(
        TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, window_, nullptr));
    if (chosen == 0 || chosen > TrafficViewModel::kContextMenu.size())
        return;
    CarryOut(model_.run(TrafficViewModel::kContextMenu[chosen - 1].command));
}

void TrafficViewWindow::OpenFind(bool focus)
{
    if (!findBar_)
        findBar_ = FindBarWindow::Create(window_, *this, dialogFont_, font_.get(), dpi_);
    if (!findBar_)
        return;
    model_.setFindOpen(true);
    if (!findBar_->IsShown()) {
        // The bar takes the bottom of the view's place instead of covering its last lines.
        MoveWindow(window_, area_.left, area_.top, area_.right - area_.left,
            std::max<int>(lineHeight_, area_.bottom - area_.top - findBar_->Height()), TRUE);
    }
    findBar_->Show(area_, focus);
}

void TrafficViewWindow::CloseFind()
{
    model_.setFindOpen(false);
    KillTimer(window_, kSearchTimer);
    if (!findBar_)
        return;
    SendMessageA(GetParent(window_), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window_), TRUE);
    findBar_->Hide();
    MoveWindow(window_, area_.left, area_.top, area_.right - area_.left, area_.bottom - area_.top, TRUE);
}

// A search runs a pass at a time on a timer: input and painting go on between passes.
void TrafficViewWindow::ContinueSearch()
{
    model_.continueFind();
    if (model_.finding())
        SetTimer(window_, kSearchTimer, USER_TIMER_MINIMUM, nullptr);
    else
        KillTimer(window_, kSearchTimer);
    Sync();
}

void TrafficViewWindow::OnFindQueryChanged(const std::u16string& query, bool matchCase)
{
    model_.setFindQuery(query, matchCase);
}

void TrafficViewWindow::OnFindRequested(SearchDirection direction)
{
    model_.find(direction);
    ContinueSearch();
}

void TrafficViewWindow::OnFindClosed()
{
    CloseFind();
}

void TrafficViewWindow::CopySelection()
{
    if (!model_.hasSelection())
        return;
    const std::string text = model_.selectedText(LineEnds::CrLf);
    GlobalBlock block(text.size() + 1);
    if (!block.Get())
        return;
    if (void* locked = GlobalLock(block.Get())) {
        std::memcpy(locked, text.c_str(), text.size() + 1);
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
