#include "platform/win32/display_scale.h"

namespace {

template<typename Function> Function User32Function(const char* name)
{
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

UINT SystemDpi()
{
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

int CALLBACK NoteFace(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FaceInstalled(HDC dc, const char* face)
{
    LOGFONTA wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExA(dc, &wanted, &NoteFace, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

} // namespace

UINT WindowDpi(HWND window)
{
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    const UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
    return dpi != 0 ? dpi : SystemDpi();
}

int SystemMetricAt(int index, UINT dpi)
{
    using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
    static const auto forDpi = User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
    if (forDpi)
        return forDpi(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

void TakeOverDialogScaling(HWND dialog)
{
    using SetBehaviorFunction = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehavior = User32Function<SetBehaviorFunction>("SetDialogDpiChangeBehavior");
    constexpr int kDisableAll = 1; // DDC_DISABLE_ALL
    if (setBehavior)
        setBehavior(dialog, kDisableAll, kDisableAll);
}

FontHandle CreateFixedPitchFont(HWND window, int points, UINT dpi)
{
    const char* face = "Courier New";
    if (const HDC dc = GetDC(window)) {
        for (const char* candidate : {"Consolas", "Lucida Console"}) {
            if (FaceInstalled(dc, candidate)) {
                face = candidate;
                break;
            }
        }
        ReleaseDC(window, dc);
    }
    LOGFONTA font{};
    font.lfHeight = -MulDiv(points, static_cast<int>(dpi), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfQuality = CLEARTYPE_QUALITY;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
    return FontHandle(CreateFontIndirectA(&font));
}

FontHandle CreateRescaledFont(HFONT font, UINT fromDpi, UINT toDpi)
{
    LOGFONTA description{};
    if (!font || GetObjectA(font, sizeof description, &description) == 0)
        return nullptr;
    description.lfHeight = MulDiv(description.lfHeight, static_cast<int>(toDpi), static_cast<int>(fromDpi));
    description.lfWidth = MulDiv(description.lfWidth, static_cast<int>(toDpi), static_cast<int>(fromDpi));
    return FontHandle(CreateFontIndirectA(&description));
}
