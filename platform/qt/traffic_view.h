// A read-only, non-wrapping view of relayed traffic that keeps up with bulk appends: the text and every
// decision about it live in a TrafficViewModel; this widget paints the visible lines, keeps its scroll
// bars in step and hands the model its input. Appends only mark the view dirty; scroll bars and painting
// catch up once per pass of the event loop.
#ifndef BRINDLE_PLATFORM_QT_TRAFFIC_VIEW_H
#define BRINDLE_PLATFORM_QT_TRAFFIC_VIEW_H

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QPoint>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/text/traffic_view_model.h"

class FindBar;
class TrafficViewAccessible;

class TrafficView : public QAbstractScrollArea, private TrafficViewHost {
    Q_OBJECT

public:
    explicit TrafficView(QWidget* parent = nullptr);

    // Single-byte (Latin-1) text with CR LF line ends. Lands at the very end whatever is selected; the
    // view scrolls there, to the end of the last line, on the event loop's next pass.
    void appendText(std::string_view text);
    // The same for one received chunk, which the view keeps and shows as `format` makes it.
    void appendTraffic(std::string_view bytes, TrafficFormat format);
    // Replaces everything; "" empties the view.
    void setText(std::string_view text);
    std::string text() const;
    // CR and LF count as one character each.
    qint64 characterCount() const;
    // 256 MiB unless set; at most 1 GiB. Past it the oldest lines go, a quarter of it at a time.
    void setCapacity(qint64 maxCharacters);
    // Opens the find bar over the view's bottom edge, the focus in its field.
    void openFind();
    // Made hidden with the view, beside it in its window.
    FindBar* findBar() const { return findBar_; }
    // The text, caret and selection, for what reads the view.
    const TrafficViewModel& model() const { return model_; }

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
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class TrafficViewAccessible;

    void scheduleFlush();
    void flush();
    // Brings the widget in step with what the model changed: scroll bars, repaint, accessibility events,
    // the find bar's status.
    void sync();
    void updateMetrics();
    void updatePage();
    void updateScrollBars();
    int visibleLines() const;
    int visibleColumns() const;
    // The character cell under a viewport position, relative to the top line and left column shown.
    LineColumn cellAt(QPoint viewportPos) const;
    QRect caretRect(std::int64_t offset) const;
    // The top left of a cell relative to the window, as the model counts them.
    QPoint cellOrigin(std::int64_t row, std::int64_t column) const;
    void pressLeftButton(QMouseEvent* event, bool doubleClick);
    void copySelection() override;
    void openFind(bool focus) override;
    void closeFind() override;
    void continueSearch() override;
    void openContextMenu() override;
    void showMenu(QPoint globalPos);
    void notifyAccessibility();
    void makeFindBar();
    void layoutFindBar();
    void find(SearchDirection direction);

    TrafficViewModel model_;
    std::int64_t announcedEnd_ = 0;
    bool flushPending_ = false;
    bool syncingScrollBars_ = false;
    bool dragging_ = false;
    QPoint dragPos_;
    QBasicTimer dragScrollTimer_;
    ClickCounter clicks_;
    QElapsedTimer clickClock_;
    qreal charWidth_ = 1;
    int lineHeight_ = 1;
    int ascent_ = 0;
    std::string paintBuffer_;
    FindBar* findBar_ = nullptr;
    QBasicTimer searchTimer_;
};

#endif
