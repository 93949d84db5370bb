// What a traffic view tells assistive tools, and when: it answers WM_GETOBJECT with a UI Automation
// provider (UiaRootObjectId) or, for readers that use MSAA alone, the system's object named and
// roled as read-only text (OBJID_CLIENT); after each flush it raises the text-changed event, and
// while the view has the focus it hands readers the newest text of the flush (at most
// kMaxAnnouncedChars, as on every platform); a moved caret or selection raises the selection
// event. The view owns one and tells it of its changes; nothing here reaches the view but through
// AccessibleTextSource.
#ifndef BRINDLE_PLATFORM_WIN32_TRAFFIC_VIEW_ACCESSIBILITY_H
#define BRINDLE_PLATFORM_WIN32_TRAFFIC_VIEW_ACCESSIBILITY_H

#include <cstdint>
#include <memory>
#include <string>

#include "platform/win32/accessible_text_source.h"
#include "platform/win32/uia_library.h"

class TrafficViewUiaProvider;

class TrafficViewAccessibility {
public:
    explicit TrafficViewAccessibility(AccessibleTextSource& source);
    // Cuts off every provider still held by a client.
    ~TrafficViewAccessibility();
    TrafficViewAccessibility(const TrafficViewAccessibility&) = delete;
    TrafficViewAccessibility& operator=(const TrafficViewAccessibility&) = delete;

    // The label's text, single-byte as in the dialog template.
    void SetName(const std::string& name);

    // WM_GETOBJECT: true with *answer set when the view answers the request itself.
    bool OnGetObject(WPARAM wParam, LPARAM lParam, LRESULT* answer);
    // After the view's flush. Text that replaced everything is not announced, only changed.
    void TextFlushed();
    void TextReplaced();
    // Between the text and the hex dump: the text is replaced, and a reader hears which one it is now.
    void ModeChanged(const wchar_t* mode);
    void SelectionChanged();
    // The window is going: clients holding the provider are told it is no longer there.
    void WindowDestroyed();

private:
    void RaiseEvent(int eventId);

    AccessibleTextSource& source_;
    std::shared_ptr<const UiaLibrary> library_;
    std::wstring name_;
    TrafficViewUiaProvider* provider_ = nullptr; // one reference of ours, made on first request
    std::int64_t announcedEnd_ = 0;
};

#endif
