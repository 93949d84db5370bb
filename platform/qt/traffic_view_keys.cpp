// The traffic view's keys, translated into the model's terms.
#include <QKeyEvent>
#include <array>

#include "platform/qt/find_bar.h"
#include "platform/qt/traffic_view.h"

TrafficView::Key TrafficView::translate(const QKeyEvent* event)
{
    struct Pair {
        int qt;
        ViewKey key;
    };
    static constexpr std::array kKeys{Pair{Qt::Key_Left, ViewKey::Left}, Pair{Qt::Key_Right, ViewKey::Right},
        Pair{Qt::Key_Up, ViewKey::Up}, Pair{Qt::Key_Down, ViewKey::Down}, Pair{Qt::Key_PageUp, ViewKey::PageUp},
        Pair{Qt::Key_PageDown, ViewKey::PageDown}, Pair{Qt::Key_Home, ViewKey::Home}, Pair{Qt::Key_End, ViewKey::End},
        Pair{Qt::Key_Insert, ViewKey::Insert}, Pair{Qt::Key_A, ViewKey::A}, Pair{Qt::Key_C, ViewKey::C},
        Pair{Qt::Key_F, ViewKey::F}, Pair{Qt::Key_G, ViewKey::G}, Pair{Qt::Key_H, ViewKey::H},
        Pair{Qt::Key_F3, ViewKey::F3}, Pair{Qt::Key_F10, ViewKey::F10}, Pair{Qt::Key_Return, ViewKey::Enter},
        Pair{Qt::Key_Enter, ViewKey::Enter}, Pair{Qt::Key_Escape, ViewKey::Escape}};
    Key key{ViewKey::Other, kNoModifier};
    for (const Pair& pair : kKeys)
        if (pair.qt == event->key())
            key.key = pair.key;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers & Qt::ShiftModifier)
        key.modifiers |= kShiftModifier;
    if (modifiers & Qt::ControlModifier)
        key.modifiers |= kControlModifier;
    if (modifiers & (Qt::AltModifier | Qt::MetaModifier))
        key.modifiers |= kAltModifier;
    return key;
}

bool TrafficView::event(QEvent* event)
{
    // Keys the view acts on win over the window's shortcuts, as in an edit control.
    if (event->type() == QEvent::ShortcutOverride) {
        const Key key = translate(static_cast<QKeyEvent*>(event));
        if (keyAction(key.key, key.modifiers, model_.findOpen()).kind != KeyAction::Kind::NotMine) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TrafficView::keyPressEvent(QKeyEvent* event)
{
    const Key key = translate(event);
    const std::optional<ViewCommand> command = model_.pressKey(key.key, key.modifiers);
    if (!command) {
        // Escape and the rest belong to the dialog.
        event->ignore();
        return;
    }
    carryOut(*command, *this);
    sync();
    event->accept();
}
