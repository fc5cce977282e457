#include "skin/caption_button.h"

#include <QPainter>

#include "skin/skin_art.h"

namespace quillon::skin {

CaptionButton::CaptionButton(QWidget* parent) : PushWidget(parent, true) {
    // Every attempt at another size is undone.
    setFixedSize(side, side);
    // Title-bar buttons take the focus from the keyboard only, so that a click on one leaves
    // the focus where the user was working.
    setFocusPolicy(Qt::TabFocus);
}

void CaptionButton::show_cell(int cell) {
    m_cell = cell;
    update();
}

void CaptionButton::pointer_moved(const QMouseEvent& event, bool inside) {
    if (!inside) return;
    raise_mouse_move(event);
    show_cell(event.buttons() == Qt::LeftButton ? pressed : hover);
}

void CaptionButton::pointer_pressed(const QMouseEvent& event) {
    show_cell(pressed);
    raise_mouse_down(event);
}

void CaptionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap& strip = skin_picture(strip_name(), painter);
    paint_stretched(painter, strip, cell_rect(QSize(side, side), m_cell), rect());
    paint_focus_cue(painter, rect().adjusted(2, 2, -2, -2));
}

}  // namespace quillon::skin
