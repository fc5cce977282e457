// MSComctlLib.Slider over Qt's slider: a 32-bit Value within Min..Max, ticks on one side, both
// or none, horizontal or vertical. A vertical slider has Min at the top.
//
// Events: Change when the user has changed the value (a click, a key, the wheel, or the end of a
// drag that moved the thumb); Scroll while the user drags or steps the thumb, Value then holding
// the new position. A value the program writes raises neither.
#pragma once

#include <QSlider>

#include "skin/property_bag.h"

namespace quillon::forms {

class Slider final : public QSlider, public skin::Persisted {
    Q_OBJECT
    Q_PROPERTY(qint32 Min READ Min WRITE set_Min)
    Q_PROPERTY(qint32 Max READ Max WRITE set_Max)
    Q_PROPERTY(qint32 Value READ Value WRITE set_Value)
    Q_PROPERTY(qint32 TickFrequency READ TickFrequency WRITE set_TickFrequency)
    Q_PROPERTY(qint32 TickStyle READ TickStyle WRITE set_TickStyle)
    Q_PROPERTY(qint32 Orientation READ Orientation WRITE set_Orientation)
  public:
    static constexpr const char* class_identifier = "MSComctlLib.Slider";
    enum Ticks { bottom_right = 0, top_left = 1, both = 2, no_ticks = 3 };
    enum Direction { horizontal = 0, vertical = 1 };

    explicit Slider(QWidget* parent = nullptr, const QString& instance_name = {});

    qint32 Min() const { return minimum(); }
    void set_Min(qint32 min) { setMinimum(min); }
    qint32 Max() const { return maximum(); }
    void set_Max(qint32 max) { setMaximum(max); }
    qint32 Value() const { return value(); }
    // Clamped to Min..Max.
    void set_Value(qint32 value);
    qint32 TickFrequency() const { return tickInterval(); }
    void set_TickFrequency(qint32 every) { setTickInterval(every); }
    qint32 TickStyle() const { return m_ticks; }
    void set_TickStyle(qint32 style);
    qint32 Orientation() const { return orientation() == Qt::Vertical ? vertical : horizontal; }
    void set_Orientation(qint32 direction);

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  signals:
    void Change();
    void Scroll();

  private:
    void value_moved();

    qint32 m_ticks = bottom_right;
    bool m_writing = false;      // the program is setting the value
    bool m_user_action = false;  // a key, click or wheel step is moving it
    int m_value_at_press = 0;
};

}  // namespace quillon::forms
