// The view model's answers to keys, clicks, commands and find.
#include "platform/text/traffic_view_model.h"

void TrafficViewModel::move(Move move, bool extend)
{
    if (!isVerticalMove(move))
        goalColumn_ = -1;
    else if (goalColumn_ < 0)
        goalColumn_ = lineColumnAt(store_, caret_).column;

    const std::int64_t page = std::max<std::int64_t>(1, pageLines_);
    std::int64_t to = moved(store_, caret_, move, goalColumn_, page);
    // Without Shift, Left and Right first collapse a selection to its near edge, as edits do.
    if (!extend && hasSelection() && move == Move::PreviousChar)
        to = selection().from;
    else if (!extend && hasSelection() && move == Move::NextChar)
        to = selection().to;

    if (move == Move::PreviousPage || move == Move::NextPage)
        scrollTo(topLine_ + (move == Move::NextPage ? page : -page), leftColumn_);
    select(extend ? anchor_ : to, to);
    ensureVisible(to);
}

Click ClickCounter::press(std::uint32_t time, bool doubleClick, std::uint32_t interval)
{
    if (doubleClick) {
        doubleClickAt_ = time;
        return {2, false};
    }
    // Unsigned, the difference is right across the clock's wrap.
    const bool third = doubleClickAt_ && static_cast<std::uint32_t>(time - *doubleClickAt_) <= interval;
    doubleClickAt_.reset();
    return third ? Click{3, false} : Click{1, true};
}

void TrafficViewModel::click(std::int64_t row, std::int64_t column, int clicks, bool extend)
{
    const std::int64_t at = offsetAtCell(row, column);
    goalColumn_ = -1;
    if (clicks == 2) {
        const TextRange word = wordAt(store_, at);
        select(word.from, word.to);
    } else if (clicks >= 3) {
        const TextRange line = lineSegment(store_, at);
        select(line.from, line.to);
    } else {
        select(extend ? anchor_ : at, at);
    }
}

void TrafficViewModel::dragTo(std::int64_t row, std::int64_t column)
{
    const std::int64_t at = offsetAtCell(row, column);
    select(anchor_, at);
    ensureVisible(at);
}

void TrafficViewModel::dragScroll(std::int64_t row, std::int64_t column)
{
    if (row < 0)
        scrollTo(topLine_ - 1, leftColumn_);
    else if (row >= pageLines_)
        scrollTo(topLine_ + 1, leftColumn_);
    dragTo(row, column);
}

std::optional<ViewCommand> TrafficViewModel::pressKey(ViewKey key, unsigned modifiers)
{
    const KeyAction action = keyAction(key, modifiers, findOpen_);
    switch (action.kind) {
    case KeyAction::Kind::NotMine:
        return std::nullopt;
    case KeyAction::Kind::Motion:
        move(action.move, action.select);
        return ViewCommand::None;
    case KeyAction::Kind::Command:
        return run(action.command);
    case KeyAction::Kind::Swallow:
        break;
    }
    return ViewCommand::None;
}

bool TrafficViewModel::enabled(ViewCommand command) const
{
    switch (command) {
    case ViewCommand::Copy:
        return hasSelection();
    case ViewCommand::SelectAll:
        return store_.size() > 0;
    default:
        return true;
    }
}

ViewCommand TrafficViewModel::run(ViewCommand command)
{
    if (!enabled(command))
        return ViewCommand::None;
    switch (command) {
    case ViewCommand::SelectAll:
        selectAll();
        return ViewCommand::None;
    case ViewCommand::FindNext:
    case ViewCommand::FindPrevious:
        // From the view, F3 repeats the last find, the bar shown for its status; with nothing to find it
        // opens the bar.
        if (!find_.hasQuery())
            return ViewCommand::Find;
        find(command == ViewCommand::FindNext ? SearchDirection::Forward : SearchDirection::Backward);
        return command;
    case ViewCommand::CloseFind:
        setFindOpen(false);
        return command;
    default:
        return command;
    }
}

void TrafficViewModel::setFindOpen(bool open)
{
    findOpen_ = open;
    if (!open)
        find_.cancel();
}

void TrafficViewModel::find(SearchDirection direction)
{
    find_.start(direction, selection());
    changes_ |= kFindStatusChanged;
    continueFind();
}

void TrafficViewModel::continueFind()
{
    if (!find_.running())
        return;
    const FindStatus before = find_.status();
    const std::optional<TextRange> match = find_.runPass(store_);
    if (!find_.running() || find_.status() != before)
        changes_ |= kFindStatusChanged;
    if (!match)
        return;
    goalColumn_ = -1;
    select(match->from, match->to);
    reveal(*match);
}

void carryOut(ViewCommand command, TrafficViewHost& host)
{
    switch (command) {
    case ViewCommand::Copy:
        host.copySelection();
        break;
    case ViewCommand::Find:
        host.openFind(true);
        break;
    case ViewCommand::FindNext:
    case ViewCommand::FindPrevious:
        // The bar shows the search's status; the focus stays in the view.
        host.openFind(false);
        host.continueSearch();
        break;
    case ViewCommand::CloseFind:
        host.closeFind();
        break;
    case ViewCommand::ContextMenu:
        host.openContextMenu();
        break;
    default:
        break;
    }
}
