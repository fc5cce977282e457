// MSComctlLib.ProgressBar: a bar whose length is Value's place between Min and Max, all three
// single precision (the level meters run from 0.0001 to 37678). Values outside the range are
// shown at its ends.
#pragma once

#include <QProgressBar>

#include "skin/property_bag.h"

namespace quillon::forms {

class ProgressBar final : public QProgressBar, public skin::Persisted {
    Q_OBJECT
    Q_PROPERTY(float Min READ Min WRITE set_Min)
    Q_PROPERTY(float Max READ Max WRITE set_Max)
    Q_PROPERTY(float Value READ Value WRITE set_Value)
    Q_PROPERTY(qint32 Orientation READ Orientation WRITE set_Orientation)
  public:
    static constexpr const char* class_identifier = "MSComctlLib.ProgressBar";
    // Steps of the bar between Min and Max.
    static constexpr int resolution = 10000;

    explicit ProgressBar(QWidget* parent = nullptr, const QString& instance_name = {});

    float Min() const { return m_min; }
    void set_Min(float min);
    float Max() const { return m_max; }
    void set_Max(float max);
    float Value() const { return m_value; }
    void set_Value(float value);
    // 0 horizontal, 1 vertical (filling upwards).
    qint32 Orientation() const { return orientation() == Qt::Vertical ? 1 : 0; }
    void set_Orientation(qint32 direction);

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  private:
    void show_value();

    float m_min = 0;
    float m_max = 100;
    float m_value = 0;
};

}  // namespace quillon::forms
