// Windows key messages in the traffic view model's neutral terms, for the view and its find bar alike.
#ifndef BRINDLE_PLATFORM_WIN32_VIEW_KEY_INPUT_H
#define BRINDLE_PLATFORM_WIN32_VIEW_KEY_INPUT_H

#include "platform/text/view_keys.h"
#include "platform/win32/windows_api.h"

ViewKey ViewKeyOf(WPARAM virtualKey);
// Shift, Ctrl and Alt as they are held while the message is handled.
unsigned ViewModifiersHeld();

#endif
