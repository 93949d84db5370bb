#include "platform/qt/traffic_view_accessible.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/qt/read_only_text_accessible.h"
#include "platform/qt/traffic_view.h"
#include "platform/text/text_announcement.h"
#include "platform/text/text_motion.h"

// The text reaches accessibility tools as an edit control's would: offsets count CR and LF as one
// character each, as characterCount() does.
class TrafficViewAccessible : public ReadOnlyTextAccessible {
public:
    explicit TrafficViewAccessible(TrafficView* view)
        : ReadOnlyTextAccessible(view, QAccessible::EditableText)
    { }

    QAccessible::State state() const override
    {
        QAccessible::State s = ReadOnlyTextAccessible::state();
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
        if (index == 0 && model().hasSelection()) {
            *startOffset = relative(model().selection().from);
            *endOffset = relative(model().selection().to);
        }
    }
    int selectionCount() const override { return model().hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int index) override
    {
        if (index == 0)
            select(model().caret(), model().caret());
    }
    void setSelection(int index, int startOffset, int endOffset) override
    {
        if (index == 0)
            select(absolute(startOffset), absolute(endOffset));
    }
    int cursorPosition() const override { return relative(model().caret()); }
    void setCursorPosition(int position) override
    {
        const std::int64_t at = absolute(position);
        select(at, at);
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
        const auto [row, column] = view()->cellAt(local);
        return relative(model().offsetAtCell(row, column));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        view()->model_.reveal({absolute(startIndex), absolute(endIndex)});
        view()->sync();
    }
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    TrafficView* view() const { return static_cast<TrafficView*>(object()); }
    const TrafficViewModel& model() const { return view()->model_; }
    const TextStore& store() const { return model().store(); }
    void select(std::int64_t anchor, std::int64_t caret)
    {
        view()->model_.selectForReader(anchor, caret);
        view()->sync();
    }
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
        TextRange range;
        switch (type) {
        case QAccessible::CharBoundary:
            range = {at, at + 1};
            break;
        case QAccessible::WordBoundary:
            range = wordSegment(s, at);
            break;
        case QAccessible::NoBoundary:
            range = {s.beginOffset(), s.endOffset()};
            break;
        default:
            range = lineSegment(s, at);
            break;
        }
        return {range.from, range.to};
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

QAccessibleInterface* createTrafficViewAccessible(const QString& className, QObject* object)
{
    return CreateAccessibleFor<TrafficViewAccessible, TrafficView>(className, object);
}

// Dropped and replaced text goes unannounced: a removal event carries the removed text, hundreds of
// megabytes for a full view. An insertion carries at most the newest kMaxAnnouncedChars of what
// arrived since the last pass, at their own offset (text_announcement.h).
void TrafficView::notifyAccessibility()
{
    const TextStore& store = model_.store();
    const std::int64_t begin = store.beginOffset();
    const std::int64_t end = store.endOffset();
    const std::int64_t from = announcedFrom(announcedEnd_, begin, end);
    announcedEnd_ = end;
    if (from >= end || !QAccessible::isActive())
        return;
    QAccessibleTextInsertEvent inserted(
        this, static_cast<int>(from - begin), QString::fromLatin1(store.text(from, end)));
    QAccessible::updateAccessibility(&inserted);
}
