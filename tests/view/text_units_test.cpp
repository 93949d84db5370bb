#include "platform/text/text_units.h"

#include <climits>
#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <string_view>

namespace {

// Offsets: line 0 "ab cd" is [0, 5) with CR LF at 5; line 1 "xy" is [7, 9) with CR LF at 9; line 2 is
// empty at 11, the end.
constexpr std::string_view kUnitsText = "ab cd\r\nxy\r\n";

struct StepCase {
    const char* name;
    TextUnit unit;
    std::int64_t from;
    int count;
    std::int64_t expected;
    int moved;
};

void PrintTo(const StepCase& c, std::ostream* out)
{
    *out << c.name;
}

class TextUnitSteps : public testing::TestWithParam<StepCase> { };

TEST_P(TextUnitSteps, CrossWholeUnitsWithinTheText)
{
    TextStore store;
    store.append(kUnitsText);
    const StepCase& c = GetParam();
    int moved = 0;
    EXPECT_EQ(stepUnits(store, c.unit, c.from, c.count, &moved), c.expected);
    EXPECT_EQ(moved, c.moved);
}

INSTANTIATE_TEST_SUITE_P(Steps, TextUnitSteps,
    testing::Values(StepCase{"characters forward", TextUnit::Character, 0, 3, 3, 3},
        StepCase{"characters stop at the start", TextUnit::Character, 2, -5, 0, -2},
        StepCase{"a huge count stops at the end", TextUnit::Character, 0, INT_MAX, 11, 11},
        StepCase{"next word", TextUnit::Word, 0, 1, 2, 1},
        StepCase{"from inside a word, its end", TextUnit::Word, 1, 1, 2, 1},
        StepCase{"the line break is a word", TextUnit::Word, 0, 4, 7, 4},
        StepCase{"previous word", TextUnit::Word, 4, -1, 3, -1},
        StepCase{"every word back", TextUnit::Word, 11, INT_MIN, 0, -6},
        StepCase{"next line", TextUnit::Line, 3, 1, 7, 1},
        StepCase{"the empty last line is the end", TextUnit::Line, 0, 5, 11, 2},
        StepCase{"from inside a line, its start", TextUnit::Line, 8, -1, 7, -1},
        StepCase{"two lines back", TextUnit::Line, 8, -2, 0, -2},
        StepCase{"nothing past the end", TextUnit::Line, 11, 1, 11, 0},
        StepCase{"the whole text", TextUnit::Document, 3, 1, 11, 1},
        StepCase{"nothing before the start", TextUnit::Document, 0, -1, 0, 0}));

struct EnclosingCase {
    const char* name;
    TextUnit unit;
    std::int64_t at;
    TextRange expected;
};

void PrintTo(const EnclosingCase& c, std::ostream* out)
{
    *out << c.name;
}

class TextUnitEnclosing : public testing::TestWithParam<EnclosingCase> { };

TEST_P(TextUnitEnclosing, HoldsTheOffset)
{
    TextStore store;
    store.append(kUnitsText);
    const EnclosingCase& c = GetParam();
    EXPECT_EQ(enclosingUnit(store, c.unit, c.at), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Units, TextUnitEnclosing,
    testing::Values(EnclosingCase{"character", TextUnit::Character, 3, {3, 4}},
        EnclosingCase{"no character at the end", TextUnit::Character, 11, {11, 11}},
        EnclosingCase{"word", TextUnit::Word, 1, {0, 2}},
        EnclosingCase{"a space between words", TextUnit::Word, 2, {2, 3}},
        EnclosingCase{"the line break", TextUnit::Word, 6, {5, 7}},
        EnclosingCase{"line with its break", TextUnit::Line, 8, {7, 11}},
        EnclosingCase{"the empty last line", TextUnit::Line, 11, {11, 11}},
        EnclosingCase{"offsets past the end clamp", TextUnit::Line, 99, {11, 11}},
        EnclosingCase{"document", TextUnit::Document, 4, {0, 11}}));

TEST(TextUnits, AnEmptyTextHasNoUnitsAndNoMoves)
{
    const TextStore store;
    int moved = 1;
    EXPECT_EQ(stepUnits(store, TextUnit::Word, 0, 3, &moved), 0);
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(enclosingUnit(store, TextUnit::Line, 0), (TextRange{0, 0}));
}

} // namespace
