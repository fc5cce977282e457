#include "skin/toggle_widget.h"

#include <QPainter>

#include "skin/ole_colour.h"
#include "skin/skin_art.h"
#include "skin/twips.h"

namespace quillon::skin {

namespace {

const QColor caption_disabled(161, 161, 146);
constexpr double picture_twips = 240;
constexpr double caption_left_twips = 480;

}  // namespace

ToggleWidget::ToggleWidget(QWidget* parent, const QString& instance_name)
    : PushWidget(parent, true), m_back_colour(button_face_colour) {
    setObjectName(instance_name);
    m_caption = instance_name;
    set_access_key(m_caption);
    lay_out();
}

void ToggleWidget::set_Caption(const QString& caption) {
    m_caption = caption;
    set_access_key(caption);
    lay_out();
    notify_accessible(QAccessible::NameChanged);
    emit PropertyChanged(QStringLiteral("Caption"));
}

void ToggleWidget::set_Font(const QFont& font) {
    setFont(font);
    lay_out();
    emit PropertyChanged(QStringLiteral("Font"));
}

void ToggleWidget::set_BackColor(quint32 colour) {
    m_back_colour = colour;
    update();
    emit PropertyChanged(QStringLiteral("BackColor"));
}

void ToggleWidget::set_ForeColor(quint32 colour) {
    m_fore_colour = colour;
    update();
    emit PropertyChanged(QStringLiteral("ForeColor"));
}

void ToggleWidget::show_look(int look) {
    m_look = look;
    update();
}

void ToggleWidget::repaint_value() {
    show_look(isEnabled() ? normal : disabled);
}

void ToggleWidget::lay_out() {
    const double per_pixel = twips_per_pixel_x(*this);
    const int picture_side = qRound(picture_twips / twips_per_pixel_y(*this));
    m_picture_rect = QRect(0, centred_top(*this, picture_twips), picture_side, picture_side);
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, m_caption);
    const int caption_top = centred_top(*this, text.height() * twips_per_pixel_y(*this));
    m_caption_rect = QRect(QPoint(qRound(caption_left_twips / per_pixel), caption_top), text);
    update();
}

void ToggleWidget::read_properties(PropertyBag& bag) {
    read_value(bag);
    set_Caption(read_text(bag, QStringLiteral("Caption"), instance_name()));
    set_Enabled(read_bool(bag, QStringLiteral("Enabled"), true));
    set_Font(read_font(bag, QStringLiteral("Font"), ambient_font()));
    set_BackColor(read_colour(bag, QStringLiteral("BackColor"), button_face_colour));
    set_ForeColor(read_colour(bag, QStringLiteral("ForeColor"), 0));
}

void ToggleWidget::write_properties(PropertyBag& bag) const {
    bag.write(QStringLiteral("Font"), font(), ambient_font());
    write_value(bag);
    bag.write(QStringLiteral("Caption"), m_caption, instance_name());
    bag.write(QStringLiteral("Enabled"), isEnabled(), true);
    bag.write(QStringLiteral("BackColor"), m_back_colour, button_face_colour);
    bag.write(QStringLiteral("ForeColor"), m_fore_colour, quint32(0));
}

QSize ToggleWidget::sizeHint() const {
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, m_caption);
    return QSize(m_caption_rect.left() + text.width() + 4, qMax(17, text.height() + 4));
}

void ToggleWidget::pointer_moved(const QMouseEvent& event, bool inside) {
    if (!inside) return;
    if (m_caption_rect.contains(event.position().toPoint()))
        raise_mouse_move_at(event, m_caption_rect.topLeft());
    else
        raise_mouse_move(event);
    if (isEnabled()) show_look(event.buttons() == Qt::LeftButton ? pressed : hover);
}

void ToggleWidget::pointer_pressed(const QMouseEvent& event) {
    if (isEnabled()) show_look(pressed);
    raise_mouse_down(event);
}

void ToggleWidget::pointer_released(const QMouseEvent& event) {
    raise_mouse_up(event);
}

void ToggleWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ole_colour(m_back_colour, palette()));
    const QRect source = cell(value_index(), m_look);
    paint_stretched(painter, skin_picture(strip_name(), painter), source,
                    QRect(m_picture_rect.topLeft(), source.size()));
    painter.setFont(font());
    painter.setPen(isEnabled() ? ole_colour(m_fore_colour, palette()) : caption_disabled);
    painter.drawText(m_caption_rect, Qt::TextShowMnemonic | Qt::AlignLeft, m_caption);
    paint_focus_cue(painter, m_caption_rect.adjusted(-2, 0, 2, 0));
}

void ToggleWidget::resizeEvent(QResizeEvent* event) {
    PushWidget::resizeEvent(event);
    lay_out();
}

void ToggleWidget::enabled_changed() {
    repaint_value();
}

void ToggleWidget::font_changed() {
    lay_out();
}

}  // namespace quillon::skin
