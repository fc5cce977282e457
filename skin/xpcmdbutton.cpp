#include "skin/xpcmdbutton.h"

#include <QPainter>
#include <array>

#include "skin/skin_art.h"

namespace quillon::skin {

namespace {

const QColor caption_enabled(0, 0, 0);
const QColor caption_disabled(161, 161, 146);

}  // namespace

xpcmdbutton::xpcmdbutton(QWidget* parent, const QString& instance_name)
    : PushWidget(parent, false) {
    setObjectName(instance_name);
    m_caption = instance_name;
    set_access_key(m_caption);
    place_caption();
    refresh();
}

void xpcmdbutton::set_State(qint32 state) {
    m_state = state;
    emit PropertyChanged(QStringLiteral("State"));
    refresh();
}

void xpcmdbutton::set_Enabled(bool enabled) {
    setEnabled(enabled);  // refresh and recolouring follow from the change event
    emit PropertyChanged(QStringLiteral("Enabled"));
}

void xpcmdbutton::set_Caption(const QString& caption) {
    m_caption = caption;
    set_access_key(caption);
    place_caption();
    update();
    notify_accessible(QAccessible::NameChanged);
    emit PropertyChanged(QStringLiteral("Caption"));
}

void xpcmdbutton::set_Font(const QFont& font) {
    setFont(font);
    place_caption();
    update();
    emit PropertyChanged(QStringLiteral("Font"));
}

void xpcmdbutton::paint_face(int face) {
    m_face = face;
    update();
}

void xpcmdbutton::refresh() {
    if (m_state == 1)
        m_resting = default_face;
    else if (m_state == 0)
        m_resting = normal;
    paint_face(isEnabled() ? m_resting : disabled);
}

void xpcmdbutton::place_caption() {
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, m_caption);
    m_caption_rect =
        QRect(QPoint((width() - text.width()) / 2, (height() - text.height()) / 2), text);
}

void xpcmdbutton::read_properties(PropertyBag& bag) {
    set_State(read_int32(bag, QStringLiteral("State"), 0));
    set_Enabled(read_bool(bag, QStringLiteral("Enabled"), true));
    set_Caption(read_text(bag, QStringLiteral("Caption"), instance_name()));
    set_Font(read_font(bag, QStringLiteral("Font"), ambient_font()));
}

void xpcmdbutton::write_properties(PropertyBag& bag) const {
    bag.write(QStringLiteral("State"), m_state, 0);
    bag.write(QStringLiteral("Enabled"), isEnabled(), true);
    bag.write(QStringLiteral("Caption"), m_caption, instance_name());
    bag.write(QStringLiteral("Font"), font(), ambient_font());
}

QString xpcmdbutton::accessible_name() const {
    return without_access_key(m_caption);
}

void xpcmdbutton::accessible_state(QAccessible::State& state) const {
    state.pressed = m_face == pressed;
    state.defaultButton = m_state == 1;
}

QSize xpcmdbutton::sizeHint() const {
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, m_caption);
    return QSize(qMax(75, text.width() + 16), qMax(23, text.height() + 8));
}

void xpcmdbutton::pointer_moved(const QMouseEvent& event, bool inside) {
    if (!inside) return;
    if (m_caption_rect.contains(event.position().toPoint()))
        raise_mouse_move_at(event, m_caption_rect.topLeft());
    else
        raise_mouse_move(event);
    paint_face(event.buttons() == Qt::LeftButton ? pressed : hover);
}

void xpcmdbutton::pointer_pressed(const QMouseEvent& event) {
    raise_mouse_down(event);
    paint_face(pressed);
}

void xpcmdbutton::pointer_released(const QMouseEvent& event) {
    raise_mouse_up(event);
    refresh();
}

void xpcmdbutton::clicked() {
    emit Click();
}

void xpcmdbutton::pointer_left() {
    emit MouseOut();
    refresh();
}

void xpcmdbutton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap& strip = skin_picture(QStringLiteral("xpbutton"), painter);
    const int w = width();
    const int h = height();
    const std::array<Piece, 9> pieces{{
        {{0, 0, 3, 3}, {0, 0, 3, 3}},            // top-left corner
        {{w - 3, 0, 3, 3}, {15, 0, 3, 3}},       // top-right corner
        {{w - 3, h - 3, 3, 3}, {15, 18, 3, 3}},  // bottom-right corner
        {{0, h - 3, 3, 3}, {0, 18, 3, 3}},       // bottom-left corner
        {{3, 0, w - 6, 3}, {3, 0, 12, 3}},       // top edge
        {{w - 3, 3, 3, h - 6}, {15, 3, 3, 15}},  // right edge
        {{0, 3, 3, h - 6}, {0, 3, 3, 15}},       // left edge
        {{3, h - 3, w - 6, 3}, {3, 18, 12, 3}},  // bottom edge
        {{3, 3, w - 6, h - 6}, {3, 3, 12, 15}},  // centre
    }};
    paint_pieces(painter, strip, cell_rect(cell_size, m_face).topLeft(), pieces);

    painter.setPen(isEnabled() ? caption_enabled : caption_disabled);
    painter.setFont(font());
    painter.drawText(m_caption_rect, Qt::TextShowMnemonic | Qt::AlignCenter, m_caption);
    paint_focus_cue(painter, rect().adjusted(3, 3, -3, -3));
}

void xpcmdbutton::resizeEvent(QResizeEvent* event) {
    PushWidget::resizeEvent(event);
    refresh();
    place_caption();
}

void xpcmdbutton::showEvent(QShowEvent* event) {
    PushWidget::showEvent(event);
    refresh();
}

void xpcmdbutton::enabled_changed() {
    refresh();
}

void xpcmdbutton::font_changed() {
    place_caption();
}

}  // namespace quillon::skin
