#include "skin/xpradiobutton.h"

#include "skin/skin_art.h"

namespace quillon::skin {

xpradiobutton::xpradiobutton(QWidget* parent, const QString& instance_name)
    : ToggleWidget(parent, instance_name) {
    repaint_value();
}

void xpradiobutton::set_Value(bool value) {
    m_value = value;
    repaint_value();
    notify_accessible(QAccessible::StateChanged);
    emit PropertyChanged(QStringLiteral("Value"));
}

void xpradiobutton::accessible_state(QAccessible::State& state) const {
    state.checkable = true;
    state.checked = m_value;
}

void xpradiobutton::read_value(PropertyBag& bag) {
    set_Value(read_bool(bag, QStringLiteral("Value"), false));
}

void xpradiobutton::write_value(PropertyBag& bag) const {
    bag.write(QStringLiteral("Value"), m_value, false);
}

QRect xpradiobutton::cell(int value, int look) const {
    return cell_rect(cell_size, value * 4 + look);
}

void xpradiobutton::clicked() {
    emit Click();
    for (xpradiobutton* other : window()->findChildren<xpradiobutton*>())
        if (other != this && other->window() == window()) other->set_Value(false);
    set_Value(true);
}

void xpradiobutton::pointer_left() {
    emit MouseOut();
    repaint_value();
}

}  // namespace quillon::skin
