// The relay window at the display's scale, in-process under Wine: the traffic views' glyph cell in
// proportion to the scale (within a pixel of the 100 % cell times the scale), every control, the
// open find bar's too, inside the dialog; and a move to a monitor of twice the scale and back
// (WM_DPICHANGED), which keeps the caret, the selection and the scroll position and leaves every
// control where it was. tests/windows/at_display_scales.sh runs it with the prefix at 96, 144 and
// 192 dots an inch, naming the scale in BRINDLE_EXPECTED_DPI.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/display_scale.h"
#include "platform/win32/win32_dialog_host.h"
#include "res/resource.h"

namespace {

constexpr int kViews[] = {IDC_TO_SERVER_VIEW, IDC_TO_CLIENT_VIEW};

// Runs `check` once the dialog is laid out, then closes it.
class CheckOnOpen final : public DialogEvents {
public:
    CheckOnOpen(Win32DialogHost& host, std::function<void(Win32DialogHost&)> check)
        : host_(host)
        , check_(std::move(check))
    { }
    void OnInitDialog() override
    {
        check_(host_);
        PostMessageA(host_.Window(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    bool OnCommand(int) override { return false; }
    void OnTimer(unsigned) override { }
    bool OnSysCommand(unsigned) override { return false; }

private:
    Win32DialogHost& host_;
    std::function<void(Win32DialogHost&)> check_;
};

void RunRelayDialog(std::function<void(Win32DialogHost&)> check)
{
    Win32DialogHost host(GetModuleHandleA(nullptr), IDD_RELAY_DIALOG);
    CheckOnOpen events(host, std::move(check));
    host.RunModal(events);
}

// The cell of the views' font made for 100 %: GDI draws a font at the pixel size asked whatever the
// display's scale.
SIZE CellAtDefaultScale(HWND window)
{
    const FontHandle font = CreateFixedPitchFont(window, TrafficViewWindow::kFontPoints, kDefaultDpi);
    const HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, font.get());
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return {metrics.tmAveCharWidth, metrics.tmHeight};
}

void ExpectCellsInProportion(Win32DialogHost& host, UINT dpi)
{
    const SIZE base = CellAtDefaultScale(host.Window());
    for (const int id : kViews) {
        const SIZE cell = host.TrafficView(id)->GlyphCell();
        SCOPED_TRACE("view " + std::to_string(id) + " at " + std::to_string(dpi) + " dpi");
        EXPECT_NEAR(cell.cx, base.cx * static_cast<double>(dpi) / kDefaultDpi, 1.0);
        EXPECT_NEAR(cell.cy, base.cy * static_cast<double>(dpi) / kDefaultDpi, 1.0);
    }
}

BOOL CALLBACK ExpectInside(HWND control, LPARAM area)
{
    RECT place{};
    GetWindowRect(control, &place);
    const RECT& inside = *reinterpret_cast<const RECT*>(area);
    const bool empty = place.right <= place.left || place.bottom <= place.top;
    EXPECT_TRUE(empty
        || (place.left >= inside.left && place.top >= inside.top && place.right <= inside.right
            && place.bottom <= inside.bottom))
        << "control " << GetDlgCtrlID(control) << " at " << place.left << "," << place.top << "-" << place.right << ","
        << place.bottom << " outside " << inside.right - inside.left << "x" << inside.bottom - inside.top;
    return TRUE;
}

// Every window inside the dialog, the find bar's controls too, inside the dialog's client area.
void ExpectControlsInside(HWND dialog)
{
    RECT client{};
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    EnumChildWindows(dialog, &ExpectInside, reinterpret_cast<LPARAM>(&client));
}

std::vector<RECT> Places(HWND dialog)
{
    std::vector<RECT> places;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT place{};
        GetWindowRect(child, &place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        places.push_back(place);
    }
    return places;
}

void PressControlKey(HWND window, WPARAM key)
{
    BYTE state[256] = {};
    state[VK_CONTROL] = 0x80;
    SetKeyboardState(state);
    SendMessageA(window, WM_KEYDOWN, key, 0);
    BYTE released[256] = {};
    SetKeyboardState(released);
}

void MoveToScale(HWND dialog, UINT dpi, UINT from)
{
    RECT frame{};
    GetWindowRect(dialog, &frame);
    RECT suggested{frame.left, frame.top, frame.left + MulDiv(frame.right - frame.left, dpi, from),
        frame.top + MulDiv(frame.bottom - frame.top, dpi, from)};
    SendMessageA(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

TEST(DisplayScale, TheProgramRunsAtTheDisplaysScale)
{
    const char* expected = std::getenv("BRINDLE_EXPECTED_DPI");
    RunRelayDialog([&](Win32DialogHost& host) {
        const UINT dpi = WindowDpi(host.Window());
        if (expected) {
            EXPECT_EQ(dpi, static_cast<UINT>(std::atoi(expected)));
        }
        ExpectCellsInProportion(host, dpi);
        ExpectControlsInside(host.Window());
    });
}

TEST(DisplayScale, TheOpenFindBarStaysInsideTheDialog)
{
    RunRelayDialog([](Win32DialogHost& host) {
        const HWND view = host.TrafficView(IDC_TO_CLIENT_VIEW)->Window();
        PressControlKey(view, 'F');
        ASSERT_TRUE(host.TrafficView(IDC_TO_CLIENT_VIEW)->FindBar());
        ASSERT_TRUE(host.TrafficView(IDC_TO_CLIENT_VIEW)->Model().findOpen());
        ExpectControlsInside(host.Window());
        const UINT dpi = WindowDpi(host.Window());
        MoveToScale(host.Window(), 2 * dpi, dpi);
        ExpectControlsInside(host.Window());
    });
}

TEST(DisplayScale, AMoveToTwiceTheScaleAndBackKeepsTheTextsPlaceAndTheLayout)
{
    RunRelayDialog([](Win32DialogHost& host) {
        const HWND dialog = host.Window();
        const UINT dpi = WindowDpi(dialog);
        std::string text;
        for (int line = 0; line < 200; ++line)
            text += "line " + std::to_string(line) + " of the traffic, long enough to scroll sideways as well\r\n";
        host.SetControlText(IDC_TO_SERVER_VIEW, text);
        TrafficViewWindow& view = *host.TrafficView(IDC_TO_SERVER_VIEW);
        view.Select(view.Model().store().lineStart(120) + 3, view.Model().store().lineStart(121) + 7);
        const TrafficViewModel& model = view.Model();
        const auto caret = model.caret();
        const auto selection = model.selection();
        const auto top = model.topLine();
        const auto left = model.leftColumn();
        const std::vector<RECT> before = Places(dialog);
        const SIZE cell = view.GlyphCell();

        MoveToScale(dialog, 2 * dpi, dpi);
        ExpectCellsInProportion(host, 2 * dpi);
        ExpectControlsInside(dialog);
        EXPECT_EQ(model.caret(), caret);
        EXPECT_EQ(model.selection(), selection);
        EXPECT_EQ(model.topLine(), top);
        EXPECT_EQ(model.leftColumn(), left);

        MoveToScale(dialog, dpi, 2 * dpi);
        EXPECT_EQ(view.GlyphCell().cx, cell.cx);
        EXPECT_EQ(view.GlyphCell().cy, cell.cy);
        const std::vector<RECT> after = Places(dialog);
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < before.size(); ++i)
            EXPECT_TRUE(EqualRect(&after[i], &before[i])) << "child " << i << " moved";
        EXPECT_EQ(model.topLine(), top);
        EXPECT_EQ(model.caret(), caret);
    });
}

} // namespace
