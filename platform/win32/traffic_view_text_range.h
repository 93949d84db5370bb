// A range of a traffic view's text as UI Automation's Text pattern hands it out. Its ends are text
// store offsets, kept within what the view still holds each time they are used: old lines may go
// while a reader holds the range.
#ifndef BRINDLE_PLATFORM_WIN32_TRAFFIC_VIEW_TEXT_RANGE_H
#define BRINDLE_PLATFORM_WIN32_TRAFFIC_VIEW_TEXT_RANGE_H

#include <cstdint>

#include "platform/win32/uia_text_interfaces.h"

class TrafficViewUiaProvider;

// A new range over [from, to) of the provider's view, held once by the caller.
uia::ITextRangeProvider* CreateTrafficViewTextRange(
    TrafficViewUiaProvider* provider, std::int64_t from, std::int64_t to);

#endif
