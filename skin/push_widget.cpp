#include "skin/push_widget.h"

#include <QCursor>
#include <QKeySequence>
#include <QPainter>
#include <utility>

namespace quillon::skin {

namespace {
constexpr int watch_interval_ms = 10;
}

PushWidget::PushWidget(QWidget* parent, bool watch_from_creation)
    : SkinWidget(parent), m_watch(new QTimer(this)) {
    m_watch->setObjectName(QStringLiteral("Timer1"));
    m_watch->setInterval(watch_interval_ms);
    connect(m_watch, &QTimer::timeout, this, &PushWidget::watch_tick);
    if (watch_from_creation) m_watch->start();
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void PushWidget::click() {
    if (isEnabled()) clicked();
}

void PushWidget::set_access_key(const QString& caption) {
    if (m_access_key) releaseShortcut(m_access_key);
    m_access_key = 0;
    const QKeySequence key = QKeySequence::mnemonic(caption);
    if (!key.isEmpty()) m_access_key = grabShortcut(key);
}

bool PushWidget::point_inside(QPointF p) const {
    return p.x() >= 0 && p.y() >= 0 && p.x() <= width() && p.y() <= height();
}

void PushWidget::mouseMoveEvent(QMouseEvent* event) {
    m_watch->start();
    pointer_moved(*event, point_inside(event->position()));
}

void PushWidget::mousePressEvent(QMouseEvent* event) {
    m_double_click = false;
    pointer_pressed(*event);
}

void PushWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    Q_UNUSED(event);
    m_double_click = true;
}

void PushWidget::mouseReleaseEvent(QMouseEvent* event) {
    pointer_released(*event);
    const bool was_double = std::exchange(m_double_click, false);
    if (!was_double && event->button() == Qt::LeftButton && point_inside(event->position()))
        clicked();
}

void PushWidget::keyPressEvent(QKeyEvent* event) {
    SkinWidget::keyPressEvent(event);
    const int key = event->key();
    if (key == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        event->accept();
    } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !event->isAutoRepeat()) {
        event->accept();
        click();
    }
}

void PushWidget::keyReleaseEvent(QKeyEvent* event) {
    SkinWidget::keyReleaseEvent(event);
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        event->accept();
        click();
    }
}

bool PushWidget::event(QEvent* event) {
    if (event->type() == QEvent::Shortcut) {
        click();
        return true;
    }
    return SkinWidget::event(event);
}

void PushWidget::focusInEvent(QFocusEvent* event) {
    const Qt::FocusReason r = event->reason();
    m_keyboard_focus =
        r == Qt::TabFocusReason || r == Qt::BacktabFocusReason || r == Qt::ShortcutFocusReason;
    update();
    SkinWidget::focusInEvent(event);
}

void PushWidget::focusOutEvent(QFocusEvent* event) {
    m_keyboard_focus = false;
    update();
    SkinWidget::focusOutEvent(event);
}

void PushWidget::paint_focus_cue(QPainter& painter, const QRect& around) const {
    if (!shows_focus_cue() || around.width() < 2 || around.height() < 2) return;
    painter.save();
    QPen pen(palette().color(QPalette::WindowText), 1, Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(around).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
}

void PushWidget::watch_tick() {
    // The pointer's position decides; a pointer that left the window (where the window system
    // stops reporting its position) is outside as well.
    const QPointF at = mapFromGlobal(QCursor::pos().toPointF());
    if (point_inside(at) && underMouse()) return;
    m_watch->stop();
    pointer_left();
}

}  // namespace quillon::skin
