// A read-only traffic view of our own, drawn from a TrafficViewModel: the standard edit control lays
// out every line it is handed, which under traffic of a hundred megabytes a second stalls the window.
// The model decides the caret, the selection, what keys, clicks and commands do, and find; this window
// paints the visible lines, keeps its scroll bars in step, translates its messages for the model, and
// makes the system's calls: the clipboard, the context menu, the find bar.
#ifndef BRINDLE_PLATFORM_WIN32_TRAFFIC_VIEW_WINDOW_H
#define BRINDLE_PLATFORM_WIN32_TRAFFIC_VIEW_WINDOW_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text/traffic_view_model.h"
#include "platform/win32/accessible_text_source.h"
#include "platform/win32/display_scale.h"
#include "platform/win32/find_bar_window.h"
#include "platform/win32/traffic_view_accessibility.h"
#include "platform/win32/windows_api.h"

class TrafficViewWindow final : public AccessibleTextSource, private FindBarClient {
public:
    // Both views full stay well inside the memory a 32-bit process can count on.
    static constexpr std::int64_t kDefaultCapacity = std::int64_t{128} << 20;

    // Takes the place of `placeholder` (the template's multi-line edit): same id, rectangle,
    // borders and tab position; the placeholder is destroyed.
    static std::unique_ptr<TrafficViewWindow> Replace(HWND placeholder, std::int64_t capacity);
    ~TrafficViewWindow();
    TrafficViewWindow(const TrafficViewWindow&) = delete;
    TrafficViewWindow& operator=(const TrafficViewWindow&) = delete;

    // One received chunk's bytes, shown as `format` makes them, at the very end whatever is
    // selected; the view scrolls there on the next Flush().
    void AppendTraffic(std::string_view bytes, TrafficFormat format);
    void Flush();
    // Replaces everything; "" empties the view.
    void SetText(std::string_view text);
    std::string Text() const { return model_.store().text(); }
    HWND Window() const override { return window_; }
    // The text, caret, selection and scrolling, as the model holds them.
    const TrafficViewModel& Model() const { return model_; }
    // What assistive tools call the view: its label's text.
    void SetAccessibleName(const std::string& name) { accessibility_.SetName(name); }

    // What assistive tools reach of the view.
    const TextStore& Store() const override { return model_.store(); }
    std::int64_t Caret() const override { return model_.caret(); }
    TextRange Selection() const override { return model_.selection(); }
    TextRange VisibleText() const override { return model_.visibleRange(); }
    std::int64_t OffsetAtScreenPoint(POINT point) const override;
    void Select(std::int64_t anchor, std::int64_t caret) override;
    void Reveal(TextRange range, bool endWins) override;
    // Null until find is first opened.
    const FindBarWindow* FindBar() const { return findBar_.get(); }

    // The view's text is 9 points of a fixed-pitch face at the window's display scale.
    static constexpr int kFontPoints = 9;
    // One character's cell in pixels: its advance and the line height.
    SIZE GlyphCell() const { return {charWidth_, lineHeight_}; }
    // After a move to a monitor of another scale: the view's new place in the dialog (the find bar
    // takes its bottom edge while open), the scale, and the dialog's font made for it. The caret,
    // the selection and the scroll position stay on the same characters.
    void Rescale(const RECT& area, UINT dpi, HFONT dialogFont);

    // For the window procedure.
    void Attach(HWND window) { window_ = window; }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    TrafficViewWindow(HWND window, std::int64_t capacity);

    // Painting and scrolling (traffic_view_window.cpp).
    void Paint();
    void MeasureFont(UINT dpi);
    void UpdatePage();
    void UpdateScrollBars();
    void Scroll(int bar, int request);
    void PlaceCaret();
    // Brings the window in step with what the model changed.
    void Sync();

    // Keyboard and mouse (traffic_view_input.cpp).
    bool OnKey(WPARAM key);
    LineColumn CellAt(LPARAM position) const;
    void OnButtonDown(LPARAM position, bool doubleClick, bool shift);

    // What the model leaves to the system: the clipboard, the menu and find (traffic_view_commands.cpp).
    class SystemCommands final : public TrafficViewHost {
    public:
        explicit SystemCommands(TrafficViewWindow& view)
            : view_(view)
        { }
        void copySelection() override { view_.CopySelection(); }
        void openFind(bool focus) override { view_.OpenFind(focus); }
        void closeFind() override { view_.CloseFind(); }
        void continueSearch() override { view_.ContinueSearch(); }
        void openContextMenu() override { view_.ShowContextMenu(-1); }

    private:
        TrafficViewWindow& view_;
    };
    void CarryOut(ViewCommand command);
    void ShowContextMenu(LPARAM position);
    void CopySelection();
    void OpenFind(bool focus);
    void CloseFind();
    void ContinueSearch();
    void OnFindQueryChanged(const std::u16string& query, bool matchCase) override;
    void OnFindRequested(SearchDirection direction) override;
    void OnFindClosed() override;

    HWND window_;
    TrafficViewModel model_;
    // Where the template placed the view; an open find bar takes its bottom edge.
    RECT area_{};
    std::unique_ptr<FindBarWindow> findBar_;
    bool dragging_ = false;
    bool hasCaret_ = false;
    ClickCounter clicks_;
    FontHandle font_;
    // The dialog's, for the find bar: never deleted here.
    HFONT dialogFont_ = nullptr;
    UINT dpi_ = kDefaultDpi;
    int charWidth_ = 8;
    int lineHeight_ = 16;
    std::string lineBuffer_;
    // Last: it reaches the members above until it goes.
    TrafficViewAccessibility accessibility_{*this};
};

#endif
