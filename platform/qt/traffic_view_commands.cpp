// What the traffic view's commands need of the system: the clipboard and the context menu.
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
    const auto [row, column] = model_.menuCell();
    showMenu(viewport()->mapToGlobal(cellOrigin(row, column)));
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
        connect(action, &QAction::triggered, this, [this, command = entry.command] {
            carryOut(model_.run(command), *this);
            sync();
        });
    }
    menu->popup(globalPos);
}
