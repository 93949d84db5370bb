// A traffic view's scroll bar, repainted only when what it shows changes. During bulk traffic the
// view moves its bars' range and value on every pass of the event loop; once the text is long the
// slider sits at its shortest at the end and the new values draw the same pixels, yet a plain
// QScrollBar repaints itself whole for each change, and the scroll area lays both bars out again
// and repaints them for each change of range: together more than drawing the text cost.
#ifndef BRINDLE_PLATFORM_QT_TRAFFIC_VIEW_SCROLL_BAR_H
#define BRINDLE_PLATFORM_QT_TRAFFIC_VIEW_SCROLL_BAR_H

#include <QRect>
#include <QScrollBar>
#include <QSize>
#include <optional>

class TrafficViewScrollBar : public QScrollBar {
public:
    explicit TrafficViewScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // Range 0 to `maximum`, single steps of 1, and the value, judged as one change: a longer range
    // first moves the slider back from the end, and only the value puts it there again. The range's
    // signal goes out only when the bar gains or loses its range, which is all its layout depends on.
    void setPosition(int maximum, int pageStep, int value);

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Everything of the bar's state that the style draws from.
    struct Look {
        QSize size;
        QRect slider;
        int state = 0;
        bool empty = false;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Look&) const = default;
    };
    Look look() const;
    bool looksPainted() const { return painted_ && *painted_ == look(); }

    std::optional<Look> painted_;
    bool settingPosition_ = false;
};

#endif
