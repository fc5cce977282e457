#include "skin/skin_widget.h"

#include <QApplication>

#include "skin/input_codes.h"
#include "skin/skin_accessible.h"

namespace quillon::skin {

QString without_access_key(const QString& caption) {
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) ++i;
        text += caption[i];
    }
    return text;
}

SkinWidget::SkinWidget(QWidget* parent) : QWidget(parent) {
    install_skin_accessibility();
}

QFont SkinWidget::ambient_font() const {
    return parentWidget() ? parentWidget()->font() : QApplication::font();
}

void SkinWidget::raise_mouse_down(const QMouseEvent& event) {
    const MouseArgs a = mouse_args(event);
    emit MouseDown(a.Button, a.Shift, a.X, a.Y);
}

void SkinWidget::raise_mouse_move(const QMouseEvent& event) {
    const MouseArgs a = mouse_args(event);
    emit MouseMove(a.Button, a.Shift, a.X, a.Y);
}

void SkinWidget::raise_mouse_move_at(const QMouseEvent& event, QPointF at) {
    const MouseArgs a = mouse_args(event);
    emit MouseMove(a.Button, a.Shift, float(at.x()), float(at.y()));
}

void SkinWidget::raise_mouse_up(const QMouseEvent& event) {
    const MouseArgs a = mouse_args(event);
    emit MouseUp(a.Button, a.Shift, a.X, a.Y);
}

void SkinWidget::notify_accessible(QAccessible::Event event) {
    if (!QAccessible::isActive()) return;
    if (event == QAccessible::StateChanged) {
        QAccessible::State changed;
        changed.checked = true;
        changed.checkStateMixed = true;
        changed.disabled = true;
        QAccessibleStateChangeEvent change(this, changed);
        QAccessible::updateAccessibility(&change);
        return;
    }
    QAccessibleEvent change(this, event);
    QAccessible::updateAccessibility(&change);
}

void SkinWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        enabled_changed();
        notify_accessible(QAccessible::StateChanged);
    } else if (event->type() == QEvent::FontChange) {
        font_changed();
    }
}

void SkinWidget::keyPressEvent(QKeyEvent* event) {
    emit KeyDown(key_code(*event), shift_code(event->modifiers()));
    if (const int ascii = key_ascii(*event)) emit KeyPress(ascii);
    QWidget::keyPressEvent(event);
}

void SkinWidget::keyReleaseEvent(QKeyEvent* event) {
    emit KeyUp(key_code(*event), shift_code(event->modifiers()));
    QWidget::keyReleaseEvent(event);
}

}  // namespace quillon::skin
