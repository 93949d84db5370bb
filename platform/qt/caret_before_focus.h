// A line edit whose text was never set places its caret, and reports it, only as it takes the
// focus, before it reports the focus itself; a screen reader takes that first report for the
// arrival and never names the field. Placed at once, the caret stays where it is when the focus
// comes, and the focus is the first thing the field reports.
#ifndef BRINDLE_PLATFORM_QT_CARET_BEFORE_FOCUS_H
#define BRINDLE_PLATFORM_QT_CARET_BEFORE_FOCUS_H

#include <QLineEdit>

inline void PlaceCaretBeforeFocus(QLineEdit& field)
{
    field.setCursorPosition(field.cursorPosition());
}

#endif
