// The keys a traffic view answers, in neutral terms: each host translates its own key events into a key
// code and modifiers, and one table says what they do on every platform.
#ifndef BRINDLE_PLATFORM_TEXT_VIEW_KEYS_H
#define BRINDLE_PLATFORM_TEXT_VIEW_KEYS_H

#include "platform/text/text_motion.h"

enum class ViewKey {
    Left,
    Right,
    Up,
    Down,
    PageUp,
    PageDown,
    Home,
    End,
    Insert,
    A,
    C,
    F,
    G,
    F3,
    F10,
    Enter,
    Escape,
    Other
};

enum ViewModifier : unsigned { kNoModifier = 0, kShiftModifier = 1, kControlModifier = 2, kAltModifier = 4 };

// What the view's commands and keys ask for. The model carries out what needs no system; the host
// carries out the rest: the clipboard and the find bar.
enum class ViewCommand {
    None, // done, or nothing to do
    Copy,
    SelectAll,
    Find, // open the find bar, the focus in its field
    FindNext,
    FindPrevious,
    CloseFind,
    ContextMenu, // at the caret
};

struct KeyAction {
    enum class Kind {
        NotMine, // the dialog's: Tab, Escape with the find bar closed, characters
        Motion,
        Command,
        Swallow, // Enter, kept from the dialog's default button
    };
    Kind kind = Kind::NotMine;
    Move move = Move::NextChar;
    bool select = false;
    ViewCommand command = ViewCommand::None;
};

KeyAction keyAction(ViewKey key, unsigned modifiers, bool findOpen);

// What the find bar does with a key, by the same table: Enter finds the next match (Shift+Enter the
// previous), F3 and Ctrl+G as in the view, Ctrl+F takes the focus back to the field with its text
// selected, and Escape closes the bar. Ctrl+A selects the field's text; the rest is the field's own.
enum class FindBarKey { NotMine, FocusField, SelectField, FindNext, FindPrevious, Close };
FindBarKey findBarKey(ViewKey key, unsigned modifiers);

#endif
