// The units an assistive tool reads and moves by over a view's text: characters, words, lines and the
// whole text. Words and lines are the ones keyboard motion and double click use (text_motion.h):
// a word is a run of word characters or of anything else within a line, a line ends after its line
// break. Moves count whole units and are bounded by the text, however large the count.
#ifndef BRINDLE_PLATFORM_TEXT_TEXT_UNITS_H
#define BRINDLE_PLATFORM_TEXT_TEXT_UNITS_H

#include <cstdint>

#include "platform/text/text_motion.h"
#include "platform/text/text_store.h"

enum class TextUnit { Character, Word, Line, Document };

// The unit holding the offset (clamped to what is held). At the very end, where no character is,
// characters and words give the empty range there; a line gives the last line.
TextRange enclosingUnit(const ViewText& store, TextUnit unit, std::int64_t offset);

// Moves `from` over `count` unit boundaries, forwards when positive: from inside a unit the first
// step ends at that unit's edge. Sets *moved to the boundaries crossed (negative backwards).
std::int64_t stepUnits(const ViewText& store, TextUnit unit, std::int64_t from, int count, int* moved);

#endif
