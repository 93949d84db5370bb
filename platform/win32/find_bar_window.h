// The find bar of a traffic view on Windows: "Find:", the field, "Match case" and the status, along the
// view's bottom edge. It is a window of the dialog's, right after the view in tab order; hidden, it
// and its controls take no tab stop. Its keys are the Linux bar's: Enter and F3 find the next match,
// with Shift the previous one, Escape returns to the view.
#ifndef BRINDLE_PLATFORM_WIN32_FIND_BAR_WINDOW_H
#define BRINDLE_PLATFORM_WIN32_FIND_BAR_WINDOW_H

#include <memory>
#include <string>

#include "platform/text/text_search.h"
#include "platform/win32/windows_api.h"

class FindBarClient {
public:
    virtual void OnFindQueryChanged(const std::u16string& query, bool matchCase) = 0;
    virtual void OnFindRequested(SearchDirection direction) = 0;
    virtual void OnFindClosed() = 0;

protected:
    ~FindBarClient() = default;
};

class FindBarWindow {
public:
    // Made hidden, over the bottom edge of `view`, right after it in the dialog's tab order; its
    // labels in the dialog's font, its field in the view's, its spacing for `dpi`.
    static std::unique_ptr<FindBarWindow> Create(
        HWND view, FindBarClient& client, HFONT dialogFont, HFONT fieldFont, UINT dpi);
    ~FindBarWindow();
    FindBarWindow(const FindBarWindow&) = delete;
    FindBarWindow& operator=(const FindBarWindow&) = delete;

    // Shows the bar over the bottom of `area` (dialog coordinates); with `focus`, the focus goes to the
    // field, its text selected for retyping.
    void Show(const RECT& area, bool focus);
    void Hide();
    bool IsShown() const;
    int Height() const { return height_; }
    void SetStatus(const char* status);
    // The fonts for another display scale; neither is deleted here. The height follows.
    void SetFonts(HFONT dialogFont, HFONT fieldFont, UINT dpi);
    HWND Field() const { return field_; }
    HWND MatchCaseBox() const { return matchCase_; }
    HWND Status() const { return status_; }

    // For the window procedure.
    void Attach(HWND window) { window_ = window; }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    explicit FindBarWindow(FindBarClient& client);
    static LRESULT CALLBACK ControlProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
    bool OnKey(WPARAM key);
    void Layout();
    void QueryChanged();
    // `pixels` at 100 %, at the bar's display scale.
    int Scaled(int pixels) const;

    FindBarClient& client_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr; // the dialog's: never deleted here
    HFONT fieldFont_ = nullptr; // the view's: never deleted here
    UINT dpi_ = 96;
    int height_ = 24;
    // Its controls, in reading order.
    HWND caption_{}, field_{}, matchCase_{}, status_{};
    // The field's and the box's own procedures, which ours hand the rest on to.
    WNDPROC fieldProcedure_{}, matchCaseProcedure_{};
};

#endif
