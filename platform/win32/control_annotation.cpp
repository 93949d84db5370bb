#include "platform/win32/control_annotation.h"

#include <utility>

#include <commctrl.h>

#include "platform/win32/uia_text_interfaces.h"

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
