// The icon a minimised dialog draws in place of its controls.
#ifndef BRINDLE_PLATFORM_WIN32_MINIMISED_ICON_H
#define BRINDLE_PLATFORM_WIN32_MINIMISED_ICON_H

#include "platform/win32/windows_api.h"

// Answers WM_PAINT of a minimised window: its icon background, then `icon` centred.
void PaintMinimisedIcon(HWND window, HICON icon);

#endif
