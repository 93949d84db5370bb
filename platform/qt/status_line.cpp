#include "platform/qt/status_line.h"

#include <QAccessible>

#include <algorithm>

#include "platform/qt/read_only_text_accessible.h"

namespace {

// The text is the name, as a status bar's message is, so that a reader speaks "Connected!" rather
// than the caption a second time; the caption comes in through the labelled-by relation that
// QAccessibleWidget derives from the caption's buddy.
class StatusLineAccessible final : public ReadOnlyTextAccessible {
public:
    explicit StatusLineAccessible(StatusLine* line)
        : ReadOnlyTextAccessible(line, QAccessible::StatusBar)
    { }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name || type == QAccessible::Value)
            return line()->text();
        return QAccessibleWidget::text(type);
    }

    // Nothing on the line can be selected or edited.
    void selection(int /*index*/, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;
        *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int /*startOffset*/, int /*endOffset*/) override { }
    void removeSelection(int /*index*/) override { }
    void setSelection(int /*index*/, int /*startOffset*/, int /*endOffset*/) override { }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int /*position*/) override { }
    void scrollToSubstring(int /*startIndex*/, int /*endIndex*/) override { }

    QString text(int startOffset, int endOffset) const override
    {
        const QString all = line()->text();
        startOffset = std::clamp(startOffset, 0, static_cast<int>(all.size()));
        endOffset = std::clamp(endOffset, startOffset, static_cast<int>(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(line()->text().size()); }

    // The text starts at the left of the contents, one line centred in its height.
    QRect characterRect(int offset) const override
    {
        const QString all = line()->text();
        if (offset < 0 || offset >= all.size())
            return {};
        const QFontMetrics metrics = line()->fontMetrics();
        const QRect contents = line()->contentsRect();
        const int left = contents.left() + metrics.horizontalAdvance(all.left(offset));
        const int top = contents.top() + (contents.height() - metrics.height()) / 2;
        const QRect local(left, top, metrics.horizontalAdvance(all.at(offset)), metrics.height());
        return QRect(line()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const int count = characterCount();
        for (int offset = 0; offset < count; ++offset) {
            if (characterRect(offset).contains(point))
                return offset;
        }
        return -1;
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = offset;
        *endOffset = offset;
        return {};
    }

private:
    StatusLine* line() const { return static_cast<StatusLine*>(widget()); }
};

class StatusNoticeAccessible final : public QAccessibleWidget {
public:
    explicit StatusNoticeAccessible(StatusNotice* notice)
        : QAccessibleWidget(notice, QAccessible::Notification)
    { }
};

} // namespace

StatusNotice::StatusNotice(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 0, 0);
    // Hidden until the first announcement, so that opening the window announces nothing.
    hide();
}

StatusLine::StatusLine(const QString& text, QWidget* parent)
    : QLabel(parent)
{
    // Qt keeps one entry per factory, so every line may ask.
    QAccessible::installFactory(&CreateAccessibleFor<StatusLineAccessible, StatusLine>);
    QAccessible::installFactory(&CreateAccessibleFor<StatusNoticeAccessible, StatusNotice>);
    setTextFormat(Qt::PlainText);
    setText(text);
    notice_ = new StatusNotice(this);
}

void StatusLine::setStatus(const QString& text)
{
    const QString before = QLabel::text();
    if (text == before)
        return;
    // QLabel reports the new name (the text) itself; the text event keeps what a reader read
    // through the text interface in step.
    setText(text);
    if (!QAccessible::isActive())
        return;
    QAccessibleTextUpdateEvent replaced(this, 0, before, text);
    QAccessible::updateAccessibility(&replaced);
    announce();
}

void StatusLine::announce()
{
    if (text().isEmpty() || !QAccessible::isActive())
        return;
    // Hidden first, so that it appears again.
    notice_->hide();
    notice_->show();
}
