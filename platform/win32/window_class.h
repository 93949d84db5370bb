// The windows of our own (traffic views, find bars): a class per kind, registered by the first window
// and kept until the process ends, and the procedure that hands each message to the object behind the
// window, whose pointer the creation passes.
#ifndef BRINDLE_PLATFORM_WIN32_WINDOW_CLASS_H
#define BRINDLE_PLATFORM_WIN32_WINDOW_CLASS_H

#include "platform/win32/windows_api.h"

bool EnsureWindowClass(
    HINSTANCE instance, const char* name, WNDPROC procedure, UINT style, int cursorId, HBRUSH background);

// T offers Attach(HWND), told of its window's creation and end, and HandleMessage(message, wParam, lParam).
template<typename T> LRESULT CALLBACK ObjectProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* object = static_cast<T*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        object->Attach(window);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    }
    auto* object = reinterpret_cast<T*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!object)
        return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        object->Attach(nullptr);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return object->HandleMessage(message, wParam, lParam);
}

// Destroys the window unless it is gone already, without a last message reaching the object.
void DestroyObjectWindow(HWND window);

#endif
