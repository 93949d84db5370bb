// The common ground of the widgets that show text a reader reads but nobody edits: the text
// interface offered beside the widget's own, a read-only state, and the factory Qt asks by class.
#ifndef BRINDLE_PLATFORM_QT_READ_ONLY_TEXT_ACCESSIBLE_H
#define BRINDLE_PLATFORM_QT_READ_ONLY_TEXT_ACCESSIBLE_H

#include <QAccessibleWidget>

class ReadOnlyTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }

protected:
    using QAccessibleWidget::QAccessibleWidget;
};

// A factory for QAccessible::installFactory: `Accessible` for every `Widget`, nothing for others.
template<typename Accessible, typename Widget>
QAccessibleInterface* CreateAccessibleFor(const QString& className, QObject* object)
{
    if (className == QLatin1String(Widget::staticMetaObject.className()))
        if (auto* widget = qobject_cast<Widget*>(object))
            return new Accessible(widget);
    return nullptr;
}

#endif
