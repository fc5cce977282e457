#include "skin/xpgroupbox.h"

#include <QPainter>
#include <array>

#include "skin/ole_colour.h"
#include "skin/skin_art.h"

namespace quillon::skin {

namespace {

const QColor caption_enabled(0, 70, 213);
const QColor caption_disabled(161, 161, 146);
constexpr QPoint caption_at(15, 0);

}  // namespace

xpgroupbox::xpgroupbox(QWidget* parent, const QString& instance_name) : SkinWidget(parent) {
    setObjectName(instance_name);
    m_caption = instance_name;
}

void xpgroupbox::set_Caption(const QString& caption) {
    m_caption = caption;
    update();
    notify_accessible(QAccessible::NameChanged);
    emit PropertyChanged(QStringLiteral("Caption"));
}

void xpgroupbox::set_Enabled(bool enabled) {
    setEnabled(enabled);
    update();
    emit PropertyChanged(QStringLiteral("Enabled"));
}

void xpgroupbox::set_Font(const QFont& font) {
    setFont(font);
    update();
    emit PropertyChanged(QStringLiteral("Font"));
}

void xpgroupbox::set_BackColor(quint32 colour) {
    m_back_colour = colour;
    update();
    emit PropertyChanged(QStringLiteral("BackColor"));
}

QRect xpgroupbox::caption_rect() const {
    // An empty caption still has the height of a line.
    const QFontMetrics metrics(font());
    const QSize text = metrics.size(Qt::TextShowMnemonic, m_caption);
    return QRect(caption_at, QSize(text.width(), qMax(text.height(), metrics.height())));
}

void xpgroupbox::read_properties(PropertyBag& bag) {
    set_Enabled(read_bool(bag, QStringLiteral("Enabled"), true));
    set_Font(read_font(bag, QStringLiteral("Font"), ambient_font()));
    set_BackColor(read_colour(bag, QStringLiteral("BackColor"), default_back_colour));
    set_Caption(read_text(bag, QStringLiteral("Caption"), instance_name()));
}

void xpgroupbox::write_properties(PropertyBag& bag) const {
    bag.write(QStringLiteral("Caption"), m_caption, instance_name());
    bag.write(QStringLiteral("Enabled"), isEnabled(), true);
    bag.write(QStringLiteral("Font"), font(), ambient_font());
    bag.write(QStringLiteral("BackColor"), m_back_colour, default_back_colour);
}

void xpgroupbox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor back = ole_colour(m_back_colour, palette());
    painter.fillRect(rect(), back);
    const int w = width();
    const int h = height();
    const int t = top_edge();
    const std::array<Piece, 8> pieces{{
        {{0, t, 3, 3}, {0, 0, 3, 3}},                    // top-left corner
        {{w - 3, t, 3, 3}, {19, 0, 3, 3}},               // top-right corner
        {{w - 3, h - 3, 3, 3}, {19, 17, 3, 3}},          // bottom-right corner
        {{0, h - 3, 3, 3}, {0, 17, 3, 3}},               // bottom-left corner
        {{3, t, w - 6, 1}, {3, 0, 16, 1}},               // top edge
        {{w - 1, t + 3, 1, h - 6 - t}, {21, 3, 1, 14}},  // right edge
        {{3, h - 1, w - 6, 1}, {3, 19, 16, 1}},          // bottom edge
        {{0, t + 3, 1, h - 6 - t}, {0, 3, 1, 14}},       // left edge
    }};
    paint_pieces(painter, skin_picture(QStringLiteral("xpgroupframe"), painter), QPoint(0, 0),
                 pieces);
    // The caption's opaque ground hides the top edge behind the text.
    const QRect caption = caption_rect();
    painter.fillRect(caption, back);
    painter.setFont(font());
    painter.setPen(isEnabled() ? caption_enabled : caption_disabled);
    painter.drawText(caption, Qt::TextShowMnemonic | Qt::AlignLeft, m_caption);
}

void xpgroupbox::mousePressEvent(QMouseEvent* event) {
    m_caption_press = caption_rect().contains(event->position().toPoint());
    raise_mouse_down(*event);
}

void xpgroupbox::mouseMoveEvent(QMouseEvent* event) {
    raise_mouse_move(*event);
}

void xpgroupbox::mouseReleaseEvent(QMouseEvent* event) {
    raise_mouse_up(*event);
    // Click comes from the caption only.
    if (std::exchange(m_caption_press, false) && event->button() == Qt::LeftButton &&
        caption_rect().contains(event->position().toPoint()))
        emit Click();
}

void xpgroupbox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (caption_rect().contains(event->position().toPoint())) emit DblClick();
}

}  // namespace quillon::skin
