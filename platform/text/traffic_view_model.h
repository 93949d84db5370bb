// Everything a traffic view decides, free of any toolkit: the text, the caret and the selection, what
// part of the text is scrolled into view, what keys, clicks and commands do, the find session, and what
// is drawn for each byte. A host window only paints what this says, keeps its scroll bars in step,
// translates its input into these terms and makes the calls that need its system (clipboard, find bar,
// menu). Every platform's view is one such host, so the views behave alike everywhere.
#ifndef BRINDLE_PLATFORM_TEXT_TRAFFIC_VIEW_MODEL_H
#define BRINDLE_PLATFORM_TEXT_TRAFFIC_VIEW_MODEL_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/find_session.h"
#include "platform/text/text_motion.h"
#include "platform/text/text_store.h"
#include "platform/text/view_keys.h"

// What changed since the host last looked: it repaints, moves its scroll bars and tells accessibility
// tools accordingly.
enum ViewChange : unsigned {
    kTextChanged = 1,
    kSelectionChanged = 2,
    kCaretMoved = 4,
    kScrolled = 8,
    kFindStatusChanged = 16,
};

enum class LineEnds { Lf, CrLf };

// One line as it is drawn: the bytes [from, to) are on screen, [selectedFrom, selectedTo) of them in the
// selection's colours, and a selected line break shows as one more selected cell after them.
struct VisibleLine {
    std::int64_t start = 0; // the line's first byte, column 0
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::int64_t selectedFrom = 0;
    std::int64_t selectedTo = 0;
    bool breakSelected = false;
};

// How the mouse's presses count. A press soon after the system's double click is the third click, which
// selects the line; a drag starts only from a single click, so that a word or a line stays selected as
// the button comes up.
struct Click {
    int count = 1;
    bool drags = true;
};

class ClickCounter {
public:
    // A press at `time` (milliseconds of any clock that may wrap); `doubleClick` when the system took it
    // for the second of two, within its double-click time of `interval`.
    Click press(std::uint32_t time, bool doubleClick, std::uint32_t interval);

private:
    std::optional<std::uint32_t> doubleClickAt_;
};

// What a scroll bar asks for, along either of its axes.
enum class ScrollStep { LineBack, LineForward, PageBack, PageForward, Start, End };
enum class ScrollAxis { Vertical, Horizontal };

struct MenuEntry {
    ViewCommand command;
    const char* label; // with its mnemonic
    const char* shortcut;
    bool separatorBefore;
};

// What a host does for the commands that need its system.
class TrafficViewHost {
public:
    virtual void copySelection() = 0;
    // With `focus`, the focus goes to the find field.
    virtual void openFind(bool focus) = 0;
    virtual void closeFind() = 0;
    // A search has started: run continueFind() on the passes of the event loop until it ends.
    virtual void continueSearch() = 0;
    // The Copy, Select All and Find... menu, at the caret.
    virtual void openContextMenu() = 0;

protected:
    ~TrafficViewHost() = default;
};

// Hands the host what a key or command left for it.
void carryOut(ViewCommand command, TrafficViewHost& host);

// Control bytes, 0x7F to 0x9F and the soft hyphen get a stand-in of one cell, so that columns stay lined
// up whatever the font does with them.
void makePrintable(char* bytes, std::size_t count);

class TrafficViewModel {
public:
    static constexpr int kWheelLines = 3;
    // Copy, Select All, a separator, Find...
    static constexpr std::array<MenuEntry, 3> kContextMenu{
        MenuEntry{ViewCommand::Copy, "&Copy", "Ctrl+C", false},
        MenuEntry{ViewCommand::SelectAll, "Select &All", "Ctrl+A", false},
        MenuEntry{ViewCommand::Find, "&Find...", "Ctrl+F", true},
    };

    explicit TrafficViewModel(std::int64_t capacity = TextStore::kDefaultCapacity);

    // Single-byte text with CR LF line ends. It lands at the very end whatever is selected; an empty
    // selection goes with it, and the view follows it to the end of the last line on the next flush().
    void append(std::string_view text);
    // The same for the view text of one received chunk, which the store makes from the bytes.
    void appendTraffic(std::string_view bytes, TrafficFormat format);
    // Replaces everything, the caret at the start; "" empties the view.
    void setText(std::string_view text);
    void setCapacity(std::int64_t maxCharacters);
    // The host's once-a-pass catch-up after appends.
    void flush();
    const TextStore& store() const { return store_; }

    // The lines and columns that fit the host's window; page moves go by the lines.
    void setPage(std::int64_t lines, std::int64_t columns);
    std::int64_t pageLines() const { return pageLines_; }
    std::int64_t pageColumns() const { return pageColumns_; }
    std::int64_t topLine() const { return topLine_; }
    std::int64_t leftColumn() const { return leftColumn_; }
    std::int64_t maxTopLine() const;
    // One column more than the longest line, for a caret after its last character.
    std::int64_t maxLeftColumn() const;
    void scrollTo(std::int64_t topLine, std::int64_t leftColumn);
    // A page is the lines or columns that fit; Start and End are the ends of the text.
    void scroll(ScrollAxis axis, ScrollStep step);
    // The wheel turned by `delta` in 120ths of a notch (positive away from the user, or to the left),
    // `linesPerNotch` a notch; parts of a notch add up until they make a line.
    void wheel(ScrollAxis axis, int delta, int linesPerNotch = kWheelLines);
    void ensureVisible(std::int64_t offset);
    // Scrolls the least that brings the range into view; where it is wider than the view, `from` wins
    // unless `toWins`.
    void reveal(TextRange range, bool toWins = false);
    // From the start of the first line in sight to the end of the last.
    TextRange visibleRange() const;

    std::int64_t anchor() const { return anchor_; }
    std::int64_t caret() const { return caret_; }
    bool hasSelection() const { return anchor_ != caret_; }
    TextRange selection() const { return {std::min(anchor_, caret_), std::max(anchor_, caret_)}; }
    // Clamped to what is held.
    void select(std::int64_t anchor, std::int64_t caret);
    // A selection an assistive tool makes: scrolled into view, so that whoever reads along on screen
    // sees it, its caret end where it is wider than the view.
    void selectForReader(std::int64_t anchor, std::int64_t caret);
    void selectAll();
    void move(Move move, bool extend);
    // The selection as the platform's clipboard takes it.
    std::string selectedText(LineEnds lineEnds) const;

    // Mouse input in character cells of the window: row 0 is the top line shown, column 0 the left
    // column shown; rows and columns outside the window are fine. A second click selects the word, a
    // third the line; Shift extends.
    void click(std::int64_t row, std::int64_t column, int clicks, bool extend);
    void dragTo(std::int64_t row, std::int64_t column);
    // While the button is held outside the window, the view scrolls a line towards the pointer.
    void dragScroll(std::int64_t row, std::int64_t column);
    std::int64_t offsetAtCell(std::int64_t row, std::int64_t column) const;
    // The cell of the offset, relative to the window as above.
    LineColumn cellOf(std::int64_t offset) const;
    // Where a menu opened from the keyboard goes: the cell under the caret, kept within the window.
    LineColumn menuCell() const;

    // Not the view's key when empty; else what is left for the host to do.
    std::optional<ViewCommand> pressKey(ViewKey key, unsigned modifiers);
    bool enabled(ViewCommand command) const;
    // Select All and the start of a find again are done here; FindNext or FindPrevious come back when a
    // search has started (the host shows the bar for its status and calls continueFind() on its passes),
    // Find when there is nothing to find yet, and the rest as they are.
    ViewCommand run(ViewCommand command);

    void setFindOpen(bool open);
    bool findOpen() const { return findOpen_; }
    void setFindQuery(std::u16string_view query, bool matchCase) { find_.setQuery(query, matchCase); }
    void find(SearchDirection direction);
    void continueFind();
    bool finding() const { return find_.running(); }
    FindStatus findStatus() const { return find_.status(); }

    // For painting: the line, at most a page's width and two columns more.
    VisibleLine visibleLine(std::int64_t line) const;
    // Its bytes [from, to) with their stand-ins.
    void printableText(const VisibleLine& line, std::string& out) const;

    unsigned takeChanges()
    {
        const unsigned changes = changes_;
        changes_ = 0;
        return changes;
    }

private:
    void followStore();
    // The selection and scrolling after text came in at the end.
    void followAppend();

    TextStore store_;
    std::int64_t anchor_ = 0;
    std::int64_t caret_ = 0;
    // Up, Down and the page keys keep to this column across shorter lines.
    std::int64_t goalColumn_ = -1;
    std::int64_t topLine_ = 0;
    std::int64_t leftColumn_ = 0;
    std::int64_t pageLines_ = 0;
    std::int64_t pageColumns_ = 0;
    std::int64_t seenDroppedLines_ = 0;
    // The wheel's turn not yet scrolled, in 120ths of a line.
    int wheelRest_ = 0;
    bool followEnd_ = false;
    bool findOpen_ = false;
    FindSession find_;
    unsigned changes_ = 0;
};

#endif
