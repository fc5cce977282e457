#include "skin/xptopbuttons.h"

namespace quillon::skin {

xptopbuttons::xptopbuttons(QWidget* parent, const QString& instance_name) : CaptionButton(parent) {
    setObjectName(instance_name);
    select_strip();
}

void xptopbuttons::set_Value(qint32 value) {
    m_value = value;
    emit PropertyChanged(QStringLiteral("Value"));
    select_strip();
}

void xptopbuttons::select_strip() {
    if (m_value >= close && m_value <= restore) m_strip = qint16(m_value);
    show_cell(isEnabled() ? normal : disabled);
    notify_accessible(QAccessible::NameChanged);
}

void xptopbuttons::read_properties(PropertyBag& bag) {
    m_value = read_int32(bag, QStringLiteral("Value"), 0);  // the strip follows when shown
    set_Enabled(read_bool(bag, QStringLiteral("Enabled"), true));
}

void xptopbuttons::write_properties(PropertyBag& bag) const {
    bag.write(QStringLiteral("Value"), m_value, 0);
    bag.write(QStringLiteral("Enabled"), isEnabled(), true);
}

QString xptopbuttons::accessible_name() const {
    switch (m_strip) {
        case maximise:
            return QStringLiteral("Maximise");
        case minimise:
            return QStringLiteral("Minimise");
        case restore:
            return QStringLiteral("Restore");
        default:
            return QStringLiteral("Close");
    }
}

QString xptopbuttons::strip_name() const {
    switch (m_strip) {
        case maximise:
            return QStringLiteral("xpmax");
        case minimise:
            return QStringLiteral("xpmin");
        case restore:
            return QStringLiteral("xprestore");
        default:
            return QStringLiteral("xpclose");
    }
}

void xptopbuttons::pointer_released(const QMouseEvent& event) {
    show_cell(normal);
    raise_mouse_up(event);
}

void xptopbuttons::clicked() {
    emit Click();
}

void xptopbuttons::pointer_left() {
    emit MouseOut();
    if (isEnabled()) show_cell(normal);
}

void xptopbuttons::showEvent(QShowEvent* event) {
    CaptionButton::showEvent(event);
    select_strip();
}

void xptopbuttons::enabled_changed() {
    show_cell(isEnabled() ? normal : disabled);
}

}  // namespace quillon::skin
