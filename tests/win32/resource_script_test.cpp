// The resource script as Windows reads it, beside the C++ data generated from the same script for
// the other builds: every dialog the dialog manager makes from it (frame, font, and each control's
// id, kind, text, place and styles, in template order), every string and the version block. Under
// Windows or Wine; the program carries brindle.rc, as brindle.exe does.
#include "platform/win32/windows_api.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "res/dialog_template.h"
#include "res/resource.h"
#include "res/string_table.h"

namespace {

using res::ControlKind;

std::string Text(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window)
{
    char name[32] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The kind of control a window is, read from its class and style, as the template names kinds.
ControlKind KindOf(HWND control)
{
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const std::string name = ClassName(control);
    if (lstrcmpiA(name.c_str(), "Edit") == 0)
        return (style & ES_MULTILINE) ? ControlKind::MultiLineEdit : ControlKind::Edit;
    if (lstrcmpiA(name.c_str(), "Static") == 0)
        return (style & SS_TYPEMASK) == SS_ICON ? ControlKind::Icon : ControlKind::StaticText;
    switch (style & BS_TYPEMASK) {
    case BS_DEFPUSHBUTTON:
        return ControlKind::DefaultPushButton;
    case BS_GROUPBOX:
        return ControlKind::GroupBox;
    case BS_AUTOCHECKBOX:
        return ControlKind::AutoCheckBox;
    default:
        return ControlKind::PushButton;
    }
}

// The template's style flags a control window carries. The dialog manager draws an edit's border
// as a sunken edge.
unsigned StyleOf(HWND control, ControlKind kind)
{
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const LONG extended = GetWindowLongA(control, GWL_EXSTYLE);
    unsigned flags = 0;
    const auto set = [&](bool on, unsigned flag) { flags |= on ? flag : 0u; };
    set(style & WS_TABSTOP, res::kTabStop);
    set(style & WS_DISABLED, res::kDisabled);
    set((style & WS_BORDER) || (extended & WS_EX_CLIENTEDGE), res::kBorder);
    set(style & WS_HSCROLL, res::kHScroll);
    set(style & WS_VSCROLL, res::kVScroll);
    if (kind == ControlKind::Edit || kind == ControlKind::MultiLineEdit) {
        set(style & ES_READONLY, res::kReadOnly);
        set(style & ES_AUTOHSCROLL, res::kAutoHScroll);
        set(style & ES_AUTOVSCROLL, res::kAutoVScroll);
        set(style & ES_RIGHT, res::kRightAlign);
        set(style & ES_WANTRETURN, res::kWantReturn);
    }
    if (kind == ControlKind::StaticText)
        set(style & SS_NOPREFIX, res::kNoPrefix);
    return flags;
}

INT_PTR CALLBACK LeaveToTheDialogManager(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

class ResourceScript : public testing::TestWithParam<int> { };

TEST_P(ResourceScript, DialogIsWhatTheGeneratedTemplateSays)
{
    const res::DialogTemplate* expected = res::FindDialogTemplate(GetParam());
    ASSERT_NE(expected, nullptr);
    HWND dialog = CreateDialogParamA(
        GetModuleHandleA(nullptr), MAKEINTRESOURCEA(GetParam()), nullptr, &LeaveToTheDialogManager, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();

    EXPECT_EQ(Text(dialog), expected->caption);
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ((style & WS_CAPTION) == WS_CAPTION, (expected->style & res::kCaption) != 0);
    EXPECT_EQ((style & WS_SYSMENU) != 0, (expected->style & res::kSystemMenu) != 0);
    EXPECT_EQ((style & DS_MODALFRAME) != 0, (expected->style & res::kModalFrame) != 0);
    EXPECT_EQ((GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0, (expected->style & res::kAppWindow) != 0);
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, expected->fontName);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(-font.lfHeight, MulDiv(expected->fontPointSize, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
    RECT size{0, 0, expected->width, expected->height};
    MapDialogRect(dialog, &size);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    HWND control = GetWindow(dialog, GW_CHILD);
    for (const res::ControlTemplate& c : expected->controls) {
        ASSERT_NE(control, nullptr) << "the dialog has fewer controls than the template";
        SCOPED_TRACE(std::to_string(c.id) + " \"" + c.text + "\"");
        EXPECT_EQ(static_cast<std::uint16_t>(GetDlgCtrlID(control)), static_cast<std::uint16_t>(c.id));
        EXPECT_EQ(KindOf(control), c.kind);
        EXPECT_EQ(StyleOf(control, c.kind), c.style);
        if (c.kind == ControlKind::Icon)
            EXPECT_NE(SendMessageA(control, STM_GETICON, 0, 0), 0);
        else
            EXPECT_EQ(Text(control), c.text);
        // The dialog manager converts the place and the size each on its own.
        RECT place{c.x, c.y, c.w, c.h};
        MapDialogRect(dialog, &place);
        RECT actual{};
        GetWindowRect(control, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, place.left);
        EXPECT_EQ(actual.top, place.top);
        // An icon control takes the size of its icon.
        if (c.kind != ControlKind::Icon) {
            EXPECT_EQ(actual.right - actual.left, place.right);
            EXPECT_EQ(actual.bottom - actual.top, place.bottom);
        }
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << "the dialog has more controls than the template";
    DestroyWindow(dialog);
}

INSTANTIATE_TEST_SUITE_P(Script, ResourceScript, testing::Values(IDD_RELAY_DIALOG, IDD_ABOUTBOX),
    [](const auto& info) { return info.param == IDD_ABOUTBOX ? "AboutBox" : "Relay"; });

TEST(ResourceScriptStrings, AreTheGeneratedOnes)
{
    for (int id : {IDS_ABOUTBOX, IDP_SOCKETS_INIT_FAILED, IDD_RELAY_DIALOG}) {
        char text[256] = {};
        LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
        EXPECT_EQ(std::string(text), res::LoadString(id)) << id;
    }
}

TEST(ResourceScriptVersion, IsTheGeneratedOne)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string block(GetFileVersionInfoSizeA(path, nullptr), '\0');
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, static_cast<DWORD>(block.size()), block.data()));
    const res::VersionInfo& expected = res::ProgramVersion();

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    const auto high = [](const unsigned(&v)[4]) { return static_cast<DWORD>(v[0] << 16 | v[1]); };
    const auto low = [](const unsigned(&v)[4]) { return static_cast<DWORD>(v[2] << 16 | v[3]); };
    EXPECT_EQ(fixed->dwFileVersionMS, high(expected.fileVersion));
    EXPECT_EQ(fixed->dwFileVersionLS, low(expected.fileVersion));
    EXPECT_EQ(fixed->dwProductVersionMS, high(expected.productVersion));
    EXPECT_EQ(fixed->dwProductVersionLS, low(expected.productVersion));

    const std::pair<const char*, const char*> values[] = {{"FileVersion", expected.fileVersionText},
        {"ProductVersion", expected.productVersionText}, {"CompanyName", expected.companyName},
        {"FileDescription", expected.fileDescription}, {"InternalName", expected.internalName},
        {"LegalCopyright", expected.legalCopyright}, {"LegalTrademarks", expected.legalTrademarks},
        {"OriginalFilename", expected.originalFilename}, {"ProductName", expected.productName}};
    for (const auto& [name, text] : values) {
        const std::string query = std::string("\\StringFileInfo\\") + expected.translation + "\\" + name;
        char* value = nullptr;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) << name;
        EXPECT_EQ(std::string(value), text) << name;
    }
}

} // namespace
