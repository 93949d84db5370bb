#include "platform/text/traffic_view_model.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// Offsets: "one two" is [0, 7), CR LF at 7; "three four" is [9, 19), CR LF at 19; "five" is [21, 25).
constexpr std::string_view kText = "one two\r\nthree four\r\nfive";

struct Press {
    ViewKey key;
    unsigned modifiers = kNoModifier;
};

void load(TrafficViewModel& model, std::string_view text, std::int64_t lines = 2, std::int64_t columns = 20)
{
    model.setText(text);
    model.setPage(lines, columns);
}

// Every table's rows are named by their first field.
struct Named {
    const char* name;
};
std::ostream& operator<<(std::ostream& out, const Named& row)
{
    return out << row.name;
}

struct KeysCase : Named {
    std::vector<Press> keys;
    std::int64_t anchor;
    std::int64_t caret;
    std::int64_t topLine;
};

class ModelKeys : public testing::TestWithParam<KeysCase> { };

TEST_P(ModelKeys, MoveTheCaretAndSelection)
{
    TrafficViewModel model;
    load(model, kText);
    for (const Press& press : GetParam().keys)
        EXPECT_TRUE(model.pressKey(press.key, press.modifiers));
    EXPECT_EQ(model.anchor(), GetParam().anchor);
    EXPECT_EQ(model.caret(), GetParam().caret);
    EXPECT_EQ(model.topLine(), GetParam().topLine);
}

constexpr unsigned kShift = kShiftModifier;
constexpr unsigned kControl = kControlModifier;

INSTANTIATE_TEST_SUITE_P(Table, ModelKeys,
    testing::Values(KeysCase{{"characters"}, {{ViewKey::Right}, {ViewKey::Right}, {ViewKey::Right}}, 3, 3, 0},
        KeysCase{{"Shift extends"}, {{ViewKey::Right, kShift}, {ViewKey::Right, kShift}}, 0, 2, 0},
        KeysCase{{"a word"}, {{ViewKey::Right, kControl}}, 4, 4, 0},
        KeysCase{{"a word selected"}, {{ViewKey::Down}, {ViewKey::Right, kControl | kShift}}, 9, 15, 0},
        KeysCase{{"Left collapses to the start"}, {{ViewKey::End, kShift}, {ViewKey::Left}}, 0, 0, 0},
        KeysCase{{"Right collapses to the end"}, {{ViewKey::End}, {ViewKey::Home, kShift}, {ViewKey::Right}}, 7, 7, 0},
        KeysCase{
            "Down keeps the goal column", {{ViewKey::End}, {ViewKey::Down}, {ViewKey::Down}, {ViewKey::Up}}, 16, 16, 1},
        KeysCase{{"a character ends the goal column"},
            {{ViewKey::End}, {ViewKey::Down}, {ViewKey::Down}, {ViewKey::Left}, {ViewKey::Up}}, 12, 12, 1},
        KeysCase{{"the text's end, then a selection to its start"},
            {{ViewKey::End, kControl}, {ViewKey::Home, kControl | kShift}}, 25, 0, 0},
        KeysCase{{"a page scrolls with the caret"}, {{ViewKey::Right}, {ViewKey::PageDown}}, 22, 22, 1},
        KeysCase{{"Select All"}, {{ViewKey::A, kControl}}, 0, 25, 0},
        KeysCase{{"Enter stays in the view and does nothing"}, {{ViewKey::Enter}}, 0, 0, 0}));

struct CommandCase : Named {
    Press key;
    bool findOpen;
    std::optional<ViewCommand> command;
};

class ModelKeyCommands : public testing::TestWithParam<CommandCase> { };

TEST_P(ModelKeyCommands, LeaveTheHostWhatNeedsItsSystem)
{
    TrafficViewModel model;
    load(model, kText);
    model.setFindOpen(GetParam().findOpen);
    model.select(0, 3);
    EXPECT_EQ(model.pressKey(GetParam().key.key, GetParam().key.modifiers), GetParam().command);
}

INSTANTIATE_TEST_SUITE_P(Table, ModelKeyCommands,
    testing::Values(CommandCase{{"Ctrl+C"}, {ViewKey::C, kControl}, false, ViewCommand::Copy},
        CommandCase{{"Ctrl+Insert"}, {ViewKey::Insert, kControl}, false, ViewCommand::Copy},
        CommandCase{{"Ctrl+F"}, {ViewKey::F, kControl}, false, ViewCommand::Find},
        CommandCase{{"F3 with nothing to find opens the bar"}, {ViewKey::F3}, false, ViewCommand::Find},
        CommandCase{{"Shift+F10 opens the menu"}, {ViewKey::F10, kShift}, false, ViewCommand::ContextMenu},
        CommandCase{{"Escape closes an open bar"}, {ViewKey::Escape}, true, ViewCommand::CloseFind},
        CommandCase{{"Escape is the dialog's otherwise"}, {ViewKey::Escape}, false, std::nullopt},
        CommandCase{{"Alt with a motion key is the dialog's"}, {ViewKey::Left, kAltModifier}, false, std::nullopt},
        CommandCase{{"a letter is the dialog's"}, {ViewKey::C}, false, std::nullopt}));

struct EnabledCase : Named {
    std::string_view text;
    std::int64_t from;
    std::int64_t to;
    bool copy;
    bool selectAll;
};

class ModelCommandsEnabled : public testing::TestWithParam<EnabledCase> { };

TEST_P(ModelCommandsEnabled, FollowTheTextAndSelection)
{
    TrafficViewModel model;
    load(model, GetParam().text);
    model.select(GetParam().from, GetParam().to);
    EXPECT_EQ(model.enabled(ViewCommand::Copy), GetParam().copy);
    EXPECT_EQ(model.enabled(ViewCommand::SelectAll), GetParam().selectAll);
    EXPECT_TRUE(model.enabled(ViewCommand::Find));
}

INSTANTIATE_TEST_SUITE_P(Table, ModelCommandsEnabled,
    testing::Values(EnabledCase{{"empty"}, "", 0, 0, false, false},
        EnabledCase{{"no selection"}, "abc", 1, 1, false, true},
        EnabledCase{{"a selection"}, "abc", 2, 0, true, true}));

struct TextCase : Named {
    std::string_view text;
    LineEnds lineEnds;
    std::string expected;
};

class ModelSelectedText : public testing::TestWithParam<TextCase> { };

TEST_P(ModelSelectedText, HasThePlatformsLineEnds)
{
    TrafficViewModel model;
    load(model, GetParam().text);
    model.selectAll();
    EXPECT_EQ(model.selectedText(GetParam().lineEnds), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ModelSelectedText,
    testing::Values(TextCase{{"LF from CR LF"}, "a\r\nb\r\n", LineEnds::Lf, "a\nb\n"},
        TextCase{{"CR LF kept"}, "a\r\nb", LineEnds::CrLf, "a\r\nb"},
        TextCase{{"CR LF for a bare LF"}, "a\nb", LineEnds::CrLf, "a\r\nb"},
        TextCase{{"a lone CR stays"}, "a\rb\r", LineEnds::Lf, "a\rb\r"}));

struct ClickCase : Named {
    std::int64_t row;
    std::int64_t column;
    int clicks;
    bool extend;
    TextRange selected;
};

class ModelClicks : public testing::TestWithParam<ClickCase> { };

TEST_P(ModelClicks, SelectByCharacterWordAndLine)
{
    TrafficViewModel model;
    load(model, "alpha beta\r\ngamma");
    model.select(3, 3);
    const ClickCase& c = GetParam();
    model.click(c.row, c.column, c.clicks, c.extend);
    EXPECT_EQ(model.selection(), c.selected);
}

INSTANTIATE_TEST_SUITE_P(Table, ModelClicks,
    testing::Values(ClickCase{{"one click places the caret"}, 1, 2, 1, false, {14, 14}},
        ClickCase{{"Shift extends from the anchor"}, 1, 2, 1, true, {3, 14}},
        ClickCase{{"past the line's end lands at its end"}, 0, 40, 1, false, {10, 10}},
        ClickCase{{"two select the word"}, 0, 7, 2, false, {6, 10}},
        ClickCase{{"three select the line with its break"}, 0, 7, 3, false, {0, 12}},
        ClickCase{{"three on the last line"}, 1, 1, 3, false, {12, 17}}));

TEST(ModelText, AppendGoesToTheEndAndKeepsASelection)
{
    TrafficViewModel model;
    load(model, "first\r\n");
    model.append("second\r");
    EXPECT_EQ(model.caret(), 13) << "before the CR whose LF is still to come";
    model.select(0, 5);
    model.append("\nthird");
    EXPECT_EQ(model.selection(), (TextRange{0, 5}));
    model.flush();
    EXPECT_EQ(model.topLine(), 1);
}

// Dropped lines take the scroll position and a dropped selection with them; following the end wins at the
// next flush.
TEST(ModelText, FollowsTheStoreWhenOldLinesDrop)
{
    TrafficViewModel model;
    load(model, "", 10, 80);
    model.setCapacity(10000);
    const std::string line(98, 'x');
    for (int i = 0; i < 50; ++i)
        model.append(line + "\r\n");
    model.flush();
    EXPECT_EQ(model.topLine(), model.maxTopLine());
    model.scrollTo(20, 0);
    model.select(100, 150);

    const std::int64_t droppedBefore = model.store().droppedLines();
    for (int i = 0; i < 60; ++i)
        model.append(line + "\r\n");
    const std::int64_t dropped = model.store().droppedLines() - droppedBefore;
    ASSERT_GT(dropped, 20);
    EXPECT_EQ(model.topLine(), 0);
    EXPECT_EQ(model.selection().from, model.store().endOffset()) << "an emptied selection rides at the end";
    model.flush();
    EXPECT_EQ(model.topLine(), model.maxTopLine());

    const std::int64_t top = model.maxTopLine() - 1;
    model.scrollTo(top, 0);
    model.append(std::string(3000, 'y') + "\r\n");
    const std::int64_t droppedNow = model.store().droppedLines() - droppedBefore - dropped;
    ASSERT_GT(droppedNow, 0);
    EXPECT_EQ(model.topLine(), std::max<std::int64_t>(0, top - droppedNow));
}

struct FindStep {
    std::u16string_view query;
    bool matchCase;
    SearchDirection direction;
    std::int64_t matchFrom; // -1: none
    FindStatus status;
};

struct FindCase : Named {
    std::vector<FindStep> steps;
};

class ModelFind : public testing::TestWithParam<FindCase> { };

// A megabyte and more of hay between the needles, so that every search takes several slices; the passes
// run until the search ends, as the host's timer would run them.
TEST_P(ModelFind, SelectsMatchesAcrossSlicesAndWraps)
{
    const std::string hay(FindSession::kSliceBytes + 1000, 'h');
    std::string text = "a needle\r\n";
    text.append(hay).append("\r\nNEEDLE\r\n").append(hay).append("\r\nneedle");
    TrafficViewModel model;
    load(model, text);
    for (const FindStep& step : GetParam().steps) {
        model.setFindQuery(step.query, step.matchCase);
        model.find(step.direction);
        for (int pass = 0; pass < 1000 && model.finding(); ++pass)
            model.continueFind();
        ASSERT_FALSE(model.finding());
        EXPECT_EQ(model.findStatus(), step.status);
        if (step.matchFrom >= 0) {
            EXPECT_EQ(model.selection().from, step.matchFrom);
            EXPECT_EQ(model.selection().to, step.matchFrom + 6);
            const std::int64_t row = model.cellOf(step.matchFrom).line;
            EXPECT_TRUE(row >= 0 && row < model.pageLines()) << "scrolled to the match";
        }
    }
}

const std::int64_t kSecond = 10 + FindSession::kSliceBytes + 1000 + 2;
const std::int64_t kThird = kSecond + 8 + FindSession::kSliceBytes + 1000 + 2;
constexpr auto kForward = SearchDirection::Forward;
constexpr auto kBackward = SearchDirection::Backward;

INSTANTIATE_TEST_SUITE_P(Table, ModelFind,
    testing::Values(
        FindCase{{"forward through every match, then round"},
            {{u"needle", false, kForward, 2, FindStatus::None}, {u"needle", false, kForward, kSecond, FindStatus::None},
                {u"needle", false, kForward, kThird, FindStatus::None},
                {u"needle", false, kForward, 2, FindStatus::Wrapped}}},
        FindCase{{"backward wraps from the start"}, {{u"needle", false, kBackward, kThird, FindStatus::Wrapped}}},
        FindCase{{"matching case skips the capitals"},
            {{u"needle", true, kForward, 2, FindStatus::None}, {u"needle", true, kForward, kThird, FindStatus::None}}},
        FindCase{{"a changed query tries the selection first"},
            {{u"needle", false, kForward, 2, FindStatus::None}, {u"NEEDLE", true, kForward, kSecond, FindStatus::None},
                {u"needle", false, kForward, kSecond, FindStatus::None}}},
        FindCase{{"not there"}, {{u"absent", false, kForward, -1, FindStatus::NotFound}}},
        FindCase{{"beyond Latin-1"}, {{u"\u2192", false, kForward, -1, FindStatus::NotFound}}},
        FindCase{{"nothing to find"}, {{u"", false, kForward, -1, FindStatus::None}}}));

TEST(ModelFind, FindAgainNeedsAQuery)
{
    TrafficViewModel model;
    load(model, kText);
    EXPECT_EQ(model.run(ViewCommand::FindNext), ViewCommand::Find);
    model.setFindQuery(u"four", false);
    EXPECT_EQ(model.run(ViewCommand::FindPrevious), ViewCommand::FindPrevious);
    EXPECT_EQ(model.selection(), (TextRange{15, 19}));
    EXPECT_EQ(findStatusText(model.findStatus()), std::string("Wrapped"));
}

struct StandInCase {
    unsigned char byte;
    char shown;
};
void PrintTo(const StandInCase& c, std::ostream* out)
{
    *out << static_cast<int>(c.byte);
}

class ModelStandIns : public testing::TestWithParam<StandInCase> { };

TEST_P(ModelStandIns, KeepEveryByteToOneCell)
{
    char byte = static_cast<char>(GetParam().byte);
    makePrintable(&byte, 1);
    EXPECT_EQ(byte, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Table, ModelStandIns,
    testing::Values(StandInCase{0x00, '.'}, StandInCase{0x1B, '.'}, StandInCase{'A', 'A'}, StandInCase{0x7F, '.'},
        StandInCase{0x80, '.'}, StandInCase{0x9F, '.'}, StandInCase{0xA0, '\xA0'}, StandInCase{0xAD, '-'},
        StandInCase{0xE9, '\xE9'}));

// A selection inside a line covers its own characters only; the rest of the line is drawn as it is.
TEST(ModelPainting, ShowsThePartOfALineThatIsSelected)
{
    TrafficViewModel model;
    load(model, kText, 2, 8);
    model.select(11, 13);
    const VisibleLine middle = model.visibleLine(1);
    EXPECT_EQ(middle.from, 9);
    EXPECT_EQ(middle.to, 19);
    EXPECT_EQ(middle.selectedFrom, 11);
    EXPECT_EQ(middle.selectedTo, 13);
    EXPECT_FALSE(middle.breakSelected);

    model.select(5, 12);
    EXPECT_TRUE(model.visibleLine(0).breakSelected);
    EXPECT_EQ(model.visibleLine(0).selectedTo, 7);
    std::string shown;
    model.printableText(model.visibleLine(0), shown);
    EXPECT_EQ(shown, "one two");
}

// Twenty lines "line 0 " to "line 19" of seven characters, CR LF between them: line n starts at 9n.
std::string twentyLines()
{
    std::string text;
    for (int line = 0; line < 20; ++line)
        text += (line > 0 ? "\r\n" : "") + ("line " + std::to_string(line) + (line < 10 ? " " : ""));
    return text;
}

struct PressCase : Named {
    std::vector<std::pair<std::uint32_t, bool>> presses; // time, the system's double click
    Click last;
};

class ClickCounts : public testing::TestWithParam<PressCase> { };

TEST_P(ClickCounts, CountTheThirdAndStartDragsFromOne)
{
    ClickCounter counter;
    Click click;
    for (const auto& [time, doubleClick] : GetParam().presses)
        click = counter.press(time, doubleClick, 500);
    EXPECT_EQ(click.count, GetParam().last.count);
    EXPECT_EQ(click.drags, GetParam().last.drags);
}

INSTANTIATE_TEST_SUITE_P(Table, ClickCounts,
    testing::Values(PressCase{{"one click drags"}, {{100, false}}, {1, true}},
        PressCase{{"a double click does not"}, {{100, false}, {200, true}}, {2, false}},
        PressCase{{"a third soon after"}, {{100, false}, {200, true}, {700, false}}, {3, false}},
        PressCase{{"too late is one again"}, {{100, false}, {200, true}, {701, false}}, {1, true}},
        PressCase{{"a fourth is one again"}, {{100, false}, {200, true}, {300, false}, {400, false}}, {1, true}},
        PressCase{{"across the clock's wrap"}, {{0xFFFFFF00, false}, {0xFFFFFFF0, true}, {100, false}}, {3, false}}));

struct ScrollCase : Named {
    std::vector<std::pair<ScrollAxis, ScrollStep>> steps;
    std::int64_t topLine;
    std::int64_t leftColumn;
};

class ModelScrolls : public testing::TestWithParam<ScrollCase> { };

TEST_P(ModelScrolls, ByLinesPagesAndEnds)
{
    TrafficViewModel model;
    load(model, twentyLines(), 3, 4);
    for (const auto& [axis, step] : GetParam().steps)
        model.scroll(axis, step);
    EXPECT_EQ(model.topLine(), GetParam().topLine);
    EXPECT_EQ(model.leftColumn(), GetParam().leftColumn);
}

constexpr auto kVertical = ScrollAxis::Vertical;
constexpr auto kHorizontal = ScrollAxis::Horizontal;

INSTANTIATE_TEST_SUITE_P(Table, ModelScrolls,
    testing::Values(ScrollCase{{"a line"}, {{kVertical, ScrollStep::LineForward}}, 1, 0},
        ScrollCase{{"a page"}, {{kVertical, ScrollStep::PageForward}, {kVertical, ScrollStep::LineBack}}, 2, 0},
        ScrollCase{{"not before the start"}, {{kVertical, ScrollStep::PageBack}}, 0, 0},
        ScrollCase{{"the end shows the last page"}, {{kVertical, ScrollStep::End}}, 17, 0},
        ScrollCase{{"a page of columns"}, {{kHorizontal, ScrollStep::PageForward}}, 0, 4},
        ScrollCase{{"columns end a column past the longest line"}, {{kHorizontal, ScrollStep::End}}, 0, 4},
        ScrollCase{{"back to the start"}, {{kVertical, ScrollStep::End}, {kVertical, ScrollStep::Start}}, 0, 0}));

struct WheelCase : Named {
    std::vector<int> deltas;
    std::int64_t topLine;
};

class ModelWheel : public testing::TestWithParam<WheelCase> { };

TEST_P(ModelWheel, ScrollsThreeLinesANotch)
{
    TrafficViewModel model;
    load(model, twentyLines(), 3, 4);
    model.scrollTo(10, 0);
    for (const int delta : GetParam().deltas)
        model.wheel(kVertical, delta);
    EXPECT_EQ(model.topLine(), GetParam().topLine);
}

INSTANTIATE_TEST_SUITE_P(Table, ModelWheel,
    testing::Values(WheelCase{{"a notch away scrolls up"}, {120}, 7},
        WheelCase{{"a notch back scrolls down"}, {-120}, 13},
        WheelCase{{"parts of a notch add up"}, {30, 30, 30, 30}, 7},
        WheelCase{{"a part alone scrolls a line"}, {40}, 9}, WheelCase{{"a turn back starts afresh"}, {30, -30}, 10}));

struct RevealCase : Named {
    TextRange range;
    bool toWins;
    std::int64_t topLine;
};

class ModelReveal : public testing::TestWithParam<RevealCase> { };

TEST_P(ModelReveal, ScrollsTheLeastThatShowsTheRange)
{
    TrafficViewModel model;
    load(model, twentyLines(), 3, 20);
    model.scrollTo(5, 0);
    model.reveal(GetParam().range, GetParam().toWins);
    EXPECT_EQ(model.topLine(), GetParam().topLine);
}

INSTANTIATE_TEST_SUITE_P(Table, ModelReveal,
    testing::Values(RevealCase{{"in sight already"}, {48, 56}, false, 5},
        RevealCase{{"below: its last line at the bottom"}, {72, 90}, false, 8},
        RevealCase{{"above: its first line at the top"}, {16, 18}, false, 1},
        RevealCase{{"wider than the view: its start"}, {0, 150}, false, 0},
        RevealCase{{"wider than the view, the end winning"}, {0, 150}, true, 14}));

struct ReaderCase : Named {
    std::int64_t anchor;
    std::int64_t caret;
    std::int64_t topLine;
};

class ModelSelectForReader : public testing::TestWithParam<ReaderCase> { };

TEST_P(ModelSelectForReader, ScrollsTheSelectionIntoView)
{
    TrafficViewModel model;
    load(model, twentyLines(), 3, 20);
    model.selectForReader(GetParam().anchor, GetParam().caret);
    EXPECT_EQ(model.selection(),
        (TextRange{std::min(GetParam().anchor, GetParam().caret), std::max(GetParam().anchor, GetParam().caret)}));
    EXPECT_EQ(model.topLine(), GetParam().topLine);
}

INSTANTIATE_TEST_SUITE_P(Table, ModelSelectForReader,
    testing::Values(ReaderCase{{"a caret below the view"}, 81, 81, 7}, ReaderCase{{"a selection below"}, 81, 84, 7},
        ReaderCase{{"wider than the view: the caret's end"}, 0, 150, 14},
        ReaderCase{{"backwards: the caret at its start"}, 150, 0, 0}));

struct SightCase : Named {
    std::int64_t topLine;
    std::int64_t caret;
    TextRange visible;
    LineColumn menu;
};

class ModelSight : public testing::TestWithParam<SightCase> { };

TEST_P(ModelSight, GivesTheVisibleTextAndTheMenusCell)
{
    TrafficViewModel model;
    load(model, twentyLines(), 3, 4);
    model.select(GetParam().caret, GetParam().caret);
    model.scrollTo(GetParam().topLine, 0);
    EXPECT_EQ(model.visibleRange(), GetParam().visible);
    EXPECT_EQ(model.menuCell(), GetParam().menu);
}

INSTANTIATE_TEST_SUITE_P(Table, ModelSight,
    testing::Values(SightCase{{"the caret in sight: the cell below it"}, 0, 10, {0, 34}, {2, 1}},
        SightCase{{"the caret above: the top edge"}, 5, 0, {45, 79}, {0, 0}},
        SightCase{{"the caret below and right: the far edges"}, 0, 160, {0, 34}, {3, 4}},
        SightCase{{"the last page ends with the text"}, 17, 0, {153, 178}, {0, 0}}));

struct FindBarCase : Named {
    Press key;
    FindBarKey expected;
};

class FindBarKeys : public testing::TestWithParam<FindBarCase> { };

TEST_P(FindBarKeys, FollowTheViewsTable)
{
    EXPECT_EQ(findBarKey(GetParam().key.key, GetParam().key.modifiers), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FindBarKeys,
    testing::Values(FindBarCase{{"Enter finds the next"}, {ViewKey::Enter}, FindBarKey::FindNext},
        FindBarCase{{"Shift+Enter the previous"}, {ViewKey::Enter, kShift}, FindBarKey::FindPrevious},
        FindBarCase{{"F3"}, {ViewKey::F3}, FindBarKey::FindNext},
        FindBarCase{{"Ctrl+Shift+G"}, {ViewKey::G, kControl | kShift}, FindBarKey::FindPrevious},
        FindBarCase{{"Ctrl+F back to the field"}, {ViewKey::F, kControl}, FindBarKey::FocusField},
        FindBarCase{{"Ctrl+A the field's text"}, {ViewKey::A, kControl}, FindBarKey::SelectField},
        FindBarCase{{"Escape closes"}, {ViewKey::Escape}, FindBarKey::Close},
        FindBarCase{{"Ctrl+C is the field's"}, {ViewKey::C, kControl}, FindBarKey::NotMine},
        FindBarCase{{"a motion is the field's"}, {ViewKey::Left, kControl}, FindBarKey::NotMine}));

} // namespace
