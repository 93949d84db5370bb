#include "platform/qt/traffic_view_scroll_bar.h"

#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>

TrafficViewScrollBar::TrafficViewScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent)
{ }

void TrafficViewScrollBar::setPosition(int maximum, int pageStep, int value)
{
    const bool hadRange = minimum() < this->maximum();
    const int valueBefore = this->value();
    {
        const QSignalBlocker quiet(this);
        settingPosition_ = true;
        setRange(0, maximum);
        setPageStep(pageStep);
        setSingleStep(1);
        setValue(value);
        settingPosition_ = false;
    }
    // The scroll area lays its bars out again on every change of range, and raises each over the
    // other, which repaints both whole; only whether there is a range at all changes that layout.
    if (hadRange != (this->maximum() > minimum()))
        emit rangeChanged(minimum(), this->maximum());
    if (this->value() != valueBefore)
        emit valueChanged(this->value());
    if (!looksPainted())
        update();
}

TrafficViewScrollBar::Look TrafficViewScrollBar::look() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    // Some styles draw an arrow at its end of the range, or a bar without a range, differently.
    return {size(), style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
        static_cast<int>(option.state), option.minimum == option.maximum, option.sliderValue <= option.minimum,
        option.sliderValue >= option.maximum};
}

// Range, steps and value still change as asked, and the value's accessibility event still goes out;
// only a repaint that would draw what is on screen already is left out.
void TrafficViewScrollBar::sliderChange(SliderChange change)
{
    if (settingPosition_ || looksPainted())
        return;
    QScrollBar::sliderChange(change);
}

void TrafficViewScrollBar::paintEvent(QPaintEvent* event)
{
    QScrollBar::paintEvent(event);
    painted_ = look();
}
