#include "platform/win32/minimised_icon.h"

#include "platform/win32/icon_placement.h"

namespace {

// BeginPaint and EndPaint as one object, so that the paint ends whatever path leaves.
class PaintContext {
public:
    explicit PaintContext(HWND window)
        : window_(window)
        , dc_(BeginPaint(window, &paint_))
    { }
    ~PaintContext() { EndPaint(window_, &paint_); }
    PaintContext(const PaintContext&) = delete;
    PaintContext& operator=(const PaintContext&) = delete;
    HDC Dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

} // namespace

void PaintMinimisedIcon(HWND window, HICON icon)
{
    const PaintContext paint(window);
    if (!paint.Dc())
        return;
    SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Dc()), 0);
    RECT client{};
    GetClientRect(window, &client);
    const IconOrigin origin = CentredIconOrigin(client.right - client.left, client.bottom - client.top,
        GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    if (icon)
        DrawIcon(paint.Dc(), origin.x, origin.y, icon);
}
