// Qt's key events in the traffic view model's neutral terms, for the view and its find bar alike.
#ifndef BRINDLE_PLATFORM_QT_VIEW_KEY_EVENT_H
#define BRINDLE_PLATFORM_QT_VIEW_KEY_EVENT_H

#include "platform/text/view_keys.h"

class QKeyEvent;

struct ViewKeyPress {
    ViewKey key = ViewKey::Other;
    unsigned modifiers = kNoModifier;
};

ViewKeyPress viewKeyOf(const QKeyEvent* event);

#endif
