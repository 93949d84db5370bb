// The traffic view's find bar: shown along the view's bottom edge, its query handed to the model, and the
// model's search driven in passes of the event loop, so that a full view never freezes the window.
#include <QCheckBox>
#include <QLineEdit>
#include <QTimerEvent>

#include "platform/qt/find_bar.h"
#include "platform/qt/traffic_view.h"

// Made with the view, hidden: a field made as it takes the focus would report its first caret
// before its focus, and a screen reader would then not name it.
void TrafficView::makeFindBar()
{
    // Beside the view in its window rather than inside it: a reader would otherwise present the
    // bar, and speak the view's line, as part of the view's text.
    findBar_ = new FindBar(parentWidget() ? parentWidget() : this);
    connect(findBar_, &FindBar::findRequested, this, &TrafficView::find);
    connect(findBar_, &FindBar::closeRequested, this, &TrafficView::closeFind);
    const auto query = [this] { model_.setFindQuery(findBar_->text().toStdU16String(), findBar_->matchCase()); };
    connect(findBar_->field(), &QLineEdit::textChanged, this, query);
    connect(findBar_->matchCaseBox(), &QCheckBox::toggled, this, query);
}

void TrafficView::openFind()
{
    openFind(true);
}

void TrafficView::openFind(bool focus)
{
    model_.setFindOpen(true);
    if (findBar_->isHidden()) {
        // Tab goes from the view into the bar, and from the bar on to what followed the view, however
        // the window ordered its controls since.
        QWidget::setTabOrder(this, findBar_->field());
        QWidget::setTabOrder(findBar_->field(), findBar_->matchCaseBox());
        findBar_->show();
        findBar_->raise();
        layoutFindBar();
    }
    if (focus)
        findBar_->open();
}

void TrafficView::closeFind()
{
    model_.setFindOpen(false);
    searchTimer_.stop();
    setFocus(Qt::OtherFocusReason);
    findBar_->hide();
    layoutFindBar();
}

// The bar takes room from the viewport instead of covering its last lines.
void TrafficView::layoutFindBar()
{
    const bool shown = !findBar_->isHidden();
    const int height = shown ? findBar_->sizeHint().height() : 0;
    setViewportMargins(0, 0, 0, height);
    if (shown) {
        const QRect text = viewport()->geometry();
        const QPoint place = mapTo(findBar_->parentWidget(), QPoint(text.left(), text.bottom() + 1));
        findBar_->setGeometry(place.x(), place.y(), text.width(), height);
    }
    updatePage();
    sync();
}

void TrafficView::find(SearchDirection direction)
{
    model_.find(direction);
    continueSearch();
    sync();
}

void TrafficView::continueSearch()
{
    if (model_.finding())
        searchTimer_.start(0, this);
    else
        searchTimer_.stop();
}
