// The parts of UI Automation's provider API that the compiler's headers lack: the Text pattern's
// interfaces and the identifiers a text provider answers with, as Windows documents them. Kept in
// a namespace of their own so that a newer header declaring the same names cannot clash.
#ifndef BRINDLE_PLATFORM_WIN32_UIA_TEXT_INTERFACES_H
#define BRINDLE_PLATFORM_WIN32_UIA_TEXT_INTERFACES_H

#include "platform/win32/windows_api.h"

#include <ole2.h>
#include <uiautomationcore.h>

namespace uia {

// IIDs of the documented interfaces.
inline constexpr GUID kIidTextProvider{0x3589c92c, 0x63f3, 0x4367, {0x99, 0xbb, 0xad, 0xa6, 0x53, 0xb7, 0x7c, 0xf2}};
inline constexpr GUID kIidTextProvider2{0x0dc5e6ed, 0x3e16, 0x4bf1, {0x8f, 0x9a, 0xa9, 0x79, 0x87, 0x8b, 0xc1, 0x95}};
inline constexpr GUID kIidTextRangeProvider{
    0x5347ad7b, 0xc355, 0x46f8, {0xaf, 0xf5, 0x90, 0x90, 0x33, 0x58, 0x2f, 0x63}};
inline constexpr GUID kIidRawElementProviderSimple{
    0xd6dd68d1, 0x86fd, 0x4332, {0x86, 0x66, 0x9a, 0xbe, 0xde, 0xa2, 0xd2, 0x4c}};

enum TextUnit {
    TextUnit_Character,
    TextUnit_Format,
    TextUnit_Word,
    TextUnit_Line,
    TextUnit_Paragraph,
    TextUnit_Page,
    TextUnit_Document
};
enum TextPatternRangeEndpoint { TextPatternRangeEndpoint_Start, TextPatternRangeEndpoint_End };
enum SupportedTextSelection {
    SupportedTextSelection_None,
    SupportedTextSelection_Single,
    SupportedTextSelection_Multiple
};

struct UiaPoint {
    double x;
    double y;
};

// The object id UI Automation asks a window for with WM_GETOBJECT. (The compiler's own header
// that defines it does not compile as C++.)
inline constexpr LONG kRootObjectId = -25;

// Patterns, properties, control types, events and text attributes.
inline constexpr PATTERNID kTextPattern = 10014;
inline constexpr PATTERNID kTextPattern2 = 10024;
inline constexpr PROPERTYID kControlTypeProperty = 30003;
inline constexpr PROPERTYID kNameProperty = 30005;
inline constexpr PROPERTYID kHasKeyboardFocusProperty = 30008;
inline constexpr PROPERTYID kIsKeyboardFocusableProperty = 30009;
inline constexpr PROPERTYID kIsTextPatternAvailableProperty = 30040;
inline constexpr PROPERTYID kLiveSettingProperty = 30135;
inline constexpr CONTROLTYPEID kDocumentControlType = 50030;
inline constexpr EVENTID kTextSelectionChangedEvent = 20014;
inline constexpr EVENTID kTextChangedEvent = 20015;
inline constexpr EVENTID kLiveRegionChangedEvent = 20024;
inline constexpr TEXTATTRIBUTEID kIsReadOnlyAttribute = 40015;
inline constexpr int kLivePolite = 1;
// What a read-only or one-selection object answers to being asked to change more.
inline constexpr HRESULT kInvalidOperation = static_cast<HRESULT>(0x80131509);
inline constexpr HRESULT kElementNotAvailable = static_cast<HRESULT>(0x80040201);

struct ITextRangeProvider : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Clone(ITextRangeProvider** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Compare(ITextRangeProvider* range, BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareEndpoints(TextPatternRangeEndpoint endpoint,
        ITextRangeProvider* targetRange, TextPatternRangeEndpoint targetEndpoint, int* result)
        = 0;
    virtual HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(TextUnit unit) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAttribute(
        TEXTATTRIBUTEID attributeId, VARIANT value, BOOL backward, ITextRangeProvider** result)
        = 0;
    virtual HRESULT STDMETHODCALLTYPE FindText(BSTR text, BOOL backward, BOOL ignoreCase, ITextRangeProvider** result)
        = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID attributeId, VARIANT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Move(TextUnit unit, int count, int* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(
        TextPatternRangeEndpoint endpoint, TextUnit unit, int count, int* result)
        = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveEndpointByRange(
        TextPatternRangeEndpoint endpoint, ITextRangeProvider* targetRange, TextPatternRangeEndpoint targetEndpoint)
        = 0;
    virtual HRESULT STDMETHODCALLTYPE Select() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddToSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFromSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL alignToTop) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** result) = 0;
};

struct ITextProvider : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple* child, ITextRangeProvider** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE RangeFromPoint(UiaPoint point, ITextRangeProvider** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DocumentRange(ITextRangeProvider** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(SupportedTextSelection* result) = 0;
};

struct ITextProvider2 : ITextProvider {
    virtual HRESULT STDMETHODCALLTYPE RangeFromAnnotation(
        IRawElementProviderSimple* annotation, ITextRangeProvider** result)
        = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCaretRange(BOOL* isActive, ITextRangeProvider** result) = 0;
};

} // namespace uia

#endif
