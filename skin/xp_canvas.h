// The window frame: replaces the caption and border of a borderless top-level window. It fills
// its parent and paints a skinned title bar (icon, caption with its shadow), three thin borders
// and a plain client background, and gives the window its behaviour: dragging by the title,
// maximise and restore by a double-click on it, resizing by the borders and corner grips (once,
// on release), and an active or inactive look that follows whether its window is the active one.
//
// Areas, in pixels of the widget (W x H; the strips and grips are painted and hit-tested here):
//   title bar 0,0 W x 29 · bottom border 0,H-5 W x 5 · left and right borders 5 wide between them
//   grips, which lie over the title bar's top rows and the bottom border's ends:
//     7 top-left 0,0 9x9 · 2 top 9,0 (W-18)x9 · 6 top-right W-9,0 9x9
//     5 bottom-left 0,H-5 9x5 · 4 bottom-right W-9,H-5 9x5
//   the caption text lies over the grips and takes presses on it as the title bar does.
#pragma once

#include <QPixmap>
#include <QPointer>

#include "skin/activation_watch.h"
#include "skin/skin_widget.h"

namespace quillon::skin {

class xp_canvas final : public SkinWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE set_Caption)
    Q_PROPERTY(QPixmap Icon READ Icon WRITE set_Icon)
    Q_PROPERTY(bool Fixed_Single READ Fixed_Single WRITE set_Fixed_Single)
  public:
    static constexpr const char* class_identifier = "Windows_XP_Controls.xp_canvas";
    static constexpr QRgb key_colour = 0xFF00FF;
    static constexpr int title_height = 29;
    static constexpr int border_width = 5;
    static constexpr int grip_size = 9;

    enum class Area {
        client,
        title,
        caption,
        left,
        right,
        bottom,
        grip2,
        grip4,
        grip5,
        grip6,
        grip7
    };

    explicit xp_canvas(QWidget* parent = nullptr, const QString& instance_name = {});

    QString Caption() const { return m_caption; }
    void set_Caption(const QString& caption);
    // The built-in icon until one is set.
    QPixmap Icon() const;
    void set_Icon(const QPixmap& icon);
    bool Fixed_Single() const { return m_fixed_single; }
    void set_Fixed_Single(bool fixed);

    // Cuts the key-colour corners of the title picture out of `form`'s window region.
    void make_trans(QWidget& form);
    // Stops both activation watches and shows the active look.
    void SetFocus();

    // The two looks; neither repaints: the caller runs a layout pass.
    void set_active_skin() { m_active_look = true; }
    void set_inactive_skin() { m_active_look = false; }
    bool active_look() const { return m_active_look; }
    // Repaints, sets the cursors, raises Resize.
    void layout_pass();

    Area area_at(QPoint point) const;
    // The resize edge code of an area (0 left, 1 right, 2 top, 3 bottom, 4 bottom-right,
    // 5 bottom-left, 6 top-right, 7 top-left); -1 for areas that do not resize.
    static int edge_code(Area area);
    Qt::CursorShape cursor_for(Area area) const;
    // Moves and sizes the host window in one call by the pointer's travel between two screen
    // positions, as edge code `edge` says. Codes outside 0..7 and windows that are not in the
    // normal state are left alone.
    void resize_form(int edge, QPointF press, QPointF release);

    QRect caption_rect() const;

    void read_properties(PropertyBag& bag) override;
    void write_properties(PropertyBag& bag) const override;

    QString class_id() const override { return QString::fromLatin1(class_identifier); }
    QAccessible::Role accessible_role() const override { return QAccessible::Pane; }
    QString accessible_name() const override { return m_caption; }

  signals:
    void DblClick();
    void Resize();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    enum class HostState { normal, minimised, maximised };
    HostState host_state() const;
    void attach_to_parent();
    void focus_changed(QWidget* old, QWidget* now);
    void timer1_tick();
    void timer2_tick();
    QFont caption_font() const;
    QRect shadow_rect() const;
    void apply_cursor(QPoint at);
    void title_double_click();

    QString m_caption;
    QPixmap m_icon;  // null: the built-in icon
    bool m_fixed_single = false;
    bool m_active_look = true;
    ActivationWatch* m_timer1;  // waits for the window to stop being the active one
    ActivationWatch* m_timer2;  // waits for it to become the active one again
    QPointer<QWidget> m_parent_watched;
    QPointer<QWidget> m_window_watched;

    // A press on a resize part: its edge code and the pointer's screen position then.
    int m_resize_edge = -1;
    QPointF m_press_at;
    // Moving the window ourselves, where the window system offers no move of its own.
    bool m_move_pending = false;  // pressed on the title, not moved yet
    bool m_own_drag = false;
    QPoint m_drag_offset;
    bool m_client_press = false;
    // The last press on the title: its time (milliseconds, -1 none) and screen position.
    qint64 m_title_press_ms = -1;
    QPointF m_title_press_at;
};

}  // namespace quillon::skin
