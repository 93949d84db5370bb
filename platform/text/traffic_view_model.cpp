// The view model's text, scrolling, selection and what painting shows.
#include "platform/text/traffic_view_model.h"

void makePrintable(char* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const auto u = static_cast<unsigned char>(bytes[i]);
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            bytes[i] = '.';
        else if (u == 0xAD)
            bytes[i] = '-';
    }
}

TrafficViewModel::TrafficViewModel(std::int64_t capacity)
{
    store_.setCapacity(capacity);
}

void TrafficViewModel::append(std::string_view text)
{
    if (text.empty())
        return;
    store_.append(text);
    followAppend();
}

void TrafficViewModel::appendTraffic(std::string_view bytes, TrafficFormat format)
{
    const std::int64_t end = store_.endOffset();
    store_.appendTraffic(bytes, format);
    if (store_.endOffset() != end)
        followAppend();
}

void TrafficViewModel::followAppend()
{
    followStore();
    if (!hasSelection()) {
        // Before a CR whose LF is still to come, so that the caret does not sit inside the line break.
        // Not told as a caret move: a reader would follow every append as if the user had moved.
        const std::int64_t end = store_.lineEnd(store_.lineCount() - 1);
        anchor_ = end;
        caret_ = end;
    }
    followEnd_ = true;
    changes_ |= kTextChanged;
}

void TrafficViewModel::setText(std::string_view text)
{
    // Offsets start again from zero: a search under way would look in the wrong place.
    find_.cancel();
    store_.clear();
    store_.append(text);
    seenDroppedLines_ = store_.droppedLines();
    anchor_ = caret_ = store_.beginOffset();
    goalColumn_ = -1;
    topLine_ = leftColumn_ = 0;
    followEnd_ = false;
    changes_ |= kTextChanged | kSelectionChanged | kCaretMoved | kScrolled;
}

void TrafficViewModel::setCapacity(std::int64_t maxCharacters)
{
    store_.setCapacity(maxCharacters);
    followStore();
    changes_ |= kTextChanged;
}

// Offsets outlive dropped lines but line numbers shift, and the scroll position with them.
void TrafficViewModel::followStore()
{
    const std::int64_t dropped = store_.droppedLines() - seenDroppedLines_;
    seenDroppedLines_ = store_.droppedLines();
    if (store_.beginOffset() > std::min(anchor_, caret_))
        changes_ |= kSelectionChanged | kCaretMoved;
    anchor_ = std::max(anchor_, store_.beginOffset());
    caret_ = std::max(caret_, store_.beginOffset());
    if (dropped > 0) {
        topLine_ = std::max<std::int64_t>(0, topLine_ - dropped);
        changes_ |= kScrolled;
    }
}

void TrafficViewModel::flush()
{
    if (!followEnd_)
        return;
    followEnd_ = false;
    ensureVisible(store_.lineEnd(store_.lineCount() - 1));
}

void TrafficViewModel::setPage(std::int64_t lines, std::int64_t columns)
{
    // A view at the end stays there when it grows or shrinks.
    const bool atEnd = topLine_ == maxTopLine();
    pageLines_ = std::max<std::int64_t>(0, lines);
    pageColumns_ = std::max<std::int64_t>(0, columns);
    scrollTo(atEnd ? maxTopLine() : topLine_, leftColumn_);
    changes_ |= kScrolled;
}

std::int64_t TrafficViewModel::maxTopLine() const
{
    return std::max<std::int64_t>(0, store_.lineCount() - pageLines_);
}

std::int64_t TrafficViewModel::maxLeftColumn() const
{
    return std::max<std::int64_t>(0, store_.longestLine() + 1 - pageColumns_);
}

void TrafficViewModel::scrollTo(std::int64_t topLine, std::int64_t leftColumn)
{
    topLine = std::clamp<std::int64_t>(topLine, 0, maxTopLine());
    leftColumn = std::clamp<std::int64_t>(leftColumn, 0, maxLeftColumn());
    if (topLine == topLine_ && leftColumn == leftColumn_)
        return;
    topLine_ = topLine;
    leftColumn_ = leftColumn;
    changes_ |= kScrolled;
}

void TrafficViewModel::scroll(ScrollAxis axis, ScrollStep step)
{
    const bool vertical = axis == ScrollAxis::Vertical;
    const std::int64_t page = vertical ? pageLines_ : pageColumns_;
    std::int64_t position = vertical ? topLine_ : leftColumn_;
    switch (step) {
    case ScrollStep::LineBack:
        position -= 1;
        break;
    case ScrollStep::LineForward:
        position += 1;
        break;
    case ScrollStep::PageBack:
        position -= page;
        break;
    case ScrollStep::PageForward:
        position += page;
        break;
    case ScrollStep::Start:
        position = 0;
        break;
    case ScrollStep::End:
        position = vertical ? maxTopLine() : maxLeftColumn();
        break;
    }
    scrollTo(vertical ? position : topLine_, vertical ? leftColumn_ : position);
}

void TrafficViewModel::wheel(ScrollAxis axis, int delta, int linesPerNotch)
{
    constexpr int kNotch = 120;
    // A turn the other way starts afresh.
    if ((delta < 0) != (wheelRest_ < 0))
        wheelRest_ = 0;
    const std::int64_t turned = std::int64_t{wheelRest_} + std::int64_t{delta} * linesPerNotch;
    const std::int64_t lines = turned / kNotch;
    wheelRest_ = static_cast<int>(turned - lines * kNotch);
    if (axis == ScrollAxis::Vertical)
        scrollTo(topLine_ - lines, leftColumn_);
    else
        scrollTo(topLine_, leftColumn_ - lines);
}

void TrafficViewModel::reveal(TextRange range, bool toWins)
{
    ensureVisible(toWins ? range.from : range.to);
    ensureVisible(toWins ? range.to : range.from);
}

TextRange TrafficViewModel::visibleRange() const
{
    const std::int64_t last = std::min<std::int64_t>(topLine_ + pageLines_, store_.lineCount() - 1);
    return {store_.lineStart(std::min(topLine_, last)), store_.lineEnd(last)};
}

void TrafficViewModel::ensureVisible(std::int64_t offset)
{
    const auto [line, column] = lineColumnAt(store_, offset);
    const std::int64_t lines = std::max<std::int64_t>(1, pageLines_);
    const std::int64_t columns = std::max<std::int64_t>(1, pageColumns_);
    std::int64_t top = topLine_;
    std::int64_t left = leftColumn_;
    if (line < top)
        top = line;
    else if (line >= top + lines)
        top = line - lines + 1;
    if (column < left)
        left = column;
    else if (column >= left + columns)
        left = column - columns + 1;
    scrollTo(top, left);
}

void TrafficViewModel::select(std::int64_t anchor, std::int64_t caret)
{
    anchor = std::clamp(anchor, store_.beginOffset(), store_.endOffset());
    caret = std::clamp(caret, store_.beginOffset(), store_.endOffset());
    if (std::minmax(anchor, caret) != std::minmax(anchor_, caret_))
        changes_ |= kSelectionChanged;
    if (caret != caret_)
        changes_ |= kCaretMoved;
    anchor_ = anchor;
    caret_ = caret;
}

void TrafficViewModel::selectForReader(std::int64_t anchor, std::int64_t caret)
{
    select(anchor, caret);
    reveal({anchor_, caret_}, true);
}

void TrafficViewModel::selectAll()
{
    select(store_.beginOffset(), store_.endOffset());
}

std::string TrafficViewModel::selectedText(LineEnds lineEnds) const
{
    const TextRange range = selection();
    const std::string bytes = store_.text(range.from, range.to);
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool crBeforeLf = bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n';
        if (lineEnds == LineEnds::Lf && crBeforeLf)
            continue;
        if (lineEnds == LineEnds::CrLf && bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            out += '\r';
        out += bytes[i];
    }
    return out;
}

std::int64_t TrafficViewModel::offsetAtCell(std::int64_t row, std::int64_t column) const
{
    return offsetOf(store_, topLine_ + row, leftColumn_ + column);
}

LineColumn TrafficViewModel::cellOf(std::int64_t offset) const
{
    const auto [line, column] = lineColumnAt(store_, offset);
    return {line - topLine_, column - leftColumn_};
}

LineColumn TrafficViewModel::menuCell() const
{
    const auto [row, column] = cellOf(caret_);
    return {std::clamp<std::int64_t>(row + 1, 0, pageLines_), std::clamp<std::int64_t>(column, 0, pageColumns_)};
}

VisibleLine TrafficViewModel::visibleLine(std::int64_t line) const
{
    VisibleLine shown;
    shown.start = store_.lineStart(line);
    const std::int64_t end = store_.lineEnd(line);
    shown.from = std::min(shown.start + leftColumn_, end);
    shown.to = std::min(end, shown.from + pageColumns_ + 2);
    const TextRange selected = selection();
    shown.selectedFrom = std::clamp(selected.from, shown.from, shown.to);
    shown.selectedTo = std::clamp(selected.to, shown.from, shown.to);
    shown.breakSelected = hasSelection() && selected.from <= end && selected.to > end && shown.to == end
        && line + 1 < store_.lineCount();
    return shown;
}

void TrafficViewModel::printableText(const VisibleLine& line, std::string& out) const
{
    out.resize(static_cast<std::size_t>(line.to - line.from));
    if (out.empty())
        return;
    store_.copy(line.from, line.to, out.data());
    makePrintable(out.data(), out.size());
}
