// A traffic view as UI Automation sees it: a read-only document named by its label, with the Text
// pattern over the view's own text, caret and selection. The provider outlives its view when a
// client still holds it: once the view has gone, every call answers "element not available".
#ifndef BRINDLE_PLATFORM_WIN32_TRAFFIC_VIEW_UIA_PROVIDER_H
#define BRINDLE_PLATFORM_WIN32_TRAFFIC_VIEW_UIA_PROVIDER_H

#include <memory>
#include <string>

#include "platform/win32/accessible_text_source.h"
#include "platform/win32/com_reference_count.h"
#include "platform/win32/uia_library.h"
#include "platform/win32/uia_text_interfaces.h"

class TrafficViewUiaProvider final : public IRawElementProviderSimple,
                                     public uia::ITextProvider2,
                                     private ComReferenceCount<TrafficViewUiaProvider> {
    friend class ComReferenceCount<TrafficViewUiaProvider>;

public:
    // Held once by the caller (a new COM object's one reference).
    static TrafficViewUiaProvider* Create(
        AccessibleTextSource& source, std::wstring name, std::shared_ptr<const UiaLibrary> library);
    TrafficViewUiaProvider(const TrafficViewUiaProvider&) = delete;
    TrafficViewUiaProvider& operator=(const TrafficViewUiaProvider&) = delete;

    // The view is going: nothing reaches it from here on.
    void Disconnect() { source_ = nullptr; }
    AccessibleTextSource* Source() const { return source_; }
    const UiaLibrary& Library() const { return *library_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IRawElementProviderSimple
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* result) override;
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID patternId, IUnknown** result) override;
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID propertyId, VARIANT* result) override;
    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** result) override;

    // ITextProvider, ITextProvider2
    HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** result) override;
    HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** result) override;
    HRESULT STDMETHODCALLTYPE RangeFromChild(
        IRawElementProviderSimple* child, uia::ITextRangeProvider** result) override;
    HRESULT STDMETHODCALLTYPE RangeFromPoint(uia::UiaPoint point, uia::ITextRangeProvider** result) override;
    HRESULT STDMETHODCALLTYPE get_DocumentRange(uia::ITextRangeProvider** result) override;
    HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(uia::SupportedTextSelection* result) override;
    HRESULT STDMETHODCALLTYPE RangeFromAnnotation(
        IRawElementProviderSimple* annotation, uia::ITextRangeProvider** result) override;
    HRESULT STDMETHODCALLTYPE GetCaretRange(BOOL* isActive, uia::ITextRangeProvider** result) override;

private:
    TrafficViewUiaProvider(AccessibleTextSource& source, std::wstring name, std::shared_ptr<const UiaLibrary> library);
    ~TrafficViewUiaProvider() = default;
    // S_OK with *result cleared, or why the call goes no further (0 is S_OK).
    template<typename Out> HRESULT Prepared(Out** result) const;
    // A one-element array holding a new range over [from, to).
    HRESULT RangeArray(std::int64_t from, std::int64_t to, SAFEARRAY** result);

    AccessibleTextSource* source_;
    std::wstring name_;
    std::shared_ptr<const UiaLibrary> library_;
};

#endif
