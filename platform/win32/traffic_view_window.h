// A read-only traffic view of our own, drawn from an append-only TextStore: the standard edit
// control lays out every line it is handed, which under traffic of a hundred megabytes a second
// stalls the window. Only the visible lines are drawn, appends only mark the view for the next
// flush, and the store's capacity rule drops the oldest whole lines. Both scroll bars, no
// wrapping, a caret, selection by mouse and keyboard, Ctrl+C and Ctrl+A.
#ifndef BRINDLE_PLATFORM_WIN32_TRAFFIC_VIEW_WINDOW_H
#define BRINDLE_PLATFORM_WIN32_TRAFFIC_VIEW_WINDOW_H

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text/text_store.h"
#include "platform/win32/accessible_text_source.h"
#include "platform/win32/traffic_view_accessibility.h"
#include "platform/win32/windows_api.h"

class TrafficViewWindow final : public AccessibleTextSource {
public:
    // Both views full stay well inside the memory a 32-bit process can count on.
    static constexpr std::int64_t kDefaultCapacity = std::int64_t{128} << 20;

    // Takes the place of `placeholder` (the template's multi-line edit): same id, rectangle,
    // borders and tab position; the placeholder is destroyed.
    static std::unique_ptr<TrafficViewWindow> Replace(HWND placeholder, std::int64_t capacity);
    ~TrafficViewWindow();
    TrafficViewWindow(const TrafficViewWindow&) = delete;
    TrafficViewWindow& operator=(const TrafficViewWindow&) = delete;

    // Single-byte text with CR LF line ends, at the very end whatever is selected; the view
    // scrolls there on the next Flush().
    void Append(std::string_view text);
    void Flush();
    // Replaces everything; "" empties the view.
    void SetText(std::string_view text);
    std::string Text() const { return store_.text(); }
    HWND Window() const override { return window_; }
    // What assistive tools call the view: its label's text.
    void SetAccessibleName(const std::string& name) { accessibility_.SetName(name); }

    // What assistive tools reach of the view.
    const TextStore& Store() const override { return store_; }
    std::int64_t Caret() const override { return cursor_; }
    TextRange Selection() const override { return {SelectionStart(), SelectionEnd()}; }
    TextRange VisibleText() const override;
    std::int64_t OffsetAtScreenPoint(POINT point) const override;
    void Select(std::int64_t anchor, std::int64_t caret) override;
    void ShowOffset(std::int64_t offset) override { EnsureVisible(offset); }

private:
    enum class Move {
        PreviousChar,
        NextChar,
        PreviousLine,
        NextLine,
        PreviousPage,
        NextPage,
        LineStart,
        LineEnd,
        TextStart,
        TextEnd
    };

    TrafficViewWindow(HWND window, std::int64_t capacity);

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Painting and scrolling (traffic_view_window.cpp).
    void Paint();
    void MeasureFont();
    void UpdateScrollBars();
    void Scroll(int bar, int request);
    void ScrollTo(std::int64_t topLine, std::int64_t leftColumn);
    void EnsureVisible(std::int64_t offset);
    void PlaceCaret();
    int VisibleLines() const;
    int VisibleColumns() const;
    void FollowStore();

    // Keyboard, mouse and clipboard (traffic_view_input.cpp).
    bool OnKey(WPARAM key);
    std::int64_t Moved(std::int64_t from, Move move);
    std::int64_t OffsetAt(int x, int y) const;
    void SetSelection(std::int64_t anchor, std::int64_t cursor);
    void CopySelection() const;
    std::int64_t SelectionStart() const { return std::min(anchor_, cursor_); }
    std::int64_t SelectionEnd() const { return std::max(anchor_, cursor_); }

    HWND window_;
    TextStore store_;
    std::int64_t anchor_ = 0;
    std::int64_t cursor_ = 0;
    std::int64_t goalColumn_ = -1;
    std::int64_t topLine_ = 0;
    std::int64_t leftColumn_ = 0;
    std::int64_t seenDroppedLines_ = 0;
    bool dirty_ = false;
    bool followEnd_ = false;
    bool dragging_ = false;
    bool hasCaret_ = false;
    HFONT font_ = nullptr; // a stock font: never deleted
    int charWidth_ = 8;
    int lineHeight_ = 16;
    std::string lineBuffer_;
    // Last: it reaches the members above until it goes.
    TrafficViewAccessibility accessibility_{*this};
};

#endif
