// Keyboard motion and the keys the traffic view takes from the window.
#include <QKeyEvent>
#include <QScrollBar>
#include <algorithm>
#include <array>

#include "platform/qt/find_bar.h"
#include "platform/qt/traffic_view.h"

bool TrafficView::navigation(const QKeyEvent* event, Move& move, bool& select)
{
    struct Binding {
        QKeySequence::StandardKey key;
        Move move;
        bool select;
    };
    static constexpr std::array kBindings{
        Binding{QKeySequence::MoveToPreviousChar, Move::PreviousChar, false},
        Binding{QKeySequence::MoveToNextChar, Move::NextChar, false},
        Binding{QKeySequence::MoveToPreviousWord, Move::PreviousWord, false},
        Binding{QKeySequence::MoveToNextWord, Move::NextWord, false},
        Binding{QKeySequence::MoveToPreviousLine, Move::PreviousLine, false},
        Binding{QKeySequence::MoveToNextLine, Move::NextLine, false},
        Binding{QKeySequence::MoveToPreviousPage, Move::PreviousPage, false},
        Binding{QKeySequence::MoveToNextPage, Move::NextPage, false},
        Binding{QKeySequence::MoveToStartOfLine, Move::StartOfLine, false},
        Binding{QKeySequence::MoveToEndOfLine, Move::EndOfLine, false},
        Binding{QKeySequence::MoveToStartOfDocument, Move::StartOfText, false},
        Binding{QKeySequence::MoveToEndOfDocument, Move::EndOfText, false},
        Binding{QKeySequence::SelectPreviousChar, Move::PreviousChar, true},
        Binding{QKeySequence::SelectNextChar, Move::NextChar, true},
        Binding{QKeySequence::SelectPreviousWord, Move::PreviousWord, true},
        Binding{QKeySequence::SelectNextWord, Move::NextWord, true},
        Binding{QKeySequence::SelectPreviousLine, Move::PreviousLine, true},
        Binding{QKeySequence::SelectNextLine, Move::NextLine, true},
        Binding{QKeySequence::SelectPreviousPage, Move::PreviousPage, true},
        Binding{QKeySequence::SelectNextPage, Move::NextPage, true},
        Binding{QKeySequence::SelectStartOfLine, Move::StartOfLine, true},
        Binding{QKeySequence::SelectEndOfLine, Move::EndOfLine, true},
        Binding{QKeySequence::SelectStartOfDocument, Move::StartOfText, true},
        Binding{QKeySequence::SelectEndOfDocument, Move::EndOfText, true},
    };
    for (const Binding& binding : kBindings) {
        if (event->matches(binding.key)) {
            move = binding.move;
            select = binding.select;
            return true;
        }
    }
    return false;
}

bool TrafficView::event(QEvent* event)
{
    // Keys the view acts on win over the window's shortcuts, as in an edit control.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        Move move;
        bool select = false;
        if (navigation(key, move, select) || key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)
            || key->matches(QKeySequence::Find) || key->matches(QKeySequence::FindNext)
            || key->matches(QKeySequence::FindPrevious) || key->key() == Qt::Key_Return
            || key->key() == Qt::Key_Enter) {
            key->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TrafficView::keyPressEvent(QKeyEvent* event)
{
    Move move;
    bool select = false;
    if (navigation(event, move, select))
        moveCursor(move, select);
    else if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (event->matches(QKeySequence::Find))
        openFind();
    else if (event->key() == Qt::Key_Escape && findBar_ && !findBar_->isHidden())
        closeFind(); // an open find bar goes first; the next Escape is the dialog's again
    else if (event->matches(QKeySequence::FindNext) || event->matches(QKeySequence::FindPrevious))
        findAgain(event->matches(QKeySequence::FindNext) ? SearchDirection::Forward : SearchDirection::Backward);
    else if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        // Escape and the rest belong to the dialog. Return stays here, away from its default button.
        event->ignore();
        return;
    }
    event->accept();
}

// From the view, F3 repeats the last find, the bar shown for its status; with nothing to find it opens
// the bar.
void TrafficView::findAgain(SearchDirection direction)
{
    if (!findBar_ || findBar_->text().isEmpty()) {
        openFind();
        return;
    }
    showFindBar();
    find(direction);
}

void TrafficView::moveCursor(Move move, bool select)
{
    if (!isVerticalMove(move))
        goalColumn_ = -1;
    else if (goalColumn_ < 0)
        goalColumn_ = lineColumnAt(store_, cursor_).column;

    std::int64_t to = moved(store_, cursor_, move, goalColumn_, visibleLines());
    // Without Shift, Left and Right first collapse a selection to its near edge, as edits do.
    if (!select && hasSelection() && move == Move::PreviousChar)
        to = selectionStart();
    else if (!select && hasSelection() && move == Move::NextChar)
        to = selectionEnd();

    if (move == Move::PreviousPage || move == Move::NextPage) {
        const int page = std::max(1, visibleLines());
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() + (move == Move::NextPage ? page : -page));
    }
    setSelection(select ? anchor_ : to, to);
    ensureVisible(to);
}
