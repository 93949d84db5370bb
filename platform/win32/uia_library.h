// The functions of UI Automation's core (uiautomationcore.dll), looked up when the program runs:
// the compiler ships no import library for it, and a system without it (before Windows 7, or a
// Wine without it) still runs the program, its windows then reached through MSAA alone.
#ifndef BRINDLE_PLATFORM_WIN32_UIA_LIBRARY_H
#define BRINDLE_PLATFORM_WIN32_UIA_LIBRARY_H

#include <memory>

#include "platform/win32/windows_api.h"

#include <ole2.h>
#include <uiautomationcore.h>

class UiaLibrary {
public:
    // Null where the library or one of the functions every provider needs is missing.
    static std::shared_ptr<const UiaLibrary> Load();
    ~UiaLibrary();
    UiaLibrary(const UiaLibrary&) = delete;
    UiaLibrary& operator=(const UiaLibrary&) = delete;

    LRESULT ReturnRawElementProvider(
        HWND window, WPARAM wParam, LPARAM lParam, IRawElementProviderSimple* provider) const;
    // S_OK with *provider set, or a failure with *provider null.
    HRESULT HostProviderFromHwnd(HWND window, IRawElementProviderSimple** provider) const;
    HRESULT RaiseAutomationEvent(IRawElementProviderSimple* provider, EVENTID id) const;
    bool ClientsAreListening() const;
    // The value that says "this attribute is not supported"; VT_EMPTY where the system lacks it.
    void NotSupportedValue(VARIANT* value) const;
    // Windows 10's notification event, which readers speak as it arrives; false where missing.
    bool RaiseNotification(IRawElementProviderSimple* provider, const wchar_t* text) const;

private:
    using ReturnRawElementProviderFn = LRESULT(WINAPI*)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*);
    using HostProviderFromHwndFn = HRESULT(WINAPI*)(HWND, IRawElementProviderSimple**);
    using RaiseAutomationEventFn = HRESULT(WINAPI*)(IRawElementProviderSimple*, EVENTID);
    using ClientsAreListeningFn = BOOL(WINAPI*)();
    using GetReservedNotSupportedValueFn = HRESULT(WINAPI*)(IUnknown**);
    using RaiseNotificationEventFn = HRESULT(WINAPI*)(IRawElementProviderSimple*, int, int, BSTR, BSTR);

    explicit UiaLibrary(HMODULE module);

    HMODULE module_;
    ReturnRawElementProviderFn returnRawElementProvider_ = nullptr;
    HostProviderFromHwndFn hostProviderFromHwnd_ = nullptr;
    RaiseAutomationEventFn raiseAutomationEvent_ = nullptr;
    ClientsAreListeningFn clientsAreListening_ = nullptr;
    GetReservedNotSupportedValueFn getReservedNotSupportedValue_ = nullptr;
    RaiseNotificationEventFn raiseNotificationEvent_ = nullptr;
};

#endif
