#include "platform/win32/traffic_view_accessibility.h"

#include <oleacc.h>

#include "platform/text/text_announcement.h"
#include "platform/win32/control_accessibility.h"
#include "platform/win32/traffic_view_uia_provider.h"

TrafficViewAccessibility::TrafficViewAccessibility(AccessibleTextSource& source)
    : source_(source)
    , library_(UiaLibrary::Load())
{ }

TrafficViewAccessibility::~TrafficViewAccessibility()
{
    WindowDestroyed();
}

void TrafficViewAccessibility::SetName(const std::string& name)
{
    name_.assign(name.begin(), name.end());
    for (std::size_t i = 0; i < name.size(); ++i)
        name_[i] = static_cast<unsigned char>(name[i]);
}

bool TrafficViewAccessibility::OnGetObject(WPARAM wParam, LPARAM lParam, LRESULT* answer)
{
    const auto objectId = static_cast<LONG>(lParam);
    const HWND window = source_.Window();
    if (objectId == uia::kRootObjectId && library_ && window) {
        if (!provider_)
            provider_ = TrafficViewUiaProvider::Create(source_, name_, library_);
        if (!provider_)
            return false;
        *answer = library_->ReturnRawElementProvider(window, wParam, lParam, provider_);
        return true;
    }
    if (objectId == OBJID_CLIENT && window) {
        *answer = AnswerClientObject(window, wParam, {name_, ROLE_SYSTEM_TEXT, STATE_SYSTEM_READONLY});
        return *answer != 0;
    }
    return false;
}

void TrafficViewAccessibility::RaiseEvent(int eventId)
{
    if (provider_ && library_->ClientsAreListening())
        library_->RaiseAutomationEvent(provider_, eventId);
}

void TrafficViewAccessibility::TextFlushed()
{
    const TextStore& store = source_.Store();
    const std::int64_t from = announcedFrom(announcedEnd_, store.beginOffset(), store.endOffset());
    const std::int64_t end = store.endOffset();
    announcedEnd_ = end;
    if (from >= end || !source_.Window())
        return;
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, source_.Window(), OBJID_CLIENT, CHILDID_SELF);
    if (!provider_)
        return;
    RaiseEvent(uia::kTextChangedEvent);
    // Readers speak what arrives in the view they are in, as they do for a terminal.
    if (GetFocus() == source_.Window() && library_->ClientsAreListening()) {
        std::wstring text(static_cast<std::size_t>(end - from), L'\0');
        for (std::int64_t at = from; at < end; ++at)
            text[static_cast<std::size_t>(at - from)] = static_cast<unsigned char>(store.at(at));
        library_->RaiseNotification(provider_, text.c_str());
    }
}

void TrafficViewAccessibility::TextReplaced()
{
    announcedEnd_ = source_.Store().endOffset();
    if (source_.Window())
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, source_.Window(), OBJID_CLIENT, CHILDID_SELF);
    RaiseEvent(uia::kTextChangedEvent);
}

void TrafficViewAccessibility::SelectionChanged()
{
    if (source_.Window())
        NotifyWinEvent(EVENT_OBJECT_TEXTSELECTIONCHANGED, source_.Window(), OBJID_CLIENT, CHILDID_SELF);
    RaiseEvent(uia::kTextSelectionChangedEvent);
}

void TrafficViewAccessibility::WindowDestroyed()
{
    if (!provider_)
        return;
    // Lets UI Automation drop what it holds for the window.
    if (source_.Window())
        library_->ReturnRawElementProvider(source_.Window(), 0, 0, nullptr);
    provider_->Disconnect();
    provider_->Release();
    provider_ = nullptr;
}
