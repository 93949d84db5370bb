// The system's own accessible object for a window (CreateStdAccessibleObject), with the name, and
// where asked the role and extra states, that this program gives it: the standard controls keep
// everything else the system says of them (place, focus, default action, check state), and the
// traffic views, a window class of our own, are read as read-only text by older readers that go
// through MSAA alone.
#ifndef BRINDLE_PLATFORM_WIN32_QUALIFIED_ACCESSIBLE_H
#define BRINDLE_PLATFORM_WIN32_QUALIFIED_ACCESSIBLE_H

#include <string>

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

#endif
