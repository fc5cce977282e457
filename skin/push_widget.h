// The pointer and keyboard behaviour of the library's clickable widgets (command button,
// title-bar and help buttons, check box, radio button):
//   - the hover watch `Timer1`, a 10 ms poll of the pointer's position that notices when the
//     pointer has left the widget, started by every move over it and stopped (with MouseOut)
//     when it finds the pointer outside: at rest no timer runs;
//   - the click: a press and release of the left button on the widget. The second click of a
//     double-click is a double-click, not another click, as the window system reports it;
//   - keyboard use: Space and Enter click a focused widget, and the access key of a caption
//     ("&Record" is Alt+R) clicks it wherever the focus is in its window.
// Each widget paints and raises its events in its own order from the hooks below.
#pragma once

#include <QTimer>

#include "skin/skin_widget.h"

namespace quillon::skin {

class PushWidget : public SkinWidget {
    Q_OBJECT
  public:
    // A click as the user makes it: what a click on the widget raises and does.
    void click();

    bool has_press_action() const override { return true; }
    void press_action() override { click(); }

  signals:
    void MouseOut();

  protected:
    // `watch_from_creation`: the hover watch runs from creation (until it first finds the
    // pointer outside) rather than from the first move.
    PushWidget(QWidget* parent, bool watch_from_creation);

    // `inside`: the point lies within 0..width, 0..height, edges included.
    virtual void pointer_moved(const QMouseEvent& event, bool inside) = 0;
    virtual void pointer_pressed(const QMouseEvent& event) = 0;
    virtual void pointer_released(const QMouseEvent& event) = 0;
    // A complete click: raise Click and act on it.
    virtual void clicked() = 0;
    // The hover watch found the pointer outside and has stopped.
    virtual void pointer_left() = 0;

    // Makes the access key of `caption` (the letter after a single '&') click the widget.
    void set_access_key(const QString& caption);

    bool point_inside(QPointF point) const;
    // A focus cue is drawn only while the focus came from the keyboard, as is usual.
    bool shows_focus_cue() const { return m_keyboard_focus && hasFocus(); }
    void paint_focus_cue(QPainter& painter, const QRect& around) const;

    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void watch_tick();

    QTimer* m_watch;              // "Timer1"
    int m_access_key = 0;         // shortcut id; 0 when none
    bool m_double_click = false;  // the press being held began a double-click
    bool m_keyboard_focus = false;
};

}  // namespace quillon::skin
