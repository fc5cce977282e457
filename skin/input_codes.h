// The arguments of the widgets' mouse and key events in the usual event form: buttons as
// 1 left, 2 right, 4 middle; shift state as 1 Shift, 2 Ctrl, 4 Alt; key codes as virtual-key
// numbers (letters 65-90, digits 48-57, F1 112, Enter 13, ...); coordinates in pixels of the
// widget.
#pragma once

#include <QKeyEvent>
#include <QMouseEvent>

namespace quillon::skin {

int button_code(Qt::MouseButtons buttons);
int shift_code(Qt::KeyboardModifiers modifiers);
// 0 for a key that has no virtual-key number.
int key_code(const QKeyEvent& event);
// The character a key press types, as KeyPress reports it; 0 when it types none.
int key_ascii(const QKeyEvent& event);

struct MouseArgs {
    int Button;
    int Shift;
    float X;
    float Y;
};

// A press or release reports the button that changed; a move reports every button held.
MouseArgs mouse_args(const QMouseEvent& event);

}  // namespace quillon::skin
