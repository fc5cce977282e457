#include "app/widgets/slider.h"

namespace quillon::forms {

Slider::Slider(QWidget* parent, const QString& instance_name) : QSlider(Qt::Horizontal, parent) {
    setObjectName(instance_name);
    setRange(0, 10);
    setTickInterval(1);
    setTracking(true);
    set_TickStyle(bottom_right);
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        if (action != SliderNoAction) m_user_action = true;
    });
    connect(this, &QAbstractSlider::valueChanged, this, [this] { value_moved(); });
    connect(this, &QAbstractSlider::sliderPressed, this, [this] { m_value_at_press = value(); });
    connect(this, &QAbstractSlider::sliderReleased, this, [this] {
        m_user_action = false;
        if (value() != m_value_at_press) emit Change();
    });
}

void Slider::value_moved() {
    if (m_writing) return;
    if (isSliderDown()) {
        // A drag: the position follows the thumb; the change is told once it is let go.
        m_user_action = false;
        emit Scroll();
        return;
    }
    if (!m_user_action) return;
    m_user_action = false;
    emit Scroll();
    emit Change();
}

void Slider::set_Value(qint32 value) {
    m_writing = true;
    setValue(value);
    m_writing = false;
}

void Slider::set_TickStyle(qint32 style) {
    if (style < bottom_right || style > no_ticks) return;
    m_ticks = style;
    static constexpr QSlider::TickPosition positions[] = {
        QSlider::TicksBelow, QSlider::TicksAbove, QSlider::TicksBothSides, QSlider::NoTicks};
    setTickPosition(positions[style]);
}

void Slider::set_Orientation(qint32 direction) {
    if (direction != horizontal && direction != vertical) return;
    setOrientation(direction == vertical ? Qt::Vertical : Qt::Horizontal);
    // Min at the top, and the keys move the thumb the way their arrows point.
    setInvertedAppearance(direction == vertical);
    setInvertedControls(direction == vertical);
}

void Slider::read_properties(skin::PropertyBag& bag) {
    set_Orientation(skin::read_int32(bag, QStringLiteral("Orientation"), horizontal));
    set_Min(skin::read_int32(bag, QStringLiteral("Min"), 0));
    set_Max(skin::read_int32(bag, QStringLiteral("Max"), 10));
    set_TickFrequency(skin::read_int32(bag, QStringLiteral("TickFrequency"), 1));
    set_TickStyle(skin::read_int32(bag, QStringLiteral("TickStyle"), bottom_right));
    set_Value(skin::read_int32(bag, QStringLiteral("Value"), 0));
}

void Slider::write_properties(skin::PropertyBag& bag) const {
    bag.write(QStringLiteral("Orientation"), Orientation(), qint32(horizontal));
    bag.write(QStringLiteral("Min"), Min(), 0);
    bag.write(QStringLiteral("Max"), Max(), 10);
    bag.write(QStringLiteral("TickFrequency"), TickFrequency(), 1);
    bag.write(QStringLiteral("TickStyle"), TickStyle(), qint32(bottom_right));
    bag.write(QStringLiteral("Value"), Value(), 0);
}

}  // namespace quillon::forms
