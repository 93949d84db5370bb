#include "platform/win32/uia_library.h"

namespace {

// GetProcAddress answers with one generic pointer type; the real types are the documented ones.
template<typename Function> Function Find(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Windows 10's notification kinds and processing: new items, only the newest spoken.
constexpr int kNotificationKindItemAdded = 0;
constexpr int kNotificationProcessingMostRecent = 3;

} // namespace

std::shared_ptr<const UiaLibrary> UiaLibrary::Load()
{
    const HMODULE module = LoadLibraryA("uiautomationcore.dll");
    if (!module)
        return nullptr;
    std::shared_ptr<UiaLibrary> library(new UiaLibrary(module));
    library->returnRawElementProvider_ = Find<ReturnRawElementProviderFn>(module, "UiaReturnRawElementProvider");
    library->hostProviderFromHwnd_ = Find<HostProviderFromHwndFn>(module, "UiaHostProviderFromHwnd");
    library->raiseAutomationEvent_ = Find<RaiseAutomationEventFn>(module, "UiaRaiseAutomationEvent");
    library->clientsAreListening_ = Find<ClientsAreListeningFn>(module, "UiaClientsAreListening");
    library->getReservedNotSupportedValue_
        = Find<GetReservedNotSupportedValueFn>(module, "UiaGetReservedNotSupportedValue");
    library->raiseNotificationEvent_ = Find<RaiseNotificationEventFn>(module, "UiaRaiseNotificationEvent");
    if (!library->returnRawElementProvider_ || !library->hostProviderFromHwnd_ || !library->raiseAutomationEvent_)
        return nullptr;
    return library;
}

UiaLibrary::UiaLibrary(HMODULE module)
    : module_(module)
{ }

UiaLibrary::~UiaLibrary()
{
    FreeLibrary(module_);
}

LRESULT UiaLibrary::ReturnRawElementProvider(
    HWND window, WPARAM wParam, LPARAM lParam, IRawElementProviderSimple* provider) const
{
    return returnRawElementProvider_(window, wParam, lParam, provider);
}

HRESULT UiaLibrary::HostProviderFromHwnd(HWND window, IRawElementProviderSimple** provider) const
{
    if (!provider)
        return E_INVALIDARG;
    *provider = nullptr;
    const HRESULT result = hostProviderFromHwnd_(window, provider);
    if (FAILED(result) && *provider) {
        (*provider)->Release();
        *provider = nullptr;
    }
    return result;
}

HRESULT UiaLibrary::RaiseAutomationEvent(IRawElementProviderSimple* provider, EVENTID id) const
{
    return raiseAutomationEvent_(provider, id);
}

bool UiaLibrary::ClientsAreListening() const
{
    // Without the question, assume someone listens: an event nobody hears costs little.
    return !clientsAreListening_ || clientsAreListening_() != FALSE;
}

void UiaLibrary::NotSupportedValue(VARIANT* value) const
{
    VariantInit(value);
    IUnknown* notSupported = nullptr;
    if (getReservedNotSupportedValue_ && SUCCEEDED(getReservedNotSupportedValue_(&notSupported)) && notSupported) {
        value->vt = VT_UNKNOWN;
        value->punkVal = notSupported;
    }
}

bool UiaLibrary::RaiseNotification(IRawElementProviderSimple* provider, const wchar_t* text) const
{
    if (!raiseNotificationEvent_)
        return false;
    const BSTR displayString = SysAllocString(text);
    const BSTR activityId = SysAllocString(L"BrindleTraffic");
    const HRESULT result = raiseNotificationEvent_(
        provider, kNotificationKindItemAdded, kNotificationProcessingMostRecent, displayString, activityId);
    SysFreeString(displayString);
    SysFreeString(activityId);
    return SUCCEEDED(result);
}
