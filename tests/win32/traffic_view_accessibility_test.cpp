// What assistive tools read of a traffic view and of a qualified control, in-process under Wine: the
// UI Automation text provider over a real view (ranges, moves, selection after keys, a provider whose
// view has gone), and the MSAA objects the windows answer WM_GETOBJECT with.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <oleacc.h>
#include <wrl/client.h>

#include "platform/win32/control_accessibility.h"
#include "platform/win32/traffic_view_uia_provider.h"
#include "platform/win32/traffic_view_window.h"

namespace {

using Microsoft::WRL::ComPtr;
using uia::ITextRangeProvider;

// Words: "GET" [0, 3), " / " [3, 6), "HTTP" [6, 10), "/" [10, 11), "1" "." "1", CR LF [14, 16); the
// second line "Host: a" [16, 23) with CR LF; an empty last line at 25.
constexpr char kText[] = "GET / HTTP/1.1\r\nHost: a\r\n";
constexpr int kViewId = 1001;

std::wstring Wide(const char* text)
{
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

std::wstring TextOf(ITextRangeProvider* range, int maxLength = -1)
{
    BSTR text = nullptr;
    if (FAILED(range->GetText(maxLength, &text)))
        return L"<failed>";
    std::wstring result(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

// The one range of a one-range array.
ComPtr<ITextRangeProvider> Only(SAFEARRAY* ranges)
{
    ComPtr<ITextRangeProvider> range;
    LONG index = 0;
    IUnknown* element = nullptr;
    if (ranges && SafeArrayGetElement(ranges, &index, &element) == S_OK && element) {
        element->QueryInterface(uia::kIidTextRangeProvider, reinterpret_cast<void**>(range.GetAddressOf()));
        element->Release();
    }
    SafeArrayDestroy(ranges);
    return range;
}

void PressKey(HWND window, WPARAM key, bool control, bool shift)
{
    BYTE state[256] = {};
    state[VK_CONTROL] = control ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
    SendMessageA(window, WM_KEYDOWN, key, 0);
    BYTE released[256] = {};
    SetKeyboardState(released);
}

class ViewAccessibility : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const HINSTANCE instance = GetModuleHandleA(nullptr);
        parent_ = CreateWindowExA(
            0, "STATIC", "view test", WS_OVERLAPPEDWINDOW, 0, 0, 500, 300, nullptr, nullptr, instance, nullptr);
        ASSERT_NE(parent_, nullptr);
        const HWND placeholder = CreateWindowExA(0, "EDIT", "",
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE, 10, 10, 400, 200,
            parent_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kViewId)), instance, nullptr);
        view_ = TrafficViewWindow::Replace(placeholder, std::int64_t{1} << 20);
        ASSERT_TRUE(view_);
        view_->SetAccessibleName("(to remote server)");
        view_->AppendTraffic(kText, TrafficFormat{}); // printable text and CR LF show as they are
        view_->Flush();
        library_ = UiaLibrary::Load();
        ASSERT_TRUE(library_) << "no uiautomationcore.dll";
        provider_ = TrafficViewUiaProvider::Create(*view_, L"(to remote server)", library_);
    }

    void TearDown() override
    {
        if (provider_) {
            provider_->Disconnect();
            provider_->Release();
        }
        view_.reset();
        if (parent_)
            DestroyWindow(parent_);
        CoUninitialize();
    }

    ComPtr<ITextRangeProvider> Document() const
    {
        ComPtr<ITextRangeProvider> range;
        provider_->get_DocumentRange(range.GetAddressOf());
        return range;
    }

    ComPtr<ITextRangeProvider> Selection() const
    {
        SAFEARRAY* ranges = nullptr;
        provider_->GetSelection(&ranges);
        return Only(ranges);
    }

    HWND parent_ = nullptr;
    std::unique_ptr<TrafficViewWindow> view_;
    std::shared_ptr<const UiaLibrary> library_;
    TrafficViewUiaProvider* provider_ = nullptr;
};

TEST_F(ViewAccessibility, IsAReadOnlyDocumentNamedByItsLabelWithTheTextPattern)
{
    VARIANT value;
    ASSERT_EQ(provider_->GetPropertyValue(uia::kNameProperty, &value), S_OK);
    ASSERT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(value.bstrVal), L"(to remote server)");
    VariantClear(&value);
    ASSERT_EQ(provider_->GetPropertyValue(uia::kControlTypeProperty, &value), S_OK);
    EXPECT_EQ(value.lVal, uia::kDocumentControlType);

    ComPtr<IUnknown> pattern;
    EXPECT_EQ(provider_->GetPatternProvider(uia::kTextPattern, pattern.GetAddressOf()), S_OK);
    EXPECT_TRUE(pattern);
    ComPtr<IUnknown> none;
    EXPECT_EQ(provider_->GetPatternProvider(10000 /* Invoke */, none.GetAddressOf()), S_OK);
    EXPECT_FALSE(none);

    ComPtr<ITextRangeProvider> document = Document();
    ASSERT_EQ(document->GetAttributeValue(uia::kIsReadOnlyAttribute, &value), S_OK);
    EXPECT_EQ(value.vt, VT_BOOL);
    EXPECT_EQ(value.boolVal, VARIANT_TRUE);
    EXPECT_EQ(TextOf(document.Get()), Wide(kText));
    EXPECT_EQ(TextOf(document.Get(), 3), L"GET");
}

struct MoveCase {
    const char* name;
    uia::TextUnit unit;
    int count;
    int moved;
    const wchar_t* unitText; // the unit the moved range holds
};

void PrintTo(const MoveCase& c, std::ostream* out)
{
    *out << c.name;
}

class ViewRangeMoves : public ViewAccessibility, public testing::WithParamInterface<MoveCase> { };

// From the start: Move, then ExpandToEnclosingUnit, as a reader steps through the text.
TEST_P(ViewRangeMoves, LandOnTheUnitAReaderExpects)
{
    const MoveCase& c = GetParam();
    ComPtr<ITextRangeProvider> range = Document();
    int moved = 0;
    ASSERT_EQ(range->MoveEndpointByUnit(uia::TextPatternRangeEndpoint_End, uia::TextUnit_Document, -1, &moved), S_OK);
    ASSERT_EQ(range->Move(c.unit, c.count, &moved), S_OK);
    EXPECT_EQ(moved, c.moved);
    ASSERT_EQ(range->ExpandToEnclosingUnit(c.unit), S_OK);
    EXPECT_EQ(TextOf(range.Get()), c.unitText);
}

INSTANTIATE_TEST_SUITE_P(Units, ViewRangeMoves,
    testing::Values(MoveCase{"characters", uia::TextUnit_Character, 4, 4, L"/"},
        MoveCase{"words", uia::TextUnit_Word, 2, 2, L"HTTP"},
        MoveCase{"format reads as words", uia::TextUnit_Format, 1, 1, L" / "},
        MoveCase{"lines", uia::TextUnit_Line, 1, 1, L"Host: a\r\n"},
        MoveCase{"paragraphs are lines", uia::TextUnit_Paragraph, 1, 1, L"Host: a\r\n"},
        MoveCase{"back from the start", uia::TextUnit_Word, -3, 0, L"GET"},
        MoveCase{"a huge count stops at the end", uia::TextUnit_Character, INT_MAX, 25, L""},
        MoveCase{"document", uia::TextUnit_Document, 0, 0, L"GET / HTTP/1.1\r\nHost: a\r\n"}));

TEST_F(ViewAccessibility, RangesCompareCloneAndMoveTheirEnds)
{
    ComPtr<ITextRangeProvider> document = Document();
    ComPtr<ITextRangeProvider> line;
    ASSERT_EQ(document->Clone(line.GetAddressOf()), S_OK);
    BOOL same = FALSE;
    EXPECT_EQ(document->Compare(line.Get(), &same), S_OK);
    EXPECT_TRUE(same);

    int moved = 0;
    ASSERT_EQ(line->MoveEndpointByUnit(uia::TextPatternRangeEndpoint_End, uia::TextUnit_Line, -1, &moved), S_OK);
    EXPECT_EQ(moved, -1);
    EXPECT_EQ(TextOf(line.Get()), L"GET / HTTP/1.1\r\n");
    EXPECT_EQ(document->Compare(line.Get(), &same), S_OK);
    EXPECT_FALSE(same);
    int order = 0;
    EXPECT_EQ(line->CompareEndpoints(
                  uia::TextPatternRangeEndpoint_End, document.Get(), uia::TextPatternRangeEndpoint_End, &order),
        S_OK);
    EXPECT_LT(order, 0);

    // The start moved past the end takes the end along.
    ASSERT_EQ(line->MoveEndpointByRange(
                  uia::TextPatternRangeEndpoint_Start, document.Get(), uia::TextPatternRangeEndpoint_End),
        S_OK);
    EXPECT_EQ(TextOf(line.Get()), L"");
}

TEST_F(ViewAccessibility, SelectionAndCaretFollowTheKeyboard)
{
    // After an append the caret rides at the end, nothing selected.
    ComPtr<ITextRangeProvider> selection = Selection();
    ASSERT_TRUE(selection);
    EXPECT_EQ(TextOf(selection.Get()), L"");

    PressKey(view_->Window(), VK_HOME, true, false);
    for (int i = 0; i < 3; ++i)
        PressKey(view_->Window(), VK_RIGHT, false, true);
    selection = Selection();
    ASSERT_TRUE(selection);
    EXPECT_EQ(TextOf(selection.Get()), L"GET");

    BOOL active = TRUE;
    ComPtr<ITextRangeProvider> caret;
    ASSERT_EQ(provider_->GetCaretRange(&active, caret.GetAddressOf()), S_OK);
    int fromStart = 0;
    ComPtr<ITextRangeProvider> document = Document();
    caret->CompareEndpoints(
        uia::TextPatternRangeEndpoint_Start, document.Get(), uia::TextPatternRangeEndpoint_Start, &fromStart);
    EXPECT_EQ(fromStart, 3);
}

TEST_F(ViewAccessibility, ARangeSelectsInTheView)
{
    ComPtr<ITextRangeProvider> range = Document();
    int moved = 0;
    range->Move(uia::TextUnit_Line, 1, &moved);
    ASSERT_EQ(range->Select(), S_OK);
    EXPECT_EQ(view_->Selection(), (TextRange{16, 25}));
    EXPECT_EQ(range->AddToSelection(), uia::kInvalidOperation);
}

TEST_F(ViewAccessibility, BadArgumentsAreRefusedNotFollowed)
{
    ComPtr<ITextRangeProvider> range = Document();
    BOOL same = FALSE;
    int value = 0;
    EXPECT_EQ(range->Compare(nullptr, &same), E_INVALIDARG);
    EXPECT_EQ(range->Compare(range.Get(), nullptr), E_POINTER);
    EXPECT_EQ(range->GetText(-2, nullptr), E_POINTER);
    BSTR text = nullptr;
    EXPECT_EQ(range->GetText(-2, &text), E_INVALIDARG);
    EXPECT_EQ(range->CompareEndpoints(static_cast<uia::TextPatternRangeEndpoint>(7), range.Get(),
                  uia::TextPatternRangeEndpoint_Start, &value),
        E_INVALIDARG);
    EXPECT_EQ(
        range->MoveEndpointByRange(uia::TextPatternRangeEndpoint_Start, nullptr, uia::TextPatternRangeEndpoint_End),
        E_INVALIDARG);
    EXPECT_EQ(provider_->get_DocumentRange(nullptr), E_POINTER);
    EXPECT_EQ(provider_->GetPropertyValue(uia::kNameProperty, nullptr), E_POINTER);
}

TEST_F(ViewAccessibility, AProviderOutlivingItsViewAnswersNotAvailable)
{
    ComPtr<ITextRangeProvider> range = Document();
    view_.reset();
    provider_->Disconnect();
    BSTR text = nullptr;
    EXPECT_EQ(range->GetText(-1, &text), uia::kElementNotAvailable);
    EXPECT_EQ(text, nullptr);
    int moved = 0;
    EXPECT_EQ(range->Move(uia::TextUnit_Word, 1, &moved), uia::kElementNotAvailable);
    EXPECT_EQ(range->Select(), uia::kElementNotAvailable);
    VARIANT value;
    EXPECT_EQ(provider_->GetPropertyValue(uia::kNameProperty, &value), uia::kElementNotAvailable);
    ComPtr<ITextRangeProvider> document;
    EXPECT_EQ(provider_->get_DocumentRange(document.GetAddressOf()), uia::kElementNotAvailable);
}

// UI Automation's client side through the view's own WM_GETOBJECT: the name the view was given,
// and no answer (nor a crash) once the view has gone while the reader still holds its element.
TEST_F(ViewAccessibility, AReaderHoldingTheViewAfterItHasGoneGetsNoAnswer)
{
    DECLARE_HANDLE(Node);
    const HMODULE core = GetModuleHandleA("uiautomationcore.dll");
    ASSERT_NE(core, nullptr);
    const auto find = [core](const char* name) { return reinterpret_cast<void*>(GetProcAddress(core, name)); };
    const auto nodeFromHandle = reinterpret_cast<HRESULT(WINAPI*)(HWND, Node*)>(find("UiaNodeFromHandle"));
    const auto propertyValue
        = reinterpret_cast<HRESULT(WINAPI*)(Node, PROPERTYID, VARIANT*)>(find("UiaGetPropertyValue"));
    const auto nodeRelease = reinterpret_cast<BOOL(WINAPI*)(Node)>(find("UiaNodeRelease"));
    if (!nodeFromHandle || !propertyValue || !nodeRelease)
        GTEST_SKIP() << "this system's UI Automation has no client functions";
    Node node = nullptr;
    ASSERT_EQ(nodeFromHandle(view_->Window(), &node), S_OK);
    VARIANT name;
    VariantInit(&name);
    ASSERT_EQ(propertyValue(node, uia::kNameProperty, &name), S_OK);
    ASSERT_EQ(name.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(name.bstrVal), L"(to remote server)");
    VariantClear(&name);

    view_.reset();
    const HRESULT after = propertyValue(node, uia::kNameProperty, &name);
    EXPECT_TRUE(FAILED(after) || name.vt != VT_BSTR) << std::hex << after;
    VariantClear(&name);
    nodeRelease(node);
}

// MSAA through the view's own WM_GETOBJECT, as an older reader asks.
TEST_F(ViewAccessibility, MsaaReadsTheViewAsNamedReadOnlyText)
{
    ComPtr<IAccessible> object;
    ASSERT_EQ(AccessibleObjectFromWindow(
                  view_->Window(), OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(object.GetAddressOf())),
        S_OK);
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    ASSERT_EQ(object->get_accName(self, &name), S_OK);
    EXPECT_EQ(std::wstring(name), L"(to remote server)");
    SysFreeString(name);
    VARIANT role;
    ASSERT_EQ(object->get_accRole(self, &role), S_OK);
    EXPECT_EQ(role.lVal, ROLE_SYSTEM_TEXT);
    VARIANT state;
    ASSERT_EQ(object->get_accState(self, &state), S_OK);
    EXPECT_TRUE(state.lVal & STATE_SYSTEM_READONLY);
}

// A button sharing its text with the other group's: qualified while annotated, the system's after;
// its role stays the system's throughout.
TEST_F(ViewAccessibility, AnAnnotatedControlKeepsItsRoleUnderTheQualifiedName)
{
    const HWND button = CreateWindowExA(0, "BUTTON", "Send", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 420, 10, 60, 20,
        parent_, nullptr, GetModuleHandleA(nullptr), nullptr);
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    ComPtr<IAccessible> system;
    ASSERT_EQ(CreateStdAccessibleObject(
                  button, OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(system.GetAddressOf())),
        S_OK);
    VARIANT systemRole;
    ASSERT_EQ(system->get_accRole(self, &systemRole), S_OK);
    const auto nameOf = [&]() {
        ComPtr<IAccessible> object;
        BSTR name = nullptr;
        if (FAILED(AccessibleObjectFromWindow(
                button, OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(object.GetAddressOf())))
            || FAILED(object->get_accName(self, &name)) || !name)
            return std::wstring(L"<none>");
        std::wstring result(name);
        SysFreeString(name);
        VARIANT role;
        if (FAILED(object->get_accRole(self, &role)) || role.lVal != systemRole.lVal)
            result += L" <another role>";
        return result;
    };
    {
        const ControlAnnotation annotation(button, L"Local Client Send");
        EXPECT_EQ(nameOf(), L"Local Client Send");
    }
    EXPECT_EQ(nameOf(), L"Send");
    DestroyWindow(button);
}

// The events a reader hears, seen by an out-of-context hook as another process would see them. The
// hook's procedure has no context of its own: what it hears goes here.
std::vector<std::pair<DWORD, HWND>>& Heard()
{
    static std::vector<std::pair<DWORD, HWND>> heard;
    return heard;
}

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    if (object == OBJID_CLIENT && child == CHILDID_SELF)
        Heard().emplace_back(event, window);
}

enum class Change { StatusText, Traffic, CaretKey };

struct EventCase {
    const char* name;
    Change change;
    DWORD event;
};

void PrintTo(const EventCase& c, std::ostream* out)
{
    *out << c.name;
}

class ViewEvents : public ViewAccessibility, public testing::WithParamInterface<EventCase> { };

TEST_P(ViewEvents, ReachAReaderWhereverTheFocusIs)
{
    const EventCase& c = GetParam();
    const HWND line = CreateWindowExA(0, "STATIC", "Idle", WS_CHILD | WS_VISIBLE, 10, 220, 200, 16, parent_, nullptr,
        GetModuleHandleA(nullptr), nullptr);
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_TEXTSELECTIONCHANGED, nullptr,
        &OnEvent, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    Heard().clear();
    HWND source = view_->Window();
    switch (c.change) {
    case Change::StatusText:
        SetWindowTextA(line, "Connected!");
        AnnounceNewName(line, library_.get());
        source = line;
        break;
    case Change::Traffic:
        view_->AppendTraffic("HTTP/1.1 200 OK\r\n", TrafficFormat{});
        view_->Flush();
        break;
    case Change::CaretKey:
        PressKey(view_->Window(), VK_LEFT, false, false);
        break;
    }
    const std::pair<DWORD, HWND> expected{c.event, source};
    const auto heard = [&] { return std::count(Heard().begin(), Heard().end(), expected) > 0; };
    MSG message;
    for (int pass = 0; pass < 50 && !heard(); ++pass) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(10);
    }
    UnhookWinEvent(hook);
    EXPECT_TRUE(heard());
    DestroyWindow(line);
}

INSTANTIATE_TEST_SUITE_P(Changes, ViewEvents,
    testing::Values(EventCase{"a status line's new text", Change::StatusText, EVENT_OBJECT_NAMECHANGE},
        EventCase{"traffic flushed into a view", Change::Traffic, EVENT_OBJECT_VALUECHANGE},
        EventCase{"a key moving the caret", Change::CaretKey, EVENT_OBJECT_TEXTSELECTIONCHANGED}));

} // namespace
