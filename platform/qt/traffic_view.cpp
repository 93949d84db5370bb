#include "platform/qt/traffic_view.h"

#include "platform/qt/find_bar.h"
#include "platform/qt/traffic_view_accessible.h"
#include "platform/qt/traffic_view_scroll_bar.h"

#include <QAccessible>
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QWheelEvent>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kMargin = 3;
constexpr int kDragScrollMs = 50;
// Keeps offsets, line numbers and scroll ranges within int, which Qt's scroll bars and accessibility use.
constexpr std::int64_t kMaxViewCapacity = std::int64_t{1} << 30;

int toInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, INT_MAX));
}

} // namespace

TrafficView::TrafficView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    // First: everything below may set the bars' position, which takes these.
    setVerticalScrollBar(new TrafficViewScrollBar(Qt::Vertical));
    setHorizontalScrollBar(new TrafficViewScrollBar(Qt::Horizontal));
    // Qt keeps one entry per factory, so every view may ask.
    QAccessible::installFactory(&createTrafficViewAccessible);

    // Whole-pixel advances keep every column on the same pixel grid, and spare the painter glyph
    // variants for fractional positions, which bulk repaints of random bytes pay for.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleStrategy(QFont::PreferNoShaping);
    fixed.setHintingPreference(QFont::PreferFullHinting);
    setFont(fixed);
    setFocusPolicy(Qt::StrongFocus);
    clickClock_.start();
    viewport()->setCursor(Qt::IBeamCursor);
    updateMetrics();
    updatePage();
    model_.takeChanges();
    updateScrollBars();
    makeFindBar();
}

void TrafficView::appendText(std::string_view text)
{
    if (text.empty())
        return;
    model_.append(text);
    scheduleFlush();
}

void TrafficView::appendTraffic(std::string_view bytes, TrafficFormat format)
{
    model_.appendTraffic(bytes, format);
    scheduleFlush();
}

void TrafficView::setText(std::string_view text)
{
    model_.setText(text);
    announcedEnd_ = model_.store().beginOffset();
    sync();
    scheduleFlush();
}

std::string TrafficView::text() const
{
    return model_.store().text();
}

qint64 TrafficView::characterCount() const
{
    return model_.store().size();
}

void TrafficView::setCapacity(qint64 maxCharacters)
{
    model_.setCapacity(std::min<std::int64_t>(maxCharacters, kMaxViewCapacity));
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
    model_.flush();
    sync();
    viewport()->update();
    notifyAccessibility();
}

void TrafficView::sync()
{
    const unsigned changes = model_.takeChanges();
    if (changes == 0)
        return;
    if (changes & (kTextChanged | kScrolled))
        updateScrollBars();
    viewport()->update();
    // The selection first, then the find status: a reader hears the match, then the bar's answer.
    if (QAccessible::isActive()) {
        const auto relative
            = [this](std::int64_t offset) { return static_cast<int>(offset - model_.store().beginOffset()); };
        if (changes & kCaretMoved) {
            QAccessibleTextCursorEvent moved(this, relative(model_.caret()));
            QAccessible::updateAccessibility(&moved);
        }
        if (changes & kSelectionChanged) {
            const TextRange selected = model_.selection();
            QAccessibleTextSelectionEvent event(this, relative(selected.from), relative(selected.to));
            QAccessible::updateAccessibility(&event);
        }
    }
    if (changes & kFindStatusChanged && findBar_)
        findBar_->setStatus(QString::fromLatin1(findStatusText(model_.findStatus())));
}

void TrafficView::updateMetrics()
{
    const QFontMetricsF metrics(font());
    charWidth_ = std::max<qreal>(1, metrics.horizontalAdvance(QLatin1Char('0')));
    lineHeight_ = std::max(1, qCeil(metrics.lineSpacing()));
    ascent_ = qCeil(metrics.ascent());
}

void TrafficView::updatePage()
{
    model_.setPage(visibleLines(), visibleColumns());
}

// The scroll bars show the model's position; while they are set, their own signals are not input.
void TrafficView::updateScrollBars()
{
    syncingScrollBars_ = true;
    static_cast<TrafficViewScrollBar*>(verticalScrollBar())
        ->setPosition(toInt(model_.maxTopLine()), std::max(1, visibleLines()), toInt(model_.topLine()));
    static_cast<TrafficViewScrollBar*>(horizontalScrollBar())
        ->setPosition(toInt(model_.maxLeftColumn()), std::max(1, visibleColumns()), toInt(model_.leftColumn()));
    syncingScrollBars_ = false;
}

int TrafficView::visibleLines() const
{
    return viewport()->height() / lineHeight_;
}

int TrafficView::visibleColumns() const
{
    return std::max(0, static_cast<int>((viewport()->width() - kMargin) / charWidth_));
}

LineColumn TrafficView::cellAt(QPoint viewportPos) const
{
    return {static_cast<std::int64_t>(std::floor(static_cast<double>(viewportPos.y()) / lineHeight_)),
        qRound((viewportPos.x() - kMargin) / charWidth_)};
}

QPoint TrafficView::cellOrigin(std::int64_t row, std::int64_t column) const
{
    // Far off screen only the side matters; keep the arithmetic within int.
    constexpr std::int64_t kFar = INT_MAX / 4;
    const std::int64_t x = kMargin + std::llround(static_cast<double>(column) * charWidth_);
    const std::int64_t y = row * lineHeight_;
    return {static_cast<int>(std::clamp(x, -kFar, kFar)), static_cast<int>(std::clamp(y, -kFar, kFar))};
}

QRect TrafficView::caretRect(std::int64_t offset) const
{
    const auto [row, column] = model_.cellOf(offset);
    return QRect(cellOrigin(row, column), QSize(1, lineHeight_));
}

void TrafficView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QRect area = event->rect();
    const TextStore& store = model_.store();
    const std::int64_t top = model_.topLine();
    const std::int64_t first = top + std::max(0, area.top()) / lineHeight_;
    const std::int64_t last = std::min(store.lineCount() - 1, top + area.bottom() / lineHeight_);
    const QPalette& colors = palette();

    for (std::int64_t line = first; line <= last; ++line) {
        const int y = static_cast<int>(line - top) * lineHeight_;
        const VisibleLine shown = model_.visibleLine(line);
        const auto xAt = [&](std::int64_t offset) {
            return kMargin + static_cast<qreal>(offset - shown.start - model_.leftColumn()) * charWidth_;
        };
        const std::int64_t cellsTo = shown.selectedTo + (shown.breakSelected ? 1 : 0);
        if (shown.selectedFrom < cellsTo)
            painter.fillRect(QRectF(xAt(shown.selectedFrom), y,
                                 static_cast<qreal>(cellsTo - shown.selectedFrom) * charWidth_, lineHeight_),
                colors.color(QPalette::Highlight));

        model_.printableText(shown, paintBuffer_);
        const auto run = [&](std::int64_t runFrom, std::int64_t runTo, QPalette::ColorRole role) {
            if (runFrom >= runTo)
                return;
            painter.setPen(colors.color(role));
            painter.drawText(QPointF(xAt(runFrom), y + ascent_),
                QString::fromLatin1(paintBuffer_.data() + (runFrom - shown.from), runTo - runFrom));
        };
        run(shown.from, shown.selectedFrom, QPalette::Text);
        run(shown.selectedFrom, shown.selectedTo, QPalette::HighlightedText);
        run(shown.selectedTo, shown.to, QPalette::Text);
    }

    if (hasFocus()) {
        const QRect caret = caretRect(model_.caret());
        if (caret.left() >= kMargin && caret.intersects(area))
            painter.fillRect(caret, colors.color(QPalette::Text));
    }
}

void TrafficView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (findBar_ && !findBar_->isHidden())
        layoutFindBar();
    updatePage();
    sync();
}

void TrafficView::scrollContentsBy(int, int)
{
    if (syncingScrollBars_)
        return;
    model_.scrollTo(verticalScrollBar()->value(), horizontalScrollBar()->value());
    sync();
    viewport()->update();
}

void TrafficView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    pressLeftButton(event, false);
}

void TrafficView::pressLeftButton(QMouseEvent* event, bool doubleClick)
{
    const Click click = clicks_.press(static_cast<std::uint32_t>(clickClock_.elapsed()), doubleClick,
        static_cast<std::uint32_t>(QGuiApplication::styleHints()->mouseDoubleClickInterval()));
    dragPos_ = event->position().toPoint();
    const auto [row, column] = cellAt(dragPos_);
    model_.click(row, column, click.count, event->modifiers() & Qt::ShiftModifier);
    sync();
    dragging_ = click.drags;
    event->accept();
}

void TrafficView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    dragPos_ = event->position().toPoint();
    const auto [row, column] = cellAt(dragPos_);
    model_.dragTo(row, column);
    sync();
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
    pressLeftButton(event, true);
}

void TrafficView::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    if (std::abs(delta.x()) > std::abs(delta.y()))
        model_.wheel(ScrollAxis::Horizontal, delta.x(), QApplication::wheelScrollLines());
    else
        model_.wheel(ScrollAxis::Vertical, delta.y(), QApplication::wheelScrollLines());
    sync();
    event->accept();
}

void TrafficView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == searchTimer_.timerId()) {
        model_.continueFind();
        if (!model_.finding())
            searchTimer_.stop();
        sync();
        return;
    }
    if (event->timerId() != dragScrollTimer_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    const auto [row, column] = cellAt(dragPos_);
    model_.dragScroll(row, column);
    sync();
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
        updatePage();
        sync();
        viewport()->update();
    }
}
