// The display scale a window is drawn at, and fonts made for it. The program declares itself aware of
// each monitor's scale (its manifest), so it draws every pixel itself: these read the scale of the
// window's monitor where the system says (Windows 10 1607 and later) and the system's scale before
// that, and look the newer functions up as the program runs so that it still starts on Windows 7.
#ifndef BRINDLE_PLATFORM_WIN32_DISPLAY_SCALE_H
#define BRINDLE_PLATFORM_WIN32_DISPLAY_SCALE_H

#include <memory>
#include <type_traits>

#include "platform/win32/windows_api.h"

// 96 dots an inch is 100 %.
constexpr UINT kDefaultDpi = 96;

UINT WindowDpi(HWND window);
// A system metric (icon sizes) at `dpi`.
int SystemMetricAt(int index, UINT dpi);
// Leaves the relayout on a move to a monitor of another scale to the dialog's own procedure, which
// places the template's controls and the windows of our own alike.
void TakeOverDialogScaling(HWND dialog);

struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// The fixed-pitch face a Windows user knows, the first of Consolas, Lucida Console and Courier New
// that is installed, at `points` for `dpi`.
FontHandle CreateFixedPitchFont(HWND window, int points, UINT dpi);
// `font` as it looks at `toDpi`, where it was made for `fromDpi`.
FontHandle CreateRescaledFont(HFONT font, UINT fromDpi, UINT toDpi);

#endif
