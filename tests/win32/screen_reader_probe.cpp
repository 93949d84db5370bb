// What a screen reader in another process gets of the relay window: for each control of the window
// with the given title, its MSAA name, role and state (oleacc), and for the traffic views what UI
// Automation's client side gives (name, control type, the Text pattern's document text and
// selection) where the system has it. One line a fact, for the Windows acceptance test to check:
//   msaa ID CLASS role=N state=0xN name=NAME
//   uia ID name=NAME type=N | uia ID unavailable: WHY
//   text ID TEXT                                                     (a view's window text)
//   uia-text ID TEXT | uia-text ID unavailable: WHY                  (with --text)
//   uia-selection ID TEXT | uia-selection ID unavailable: WHY        (with --text)
// Text is cut at 80 characters, with CR and LF shown as \r and \n. DESKTOP names the desktop the
// program runs on when that is not the caller's (Wine's "explorer /desktop=NAME").
#include <cstdio>
#include <string>

#include "platform/win32/control_accessibility.h"
#include "platform/win32/uia_text_interfaces.h"

#include <wrl/client.h>

namespace {

using Microsoft::WRL::ComPtr;

std::string Printable(const wchar_t* text, std::size_t length)
{
    std::string out;
    for (std::size_t i = 0; i < length && out.size() < 80; ++i) {
        const wchar_t c = text[i];
        if (c == L'\r')
            out += "\\r";
        else if (c == L'\n')
            out += "\\n";
        else
            out += c < 0x80 && c >= 0x20 ? static_cast<char>(c) : '?';
    }
    return out;
}

std::string Printable(BSTR text)
{
    return text ? Printable(text, SysStringLen(text)) : std::string("<null>");
}

// The client side of UI Automation, looked up as the program does.
struct UiaClient {
    DECLARE_HANDLE(Node);
    DECLARE_HANDLE(Pattern);
    DECLARE_HANDLE(Range);
    HMODULE module = LoadLibraryA("uiautomationcore.dll");
    HRESULT(WINAPI* nodeFromHandle)(HWND, Node*) = nullptr;
    HRESULT(WINAPI* getPropertyValue)(Node, PROPERTYID, VARIANT*) = nullptr;
    HRESULT(WINAPI* getPatternProvider)(Node, PATTERNID, Pattern*) = nullptr;
    HRESULT(WINAPI* documentRange)(Pattern, Range*) = nullptr;
    HRESULT(WINAPI* getSelection)(Pattern, SAFEARRAY**) = nullptr;
    HRESULT(WINAPI* rangeFromVariant)(VARIANT*, Range*) = nullptr;
    HRESULT(WINAPI* getText)(Range, int, BSTR*) = nullptr;
    BOOL(WINAPI* nodeRelease)(Node) = nullptr;
    BOOL(WINAPI* patternRelease)(Pattern) = nullptr;
    BOOL(WINAPI* rangeRelease)(Range) = nullptr;
    // Wine 8 exports UiaGetPatternProvider as a stub that ends the calling process: asked for only.
    bool textPattern = false;

    template<typename Function> void Find(Function& function, const char* name)
    {
        function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }

    UiaClient()
    {
        if (!module)
            return;
        Find(nodeFromHandle, "UiaNodeFromHandle");
        Find(getPropertyValue, "UiaGetPropertyValue");
        Find(getPatternProvider, "UiaGetPatternProvider");
        Find(documentRange, "TextPattern_get_DocumentRange");
        Find(getSelection, "TextPattern_GetSelection");
        Find(rangeFromVariant, "UiaHTextRangeFromVariant");
        Find(getText, "TextRange_GetText");
        Find(nodeRelease, "UiaNodeRelease");
        Find(patternRelease, "UiaPatternRelease");
        Find(rangeRelease, "UiaTextRangeRelease");
    }
    ~UiaClient()
    {
        if (module)
            FreeLibrary(module);
    }
    UiaClient(const UiaClient&) = delete;
    UiaClient& operator=(const UiaClient&) = delete;

    void PrintRange(int id, const char* what, Range range) const
    {
        BSTR text = nullptr;
        const HRESULT result = getText(range, -1, &text);
        if (SUCCEEDED(result))
            std::printf("%s %d %s\n", what, id, Printable(text).c_str());
        else
            std::printf("%s %d unavailable: TextRange_GetText 0x%08lx\n", what, id, static_cast<unsigned long>(result));
        SysFreeString(text);
        rangeRelease(range);
    }

    void Probe(HWND window, int id) const
    {
        if (!nodeFromHandle || !getPropertyValue || !nodeRelease) {
            std::printf("uia %d unavailable: no client functions\n", id);
            return;
        }
        Node node = nullptr;
        HRESULT result = nodeFromHandle(window, &node);
        if (FAILED(result) || !node) {
            std::printf("uia %d unavailable: UiaNodeFromHandle 0x%08lx\n", id, static_cast<unsigned long>(result));
            return;
        }
        VARIANT name;
        VARIANT type;
        VariantInit(&name);
        VariantInit(&type);
        getPropertyValue(node, uia::kNameProperty, &name);
        getPropertyValue(node, uia::kControlTypeProperty, &type);
        std::printf("uia %d name=%s type=%ld\n", id, name.vt == VT_BSTR ? Printable(name.bstrVal).c_str() : "<none>",
            type.vt == VT_I4 ? static_cast<long>(type.lVal) : -1L);
        VariantClear(&name);
        if (textPattern)
            ProbeText(node, id);
        nodeRelease(node);
    }

    void ProbeText(Node node, int id) const
    {
        Pattern pattern = nullptr;
        const HRESULT result = getPatternProvider ? getPatternProvider(node, uia::kTextPattern, &pattern) : E_NOTIMPL;
        if (FAILED(result) || !pattern) {
            std::printf(
                "uia-text %d unavailable: UiaGetPatternProvider 0x%08lx\n", id, static_cast<unsigned long>(result));
            return;
        }
        Range document = nullptr;
        const HRESULT got = documentRange ? documentRange(pattern, &document) : E_NOTIMPL;
        if (SUCCEEDED(got) && document)
            PrintRange(id, "uia-text", document);
        else
            std::printf("uia-text %d unavailable: TextPattern_get_DocumentRange 0x%08lx\n", id,
                static_cast<unsigned long>(got));
        SAFEARRAY* selection = nullptr;
        const HRESULT selected = getSelection ? getSelection(pattern, &selection) : E_NOTIMPL;
        VARIANT first;
        VariantInit(&first);
        LONG index = 0;
        Range range = nullptr;
        if (SUCCEEDED(selected) && selection && SUCCEEDED(SafeArrayGetElement(selection, &index, &first))
            && rangeFromVariant && SUCCEEDED(rangeFromVariant(&first, &range)) && range)
            PrintRange(id, "uia-selection", range);
        else
            std::printf("uia-selection %d unavailable: TextPattern_GetSelection 0x%08lx\n", id,
                static_cast<unsigned long>(selected));
        VariantClear(&first);
        if (selection)
            SafeArrayDestroy(selection);
        patternRelease(pattern);
    }
};

struct Probe {
    const UiaClient& uia;
};

BOOL CALLBACK ProbeControl(HWND control, LPARAM context)
{
    const auto& probe = *reinterpret_cast<const Probe*>(context);
    const int id = GetDlgCtrlID(control);
    char className[64] = {};
    GetClassNameA(control, className, sizeof className);
    ComPtr<IAccessible> object;
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    VARIANT role;
    VARIANT state;
    VariantInit(&role);
    VariantInit(&state);
    if (SUCCEEDED(AccessibleObjectFromWindow(
            control, OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(object.GetAddressOf())))) {
        object->get_accName(self, &name);
        object->get_accRole(self, &role);
        object->get_accState(self, &state);
    }
    std::printf("msaa %d %s role=%ld state=0x%lx name=%s\n", id, className,
        role.vt == VT_I4 ? static_cast<long>(role.lVal) : -1L,
        state.vt == VT_I4 ? static_cast<unsigned long>(state.lVal) : 0UL, Printable(name).c_str());
    SysFreeString(name);
    if (lstrcmpA(className, "BrindleTrafficView") == 0) {
        // Readers that know no accessibility interface for a text read its window text.
        wchar_t text[128] = {};
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(control, WM_GETTEXT, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(text),
            SMTO_ABORTIFHUNG, 5000, &copied);
        std::printf("text %d %s\n", id, Printable(text, copied).c_str());
        probe.uia.Probe(control, id);
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    const bool textPattern = argc > 1 && std::string(argv[argc - 1]) == "--text";
    if (textPattern)
        --argc;
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: screen_reader_probe WINDOW_TITLE [DESKTOP] [--text]\n");
        return 2;
    }
    // Windows are found on the caller's desktop: join the program's first, before this thread has
    // a window of its own.
    if (argc == 3) {
        const HDESK desktop = OpenDesktopA(argv[2], 0, FALSE, GENERIC_ALL);
        if (!desktop || !SetThreadDesktop(desktop)) {
            std::fprintf(stderr, "cannot join desktop \"%s\"\n", argv[2]);
            return 1;
        }
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HWND window = FindWindowA(nullptr, argv[1]);
    if (!window) {
        std::fprintf(stderr, "no window titled \"%s\"\n", argv[1]);
        CoUninitialize();
        return 1;
    }
    {
        UiaClient uia;
        uia.textPattern = textPattern;
        const Probe probe{uia};
        EnumChildWindows(window, &ProbeControl, reinterpret_cast<LPARAM>(&probe));
    }
    std::fflush(stdout);
    CoUninitialize();
    return 0;
}
