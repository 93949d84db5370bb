#include "platform/win32/control_accessibility.h"

#include <new>
#include <utility>

#include <commctrl.h>
#include <wrl/client.h>

#include "platform/win32/com_reference_count.h"
#include "platform/win32/uia_text_interfaces.h"

namespace {

using Microsoft::WRL::ComPtr;

bool IsSelf(const VARIANT& child)
{
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// Everything goes to the system's object except what the overrides say of the window itself.
class QualifiedAccessible final : public IAccessible,
                                  public IOleWindow,
                                  private ComReferenceCount<QualifiedAccessible> {
    friend class ComReferenceCount<QualifiedAccessible>;

public:
    QualifiedAccessible(ComPtr<IAccessible> inner, AccessibleOverrides overrides)
        : inner_(std::move(inner))
        , overrides_(std::move(overrides))
    { }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!Cleared(object))
            return E_POINTER;
        void* found = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kIidAccessible))
            found = static_cast<IAccessible*>(this);
        else if (IsEqualIID(iid, IID_IOleWindow))
            found = static_cast<IOleWindow*>(this);
        return Hand(found, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Acquire(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

    // IOleWindow: how WindowFromAccessibleObject finds the window.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (!window)
            return E_POINTER;
        *window = nullptr;
        ComPtr<IOleWindow> innerWindow;
        if (FAILED(inner_.As(&innerWindow)))
            return E_FAIL;
        return innerWindow->GetWindow(window);
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return inner_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override
    {
        return inner_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override
    {
        return inner_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override
    {
        return inner_->Invoke(id, iid, locale, flags, parameters, result, exception, argumentError);
    }

    // IAccessible: the three overrides.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        if (!IsSelf(child))
            return inner_->get_accName(child, name);
        // Asking the system first tells whether the window is still there.
        BSTR own = nullptr;
        const HRESULT alive = inner_->get_accName(child, &own);
        SysFreeString(own);
        if (FAILED(alive))
            return alive;
        *name = SysAllocString(overrides_.name.c_str());
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        const HRESULT result = inner_->get_accRole(child, role);
        if (SUCCEEDED(result) && role && IsSelf(child) && overrides_.role != 0) {
            VariantClear(role);
            role->vt = VT_I4;
            role->lVal = overrides_.role;
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        const HRESULT result = inner_->get_accState(child, state);
        if (SUCCEEDED(result) && state && state->vt == VT_I4 && IsSelf(child))
            state->lVal |= overrides_.extraStates;
        return result;
    }

    // IAccessible: the system's answers.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return inner_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override { return inner_->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        return inner_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        return inner_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override
    {
        return inner_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override
    {
        return inner_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override
    {
        return inner_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override
    {
        return inner_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return inner_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override
    {
        return inner_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        return inner_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override { return inner_->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override
    {
        return inner_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override
    {
        return inner_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override
    {
        return inner_->accHitTest(left, top, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return inner_->accDoDefaultAction(child); }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override
    {
        return inner_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override
    {
        return inner_->put_accValue(child, value);
    }

private:
    ~QualifiedAccessible() = default;

    ComPtr<IAccessible> inner_;
    AccessibleOverrides overrides_;
};

} // namespace

LRESULT AnswerClientObject(HWND window, WPARAM wParam, const AccessibleOverrides& overrides)
{
    ComPtr<IAccessible> inner;
    if (FAILED(CreateStdAccessibleObject(
            window, OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(inner.GetAddressOf()))))
        return 0;
    ComPtr<IAccessible> wrapped;
    wrapped.Attach(new (std::nothrow) QualifiedAccessible(std::move(inner), overrides));
    if (!wrapped)
        return 0;
    // LresultFromObject takes a reference of its own.
    const LRESULT result = LresultFromObject(kIidAccessible, wParam, wrapped.Get());
    return result < 0 ? 0 : result;
}

namespace {

constexpr UINT_PTR kSubclassId = 0x42524E41; // one subclass of ours per control

} // namespace

ControlAnnotation::ControlAnnotation(HWND control, std::wstring name)
    : control_(control)
{
    overrides_.name = std::move(name);
    installed_ = SetWindowSubclass(control_, &Procedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

ControlAnnotation::~ControlAnnotation()
{
    if (installed_ && IsWindow(control_))
        RemoveWindowSubclass(control_, &Procedure, kSubclassId);
}

LRESULT CALLBACK ControlAnnotation::Procedure(
    HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/, DWORD_PTR self)
{
    auto* annotation = reinterpret_cast<ControlAnnotation*>(self);
    if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT) {
        if (const LRESULT answer = AnswerClientObject(window, wParam, annotation->overrides_))
            return answer;
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, &Procedure, kSubclassId);
        annotation->installed_ = false;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void AnnounceNewName(HWND control, const UiaLibrary* uia)
{
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, control, OBJID_CLIENT, CHILDID_SELF);
    if (!uia || !uia->ClientsAreListening())
        return;
    IRawElementProviderSimple* provider = nullptr;
    if (FAILED(uia->HostProviderFromHwnd(control, &provider)))
        return;
    uia->RaiseAutomationEvent(provider, uia::kLiveRegionChangedEvent);
    provider->Release();
}
