#include "skin/xphelp.h"

namespace quillon::skin {

xphelp::xphelp(QWidget* parent, const QString& instance_name) : CaptionButton(parent) {
    setObjectName(instance_name);
}

void xphelp::read_properties(PropertyBag& bag) {
    set_Enabled(read_bool(bag, QStringLiteral("Enabled"), true));
}

void xphelp::write_properties(PropertyBag& bag) const {
    bag.write(QStringLiteral("Enabled"), isEnabled(), true);
}

void xphelp::pointer_released(const QMouseEvent& event) {
    raise_mouse_up(event);
}

void xphelp::clicked() {
    show_cell(normal);
    emit Click();
}

void xphelp::pointer_left() {
    emit MouseOut();
    if (isEnabled()) show_cell(normal);
}

}  // namespace quillon::skin
