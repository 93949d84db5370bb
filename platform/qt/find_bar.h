// The find field of a traffic view: a slim bar along the view's bottom edge with the text to find, a
// case option and a status that a screen reader hears.
#ifndef BRINDLE_PLATFORM_QT_FIND_BAR_H
#define BRINDLE_PLATFORM_QT_FIND_BAR_H

#include <QFrame>
#include <QString>

#include "platform/text/text_search.h"

class QCheckBox;
class QLineEdit;
class StatusLine;

class FindBar : public QFrame {
    Q_OBJECT

public:
    explicit FindBar(QWidget* parent);

    QString text() const;
    bool matchCase() const;
    // Shows the bar with the focus in its field, the field's text selected for retyping.
    void open();
    // Announced to accessibility tools even when it repeats, so that a second "Not found" is heard too.
    void setStatus(const QString& status);
    QString status() const;
    QLineEdit* field() const { return field_; }
    QCheckBox* matchCaseBox() const { return matchCase_; }

signals:
    void findRequested(SearchDirection direction);
    void closeRequested();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* field_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    StatusLine* status_ = nullptr;
};

#endif
