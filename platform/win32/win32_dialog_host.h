// A DialogHost over a dialog that the Windows dialog manager builds from the program's resource
// script. The window, and with it its controls, timers, system menu and icons, exists only while
// RunModal runs, as a modal dialog's does.
#ifndef BRINDLE_PLATFORM_WIN32_WIN32_DIALOG_HOST_H
#define BRINDLE_PLATFORM_WIN32_WIN32_DIALOG_HOST_H

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog_host.h"
#include "platform/win32/control_accessibility.h"
#include "platform/win32/display_scale.h"
#include "platform/win32/traffic_view_window.h"
#include "platform/win32/uia_library.h"
#include "platform/win32/windows_api.h"

class Win32DialogHost final : public DialogHost {
public:
    // `resources` is the module holding the templates, icons and strings; `owner` the window a
    // child dialog runs over, or nullptr for the main window.
    Win32DialogHost(HINSTANCE resources, int templateId, HWND owner = nullptr);
    ~Win32DialogHost() override = default;
    Win32DialogHost(const Win32DialogHost&) = delete;
    Win32DialogHost& operator=(const Win32DialogHost&) = delete;

    bool HasControl(int controlId) const override;
    std::string GetControlText(int controlId) const override;
    void SetControlText(int controlId, std::string_view text) override;
    void EnableControl(int controlId, bool enable) override;
    unsigned GetCheck(int controlId) const override;
    void AppendTrafficToEnd(int controlId, std::string_view bytes, TrafficFormat format) override;
    void MessageBox(std::string_view text) override;
    bool SetTimer(unsigned timerId, unsigned periodMs) override;
    bool AppendSystemMenuItem(unsigned commandId, std::string_view text) override;
    void SetIcon(int iconId, bool large) override;
    void RunModalDialog(int templateId, DialogEvents& events) override;
    int RunModal(DialogEvents& events) override;

    // The window while RunModal runs, nullptr otherwise.
    HWND Window() const { return window_; }
    // How many characters a traffic view holds before its oldest lines go.
    void SetViewCapacity(std::int64_t characters) { viewCapacity_ = characters; }
    // The traffic view of that id while RunModal runs, nullptr otherwise.
    TrafficViewWindow* TrafficView(int controlId) const { return View(controlId); }

private:
    static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam);
    INT_PTR OnInitDialog();
    void OnCommand(int controlId, int notification);
    bool OnPaint();
    void FlushViews();
    void Detach();
    // Names for assistive tools and the status lines, from the dialog's template.
    void AnnotateControls();
    void AnnounceStatus(HWND line) const;
    // The display scale (dialog_scaling.cpp): the controls' places as the dialog manager laid them
    // out, and all of them laid out again, in proportion, on a move to a monitor of another scale.
    void RecordLayout();
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    void LoadIcon(bool large);

    HWND Control(int controlId) const;
    TrafficViewWindow* View(int controlId) const;

    HINSTANCE resources_;
    int templateId_;
    HWND owner_;
    HWND window_ = nullptr;
    DialogEvents* events_ = nullptr;
    // Shared icons (loaded with LR_SHARED): the system frees them with the module.
    HICON largeIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    int largeIconId_ = 0;
    int smallIconId_ = 0;
    // The scale the dialog manager laid the controls out for, their places then, the scale now, and
    // the dialog's font remade for it (none while the scale is the first one).
    UINT layoutDpi_ = kDefaultDpi;
    std::vector<std::pair<HWND, RECT>> layout_;
    SIZE layoutClient_{};
    UINT dpi_ = kDefaultDpi;
    FontHandle scaledFont_;
    std::int64_t viewCapacity_ = TrafficViewWindow::kDefaultCapacity;
    // The traffic views, in place of the template's multi-line edits while the window lives.
    std::map<int, std::unique_ptr<TrafficViewWindow>> views_;
    std::vector<std::unique_ptr<ControlAnnotation>> annotations_;
    std::set<int> statusLines_;
    std::shared_ptr<const UiaLibrary> uia_;
};

#endif
