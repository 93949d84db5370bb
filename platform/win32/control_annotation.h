// A standard control whose name this program qualifies ("Local Client Sent bytes"): the control
// answers MSAA's WM_GETOBJECT(OBJID_CLIENT) with the system's own object under that name, for as
// long as this object lives. Everything else stays the control's.
#ifndef BRINDLE_PLATFORM_WIN32_CONTROL_ANNOTATION_H
#define BRINDLE_PLATFORM_WIN32_CONTROL_ANNOTATION_H

#include <string>

#include "platform/win32/qualified_accessible.h"
#include "platform/win32/uia_library.h"

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
