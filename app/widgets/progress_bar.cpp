#include "app/widgets/progress_bar.h"

#include <algorithm>
#include <cmath>

namespace quillon::forms {

namespace {

// A float from a bag: stored as a number of any kind; anything else, or not finite, is the
// default.
float read_float(skin::PropertyBag& bag, const QString& key, float default_value) {
    const QVariant v = bag.read(key, default_value);
    bool ok = false;
    const double number = v.toDouble(&ok);
    if (!ok || v.typeId() == QMetaType::QString || v.typeId() == QMetaType::Bool ||
        !std::isfinite(number))
        return default_value;
    return static_cast<float>(number);
}

}  // namespace

ProgressBar::ProgressBar(QWidget* parent, const QString& instance_name) : QProgressBar(parent) {
    setObjectName(instance_name);
    setRange(0, resolution);
    setTextVisible(false);
    show_value();
}

void ProgressBar::set_Min(float min) {
    m_min = min;
    show_value();
}

void ProgressBar::set_Max(float max) {
    m_max = max;
    show_value();
}

void ProgressBar::set_Value(float value) {
    m_value = value;
    show_value();
}

void ProgressBar::set_Orientation(qint32 direction) {
    if (direction == 0 || direction == 1)
        setOrientation(direction == 1 ? Qt::Vertical : Qt::Horizontal);
}

void ProgressBar::show_value() {
    const double span = double(m_max) - double(m_min);
    const double share = span > 0 ? (double(m_value) - double(m_min)) / span : 0;
    setValue(static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * resolution)));
}

void ProgressBar::read_properties(skin::PropertyBag& bag) {
    set_Orientation(skin::read_int32(bag, QStringLiteral("Orientation"), 0));
    set_Min(read_float(bag, QStringLiteral("Min"), 0));
    set_Max(read_float(bag, QStringLiteral("Max"), 100));
    set_Value(read_float(bag, QStringLiteral("Value"), m_min));
}

void ProgressBar::write_properties(skin::PropertyBag& bag) const {
    bag.write(QStringLiteral("Orientation"), Orientation(), 0);
    bag.write(QStringLiteral("Min"), double(m_min), 0.0);
    bag.write(QStringLiteral("Max"), double(m_max), 100.0);
    bag.write(QStringLiteral("Value"), double(m_value), double(m_min));
}

}  // namespace quillon::forms
