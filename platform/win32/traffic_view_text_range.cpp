#include "platform/win32/traffic_view_text_range.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include <wrl/client.h>

#include "platform/text/text_units.h"
#include "platform/win32/com_reference_count.h"
#include "platform/win32/traffic_view_uia_provider.h"

namespace {

using Microsoft::WRL::ComPtr;
using uia::ITextRangeProvider;
using uia::TextPatternRangeEndpoint;

// Asked of a range handed back to us, to tell our ranges from any other client's object.
constexpr GUID kIidTrafficViewTextRange{0x6a1c3e52, 0x0b7d, 0x4f21, {0x9c, 0x44, 0x1e, 0x52, 0x8a, 0x70, 0x3d, 0xb9}};

// Units the view has no use for read as the next larger one it has: all its text is one format,
// a paragraph is a line, and a page is the whole text.
TextUnit UnitOf(uia::TextUnit unit)
{
    switch (unit) {
    case uia::TextUnit_Character:
        return TextUnit::Character;
    case uia::TextUnit_Format:
    case uia::TextUnit_Word:
        return TextUnit::Word;
    case uia::TextUnit_Line:
    case uia::TextUnit_Paragraph:
        return TextUnit::Line;
    default:
        return TextUnit::Document;
    }
}

bool IsEndpoint(TextPatternRangeEndpoint endpoint)
{
    return endpoint == uia::TextPatternRangeEndpoint_Start || endpoint == uia::TextPatternRangeEndpoint_End;
}

// The text as UTF-16: each byte is a Latin-1 character, as the view draws it.
BSTR ToBstr(const TextStore& store, std::int64_t from, std::int64_t to)
{
    const auto length = static_cast<UINT>(to - from);
    const BSTR text = SysAllocStringLen(nullptr, length);
    if (!text)
        return nullptr;
    constexpr std::int64_t kPiece = 64 * 1024;
    std::vector<char> piece(static_cast<std::size_t>(std::min(kPiece, std::max<std::int64_t>(to - from, 1))));
    for (std::int64_t at = from; at < to; at += kPiece) {
        const std::int64_t until = std::min(at + kPiece, to);
        store.copy(at, until, piece.data());
        for (std::int64_t i = at; i < until; ++i)
            text[i - from] = static_cast<unsigned char>(piece[static_cast<std::size_t>(i - at)]);
    }
    return text;
}

class ViewTextRange final : public ITextRangeProvider, private ComReferenceCount<ViewTextRange> {
    friend class ComReferenceCount<ViewTextRange>;

public:
    ViewTextRange(TrafficViewUiaProvider* provider, std::int64_t from, std::int64_t to)
        : provider_(provider)
        , start_(from)
        , end_(to)
    { }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!Cleared(object))
            return E_POINTER;
        const bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, uia::kIidTextRangeProvider)
            || IsEqualIID(iid, kIidTrafficViewTextRange);
        return Hand(known ? static_cast<ITextRangeProvider*>(this) : nullptr, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Acquire(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

    HRESULT STDMETHODCALLTYPE Clone(ITextRangeProvider** result) override
    {
        if (const HRESULT refused = Prepared(result))
            return refused;
        *result = new (std::nothrow) ViewTextRange(provider_.Get(), start_, end_);
        return *result ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE Compare(ITextRangeProvider* range, BOOL* result) override
    {
        if (!result)
            return E_POINTER;
        *result = FALSE;
        const ViewTextRange* other = nullptr;
        if (const HRESULT refused = Ours(range, &other))
            return refused;
        *result = other->start_ == start_ && other->end_ == end_ ? TRUE : FALSE;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CompareEndpoints(TextPatternRangeEndpoint endpoint, ITextRangeProvider* targetRange,
        TextPatternRangeEndpoint targetEndpoint, int* result) override
    {
        if (!result)
            return E_POINTER;
        *result = 0;
        if (!IsEndpoint(endpoint) || !IsEndpoint(targetEndpoint))
            return E_INVALIDARG;
        const ViewTextRange* other = nullptr;
        if (const HRESULT refused = Ours(targetRange, &other))
            return refused;
        const std::int64_t difference = Endpoint(endpoint) - other->Endpoint(targetEndpoint);
        *result = static_cast<int>(std::clamp<std::int64_t>(difference, INT_MIN, INT_MAX));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(uia::TextUnit unit) override
    {
        const TextStore* store = Store();
        if (!store)
            return uia::kElementNotAvailable;
        Clamp();
        const TextRange enclosing = enclosingUnit(*store, UnitOf(unit), start_);
        start_ = enclosing.from;
        end_ = enclosing.to;
        return S_OK;
    }

    // All the text has one format and is read-only: there is no other attribute value to find.
    HRESULT STDMETHODCALLTYPE FindAttribute(TEXTATTRIBUTEID, VARIANT, BOOL, ITextRangeProvider** result) override
    {
        return Prepared(result);
    }

    HRESULT STDMETHODCALLTYPE FindText(BSTR text, BOOL backward, BOOL ignoreCase, ITextRangeProvider** result) override
    {
        if (const HRESULT refused = Prepared(result))
            return refused;
        const TextStore* store = Store();
        if (!text)
            return E_INVALIDARG;
        Clamp();
        const std::wstring needle(text, SysStringLen(text));
        const auto length = static_cast<std::int64_t>(needle.size());
        if (length == 0 || length > end_ - start_)
            return S_OK;
        const auto fold = [ignoreCase](wchar_t c) {
            // CharLowerW takes one character in place of a pointer whose high word is zero.
            if (!ignoreCase)
                return c;
            const auto single
                = reinterpret_cast<std::uintptr_t>(CharLowerW(reinterpret_cast<LPWSTR>(std::uintptr_t{c})));
            return static_cast<wchar_t>(single);
        };
        const auto matchesAt = [&](std::int64_t at) {
            for (std::int64_t i = 0; i < length; ++i) {
                const auto c = static_cast<wchar_t>(static_cast<unsigned char>(store->at(at + i)));
                if (fold(c) != fold(needle[static_cast<std::size_t>(i)]))
                    return false;
            }
            return true;
        };
        const std::int64_t last = end_ - length;
        for (std::int64_t i = 0; i <= last - start_; ++i) {
            const std::int64_t at = backward ? last - i : start_ + i;
            if (matchesAt(at)) {
                *result = new (std::nothrow) ViewTextRange(provider_.Get(), at, at + length);
                return *result ? S_OK : E_OUTOFMEMORY;
            }
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID attributeId, VARIANT* result) override
    {
        if (!result)
            return E_POINTER;
        VariantInit(result);
        if (!Store())
            return uia::kElementNotAvailable;
        if (attributeId == uia::kIsReadOnlyAttribute) {
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_TRUE;
            return S_OK;
        }
        provider_->Library().NotSupportedValue(result);
        return S_OK;
    }

    // No rectangles: readers then place no highlight, and read on.
    HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** result) override
    {
        if (const HRESULT refused = Prepared(result))
            return refused;
        return EmptyArray(VT_R8, result);
    }

    HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** result) override
    {
        if (const HRESULT refused = Prepared(result))
            return refused;
        *result = static_cast<IRawElementProviderSimple*>(provider_.Get());
        (*result)->AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* result) override
    {
        if (const HRESULT refused = Prepared(result))
            return refused;
        const TextStore* store = Store();
        if (maxLength < -1)
            return E_INVALIDARG;
        Clamp();
        const std::int64_t to = maxLength == -1 ? end_ : std::min<std::int64_t>(end_, start_ + maxLength);
        *result = ToBstr(*store, start_, to);
        return *result ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE Move(uia::TextUnit unit, int count, int* result) override
    {
        if (!result)
            return E_POINTER;
        *result = 0;
        const TextStore* store = Store();
        if (!store)
            return uia::kElementNotAvailable;
        Clamp();
        const TextUnit ours = UnitOf(unit);
        const bool degenerate = start_ == end_;
        std::int64_t at = stepUnits(*store, ours, start_, count, result);
        // A range that held text holds one whole unit after the move, never the empty end.
        if (!degenerate && at == store->endOffset() && *result > 0) {
            int back = 0;
            at = stepUnits(*store, ours, at, -1, &back);
            *result += back;
        }
        start_ = at;
        end_ = degenerate ? at : enclosingUnit(*store, ours, at).to;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(
        TextPatternRangeEndpoint endpoint, uia::TextUnit unit, int count, int* result) override
    {
        if (!result)
            return E_POINTER;
        *result = 0;
        const TextStore* store = Store();
        if (!store)
            return uia::kElementNotAvailable;
        if (!IsEndpoint(endpoint))
            return E_INVALIDARG;
        Clamp();
        SetEndpoint(endpoint, stepUnits(*store, UnitOf(unit), Endpoint(endpoint), count, result));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE MoveEndpointByRange(TextPatternRangeEndpoint endpoint, ITextRangeProvider* targetRange,
        TextPatternRangeEndpoint targetEndpoint) override
    {
        if (!IsEndpoint(endpoint) || !IsEndpoint(targetEndpoint))
            return E_INVALIDARG;
        const ViewTextRange* other = nullptr;
        if (const HRESULT refused = Ours(targetRange, &other))
            return refused;
        SetEndpoint(endpoint, other->Endpoint(targetEndpoint));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Select() override
    {
        AccessibleTextSource* source = provider_->Source();
        if (!source)
            return uia::kElementNotAvailable;
        Clamp();
        source->Select(start_, end_);
        return S_OK;
    }
    // One selection only.
    HRESULT STDMETHODCALLTYPE AddToSelection() override
    {
        return Store() ? uia::kInvalidOperation : uia::kElementNotAvailable;
    }
    HRESULT STDMETHODCALLTYPE RemoveFromSelection() override
    {
        return Store() ? uia::kInvalidOperation : uia::kElementNotAvailable;
    }

    HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL alignToTop) override
    {
        AccessibleTextSource* source = provider_->Source();
        if (!source)
            return uia::kElementNotAvailable;
        Clamp();
        source->Reveal({start_, end_}, !alignToTop);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** result) override
    {
        if (const HRESULT refused = Prepared(result))
            return refused;
        return EmptyArray(VT_UNKNOWN, result);
    }

private:
    ~ViewTextRange() = default;

    // S_OK with *result cleared, or why the call goes no further (0 is S_OK).
    template<typename Out> HRESULT Prepared(Out** result) const
    {
        if (!Cleared(result))
            return E_POINTER;
        return Store() ? S_OK : uia::kElementNotAvailable;
    }

    static HRESULT EmptyArray(VARTYPE type, SAFEARRAY** result)
    {
        *result = SafeArrayCreateVector(type, 0, 0);
        return *result ? S_OK : E_OUTOFMEMORY;
    }

    const TextStore* Store() const
    {
        const AccessibleTextSource* source = provider_->Source();
        return source ? &source->Store() : nullptr;
    }

    // Ends within what is held, in order. Called before every use: the view drops old lines.
    void Clamp() const
    {
        if (const TextStore* store = Store()) {
            start_ = std::clamp(start_, store->beginOffset(), store->endOffset());
            end_ = std::clamp(end_, start_, store->endOffset());
        }
    }

    std::int64_t Endpoint(TextPatternRangeEndpoint endpoint) const
    {
        return endpoint == uia::TextPatternRangeEndpoint_Start ? start_ : end_;
    }

    // Moving one end past the other takes the other along.
    void SetEndpoint(TextPatternRangeEndpoint endpoint, std::int64_t at)
    {
        if (endpoint == uia::TextPatternRangeEndpoint_Start) {
            start_ = at;
            end_ = std::max(end_, at);
        } else {
            end_ = at;
            start_ = std::min(start_, at);
        }
        Clamp();
    }

    // A range of this same view, both clamped to what is held, or why not.
    HRESULT Ours(ITextRangeProvider* range, const ViewTextRange** other) const
    {
        if (!Store())
            return uia::kElementNotAvailable;
        if (!range)
            return E_INVALIDARG;
        ComPtr<IUnknown> ours;
        if (FAILED(range->QueryInterface(kIidTrafficViewTextRange, reinterpret_cast<void**>(ours.GetAddressOf()))))
            return E_INVALIDARG;
        const auto* candidate = static_cast<const ViewTextRange*>(static_cast<ITextRangeProvider*>(ours.Get()));
        if (candidate->provider_.Get() != provider_.Get())
            return E_INVALIDARG;
        *other = candidate;
        Clamp();
        candidate->Clamp();
        return S_OK;
    }

    ComPtr<TrafficViewUiaProvider> provider_;
    mutable std::int64_t start_;
    mutable std::int64_t end_;
};

} // namespace

uia::ITextRangeProvider* CreateTrafficViewTextRange(
    TrafficViewUiaProvider* provider, std::int64_t from, std::int64_t to)
{
    return new (std::nothrow) ViewTextRange(provider, from, to);
}
