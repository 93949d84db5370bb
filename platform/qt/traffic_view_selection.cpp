// The traffic view's commands: the clipboard, the context menu.
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>

#include "platform/qt/traffic_view.h"

void TrafficView::copySelection()
{
    if (model_.hasSelection())
        QGuiApplication::clipboard()->setText(QString::fromLatin1(model_.selectedText(LineEnds::Lf)));
}

void TrafficView::contextMenuEvent(QContextMenuEvent* event)
{
    showMenu(event->globalPos());
    event->accept();
}

void TrafficView::openContextMenu()
{
    const QPoint below = caretRect(model_.caret()).bottomLeft();
    showMenu(viewport()->mapToGlobal(viewport()->rect().contains(below) ? below : QPoint(0, 0)));
}

void TrafficView::showMenu(QPoint globalPos)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const MenuEntry& entry : TrafficViewModel::kContextMenu) {
        if (entry.separatorBefore)
            menu->addSeparator();
        QAction* action = menu->addAction(tr(entry.label));
        action->setShortcut(QKeySequence::fromString(QString::fromLatin1(entry.shortcut)));
        action->setEnabled(model_.enabled(entry.command));
        action->setCheckable(entry.checkable);
        action->setChecked(model_.checked(entry.command));
        connect(action, &QAction::triggered, this, [this, command = entry.command] {
            carryOut(model_.run(command), *this);
            sync();
        });
    }
    menu->popup(globalPos);
}
