// What assistive tools are told of the dialog's standard controls and the traffic views' windows: the
// system's own accessible object for a window (CreateStdAccessibleObject) under the name, and where
// asked the role and extra states, that this program gives it, and a status line's new text announced.
// The standard controls keep everything else the system says of them (place, focus, default action,
// check state); the traffic views, a window class of our own, are read as read-only text by older
// readers that go through MSAA alone.
#ifndef BRINDLE_PLATFORM_WIN32_CONTROL_ACCESSIBILITY_H
#define BRINDLE_PLATFORM_WIN32_CONTROL_ACCESSIBILITY_H

#include <string>

#include "platform/win32/uia_library.h"
#include "platform/win32/windows_api.h"

#include <oleacc.h>

// IAccessible's IID as a constant of our own: the compiler's oleacc import library hands out the
// address of an import thunk for IID_IAccessible, not the GUID.
inline constexpr GUID kIidAccessible{0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

struct AccessibleOverrides {
    std::wstring name;
    LONG role = 0; // 0: the system's
    LONG extraStates = 0;
};

// The answer to WM_GETOBJECT(OBJID_CLIENT) for `window`; 0 (let the window procedure go on) when
// the system's object cannot be had.
LRESULT AnswerClientObject(HWND window, WPARAM wParam, const AccessibleOverrides& overrides);

// A standard control whose name this program qualifies ("Local Client Sent bytes"): the control
// answers MSAA's WM_GETOBJECT(OBJID_CLIENT) with the system's own object under that name, for as
// long as this object lives. Everything else stays the control's.
class ControlAnnotation {
public:
    ControlAnnotation(HWND control, std::wstring name);
    ~ControlAnnotation();
    ControlAnnotation(const ControlAnnotation&) = delete;
    ControlAnnotation& operator=(const ControlAnnotation&) = delete;

private:
    static LRESULT CALLBACK Procedure(
        HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR self);

    HWND control_;
    AccessibleOverrides overrides_;
    bool installed_ = false;
};

// A status line's new text, announced where the focus is not: its name is its text, and readers
// speak a changed name (MSAA's name-change event) or a live region's change (UI Automation's
// event, where `uia` is there).
void AnnounceNewName(HWND control, const UiaLibrary* uia);

#endif
