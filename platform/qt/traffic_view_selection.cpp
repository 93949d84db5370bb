// Selection and clipboard of the traffic view.
#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <algorithm>
#include <string>

#include "platform/qt/traffic_view.h"

void TrafficView::setSelection(std::int64_t anchor, std::int64_t cursor)
{
    const bool selectionChanged = std::minmax(anchor, cursor) != std::minmax(anchor_, cursor_);
    const bool cursorMoved = cursor != cursor_;
    anchor_ = anchor;
    cursor_ = cursor;
    if (!selectionChanged && !cursorMoved)
        return;
    viewport()->update();
    if (!QAccessible::isActive())
        return;
    const auto relative = [this](std::int64_t offset) { return static_cast<int>(offset - store_.beginOffset()); };
    if (cursorMoved) {
        QAccessibleTextCursorEvent moved(this, relative(cursor_));
        QAccessible::updateAccessibility(&moved);
    }
    if (selectionChanged) {
        QAccessibleTextSelectionEvent selected(this, relative(selectionStart()), relative(selectionEnd()));
        QAccessible::updateAccessibility(&selected);
    }
}

void TrafficView::selectAll()
{
    setSelection(store_.beginOffset(), store_.endOffset());
}

void TrafficView::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(plainText(selectionStart(), selectionEnd()));
}

QString TrafficView::plainText(std::int64_t from, std::int64_t to) const
{
    std::string bytes = store_.text(from, to);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        bytes[kept++] = bytes[i];
    }
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(kept));
}

void TrafficView::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copyAction = menu->addAction(tr("&Copy"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    connect(copyAction, &QAction::triggered, this, [this] { copy(); });
    QAction* selectAllAction = menu->addAction(tr("Select &All"));
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setEnabled(store_.size() > 0);
    connect(selectAllAction, &QAction::triggered, this, [this] { selectAll(); });
    menu->popup(event->globalPos());
    event->accept();
}
