#include "app/application_shortcuts.h"

#include <QKeyEvent>

#include "platform/hotkey/hotkey.h"

namespace {

UINT modifiers_of(Qt::KeyboardModifiers modifiers) {
    UINT mods = 0;
    if (modifiers & Qt::ControlModifier) mods |= MOD_CONTROL;
    if (modifiers & Qt::AltModifier) mods |= MOD_ALT;
    if (modifiers & Qt::ShiftModifier) mods |= MOD_SHIFT;
    if (modifiers & Qt::MetaModifier) mods |= MOD_WIN;
    return mods;
}

// Qt's codes of letters and digits are the virtual-key codes: the upper-case character codes.
UINT virtual_key_of(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<UINT>(key);
    return 0;
}

}  // namespace

bool ApplicationShortcuts::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const UINT vk = virtual_key_of(key->key());
        if (vk != 0 && hotkey_key_pressed(modifiers_of(key->modifiers()), vk)) return true;
    }
    return QObject::eventFilter(watched, event);
}
