// The traffic view's keys, translated into the model's terms.
#include <QKeyEvent>

#include "platform/qt/traffic_view.h"
#include "platform/qt/view_key_event.h"

bool TrafficView::event(QEvent* event)
{
    // Keys the view acts on win over the window's shortcuts, as in an edit control.
    if (event->type() == QEvent::ShortcutOverride) {
        const ViewKeyPress press = viewKeyOf(static_cast<QKeyEvent*>(event));
        if (keyAction(press.key, press.modifiers, model_.findOpen()).kind != KeyAction::Kind::NotMine) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TrafficView::keyPressEvent(QKeyEvent* event)
{
    const ViewKeyPress press = viewKeyOf(event);
    const std::optional<ViewCommand> command = model_.pressKey(press.key, press.modifiers);
    if (!command) {
        // Escape and the rest belong to the dialog.
        event->ignore();
        return;
    }
    carryOut(*command, *this);
    sync();
    event->accept();
}
