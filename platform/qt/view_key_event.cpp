#include "platform/qt/view_key_event.h"

#include <QKeyEvent>
#include <array>

ViewKeyPress viewKeyOf(const QKeyEvent* event)
{
    struct Pair {
        int qt;
        ViewKey key;
    };
    static constexpr std::array kKeys{Pair{Qt::Key_Left, ViewKey::Left}, Pair{Qt::Key_Right, ViewKey::Right},
        Pair{Qt::Key_Up, ViewKey::Up}, Pair{Qt::Key_Down, ViewKey::Down}, Pair{Qt::Key_PageUp, ViewKey::PageUp},
        Pair{Qt::Key_PageDown, ViewKey::PageDown}, Pair{Qt::Key_Home, ViewKey::Home}, Pair{Qt::Key_End, ViewKey::End},
        Pair{Qt::Key_Insert, ViewKey::Insert}, Pair{Qt::Key_A, ViewKey::A}, Pair{Qt::Key_C, ViewKey::C},
        Pair{Qt::Key_F, ViewKey::F}, Pair{Qt::Key_G, ViewKey::G}, Pair{Qt::Key_F3, ViewKey::F3},
        Pair{Qt::Key_F10, ViewKey::F10}, Pair{Qt::Key_Return, ViewKey::Enter}, Pair{Qt::Key_Enter, ViewKey::Enter},
        Pair{Qt::Key_Escape, ViewKey::Escape}};
    ViewKeyPress press;
    for (const Pair& pair : kKeys)
        if (pair.qt == event->key())
            press.key = pair.key;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers & Qt::ShiftModifier)
        press.modifiers |= kShiftModifier;
    if (modifiers & Qt::ControlModifier)
        press.modifiers |= kControlModifier;
    if (modifiers & (Qt::AltModifier | Qt::MetaModifier))
        press.modifiers |= kAltModifier;
    return press;
}
