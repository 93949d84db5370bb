#include "platform/qt/traffic_view.h"

#include "platform/qt/find_bar.h"
#include "platform/qt/traffic_view_accessible.h"

#include <QAccessible>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <climits>
#include <cmath>

namespace {

constexpr int kMargin = 3;
constexpr int kDragScrollMs = 50;
// Keeps offsets, line numbers and scroll ranges within int, which Qt's scroll bars and accessibility use.
constexpr std::int64_t kMaxViewCapacity = std::int64_t{1} << 30;

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

TrafficView::TrafficView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    // Qt keeps one entry per factory, so every view may ask.
    QAccessible::installFactory(&createTrafficViewAccessible);

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
    makeFindBar();
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
    // Offsets start again from zero: a search under way would look in the wrong place.
    cancelSearch();
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
    const auto [line, column] = lineColumnAt(store_, offset);

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
    const std::int64_t column = horizontalScrollBar()->value() + qRound((viewportPos.x() - kMargin) / charWidth_);
    return offsetOf(store_, topLine() + row, column);
}

QRect TrafficView::caretRect(std::int64_t offset) const
{
    const auto [line, textColumn] = lineColumnAt(store_, offset);
    const std::int64_t column = textColumn - horizontalScrollBar()->value();
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
    if (findBar_ && !findBar_->isHidden())
        layoutFindBar();
    updateScrollBars();
    if (atEnd)
        vertical->setValue(vertical->maximum());
}

void TrafficView::scrollContentsBy(int, int)
{
    viewport()->update();
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
    const TextRange word = wordAt(store_, offsetAt(event->position().toPoint()));
    setSelection(word.from, word.to);
    event->accept();
}

void TrafficView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == searchTimer_.timerId()) {
        searchSlices();
        return;
    }
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
