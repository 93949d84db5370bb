// Caret motion over a view's text and the mapping between offsets and lines and columns, shared by every
// platform's view: keyboard motion, double click and the accessibility text interface all step words
// with the same scan.
#ifndef BRINDLE_PLATFORM_TEXT_TEXT_MOTION_H
#define BRINDLE_PLATFORM_TEXT_TEXT_MOTION_H

#include <cstdint>

#include "platform/text/text_store.h"

enum class Move {
    PreviousChar,
    NextChar,
    PreviousWord,
    NextWord,
    PreviousLine,
    NextLine,
    PreviousPage,
    NextPage,
    StartOfLine,
    EndOfLine,
    StartOfText,
    EndOfText
};

struct TextRange {
    std::int64_t from = 0;
    std::int64_t to = 0;
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

struct LineColumn {
    std::int64_t line = 0;
    std::int64_t column = 0;
    friend bool operator==(const LineColumn&, const LineColumn&) = default;
};

// Letters and digits of Latin-1 and the underscore.
bool isWordChar(char c);

// The one word scan: from `at`, over bytes that are (or are not) word characters, no further than
// `limit`.
std::int64_t scanBack(const ViewText& store, std::int64_t at, std::int64_t limit, bool wordChars);
std::int64_t scanForward(const ViewText& store, std::int64_t at, std::int64_t limit, bool wordChars);

bool isVerticalMove(Move move);

// Where the caret lands. Vertical moves keep to goalColumn when it is not negative, else to the column
// of `from`; a page is pageLines lines (at least one). The result stays within what is held.
std::int64_t moved(
    const ViewText& store, std::int64_t from, Move move, std::int64_t goalColumn, std::int64_t pageLines);

// The word a double click selects: the word characters around the offset, else the one character there.
TextRange wordAt(const ViewText& store, std::int64_t offset);
// The run of word characters, or of anything else, holding the offset within its line; from the end of
// a line, its line break.
TextRange wordSegment(const ViewText& store, std::int64_t offset);
// The line holding the offset, with its line break.
TextRange lineSegment(const ViewText& store, std::int64_t offset);

// Offsets before what is held map to its start.
LineColumn lineColumnAt(const ViewText& store, std::int64_t offset);
// Line and column are clamped to what is held; a column past the line's end lands at its end.
std::int64_t offsetOf(const ViewText& store, std::int64_t line, std::int64_t column);

#endif
