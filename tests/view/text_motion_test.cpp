#include "platform/text/text_motion.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <string_view>

namespace {

// Offsets: line 0 "ab(x1B)cd" is [0, 9), CR LF at 9; line 1 "xy z" is [11, 15); line 2 is empty at 17;
// line 3 "last" is [19, 23) with no line break.
constexpr std::string_view kText = "ab(x1B)cd\r\nxy z\r\n\r\nlast";

struct MoveCase {
    const char* name;
    Move move;
    std::int64_t from;
    std::int64_t goalColumn;
    std::int64_t pageLines;
    std::int64_t expected;
};

void PrintTo(const MoveCase& c, std::ostream* out)
{
    *out << c.name;
}

class TextMotionMoves : public testing::TestWithParam<MoveCase> { };

TEST_P(TextMotionMoves, LandsWhereAnEditControlWould)
{
    TextStore store;
    store.append(kText);
    const MoveCase& c = GetParam();
    EXPECT_EQ(moved(store, c.from, c.move, c.goalColumn, c.pageLines), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Steps, TextMotionMoves,
    testing::Values(MoveCase{"next word stops after the run of punctuation", Move::NextWord, 0, -1, 1, 3},
        MoveCase{"next word crosses an escape's name", Move::NextWord, 3, -1, 1, 7},
        MoveCase{"next word stops at the line end", Move::NextWord, 7, -1, 1, 9},
        MoveCase{"next word from a line end steps over CR LF", Move::NextWord, 9, -1, 1, 11},
        MoveCase{"next word over a space", Move::NextWord, 12, -1, 1, 14},
        MoveCase{"previous word to a word start", Move::PreviousWord, 9, -1, 1, 7},
        MoveCase{"previous word over punctuation", Move::PreviousWord, 7, -1, 1, 3},
        MoveCase{"previous word from a line start steps over CR LF", Move::PreviousWord, 11, -1, 1, 9},
        MoveCase{"previous word at the text start stays", Move::PreviousWord, 0, -1, 1, 0},
        MoveCase{"next char steps over CR LF at once", Move::NextChar, 9, -1, 1, 11},
        MoveCase{"previous char steps over CR LF at once", Move::PreviousChar, 11, -1, 1, 9},
        MoveCase{"previous char at the start stays", Move::PreviousChar, 0, -1, 1, 0},
        MoveCase{"next char at the end stays", Move::NextChar, 23, -1, 1, 23},
        MoveCase{"next line keeps the column within a shorter line", Move::NextLine, 8, -1, 1, 15},
        MoveCase{"next line onto an empty line", Move::NextLine, 15, 8, 1, 17},
        MoveCase{"next line keeps the goal column", Move::NextLine, 17, 8, 1, 23},
        MoveCase{"next line on the last line goes to the goal column", Move::NextLine, 19, 2, 1, 21},
        MoveCase{"previous line on the first line stays in its column", Move::PreviousLine, 2, -1, 1, 2},
        MoveCase{"next page by the page size", Move::NextPage, 0, -1, 2, 17},
        MoveCase{"next page past the end clamps to the last line", Move::NextPage, 0, -1, 10, 19},
        MoveCase{"previous page past the start clamps to the first line", Move::PreviousPage, 22, -1, 10, 3},
        MoveCase{"an empty page still moves a line", Move::NextPage, 0, -1, 0, 11},
        MoveCase{"start of line", Move::StartOfLine, 13, -1, 1, 11},
        MoveCase{"end of line stops before CR LF", Move::EndOfLine, 13, -1, 1, 15},
        MoveCase{"start of text", Move::StartOfText, 20, -1, 1, 0},
        MoveCase{"end of text", Move::EndOfText, 2, -1, 1, 23}));

struct RangeCase {
    const char* name;
    TextRange (*range)(const ViewText&, std::int64_t);
    std::int64_t offset;
    TextRange expected;
};

void PrintTo(const RangeCase& c, std::ostream* out)
{
    *out << c.name;
}

class TextMotionRanges : public testing::TestWithParam<RangeCase> { };

TEST_P(TextMotionRanges, CoverTheExpectedBytes)
{
    TextStore store;
    store.append(kText);
    const RangeCase& c = GetParam();
    const TextRange range = c.range(store, c.offset);
    EXPECT_EQ(range.from, c.expected.from);
    EXPECT_EQ(range.to, c.expected.to);
}

INSTANTIATE_TEST_SUITE_P(Words, TextMotionRanges,
    testing::Values(RangeCase{"double click inside an escape's name", wordAt, 4, {3, 6}},
        RangeCase{"double click before punctuation takes the word behind", wordAt, 2, {0, 2}},
        RangeCase{"double click at a line end takes the word behind", wordAt, 9, {7, 9}},
        RangeCase{"double click on an empty line selects nothing", wordAt, 17, {17, 17}},
        RangeCase{"word segment of punctuation", wordSegment, 2, {2, 3}},
        RangeCase{"word segment of a word", wordSegment, 5, {3, 6}},
        RangeCase{"word segment at a line end is its line break", wordSegment, 9, {9, 11}},
        RangeCase{"word segment past the end is the last word", wordSegment, 23, {19, 23}},
        RangeCase{"line segment holds the line break", lineSegment, 5, {0, 11}},
        RangeCase{"line segment of an empty line", lineSegment, 17, {17, 19}},
        RangeCase{"line segment of the last line", lineSegment, 20, {19, 23}}));

TEST(TextMotion, DoubleClickBetweenPunctuationSelectsOneCharacter)
{
    TextStore store;
    store.append("a--b");
    const TextRange range = wordAt(store, 2);
    EXPECT_EQ(range.from, 2);
    EXPECT_EQ(range.to, 3);
}

TEST(TextMotion, LinesAndColumnsMapBothWays)
{
    TextStore store;
    store.append(kText);
    const struct {
        std::int64_t line;
        std::int64_t column;
        std::int64_t offset;
    } cases[] = {{0, 0, 0}, {1, 3, 14}, {2, 0, 17}, {3, 4, 23}};
    for (const auto& c : cases) {
        EXPECT_EQ(offsetOf(store, c.line, c.column), c.offset);
        EXPECT_EQ(lineColumnAt(store, c.offset), (LineColumn{c.line, c.column}));
    }
    EXPECT_EQ(offsetOf(store, 1, 99), 15);
    EXPECT_EQ(offsetOf(store, 1, -3), 11);
    EXPECT_EQ(offsetOf(store, -5, 2), 2);
    EXPECT_EQ(offsetOf(store, 99, 1), 20);
}

// Offsets keep naming the same bytes after old lines go; line numbers start again at the oldest held.
TEST(TextMotion, OffsetsPastDroppedLinesStayInWhatIsHeld)
{
    TextStore store;
    store.setCapacity(20);
    store.append("first line\r\nsecond\r\nthird\r\n");
    const std::int64_t begin = store.beginOffset();
    ASSERT_EQ(store.text(), "second\r\nthird\r\n");
    EXPECT_EQ(lineColumnAt(store, begin + 9), (LineColumn{1, 1}));
    EXPECT_EQ(lineColumnAt(store, 0), (LineColumn{0, 0}));
    EXPECT_EQ(offsetOf(store, 0, 0), begin);
    EXPECT_EQ(moved(store, 0, Move::NextChar, -1, 1), begin + 1);
    EXPECT_EQ(moved(store, begin + 9, Move::PreviousLine, -1, 1), begin + 1);
    EXPECT_EQ(moved(store, begin + 3, Move::PreviousPage, -1, 5), begin + 3);
    EXPECT_EQ(moved(store, begin, Move::StartOfText, -1, 1), begin);
    const TextRange word = wordAt(store, begin + 10);
    EXPECT_EQ(word.from, begin + 8);
    EXPECT_EQ(word.to, begin + 13);
}

} // namespace
