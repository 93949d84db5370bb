// Find in the traffic view: the bar, and a search that runs in slices between passes of the event
// loop, so that a full view never freezes the window.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimerEvent>
#include <algorithm>

#include "platform/qt/find_bar.h"
#include "platform/qt/traffic_view.h"

namespace {

constexpr std::int64_t kSearchStepBytes = std::int64_t{1} << 20;
// One pass of the event loop searches for at most this long, and at most this many steps.
constexpr qint64 kSearchPassMs = 20;
constexpr int kMaxStepsPerPass = 64;

} // namespace

// Made with the view, hidden: a field made as it takes the focus would report its first caret
// before its focus, and a screen reader would then not name it.
void TrafficView::makeFindBar()
{
    // Beside the view in its window rather than inside it: a reader would otherwise present the
    // bar, and speak the view's line, as part of the view's text.
    findBar_ = new FindBar(parentWidget() ? parentWidget() : this);
    connect(findBar_, &FindBar::findRequested, this, &TrafficView::find);
    connect(findBar_, &FindBar::closeRequested, this, &TrafficView::closeFind);
}

void TrafficView::openFind()
{
    showFindBar();
    findBar_->open();
}

void TrafficView::showFindBar()
{
    if (!findBar_->isHidden())
        return;
    // Tab goes from the view into the bar, and from the bar on to what followed the view, however the
    // window ordered its controls since.
    QWidget::setTabOrder(this, findBar_->field());
    QWidget::setTabOrder(findBar_->field(), findBar_->matchCaseBox());
    findBar_->show();
    findBar_->raise();
    layoutFindBar();
}

void TrafficView::closeFind()
{
    cancelSearch();
    setFocus(Qt::OtherFocusReason);
    findBar_->hide();
    layoutFindBar();
}

// The bar takes room from the viewport instead of covering its last lines.
void TrafficView::layoutFindBar()
{
    const bool shown = findBar_ && !findBar_->isHidden();
    const int height = shown ? findBar_->sizeHint().height() : 0;
    setViewportMargins(0, 0, 0, height);
    if (shown) {
        const QRect text = viewport()->geometry();
        const QPoint place = mapTo(findBar_->parentWidget(), QPoint(text.left(), text.bottom() + 1));
        findBar_->setGeometry(place.x(), place.y(), text.width(), height);
    }
    updateScrollBars();
}

void TrafficView::find(SearchDirection direction)
{
    cancelSearch();
    const QString needle = findBar_->text();
    if (needle.isEmpty()) {
        findBar_->setStatus(QString());
        return;
    }
    // The view holds Latin-1 only: anything beyond it cannot be there.
    if (std::any_of(needle.cbegin(), needle.cend(), [](QChar c) { return c.unicode() > 0xFF; })) {
        findBar_->setStatus(tr("Not found"));
        return;
    }
    std::string bytes = needle.toLatin1().toStdString();
    const bool matchCase = findBar_->matchCase();
    const bool changed = bytes != lastNeedle_ || matchCase != lastMatchCase_;
    const std::int64_t from = direction == SearchDirection::Backward || changed ? selectionStart() : selectionEnd();
    lastNeedle_ = bytes;
    lastMatchCase_ = matchCase;
    search_.emplace(std::move(bytes), matchCase, direction, from);
    searchSlices();
    if (search_)
        searchTimer_.start(0, this);
}

void TrafficView::searchSlices()
{
    QElapsedTimer clock;
    clock.start();
    for (int steps = 0; steps < kMaxStepsPerPass && clock.elapsed() < kSearchPassMs; ++steps) {
        const SearchState state = search_->step(store_, kSearchStepBytes);
        if (state == SearchState::Running)
            continue;
        if (state == SearchState::Found) {
            const TextRange match = search_->match();
            goalColumn_ = -1;
            setSelection(match.from, match.to);
            // The end first, so that the start wins when the match is wider than the view.
            ensureVisible(match.to);
            ensureVisible(match.from);
            findBar_->setStatus(search_->wrapped() ? tr("Wrapped") : QString());
        } else {
            findBar_->setStatus(tr("Not found"));
        }
        cancelSearch();
        return;
    }
    const QString searching = tr("Searching...");
    if (findBar_->status() != searching)
        findBar_->setStatus(searching);
}

void TrafficView::cancelSearch()
{
    search_.reset();
    searchTimer_.stop();
}
