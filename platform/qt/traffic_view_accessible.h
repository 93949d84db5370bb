// What accessibility tools see of a traffic view: its text, caret and selection, as of an edit control.
#ifndef BRINDLE_PLATFORM_QT_TRAFFIC_VIEW_ACCESSIBLE_H
#define BRINDLE_PLATFORM_QT_TRAFFIC_VIEW_ACCESSIBLE_H

#include <QAccessible>

// The factory for QAccessible::installFactory.
QAccessibleInterface* createTrafficViewAccessible(const QString& className, QObject* object);

#endif
