// A line of text the program rewrites as things happen: a status line. Assistive tools read its
// text as its name and through a text interface, hear of every new text without moving the focus,
// and find it labelled by the caption in front of it (that caption's buddy).
#ifndef BRINDLE_PLATFORM_QT_STATUS_LINE_H
#define BRINDLE_PLATFORM_QT_STATUS_LINE_H

#include <QLabel>

class StatusLine final : public QLabel {
    Q_OBJECT

public:
    StatusLine(const QString& text, QWidget* parent);

    // Shows `text` and announces it; the same text again changes nothing and says nothing.
    void setStatus(const QString& text);
};

#endif
