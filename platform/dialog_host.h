// What the relay console needs of a window, and nothing more. The console reaches its controls
// only through this interface, so it runs the same against the Qt window and an in-memory host.
#ifndef BRINDLE_PLATFORM_DIALOG_HOST_H
#define BRINDLE_PLATFORM_DIALOG_HOST_H

#include <string>
#include <string_view>

#include "platform/text/traffic_format.h"

// What a host delivers to the dialog it runs, one call at a time on one thread.
class DialogEvents {
public:
    virtual ~DialogEvents() = default;

    // The window exists with every control of its template and is not yet shown.
    virtual void OnInitDialog() = 0;
    // A click on a button or checkbox; false when the dialog has no handler for it.
    virtual bool OnCommand(int controlId) = 0;
    virtual void OnTimer(unsigned timerId) = 0;
    // A command of the window's system menu; false asks for the platform's default handling.
    virtual bool OnSysCommand(unsigned commandId) = 0;
};

class DialogHost {
public:
    virtual ~DialogHost() = default;

    virtual bool HasControl(int controlId) const = 0;
    // Single-byte text; "" for a control that does not exist.
    virtual std::string GetControlText(int controlId) const = 0;
    virtual void SetControlText(int controlId, std::string_view text) = 0;
    virtual void EnableControl(int controlId, bool enable) = 0;
    // 0 unchecked, 1 checked, 2 indeterminate; 0 for a control that does not exist.
    virtual unsigned GetCheck(int controlId) const = 0;
    // Adds one received chunk at the very end of a view, whatever is selected there, and scrolls
    // to it. The view shows it as FormatTraffic makes it with `format`, the options in force for
    // it when it arrived; it may keep the bytes and make the text only where it is read.
    virtual void AppendTrafficToEnd(int controlId, std::string_view bytes, TrafficFormat format) = 0;
    // A modal box with the text and one OK button; returns once it is dismissed.
    virtual void MessageBox(std::string_view text) = 0;
    // Starts a periodic timer that reaches DialogEvents::OnTimer; true on success.
    virtual bool SetTimer(unsigned timerId, unsigned periodMs) = 0;

    // Window chores of the application shell.
    // Appends a separator and a command item to the window's system menu; false when it has none.
    virtual bool AppendSystemMenuItem(unsigned commandId, std::string_view text) = 0;
    virtual void SetIcon(int iconId, bool large) = 0;
    // Runs another dialog of the templates modally over this window and returns when it closes;
    // OK, Cancel, Escape and its close box end it.
    virtual void RunModalDialog(int templateId, DialogEvents& events) = 0;

    // Shows the window and delivers its events to `events` until OK or Cancel ends it.
    virtual int RunModal(DialogEvents& events) = 0;
};

#endif
