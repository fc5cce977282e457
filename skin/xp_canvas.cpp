#include "skin/xp_canvas.h"

#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QWindow>
#include <array>

#include "skin/skin_art.h"
#include "skin/trans_colour.h"

namespace quillon::skin {

namespace {

const QColor client_background(236, 233, 216);
const QColor caption_colour(255, 255, 255);
constexpr QPoint caption_at(26, 6);
constexpr QPoint shadow_at(28, 8);
constexpr QRect icon_rect(6, 8, 16, 16);
constexpr QSize title_picture(66, 29);
constexpr int title_cap = 5;  // columns of the title picture that are never stretched
// Pixels the pointer travels with the button held on the title before the window moves: the
// window system's move takes over from where the pointer is then, so this much is not carried.
constexpr int move_threshold = 3;

bool is_resize_area(xp_canvas::Area area) {
    return xp_canvas::edge_code(area) >= 0;
}

}  // namespace

xp_canvas::xp_canvas(QWidget* parent, const QString& instance_name)
    : SkinWidget(parent),
      m_timer1(new ActivationWatch(this, QStringLiteral("Timer1"))),
      m_timer2(new ActivationWatch(this, QStringLiteral("Timer2"))) {
    setObjectName(instance_name);
    m_caption = instance_name;
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);  // a frame, as the system's own: not a stop in the tab order
    connect(m_timer1, &ActivationWatch::timeout, this, &xp_canvas::timer1_tick);
    connect(m_timer2, &ActivationWatch::timeout, this, &xp_canvas::timer2_tick);
    connect(qApp, &QApplication::focusChanged, this, &xp_canvas::focus_changed);
    m_timer1->start();
    m_timer2->start();
    attach_to_parent();
    set_active_skin();
    layout_pass();
}

void xp_canvas::set_Caption(const QString& caption) {
    m_caption = caption;
    window()->setWindowTitle(caption);
    layout_pass();
    notify_accessible(QAccessible::NameChanged);
    emit PropertyChanged(QStringLiteral("Caption"));
}

QPixmap xp_canvas::Icon() const {
    return m_icon.isNull() ? skin_picture(QStringLiteral("Image1"), devicePixelRatioF()) : m_icon;
}

void xp_canvas::set_Icon(const QPixmap& icon) {
    m_icon = icon;
    update(icon_rect);
    emit PropertyChanged(QStringLiteral("Icon"));
}

void xp_canvas::set_Fixed_Single(bool fixed) {
    m_fixed_single = fixed;
    layout_pass();
}

void xp_canvas::make_trans(QWidget& form) {
    // The form's own surface holds just the two ends of the title picture.
    QImage surface(form.size(), QImage::Format_ARGB32);
    surface.fill(Qt::transparent);
    if (host_state() == HostState::normal) {
        QPainter painter(&surface);
        const QPixmap& top =
            skin_picture(m_active_look ? QStringLiteral("imgtop1") : QStringLiteral("imgtop2"), 1);
        paint_stretched(painter, top, QRect(0, 0, title_cap, title_picture.height()),
                        QRect(0, 0, title_cap, title_height));
        paint_stretched(
            painter, top,
            QRect(title_picture.width() - title_cap, 0, title_cap, title_picture.height()),
            QRect(width() - title_cap, 0, title_cap, title_height));
    }
    colour_region(form, surface, key_colour);
}

void xp_canvas::SetFocus() {
    m_timer1->stop();
    m_timer2->stop();
    set_active_skin();
    layout_pass();
}

void xp_canvas::layout_pass() {
    update();
    if (underMouse()) apply_cursor(mapFromGlobal(QCursor::pos()));
    emit Resize();
}

xp_canvas::HostState xp_canvas::host_state() const {
    const Qt::WindowStates state = window()->windowState();
    if (state & Qt::WindowMinimized) return HostState::minimised;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) return HostState::maximised;
    return HostState::normal;
}

QFont xp_canvas::caption_font() const {
    QFont f(font());
    f.setFamilies({QStringLiteral("Trebuchet MS"), QStringLiteral("DejaVu Sans")});
    f.setPointSizeF(9.75);
    f.setBold(true);
    return f;
}

QRect xp_canvas::caption_rect() const {
    const QFontMetrics metrics(caption_font());
    return QRect(caption_at, metrics.size(Qt::TextSingleLine, m_caption));
}

QRect xp_canvas::shadow_rect() const {
    return caption_rect().translated(shadow_at - caption_at);
}

xp_canvas::Area xp_canvas::area_at(QPoint p) const {
    const int w = width();
    const int h = height();
    if (p.y() < title_height) {
        if (caption_rect().contains(p) || shadow_rect().contains(p)) return Area::caption;
        if (p.y() < grip_size) {
            if (p.x() < grip_size) return Area::grip7;
            if (p.x() >= window()->width() - grip_size) return Area::grip6;
            if (p.x() < w - grip_size) return Area::grip2;
        }
        return Area::title;
    }
    if (p.y() >= h - border_width) {
        if (p.x() < grip_size) return Area::grip5;
        if (p.x() >= w - grip_size) return Area::grip4;
        return Area::bottom;
    }
    if (p.x() < border_width) return Area::left;
    if (p.x() >= w - border_width) return Area::right;
    return Area::client;
}

int xp_canvas::edge_code(Area area) {
    switch (area) {
        case Area::left:
            return 0;
        case Area::right:
            return 1;
        case Area::grip2:
            return 2;
        case Area::bottom:
            return 3;
        case Area::grip4:
            return 4;
        case Area::grip5:
            return 5;
        case Area::grip6:
            return 6;
        case Area::grip7:
            return 7;
        default:
            return -1;
    }
}

Qt::CursorShape xp_canvas::cursor_for(Area area) const {
    if (!is_resize_area(area) || m_fixed_single || host_state() != HostState::normal)
        return Qt::ArrowCursor;
    switch (area) {
        case Area::left:
        case Area::right:
            return Qt::SizeHorCursor;
        case Area::bottom:
        case Area::grip2:
            return Qt::SizeVerCursor;
        case Area::grip6:
        case Area::grip5:
            return Qt::SizeBDiagCursor;
        default:
            return Qt::SizeFDiagCursor;  // grips 4 and 7
    }
}

void xp_canvas::apply_cursor(QPoint at) {
    if (host_state() == HostState::minimised) return;  // cursors stay as they were
    setCursor(cursor_for(area_at(at)));
}

void xp_canvas::resize_form(int edge, QPointF press, QPointF release) {
    if (edge < 0 || edge > 7) return;
    // A maximised or minimised window cannot be moved or sized this way.
    if (host_state() != HostState::normal) return;
    QWidget* form = window();
    // Both ends are logical pixels, so the twips of the original arithmetic cancel out.
    const int dx = qRound(release.x() - press.x());
    const int dy = qRound(release.y() - press.y());
    QRect g = form->geometry();
    int left = g.x(), top = g.y(), w = g.width(), h = g.height();
    switch (edge) {
        case 0:
            left += dx, w -= dx;
            break;
        case 1:
            w += dx;
            break;
        case 2:
            top += dy, h -= dy;
            break;
        case 3:
            h += dy;
            break;
        case 4:
            w += dx, h += dy;
            break;
        case 5:
            left += dx, w -= dx, h += dy;
            break;
        case 6:
            top += dy, w += dx, h -= dy;
            break;
        case 7:
            left += dx, top += dy, w -= dx, h -= dy;
            break;
    }
    if (w <= 0 || h <= 0) return;  // an impossible size: the move is refused as a whole
    // Within the window's own limits, the edge not being dragged stays where it is.
    const int bounded_w = qBound(form->minimumWidth(), w, form->maximumWidth());
    const int bounded_h = qBound(form->minimumHeight(), h, form->maximumHeight());
    if (left != g.x()) left -= bounded_w - w;
    if (top != g.y()) top -= bounded_h - h;
    // Where the window system does not let a window place itself, the size still changes.
    form->setGeometry(left, top, bounded_w, bounded_h);
}

void xp_canvas::read_properties(PropertyBag& bag) {
    set_Caption(read_text(bag, QStringLiteral("Caption"), instance_name()));
    const QPixmap built_in = skin_picture(QStringLiteral("Image1"), 1);
    const QPixmap icon = read_picture(bag, QStringLiteral("Icon"), built_in);
    set_Icon(icon.cacheKey() == built_in.cacheKey() ? QPixmap() : icon);
    set_Fixed_Single(read_bool(bag, QStringLiteral("Fixed_Single"), false));
}

void xp_canvas::write_properties(PropertyBag& bag) const {
    const QPixmap built_in = skin_picture(QStringLiteral("Image1"), 1);
    bag.write(QStringLiteral("Caption"), m_caption, instance_name());
    bag.write(QStringLiteral("Icon"), m_icon.isNull() ? built_in : m_icon, built_in);
    bag.write(QStringLiteral("Fixed_Single"), m_fixed_single, false);
}

void xp_canvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), client_background);

    const QString look = m_active_look ? QStringLiteral("1") : QStringLiteral("2");
    const int side_h = h - title_height - border_width;
    const QPixmap& left = skin_picture(QStringLiteral("imgleft") + look, painter);
    const QPixmap& right = skin_picture(QStringLiteral("imgright") + look, painter);
    paint_stretched(painter, left, QRect(QPoint(0, 0), left.deviceIndependentSize().toSize()),
                    QRect(0, title_height, border_width, side_h));
    paint_stretched(painter, right, QRect(QPoint(0, 0), right.deviceIndependentSize().toSize()),
                    QRect(w - border_width, title_height, border_width, side_h));

    const HostState state = host_state();
    if (state != HostState::minimised) {
        const QString name =
            (state == HostState::normal ? QStringLiteral("imgtop") : QStringLiteral("imgtopmax")) +
            look;
        const QPixmap& top = skin_picture_without_key(name, painter, key_colour);
        const int pw = title_picture.width();
        const int ph = title_picture.height();
        const std::array<Piece, 3> slices{{
            {{0, 0, title_cap, title_height}, {0, 0, title_cap, ph}},
            {{title_cap, 0, w - 2 * title_cap, title_height},
             {title_cap, 0, pw - 2 * title_cap, ph}},
            {{w - title_cap, 0, title_cap, title_height}, {pw - title_cap, 0, title_cap, ph}},
        }};
        paint_pieces(painter, top, QPoint(0, 0), slices);
    }

    const QPixmap& bottom = skin_picture(QStringLiteral("imgbottom") + look, painter);
    paint_stretched(painter, bottom, QRect(QPoint(0, 0), bottom.deviceIndependentSize().toSize()),
                    QRect(0, h - border_width, w, border_width));

    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(icon_rect, Icon());
    painter.setFont(caption_font());
    painter.setPen(palette().color(QPalette::Active, QPalette::WindowText));
    painter.drawText(shadow_rect(), Qt::TextSingleLine, m_caption);
    painter.setPen(caption_colour);
    painter.drawText(caption_rect(), Qt::TextSingleLine, m_caption);
}

void xp_canvas::resizeEvent(QResizeEvent* event) {
    SkinWidget::resizeEvent(event);
    layout_pass();
}

void xp_canvas::mousePressEvent(QMouseEvent* event) {
    const Area area = area_at(event->position().toPoint());
    m_resize_edge = -1;
    m_client_press = false;
    if (area == Area::title || area == Area::caption) {
        // Once the window system's move has taken the pointer, the second press of a
        // double-click no longer arrives as one: it is recognised here.
        const bool second_press = m_title_press_ms >= 0 &&
                                  event->timestamp() - quint64(m_title_press_ms) <=
                                      quint64(QApplication::doubleClickInterval()) &&
                                  (event->globalPosition() - m_title_press_at).manhattanLength() <=
                                      QApplication::startDragDistance();
        m_title_press_ms = second_press ? -1 : qint64(event->timestamp());
        m_title_press_at = event->globalPosition();
        if (second_press) {
            title_double_click();
            return;
        }
        if (host_state() != HostState::normal) return;
        // The move starts with the first movement, so that a click or a double-click on the
        // title never ends up in the window system's move loop.
        m_move_pending = true;
        m_drag_offset = event->globalPosition().toPoint() - window()->pos();
        return;
    }
    if (is_resize_area(area)) {
        if (m_fixed_single) return;
        m_resize_edge = edge_code(area);
        m_press_at = event->globalPosition();
        return;
    }
    m_client_press = true;
    raise_mouse_down(*event);
}

void xp_canvas::mouseMoveEvent(QMouseEvent* event) {
    if (m_move_pending &&
        (event->globalPosition() - m_title_press_at).manhattanLength() >= move_threshold) {
        m_move_pending = false;
        QWindow* handle = window()->windowHandle();
        // The window system's own move works on every platform that has one (X11 and
        // Wayland); where it is missing, the window follows the pointer until the release.
        const bool system_move =
            event->buttons() == Qt::LeftButton && handle && handle->startSystemMove();
        m_own_drag = !system_move;
    }
    if (m_own_drag) {
        window()->move(event->globalPosition().toPoint() - m_drag_offset);
        return;
    }
    if (event->buttons() == Qt::NoButton) apply_cursor(event->position().toPoint());
    if (area_at(event->position().toPoint()) == Area::client || m_client_press)
        raise_mouse_move(*event);
}

void xp_canvas::mouseReleaseEvent(QMouseEvent* event) {
    m_move_pending = false;
    if (std::exchange(m_own_drag, false)) return;
    if (m_resize_edge >= 0) {
        const int edge = std::exchange(m_resize_edge, -1);
        if (!m_fixed_single) resize_form(edge, m_press_at, event->globalPosition());
        return;
    }
    if (!std::exchange(m_client_press, false)) return;
    raise_mouse_up(*event);
    if (event->button() == Qt::LeftButton && area_at(event->position().toPoint()) == Area::client)
        emit Click();
}

void xp_canvas::mouseDoubleClickEvent(QMouseEvent* event) {
    const Area area = area_at(event->position().toPoint());
    if (area == Area::title || area == Area::caption) {
        if (m_fixed_single) return;
        QWidget* form = window();
        if (host_state() == HostState::normal)
            form->setWindowState((form->windowState() & ~Qt::WindowMinimized) |
                                 Qt::WindowMaximized);
        else
            form->setWindowState(form->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized |
                                                         Qt::WindowFullScreen));
        return;
    }
    if (area == Area::client) {
        m_client_press = true;
        emit DblClick();
        return;
    }
    mousePressEvent(event);  // a border takes a quick second press as a press
}

void xp_canvas::title_double_click() {
    if (m_fixed_single) return;
    QWidget* form = window();
    if (host_state() == HostState::normal)
        form->setWindowState((form->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    else
        form->setWindowState(form->windowState() &
                             ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
}

void xp_canvas::changeEvent(QEvent* event) {
    SkinWidget::changeEvent(event);
    if (event->type() == QEvent::ParentChange) attach_to_parent();
}

void xp_canvas::attach_to_parent() {
    if (m_parent_watched) m_parent_watched->removeEventFilter(this);
    if (m_window_watched) m_window_watched->removeEventFilter(this);
    m_parent_watched = parentWidget();
    m_window_watched = window() == this ? nullptr : window();
    if (m_parent_watched) {
        m_parent_watched->installEventFilter(this);
        setGeometry(m_parent_watched->rect());
        lower();  // under the window's other widgets, whenever they were made
    }
    if (m_window_watched && m_window_watched != m_parent_watched)
        m_window_watched->installEventFilter(this);
}

bool xp_canvas::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_parent_watched && event->type() == QEvent::Resize)
        setGeometry(m_parent_watched->rect());
    if (watched == window()) {
        if (event->type() == QEvent::WindowStateChange) {
            layout_pass();
        } else if (event->type() == QEvent::ActivationChange) {
            // A window that gains or loses activation takes the focus with it: both watches
            // start again, as after a loss of focus, and look at once.
            m_timer1->start();
            m_timer2->start();
            m_timer1->activation_changed();
            m_timer2->activation_changed();
        }
    }
    return SkinWidget::eventFilter(watched, event);
}

void xp_canvas::focusInEvent(QFocusEvent* event) {
    SkinWidget::focusInEvent(event);
    m_timer1->stop();
    m_timer2->stop();
    set_active_skin();
    layout_pass();
}

void xp_canvas::focus_changed(QWidget* old, QWidget* now) {
    const auto inside = [this](QWidget* w) { return w && (w == this || isAncestorOf(w)); };
    if (inside(now) && !inside(old) && now != this) {
        m_timer1->stop();
        set_active_skin();
        layout_pass();
    } else if (inside(old) && !inside(now)) {
        m_timer1->start();
        m_timer2->start();
    }
}

void xp_canvas::timer1_tick() {
    if (QApplication::activeWindow() == window()) return;
    set_inactive_skin();
    layout_pass();
    m_timer1->stop();
}

void xp_canvas::timer2_tick() {
    if (QApplication::activeWindow() != window()) return;
    set_active_skin();
    layout_pass();
    m_timer2->stop();
}

}  // namespace quillon::skin
