#include "platform/text/text_units.h"

#include <algorithm>

namespace {

// The next boundary after `at` (< end) and the one before `at` (> begin), for words.
std::int64_t nextWordBoundary(const ViewText& store, std::int64_t at)
{
    return wordSegment(store, at).to;
}

std::int64_t previousWordBoundary(const ViewText& store, std::int64_t at)
{
    return wordSegment(store, at - 1).from;
}

// Lines step by index: a boundary is each line's start, and the end of the text.
std::int64_t stepLines(const ViewText& store, std::int64_t from, int count, int* moved)
{
    const std::int64_t line = store.lineAt(from);
    const std::int64_t start = store.lineStart(line);
    if (count > 0) {
        const std::int64_t lines = store.lineCount();
        const std::int64_t target = std::min<std::int64_t>(line + count, lines);
        std::int64_t at = target < lines ? store.lineStart(target) : store.endOffset();
        std::int64_t steps = target - line;
        // An empty last line starts where the text ends: one boundary, not two.
        if (target == lines && store.lineStart(lines - 1) == store.endOffset() && line < lines - 1)
            --steps;
        if (at == from)
            steps = 0;
        at = std::max(at, from);
        *moved = static_cast<int>(steps);
        return at;
    }
    std::int64_t steps = 0;
    std::int64_t at = from;
    std::int64_t remaining = -static_cast<std::int64_t>(count);
    if (at > start) {
        at = start;
        steps = 1;
        --remaining;
    }
    const std::int64_t back = std::min(remaining, line);
    if (back > 0) {
        at = store.lineStart(line - back);
        steps += back;
    }
    *moved = -static_cast<int>(steps);
    return at;
}

} // namespace

TextRange enclosingUnit(const ViewText& store, TextUnit unit, std::int64_t offset)
{
    const std::int64_t begin = store.beginOffset();
    const std::int64_t end = store.endOffset();
    const std::int64_t at = std::clamp(offset, begin, end);
    if (begin == end)
        return {begin, begin};
    switch (unit) {
    case TextUnit::Character:
        return at < end ? TextRange{at, at + 1} : TextRange{end, end};
    case TextUnit::Word:
        return at < end ? wordSegment(store, at) : TextRange{end, end};
    case TextUnit::Line:
        return lineSegment(store, at);
    case TextUnit::Document:
        break;
    }
    return {begin, end};
}

std::int64_t stepUnits(const ViewText& store, TextUnit unit, std::int64_t from, int count, int* moved)
{
    const std::int64_t begin = store.beginOffset();
    const std::int64_t end = store.endOffset();
    std::int64_t at = std::clamp(from, begin, end);
    *moved = 0;
    if (count == 0 || begin == end)
        return at;
    switch (unit) {
    case TextUnit::Character: {
        const std::int64_t target = std::clamp(at + count, begin, end);
        *moved = static_cast<int>(target - at);
        return target;
    }
    case TextUnit::Line:
        return stepLines(store, at, count, moved);
    case TextUnit::Document:
        if (count > 0 && at < end) {
            *moved = 1;
            return end;
        }
        if (count < 0 && at > begin) {
            *moved = -1;
            return begin;
        }
        return at;
    case TextUnit::Word:
        break;
    }
    // Word by word: each step is bounded by its line, and the steps by the text.
    if (count > 0) {
        for (; *moved < count && at < end; ++*moved)
            at = nextWordBoundary(store, at);
    } else {
        for (; *moved > count && at > begin; --*moved)
            at = previousWordBoundary(store, at);
    }
    return at;
}
