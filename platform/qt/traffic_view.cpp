#include "platform/qt/traffic_view.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <array>
#include <climits>
#include <cmath>

namespace {

constexpr int kMargin = 3;
constexpr int kDragScrollMs = 50;
// Keeps offsets, line numbers and scroll ranges within int, which Qt's scroll bars and accessibility use.
constexpr std::int64_t kMaxViewCapacity = std::int64_t{1} << 30;

bool isWordChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_'
        || (u >= 0xC0 && u != 0xD7 && u != 0xF7);
}

// Control bytes and the soft hyphen get a stand-in of one cell, so that columns stay lined up whatever
// the font does with them.
void makePrintable(std::string& bytes)
{
    for (char& c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            c = '.';
        else if (u == 0xAD)
            c = '-';
    }
}

} // namespace

// The text reaches accessibility tools as an edit control's would: offsets count CR and LF as one
// character each, as characterCount() does.
class TrafficViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TrafficViewAccessible(TrafficView* view)
        : QAccessibleWidget(view, QAccessible::EditableText)
    { }

    static QAccessibleInterface* create(const QString& className, QObject* object)
    {
        if (className == QLatin1String("TrafficView"))
            if (auto* view = qobject_cast<TrafficView*>(object))
                return new TrafficViewAccessible(view);
        return nullptr;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.editable = false;
        s.multiLine = true;
        s.selectableText = true;
        s.focusable = true;
        return s;
    }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return text(0, characterCount());
        return QAccessibleWidget::text(type);
    }

    void selection(int index, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;
        *endOffset = 0;
        if (index == 0 && view()->hasSelection()) {
            *startOffset = relative(view()->selectionStart());
            *endOffset = relative(view()->selectionEnd());
        }
    }
    int selectionCount() const override { return view()->hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int index) override
    {
        if (index == 0)
            view()->setSelection(view()->cursor_, view()->cursor_);
    }
    void setSelection(int index, int startOffset, int endOffset) override
    {
        if (index == 0)
            view()->setSelection(absolute(startOffset), absolute(endOffset));
    }
    int cursorPosition() const override { return relative(view()->cursor_); }
    void setCursorPosition(int position) override
    {
        const std::int64_t at = absolute(position);
        view()->setSelection(at, at);
        view()->ensureVisible(at);
    }

    QString text(int startOffset, int endOffset) const override
    {
        const std::int64_t from = absolute(startOffset);
        const std::int64_t to = absolute(endOffset);
        if (from >= to)
            return {};
        return QString::fromLatin1(store().text(from, to));
    }
    QString textBeforeOffset(
        int offset, QAccessible::TextBoundaryType type, int* startOffset, int* endOffset) const override
    {
        const auto [from, to] = segment(absolute(offset), type);
        if (from <= store().beginOffset())
            return noText(startOffset, endOffset);
        return segmentText(segment(from - 1, type), startOffset, endOffset);
    }
    QString textAfterOffset(
        int offset, QAccessible::TextBoundaryType type, int* startOffset, int* endOffset) const override
    {
        const auto [from, to] = segment(absolute(offset), type);
        if (to >= store().endOffset())
            return noText(startOffset, endOffset);
        return segmentText(segment(to, type), startOffset, endOffset);
    }
    QString textAtOffset(
        int offset, QAccessible::TextBoundaryType type, int* startOffset, int* endOffset) const override
    {
        if (store().size() == 0)
            return noText(startOffset, endOffset);
        return segmentText(segment(absolute(offset), type), startOffset, endOffset);
    }
    int characterCount() const override { return static_cast<int>(store().size()); }

    QRect characterRect(int offset) const override
    {
        QRect cell = view()->caretRect(absolute(offset));
        cell.setWidth(qCeil(view()->charWidth_));
        return QRect(view()->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const QPoint local = view()->viewport()->mapFromGlobal(point);
        if (!view()->viewport()->rect().contains(local))
            return -1;
        return relative(view()->offsetAt(local));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        view()->ensureVisible(absolute(endIndex));
        view()->ensureVisible(absolute(startIndex));
    }
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    TrafficView* view() const { return static_cast<TrafficView*>(object()); }
    const TextStore& store() const { return view()->store_; }
    int relative(std::int64_t offset) const { return static_cast<int>(offset - store().beginOffset()); }
    std::int64_t absolute(int offset) const
    {
        return std::clamp(store().beginOffset() + offset, store().beginOffset(), store().endOffset());
    }

    // Lines, sentences and paragraphs are all one line with its line break; words are runs of word
    // characters or of anything else within a line.
    std::pair<std::int64_t, std::int64_t> segment(std::int64_t at, QAccessible::TextBoundaryType type) const
    {
        const TextStore& s = store();
        at = std::min(at, s.endOffset() - 1);
        const std::int64_t line = s.lineAt(at);
        const std::int64_t lineFrom = s.lineStart(line);
        const std::int64_t lineTo = line + 1 < s.lineCount() ? s.lineStart(line + 1) : s.endOffset();
        switch (type) {
        case QAccessible::CharBoundary:
            return {at, at + 1};
        case QAccessible::WordBoundary: {
            const std::int64_t end = s.lineEnd(line);
            if (at >= end)
                return {end, lineTo};
            const bool word = isWordChar(s.at(at));
            std::int64_t from = at;
            std::int64_t to = at + 1;
            while (from > lineFrom && isWordChar(s.at(from - 1)) == word)
                --from;
            while (to < end && isWordChar(s.at(to)) == word)
                ++to;
            return {from, to};
        }
        case QAccessible::NoBoundary:
            return {s.beginOffset(), s.endOffset()};
        default:
            return {lineFrom, lineTo};
        }
    }
    QString segmentText(std::pair<std::int64_t, std::int64_t> range, int* startOffset, int* endOffset) const
    {
        *startOffset = relative(range.first);
        *endOffset = relative(range.second);
        return QString::fromLatin1(store().text(range.first, range.second));
    }
    static QString noText(int* startOffset, int* endOffset)
    {
        *startOffset = -1;
        *endOffset = -1;
        return {};
    }
};

TrafficView::TrafficView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    // Qt keeps one entry per factory, so every view may ask.
    QAccessible::installFactory(&TrafficViewAccessible::create);

    // Whole-pixel advances keep every column on the same pixel grid, and spare the painter glyph
    // variants for fractional positions, which bulk repaints of random bytes pay for.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleStrategy(QFont::PreferNoShaping);
    fixed.setHintingPreference(QFont::PreferFullHinting);
    setFont(fixed);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    updateMetrics();
    updateScrollBars();
}

void TrafficView::appendText(std::string_view text)
{
    if (text.empty())
        return;
    store_.append(text);
    followEnd_ = true;
    followStore();
    if (!hasSelection()) {
        const std::int64_t end = store_.lineEnd(store_.lineCount() - 1);
        anchor_ = end;
        cursor_ = end;
    }
    scheduleFlush();
}

void TrafficView::setText(std::string_view text)
{
    store_.clear();
    store_.append(text);
    seenDroppedLines_ = store_.droppedLines();
    announcedEnd_ = store_.beginOffset();
    anchor_ = store_.beginOffset();
    cursor_ = anchor_;
    goalColumn_ = -1;
    followEnd_ = false;
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    scheduleFlush();
}

std::string TrafficView::text() const
{
    return store_.text();
}

qint64 TrafficView::characterCount() const
{
    return store_.size();
}

void TrafficView::setCapacity(qint64 maxCharacters)
{
    store_.setCapacity(std::min<std::int64_t>(maxCharacters, kMaxViewCapacity));
    followStore();
    scheduleFlush();
}

void TrafficView::scheduleFlush()
{
    if (flushPending_)
        return;
    flushPending_ = true;
    QMetaObject::invokeMethod(this, &TrafficView::flush, Qt::QueuedConnection);
}

void TrafficView::flush()
{
    flushPending_ = false;
    updateScrollBars();
    if (followEnd_) {
        followEnd_ = false;
        scrollToEnd();
    }
    viewport()->update();
    notifyAccessibility();
}

// Offsets outlive dropped lines but line numbers shift, and so does the scroll position with them.
void TrafficView::followStore()
{
    const std::int64_t dropped = store_.droppedLines() - seenDroppedLines_;
    seenDroppedLines_ = store_.droppedLines();
    anchor_ = std::max(anchor_, store_.beginOffset());
    cursor_ = std::max(cursor_, store_.beginOffset());
    if (dropped > 0 && !followEnd_)
        verticalScrollBar()->setValue(static_cast<int>(std::max<std::int64_t>(0, topLine() - dropped)));
}

void TrafficView::updateMetrics()
{
    const QFontMetricsF metrics(font());
    charWidth_ = std::max<qreal>(1, metrics.horizontalAdvance(QLatin1Char('0')));
    lineHeight_ = std::max(1, qCeil(metrics.lineSpacing()));
    ascent_ = qCeil(metrics.ascent());
}

void TrafficView::updateScrollBars()
{
    const int lines = visibleLines();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, static_cast<int>(std::max<std::int64_t>(0, store_.lineCount() - lines)));
    vertical->setPageStep(std::max(1, lines));
    vertical->setSingleStep(1);

    // One column more than the longest line, for a caret after its last character.
    const int columns = visibleColumns();
    const std::int64_t widest = std::min<std::int64_t>(INT_MAX, store_.longestLine() + 1);
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, static_cast<int>(std::max<std::int64_t>(0, widest - columns)));
    horizontal->setPageStep(std::max(1, columns));
    horizontal->setSingleStep(1);
}

void TrafficView::scrollToEnd()
{
    ensureVisible(store_.lineEnd(store_.lineCount() - 1));
}

void TrafficView::ensureVisible(std::int64_t offset)
{
    if (flushPending_)
        updateScrollBars();
    const std::int64_t line = store_.lineAt(offset);
    const std::int64_t column = offset - store_.lineStart(line);

    QScrollBar* vertical = verticalScrollBar();
    const int lines = std::max(1, visibleLines());
    if (line < vertical->value())
        vertical->setValue(static_cast<int>(line));
    else if (line >= vertical->value() + lines)
        vertical->setValue(static_cast<int>(line - lines + 1));

    QScrollBar* horizontal = horizontalScrollBar();
    const int columns = std::max(1, visibleColumns());
    if (column < horizontal->value())
        horizontal->setValue(static_cast<int>(column));
    else if (column >= horizontal->value() + columns)
        horizontal->setValue(static_cast<int>(std::min<std::int64_t>(INT_MAX, column - columns + 1)));
}

int TrafficView::visibleLines() const
{
    return viewport()->height() / lineHeight_;
}

int TrafficView::visibleColumns() const
{
    return std::max(0, static_cast<int>((viewport()->width() - kMargin) / charWidth_));
}

int TrafficView::topLine() const
{
    return verticalScrollBar()->value();
}

std::int64_t TrafficView::offsetAt(QPoint viewportPos) const
{
    const std::int64_t row = static_cast<std::int64_t>(std::floor(static_cast<double>(viewportPos.y()) / lineHeight_));
    const std::int64_t line = std::clamp<std::int64_t>(topLine() + row, 0, store_.lineCount() - 1);
    const std::int64_t start = store_.lineStart(line);
    const std::int64_t column = horizontalScrollBar()->value() + qRound((viewportPos.x() - kMargin) / charWidth_);
    return start + std::clamp<std::int64_t>(column, 0, store_.lineEnd(line) - start);
}

QRect TrafficView::caretRect(std::int64_t offset) const
{
    const std::int64_t line = store_.lineAt(offset);
    const std::int64_t column = offset - store_.lineStart(line) - horizontalScrollBar()->value();
    // Far off screen only the side matters; keep the arithmetic within int.
    constexpr std::int64_t kFar = INT_MAX / 4;
    const std::int64_t x = kMargin + std::llround(static_cast<double>(column) * charWidth_);
    const std::int64_t y = (line - topLine()) * lineHeight_;
    return QRect(
        static_cast<int>(std::clamp(x, -kFar, kFar)), static_cast<int>(std::clamp(y, -kFar, kFar)), 1, lineHeight_);
}

void TrafficView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QRect area = event->rect();
    const std::int64_t top = topLine();
    const std::int64_t first = top + std::max(0, area.top()) / lineHeight_;
    const std::int64_t last = std::min(store_.lineCount() - 1, top + area.bottom() / lineHeight_);
    const std::int64_t scrolled = horizontalScrollBar()->value();
    const std::int64_t columns = visibleColumns() + 2;
    const std::int64_t selectedFrom = selectionStart();
    const std::int64_t selectedTo = selectionEnd();
    const QPalette& colors = palette();

    for (std::int64_t line = first; line <= last; ++line) {
        const int y = static_cast<int>(line - top) * lineHeight_;
        const std::int64_t start = store_.lineStart(line);
        const std::int64_t end = store_.lineEnd(line);
        const std::int64_t from = std::min(start + scrolled, end);
        const std::int64_t to = std::min(end, from + columns);
        const auto xAt
            = [&](std::int64_t offset) { return kMargin + static_cast<qreal>(offset - start - scrolled) * charWidth_; };

        if (hasSelection()) {
            // A selected line break shows as one more selected cell.
            const bool breakSelected = selectedFrom <= end && selectedTo > end && line + 1 < store_.lineCount();
            const std::int64_t cellsFrom = std::clamp(selectedFrom, from, to);
            const std::int64_t cellsTo = std::clamp(selectedTo, from, to) + (breakSelected && to == end ? 1 : 0);
            if (cellsFrom < cellsTo)
                painter.fillRect(
                    QRectF(xAt(cellsFrom), y, static_cast<qreal>(cellsTo - cellsFrom) * charWidth_, lineHeight_),
                    colors.color(QPalette::Highlight));
        }

        if (from < to) {
            paintBuffer_.resize(static_cast<std::size_t>(to - from));
            store_.copy(from, to, paintBuffer_.data());
            makePrintable(paintBuffer_);
            const auto run = [&](std::int64_t runFrom, std::int64_t runTo, QPalette::ColorRole role) {
                if (runFrom >= runTo)
                    return;
                painter.setPen(colors.color(role));
                painter.drawText(QPointF(xAt(runFrom), y + ascent_),
                    QString::fromLatin1(paintBuffer_.data() + (runFrom - from), runTo - runFrom));
            };
            const std::int64_t highlightFrom = std::clamp(selectedFrom, from, to);
            const std::int64_t highlightTo = std::clamp(selectedTo, from, to);
            run(from, highlightFrom, QPalette::Text);
            run(highlightFrom, highlightTo, QPalette::HighlightedText);
            run(highlightTo, to, QPalette::Text);
        }
    }

    if (hasFocus()) {
        const QRect caret = caretRect(cursor_);
        if (caret.left() >= kMargin && caret.intersects(area))
            painter.fillRect(caret, colors.color(QPalette::Text));
    }
}

void TrafficView::resizeEvent(QResizeEvent* event)
{
    // A scroll bar coming or going resizes the viewport after the scroll to the end; stay there.
    QScrollBar* vertical = verticalScrollBar();
    const bool atEnd = vertical->value() == vertical->maximum();
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    if (atEnd)
        vertical->setValue(vertical->maximum());
}

void TrafficView::scrollContentsBy(int, int)
{
    viewport()->update();
}

bool TrafficView::navigation(const QKeyEvent* event, Move& move, bool& select)
{
    struct Binding {
        QKeySequence::StandardKey key;
        Move move;
        bool select;
    };
    static constexpr std::array kBindings{
        Binding{QKeySequence::MoveToPreviousChar, Move::PreviousChar, false},
        Binding{QKeySequence::MoveToNextChar, Move::NextChar, false},
        Binding{QKeySequence::MoveToPreviousWord, Move::PreviousWord, false},
        Binding{QKeySequence::MoveToNextWord, Move::NextWord, false},
        Binding{QKeySequence::MoveToPreviousLine, Move::PreviousLine, false},
        Binding{QKeySequence::MoveToNextLine, Move::NextLine, false},
        Binding{QKeySequence::MoveToPreviousPage, Move::PreviousPage, false},
        Binding{QKeySequence::MoveToNextPage, Move::NextPage, false},
        Binding{QKeySequence::MoveToStartOfLine, Move::StartOfLine, false},
        Binding{QKeySequence::MoveToEndOfLine, Move::EndOfLine, false},
        Binding{QKeySequence::MoveToStartOfDocument, Move::StartOfText, false},
        Binding{QKeySequence::MoveToEndOfDocument, Move::EndOfText, false},
        Binding{QKeySequence::SelectPreviousChar, Move::PreviousChar, true},
        Binding{QKeySequence::SelectNextChar, Move::NextChar, true},
        Binding{QKeySequence::SelectPreviousWord, Move::PreviousWord, true},
        Binding{QKeySequence::SelectNextWord, Move::NextWord, true},
        Binding{QKeySequence::SelectPreviousLine, Move::PreviousLine, true},
        Binding{QKeySequence::SelectNextLine, Move::NextLine, true},
        Binding{QKeySequence::SelectPreviousPage, Move::PreviousPage, true},
        Binding{QKeySequence::SelectNextPage, Move::NextPage, true},
        Binding{QKeySequence::SelectStartOfLine, Move::StartOfLine, true},
        Binding{QKeySequence::SelectEndOfLine, Move::EndOfLine, true},
        Binding{QKeySequence::SelectStartOfDocument, Move::StartOfText, true},
        Binding{QKeySequence::SelectEndOfDocument, Move::EndOfText, true},
    };
    for (const Binding& binding : kBindings) {
        if (event->matches(binding.key)) {
            move = binding.move;
            select = binding.select;
            return true;
        }
    }
    return false;
}

bool TrafficView::event(QEvent* event)
{
    // Keys the view acts on win over the window's shortcuts, as in an edit control.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        Move move;
        bool select = false;
        if (navigation(key, move, select) || key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)
            || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            key->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TrafficView::keyPressEvent(QKeyEvent* event)
{
    Move move;
    bool select = false;
    if (navigation(event, move, select))
        moveCursor(move, select);
    else if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        // Escape and the rest belong to the dialog. Return stays here, away from its default button.
        event->ignore();
        return;
    }
    event->accept();
}

std::int64_t TrafficView::moved(std::int64_t from, Move move) const
{
    const std::int64_t line = store_.lineAt(from);
    const std::int64_t lastLine = store_.lineCount() - 1;
    const std::int64_t start = store_.lineStart(line);
    const std::int64_t end = store_.lineEnd(line);
    const auto toLine = [&](std::int64_t lines) {
        const std::int64_t target = std::clamp(line + lines, std::int64_t{0}, lastLine);
        const std::int64_t targetStart = store_.lineStart(target);
        const std::int64_t column = goalColumn_ >= 0 ? goalColumn_ : from - start;
        return targetStart + std::min(column, store_.lineEnd(target) - targetStart);
    };
    const std::int64_t page = std::max(1, visibleLines());

    switch (move) {
    case Move::PreviousChar:
        return from > start ? from - 1 : line > 0 ? store_.lineEnd(line - 1) : from;
    case Move::NextChar:
        return from < end ? from + 1 : line < lastLine ? store_.lineStart(line + 1) : from;
    case Move::PreviousWord: {
        if (from == start)
            return moved(from, Move::PreviousChar);
        std::int64_t at = from;
        while (at > start && !isWordChar(store_.at(at - 1)))
            --at;
        while (at > start && isWordChar(store_.at(at - 1)))
            --at;
        return at;
    }
    case Move::NextWord: {
        if (from == end)
            return moved(from, Move::NextChar);
        std::int64_t at = from;
        while (at < end && isWordChar(store_.at(at)))
            ++at;
        while (at < end && !isWordChar(store_.at(at)))
            ++at;
        return at;
    }
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
        return store_.beginOffset();
    case Move::EndOfText:
        return store_.lineEnd(lastLine);
    }
    return from;
}

void TrafficView::moveCursor(Move move, bool select)
{
    const bool vertical
        = move == Move::PreviousLine || move == Move::NextLine || move == Move::PreviousPage || move == Move::NextPage;
    if (!vertical)
        goalColumn_ = -1;
    else if (goalColumn_ < 0)
        goalColumn_ = cursor_ - store_.lineStart(store_.lineAt(cursor_));

    std::int64_t to = moved(cursor_, move);
    // Without Shift, Left and Right first collapse a selection to its near edge, as edits do.
    if (!select && hasSelection() && move == Move::PreviousChar)
        to = selectionStart();
    else if (!select && hasSelection() && move == Move::NextChar)
        to = selectionEnd();

    if (move == Move::PreviousPage || move == Move::NextPage) {
        const int page = std::max(1, visibleLines());
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() + (move == Move::NextPage ? page : -page));
    }
    setSelection(select ? anchor_ : to, to);
    ensureVisible(to);
}

void TrafficView::setSelection(std::int64_t anchor, std::int64_t cursor)
{
    const bool selectionChanged = std::minmax(anchor, cursor) != std::minmax(anchor_, cursor_);
    const bool cursorMoved = cursor != cursor_;
    anchor_ = anchor;
    cursor_ = cursor;
    if (!selectionChanged && !cursorMoved)
        return;
    viewport()->update();
    if (!QAccessible::isActive())
        return;
    const auto relative = [this](std::int64_t offset) { return static_cast<int>(offset - store_.beginOffset()); };
    if (cursorMoved) {
        QAccessibleTextCursorEvent moved(this, relative(cursor_));
        QAccessible::updateAccessibility(&moved);
    }
    if (selectionChanged) {
        QAccessibleTextSelectionEvent selected(this, relative(selectionStart()), relative(selectionEnd()));
        QAccessible::updateAccessibility(&selected);
    }
}

void TrafficView::selectAll()
{
    setSelection(store_.beginOffset(), store_.endOffset());
}

void TrafficView::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(plainText(selectionStart(), selectionEnd()));
}

QString TrafficView::plainText(std::int64_t from, std::int64_t to) const
{
    std::string bytes = store_.text(from, to);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        bytes[kept++] = bytes[i];
    }
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(kept));
}

std::pair<std::int64_t, std::int64_t> TrafficView::wordAt(std::int64_t offset) const
{
    const std::int64_t line = store_.lineAt(offset);
    const std::int64_t start = store_.lineStart(line);
    const std::int64_t end = store_.lineEnd(line);
    std::int64_t from = offset;
    std::int64_t to = offset;
    while (from > start && isWordChar(store_.at(from - 1)))
        --from;
    while (to < end && isWordChar(store_.at(to)))
        ++to;
    if (from == to && to < end)
        ++to;
    return {from, to};
}

void TrafficView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const std::int64_t at = offsetAt(event->position().toPoint());
    goalColumn_ = -1;
    setSelection(event->modifiers() & Qt::ShiftModifier ? anchor_ : at, at);
    dragging_ = true;
    dragPos_ = event->position().toPoint();
    event->accept();
}

void TrafficView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    dragPos_ = event->position().toPoint();
    const std::int64_t at = offsetAt(dragPos_);
    setSelection(anchor_, at);
    ensureVisible(at);
    // Held outside the text, the selection keeps growing and the view keeps scrolling.
    if (viewport()->rect().contains(dragPos_))
        dragScrollTimer_.stop();
    else if (!dragScrollTimer_.isActive())
        dragScrollTimer_.start(kDragScrollMs, this);
    event->accept();
}

void TrafficView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    dragScrollTimer_.stop();
    event->accept();
}

void TrafficView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    const auto [from, to] = wordAt(offsetAt(event->position().toPoint()));
    setSelection(from, to);
    event->accept();
}

void TrafficView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != dragScrollTimer_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    QScrollBar* vertical = verticalScrollBar();
    if (dragPos_.y() < 0)
        vertical->setValue(vertical->value() - 1);
    else if (dragPos_.y() >= viewport()->height())
        vertical->setValue(vertical->value() + 1);
    const std::int64_t at = offsetAt(dragPos_);
    setSelection(anchor_, at);
    ensureVisible(at);
}

void TrafficView::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copyAction = menu->addAction(tr("&Copy"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    connect(copyAction, &QAction::triggered, this, [this] { copy(); });
    QAction* selectAllAction = menu->addAction(tr("Select &All"));
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setEnabled(store_.size() > 0);
    connect(selectAllAction, &QAction::triggered, this, [this] { selectAll(); });
    menu->popup(event->globalPos());
    event->accept();
}

void TrafficView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TrafficView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void TrafficView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        updateScrollBars();
        viewport()->update();
    }
}

// Dropped and replaced text goes unannounced: a removal event carries the removed text, hundreds of
// megabytes for a full view.
void TrafficView::notifyAccessibility()
{
    const std::int64_t begin = store_.beginOffset();
    const std::int64_t end = store_.endOffset();
    const std::int64_t from = std::max(announcedEnd_, begin);
    announcedEnd_ = end;
    if (from >= end || !QAccessible::isActive())
        return;
    QAccessibleTextInsertEvent inserted(
        this, static_cast<int>(from - begin), QString::fromLatin1(store_.text(from, end)));
    QAccessible::updateAccessibility(&inserted);
}
