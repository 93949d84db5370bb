// A line of text the program rewrites as things happen: a status line. Assistive tools read its
// text as its name and through a text interface, find it labelled by the caption in front of it
// (that caption's buddy), and hear each new text wherever the focus is.
#ifndef BRINDLE_PLATFORM_QT_STATUS_LINE_H
#define BRINDLE_PLATFORM_QT_STATUS_LINE_H

#include <QLabel>

class StatusNotice;

class StatusLine final : public QLabel {
    Q_OBJECT

public:
    StatusLine(const QString& text, QWidget* parent);

    // Shows `text` and announces it; the same text again changes nothing and says nothing.
    void setStatus(const QString& text);
    // Tells assistive tools the text shown as news: readers speak the line, with its caption,
    // wherever the focus is. An empty line says nothing.
    void announce();

private:
    StatusNotice* notice_ = nullptr;
};

// A status line's news for a reader: a notification inside the line, shown afresh for each
// announcement. Readers speak a notification when it appears, with the status bar it sits in (the
// caption and the text), wherever the focus is; a change of a name or a text outside the focus
// they pass over. It holds no text of its own, which would be spoken twice, and nothing of it is drawn.
class StatusNotice final : public QWidget {
    Q_OBJECT

public:
    explicit StatusNotice(QWidget* parent);
};

#endif
