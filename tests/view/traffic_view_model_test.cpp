#include "platform/text/traffic_view_model.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
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

} // namespace
