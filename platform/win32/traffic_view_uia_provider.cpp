#include "platform/win32/traffic_view_uia_provider.h"

#include <new>
#include <utility>

#include <wrl/client.h>

#include "platform/win32/traffic_view_text_range.h"

namespace {

HRESULT NewRange(TrafficViewUiaProvider* provider, std::int64_t from, std::int64_t to, uia::ITextRangeProvider** result)
{
    *result = CreateTrafficViewTextRange(provider, from, to);
    return *result ? S_OK : E_OUTOFMEMORY;
}

} // namespace

TrafficViewUiaProvider* TrafficViewUiaProvider::Create(
    AccessibleTextSource& source, std::wstring name, std::shared_ptr<const UiaLibrary> library)
{
    return new (std::nothrow) TrafficViewUiaProvider(source, std::move(name), std::move(library));
}

TrafficViewUiaProvider::TrafficViewUiaProvider(
    AccessibleTextSource& source, std::wstring name, std::shared_ptr<const UiaLibrary> library)
    : source_(&source)
    , name_(std::move(name))
    , library_(std::move(library))
{ }

HRESULT TrafficViewUiaProvider::QueryInterface(REFIID iid, void** object)
{
    if (!Cleared(object))
        return E_POINTER;
    void* found = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, uia::kIidRawElementProviderSimple))
        found = static_cast<IRawElementProviderSimple*>(this);
    else if (IsEqualIID(iid, uia::kIidTextProvider))
        found = static_cast<uia::ITextProvider*>(this);
    else if (IsEqualIID(iid, uia::kIidTextProvider2))
        found = static_cast<uia::ITextProvider2*>(this);
    return Hand(found, object);
}

ULONG TrafficViewUiaProvider::AddRef()
{
    return Acquire();
}

ULONG TrafficViewUiaProvider::Release()
{
    return Drop();
}

template<typename Out> HRESULT TrafficViewUiaProvider::Prepared(Out** result) const
{
    if (!Cleared(result))
        return E_POINTER;
    return source_ ? S_OK : uia::kElementNotAvailable;
}

HRESULT TrafficViewUiaProvider::get_ProviderOptions(ProviderOptions* result)
{
    if (!result)
        return E_POINTER;
    *result = ProviderOptions_ServerSideProvider;
    return S_OK;
}

HRESULT TrafficViewUiaProvider::GetPatternProvider(PATTERNID patternId, IUnknown** result)
{
    if (const HRESULT refused = Prepared(result))
        return refused;
    if (patternId == uia::kTextPattern || patternId == uia::kTextPattern2) {
        *result = static_cast<uia::ITextProvider2*>(this);
        AddRef();
    }
    return S_OK;
}

HRESULT TrafficViewUiaProvider::GetPropertyValue(PROPERTYID propertyId, VARIANT* result)
{
    if (!result)
        return E_POINTER;
    VariantInit(result);
    if (!source_)
        return uia::kElementNotAvailable;
    switch (propertyId) {
    case uia::kControlTypeProperty:
        result->vt = VT_I4;
        result->lVal = uia::kDocumentControlType;
        break;
    case uia::kNameProperty:
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(name_.c_str());
        if (!result->bstrVal) {
            result->vt = VT_EMPTY;
            return E_OUTOFMEMORY;
        }
        break;
    case uia::kIsKeyboardFocusableProperty:
    case uia::kHasKeyboardFocusProperty:
    case uia::kIsTextPatternAvailableProperty: {
        const bool value = propertyId != uia::kHasKeyboardFocusProperty || GetFocus() == source_->Window();
        result->vt = VT_BOOL;
        result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    }
    default:
        // VT_EMPTY: the host window's provider answers the rest (place, enabled, window handle).
        break;
    }
    return S_OK;
}

HRESULT TrafficViewUiaProvider::get_HostRawElementProvider(IRawElementProviderSimple** result)
{
    if (const HRESULT refused = Prepared(result))
        return refused;
    return library_->HostProviderFromHwnd(source_->Window(), result);
}

HRESULT TrafficViewUiaProvider::RangeArray(std::int64_t from, std::int64_t to, SAFEARRAY** result)
{
    Microsoft::WRL::ComPtr<uia::ITextRangeProvider> range;
    const HRESULT made = NewRange(this, from, to, range.GetAddressOf());
    if (FAILED(made))
        return made;
    *result = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
    if (!*result)
        return E_OUTOFMEMORY;
    LONG index = 0;
    // The array takes its own reference.
    const HRESULT put = SafeArrayPutElement(*result, &index, static_cast<IUnknown*>(range.Get()));
    if (FAILED(put)) {
        SafeArrayDestroy(*result);
        *result = nullptr;
    }
    return put;
}

HRESULT TrafficViewUiaProvider::GetSelection(SAFEARRAY** result)
{
    if (const HRESULT refused = Prepared(result))
        return refused;
    // No selection is the empty range at the caret, which is how readers find the caret.
    const TextRange selection = source_->Selection();
    if (selection.from == selection.to)
        return RangeArray(source_->Caret(), source_->Caret(), result);
    return RangeArray(selection.from, selection.to, result);
}

HRESULT TrafficViewUiaProvider::GetVisibleRanges(SAFEARRAY** result)
{
    if (const HRESULT refused = Prepared(result))
        return refused;
    const TextRange visible = source_->VisibleText();
    return RangeArray(visible.from, visible.to, result);
}

// The view has no child elements.
HRESULT TrafficViewUiaProvider::RangeFromChild(IRawElementProviderSimple* /*child*/, uia::ITextRangeProvider** result)
{
    const HRESULT refused = Prepared(result);
    return refused ? refused : E_INVALIDARG;
}

HRESULT TrafficViewUiaProvider::RangeFromPoint(uia::UiaPoint point, uia::ITextRangeProvider** result)
{
    if (const HRESULT refused = Prepared(result))
        return refused;
    const POINT screen{static_cast<LONG>(point.x), static_cast<LONG>(point.y)};
    const std::int64_t at = source_->OffsetAtScreenPoint(screen);
    if (at < 0)
        return E_INVALIDARG;
    return NewRange(this, at, at, result);
}

HRESULT TrafficViewUiaProvider::get_DocumentRange(uia::ITextRangeProvider** result)
{
    if (const HRESULT refused = Prepared(result))
        return refused;
    const ViewText& store = source_->Store();
    return NewRange(this, store.beginOffset(), store.endOffset(), result);
}

HRESULT TrafficViewUiaProvider::get_SupportedTextSelection(uia::SupportedTextSelection* result)
{
    if (!result)
        return E_POINTER;
    *result = uia::SupportedTextSelection_Single;
    return source_ ? S_OK : uia::kElementNotAvailable;
}

HRESULT TrafficViewUiaProvider::RangeFromAnnotation(
    IRawElementProviderSimple* /*annotation*/, uia::ITextRangeProvider** result)
{
    const HRESULT refused = Prepared(result);
    return refused ? refused : E_INVALIDARG;
}

HRESULT TrafficViewUiaProvider::GetCaretRange(BOOL* isActive, uia::ITextRangeProvider** result)
{
    if (!result || !isActive)
        return E_POINTER;
    *result = nullptr;
    *isActive = FALSE;
    if (!source_)
        return uia::kElementNotAvailable;
    *isActive = GetFocus() == source_->Window() ? TRUE : FALSE;
    return NewRange(this, source_->Caret(), source_->Caret(), result);
}
