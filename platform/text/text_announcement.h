// How much of a flush a traffic view announces to assistive tools, the same on every platform: bulk
// traffic would otherwise put tens of megabytes a tick on the accessibility bus or into a reader's
// queue, which no reader can speak. Tools read the rest, and the whole view, through the view's
// text interface.
#ifndef BRINDLE_PLATFORM_TEXT_TEXT_ANNOUNCEMENT_H
#define BRINDLE_PLATFORM_TEXT_TEXT_ANNOUNCEMENT_H

#include <algorithm>
#include <cstdint>

// The most text one announcement carries.
inline constexpr std::int64_t kMaxAnnouncedChars = 4096;

// Where the announcement of a flush starts, for text held in [begin, end) of which
// [begin, announcedEnd) was announced before: the newest text only, never what was dropped.
constexpr std::int64_t announcedFrom(std::int64_t announcedEnd, std::int64_t begin, std::int64_t end)
{
    return std::max({announcedEnd, begin, end - kMaxAnnouncedChars});
}

#endif
