// A read-only, non-wrapping view of relayed traffic that keeps up with bulk appends: the text lives in
// a TextStore, only the visible lines are painted, and appends only mark the view dirty; scroll bars and
// painting catch up once per pass of the event loop.
#ifndef BRINDLE_PLATFORM_QT_TRAFFIC_VIEW_H
#define BRINDLE_PLATFORM_QT_TRAFFIC_VIEW_H

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPoint>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/text/text_motion.h"
#include "platform/text/text_search.h"
#include "platform/text/text_store.h"

class FindBar;
class TrafficViewAccessible;

class TrafficView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TrafficView(QWidget* parent = nullptr);

    // Single-byte (Latin-1) text with CR LF line ends. Lands at the very end whatever is selected; the
    // view scrolls there, to the end of the last line, on the event loop's next pass.
    void appendText(std::string_view text);
    // Replaces everything; "" empties the view.
    void setText(std::string_view text);
    std::string text() const;
    // CR and LF count as one character each.
    qint64 characterCount() const;
    // 256 MiB unless set; at most 1 GiB. Past it the oldest lines go, a quarter of it at a time.
    void setCapacity(qint64 maxCharacters);
    // Opens the find bar over the view's bottom edge, the focus in its field.
    void openFind();
    // Null until find is first opened.
    FindBar* findBar() const { return findBar_; }

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class TrafficViewAccessible;

    static bool navigation(const QKeyEvent* event, Move& move, bool& select);
    void scheduleFlush();
    void flush();
    void followStore();
    void updateMetrics();
    void updateScrollBars();
    void scrollToEnd();
    void ensureVisible(std::int64_t offset);
    int visibleLines() const;
    int visibleColumns() const;
    int topLine() const;
    std::int64_t offsetAt(QPoint viewportPos) const;
    QRect caretRect(std::int64_t offset) const;
    void moveCursor(Move move, bool select);
    void setSelection(std::int64_t anchor, std::int64_t cursor);
    void selectAll();
    void copy() const;
    bool hasSelection() const { return anchor_ != cursor_; }
    std::int64_t selectionStart() const { return std::min(anchor_, cursor_); }
    std::int64_t selectionEnd() const { return std::max(anchor_, cursor_); }
    // The range with LF line ends, as the clipboard and accessibility tools get it.
    QString plainText(std::int64_t from, std::int64_t to) const;
    void notifyAccessibility();
    void makeFindBar();
    // Shows the bar, in the Tab order after the view, without moving the focus.
    void showFindBar();
    void closeFind();
    void layoutFindBar();
    void find(SearchDirection direction);
    void findAgain(SearchDirection direction);
    void searchSlices();
    void cancelSearch();

    TextStore store_;
    std::int64_t anchor_ = 0;
    std::int64_t cursor_ = 0;
    // Up and Down keep to this column across shorter lines.
    std::int64_t goalColumn_ = -1;
    std::int64_t seenDroppedLines_ = 0;
    std::int64_t announcedEnd_ = 0;
    bool flushPending_ = false;
    bool followEnd_ = false;
    bool dragging_ = false;
    QPoint dragPos_;
    QBasicTimer dragScrollTimer_;
    qreal charWidth_ = 1;
    int lineHeight_ = 1;
    int ascent_ = 0;
    std::string paintBuffer_;
    FindBar* findBar_ = nullptr;
    std::optional<TextSearch> search_;
    QBasicTimer searchTimer_;
    // What the last search looked for: a changed needle is first tried where the selection starts.
    std::string lastNeedle_;
    bool lastMatchCase_ = false;
};

#endif
