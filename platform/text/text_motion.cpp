#include "platform/text/text_motion.h"

#include <algorithm>

bool isWordChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_'
        || (u >= 0xC0 && u != 0xD7 && u != 0xF7);
}

std::int64_t scanBack(const ViewText& store, std::int64_t at, std::int64_t limit, bool wordChars)
{
    while (at > limit && isWordChar(store.at(at - 1)) == wordChars)
        --at;
    return at;
}

std::int64_t scanForward(const ViewText& store, std::int64_t at, std::int64_t limit, bool wordChars)
{
    while (at < limit && isWordChar(store.at(at)) == wordChars)
        ++at;
    return at;
}

bool isVerticalMove(Move move)
{
    return move == Move::PreviousLine || move == Move::NextLine || move == Move::PreviousPage || move == Move::NextPage;
}

std::int64_t moved(const ViewText& store, std::int64_t from, Move move, std::int64_t goalColumn, std::int64_t pageLines)
{
    from = std::clamp(from, store.beginOffset(), store.endOffset());
    const std::int64_t line = store.lineAt(from);
    const std::int64_t lastLine = store.lineCount() - 1;
    const std::int64_t start = store.lineStart(line);
    const std::int64_t end = store.lineEnd(line);
    const auto toLine = [&](std::int64_t lines) {
        return offsetOf(store, line + lines, goalColumn >= 0 ? goalColumn : from - start);
    };
    const std::int64_t page = std::max<std::int64_t>(1, pageLines);

    switch (move) {
    case Move::PreviousChar:
        return from > start ? from - 1 : line > 0 ? store.lineEnd(line - 1) : from;
    case Move::NextChar:
        return from < end ? from + 1 : line < lastLine ? store.lineStart(line + 1) : from;
    case Move::PreviousWord:
        if (from == start)
            return moved(store, from, Move::PreviousChar, goalColumn, pageLines);
        return scanBack(store, scanBack(store, from, start, false), start, true);
    case Move::NextWord:
        if (from == end)
            return moved(store, from, Move::NextChar, goalColumn, pageLines);
        return scanForward(store, scanForward(store, from, end, true), end, false);
    case Move::PreviousLine:
        return toLine(-1);
    case Move::NextLine:
        return toLine(1);
    case Move::PreviousPage:
        return toLine(-page);
    case Move::NextPage:
        return toLine(page);
    case Move::StartOfLine:
        return start;
    case Move::EndOfLine:
        return end;
    case Move::StartOfText:
        return store.beginOffset();
    case Move::EndOfText:
        return store.lineEnd(lastLine);
    }
    return from;
}

TextRange wordAt(const ViewText& store, std::int64_t offset)
{
    offset = std::clamp(offset, store.beginOffset(), store.endOffset());
    const std::int64_t line = store.lineAt(offset);
    const std::int64_t end = store.lineEnd(line);
    offset = std::min(offset, end);
    TextRange word{scanBack(store, offset, store.lineStart(line), true), scanForward(store, offset, end, true)};
    if (word.from == word.to && word.to < end)
        ++word.to;
    return word;
}

TextRange wordSegment(const ViewText& store, std::int64_t offset)
{
    const std::int64_t at = std::min(offset, store.endOffset() - 1);
    const std::int64_t line = store.lineAt(at);
    const std::int64_t end = store.lineEnd(line);
    if (at >= end)
        return {end, lineSegment(store, at).to};
    const bool word = isWordChar(store.at(at));
    return {scanBack(store, at, store.lineStart(line), word), scanForward(store, at + 1, end, word)};
}

TextRange lineSegment(const ViewText& store, std::int64_t offset)
{
    const std::int64_t line = store.lineAt(offset);
    return {store.lineStart(line), line + 1 < store.lineCount() ? store.lineStart(line + 1) : store.endOffset()};
}

LineColumn lineColumnAt(const ViewText& store, std::int64_t offset)
{
    offset = std::max(offset, store.beginOffset());
    const std::int64_t line = store.lineAt(offset);
    return {line, offset - store.lineStart(line)};
}

std::int64_t offsetOf(const ViewText& store, std::int64_t line, std::int64_t column)
{
    line = std::clamp<std::int64_t>(line, 0, store.lineCount() - 1);
    const std::int64_t start = store.lineStart(line);
    return start + std::clamp<std::int64_t>(column, 0, store.lineEnd(line) - start);
}
