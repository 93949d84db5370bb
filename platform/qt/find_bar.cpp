#include "platform/qt/find_bar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "platform/qt/caret_before_focus.h"
#include "platform/qt/read_only_text_accessible.h"
#include "platform/qt/status_line.h"
#include "platform/qt/view_key_event.h"

namespace {

// A strip of controls along the view's bottom edge, as a find bar is in a browser or an editor: a
// tool bar. As a QFrame it would be a frame, which readers take for a window of its own.
class FindBarAccessible final : public QAccessibleWidget {
public:
    explicit FindBarAccessible(FindBar* bar)
        : QAccessibleWidget(bar, QAccessible::ToolBar)
    { }
};

// What the bar does with a key; Ctrl+A is the field's own.
FindBarKey findBarKeyOf(const QKeyEvent* event)
{
    const ViewKeyPress press = viewKeyOf(event);
    const FindBarKey key = findBarKey(press.key, press.modifiers);
    return key == FindBarKey::SelectField ? FindBarKey::NotMine : key;
}

} // namespace

FindBar::FindBar(QWidget* parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QAccessible::installFactory(&CreateAccessibleFor<FindBarAccessible, FindBar>);
    setAccessibleName(tr("Find"));
    // Made in reading order, which screen readers follow. No mnemonics: the console's own would clash
    // with them while the bar is open.
    auto* caption = new QLabel(tr("Find:"), this);
    field_ = new QLineEdit(this);
    PlaceCaretBeforeFocus(*field_);
    matchCase_ = new QCheckBox(tr("Match case"), this);
    status_ = new StatusLine(QString(), this);
    caption->setBuddy(field_);
    field_->setAccessibleName(tr("Find"));
    status_->setAccessibleDescription(tr("Find status"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(caption);
    layout->addWidget(field_, 2);
    layout->addWidget(matchCase_);
    layout->addWidget(status_, 1);
    setFocusProxy(field_);
    hide();
}

QString FindBar::text() const
{
    return field_->text();
}

bool FindBar::matchCase() const
{
    return matchCase_->isChecked();
}

void FindBar::open()
{
    show();
    raise();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

void FindBar::setStatus(const QString& status)
{
    // Announced as the console's status lines are, so that a reader hears the answer in the field.
    const bool repeated = status == status_->text();
    status_->setStatus(status);
    if (repeated)
        status_->announce();
}

QString FindBar::status() const
{
    return status_->text();
}

bool FindBar::event(QEvent* event)
{
    // The bar's keys go before the window's shortcuts and the dialog's Escape and default button.
    if (event->type() == QEvent::ShortcutOverride
        && findBarKeyOf(static_cast<QKeyEvent*>(event)) != FindBarKey::NotMine) {
        event->accept();
        return true;
    }
    return QFrame::event(event);
}

void FindBar::keyPressEvent(QKeyEvent* event)
{
    switch (findBarKeyOf(event)) {
    case FindBarKey::FocusField:
        open();
        break;
    case FindBarKey::FindNext:
        emit findRequested(SearchDirection::Forward);
        break;
    case FindBarKey::FindPrevious:
        emit findRequested(SearchDirection::Backward);
        break;
    case FindBarKey::Close:
        emit closeRequested();
        break;
    case FindBarKey::SelectField:
    case FindBarKey::NotMine:
        QFrame::keyPressEvent(event);
        return;
    }
    event->accept();
}
