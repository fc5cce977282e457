#include "skin/xpcheckbox.h"

#include "skin/skin_art.h"

namespace quillon::skin {

xpcheckbox::xpcheckbox(QWidget* parent, const QString& instance_name)
    : ToggleWidget(parent, instance_name) {
    repaint_value();
}

void xpcheckbox::set_Value(qint32 value) {
    m_value = value >= unchecked && value <= grayed ? value : unchecked;
    repaint_value();
    notify_accessible(QAccessible::StateChanged);
    emit PropertyChanged(QStringLiteral("Value"));
}

void xpcheckbox::accessible_state(QAccessible::State& state) const {
    state.checkable = true;
    state.checked = m_value != unchecked;
    state.checkStateMixed = m_value == grayed;
}

void xpcheckbox::read_value(PropertyBag& bag) {
    set_Value(read_int32(bag, QStringLiteral("Value"), unchecked));
}

void xpcheckbox::write_value(PropertyBag& bag) const {
    bag.write(QStringLiteral("Value"), m_value, qint32(unchecked));
}

QRect xpcheckbox::cell(int value, int look) const {
    return cell_rect(cell_size, value * 4 + look, Qt::Vertical);
}

void xpcheckbox::clicked() {
    emit Click();
    set_Value(m_value == unchecked ? checked : unchecked);
}

void xpcheckbox::pointer_left() {
    repaint_value();
    emit MouseOut();
}

}  // namespace quillon::skin
