// What assistive tools need of a traffic view, and all they may reach of it: its text, caret,
// selection and visible lines, and the two changes a reader may ask for (a selection, a scroll).
// Offsets are the text store's, from the oldest byte still held.
#ifndef BRINDLE_PLATFORM_WIN32_ACCESSIBLE_TEXT_SOURCE_H
#define BRINDLE_PLATFORM_WIN32_ACCESSIBLE_TEXT_SOURCE_H

#include <cstdint>

#include "platform/text/text_motion.h"
#include "platform/text/text_store.h"
#include "platform/win32/windows_api.h"

class AccessibleTextSource {
public:
    virtual const TextStore& Store() const = 0;
    virtual HWND Window() const = 0;
    virtual std::int64_t Caret() const = 0;
    // from <= to; empty when nothing is selected.
    virtual TextRange Selection() const = 0;
    // From the start of the first line in sight to the end of the last.
    virtual TextRange VisibleText() const = 0;
    // The offset under a point on the screen, or -1 when the point is outside the view.
    virtual std::int64_t OffsetAtScreenPoint(POINT point) const = 0;
    // Both within what is held; the selection is scrolled into view.
    virtual void Select(std::int64_t anchor, std::int64_t caret) = 0;
    // Where the range is wider than the view, its start shows unless `endWins`.
    virtual void Reveal(TextRange range, bool endWins) = 0;

protected:
    ~AccessibleTextSource() = default;
};

#endif
