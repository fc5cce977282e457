#include "app/widgets/plain_widgets.h"

#include <QMouseEvent>
#include <QPainter>

#include "skin/ole_colour.h"

namespace quillon::forms {

namespace {

const QString caption_key = QStringLiteral("Caption");
const QString font_key = QStringLiteral("Font");

}  // namespace

Frame::Frame(QWidget* parent, const QString& instance_name) : QGroupBox(parent) {
    setObjectName(instance_name);
    setTitle(instance_name);
}

void Frame::read_properties(skin::PropertyBag& bag) {
    set_Caption(skin::read_text(bag, caption_key, objectName()));
    setFont(skin::read_font(bag, font_key, font()));
}

void Frame::write_properties(skin::PropertyBag& bag) const {
    bag.write(caption_key, Caption(), objectName());
    bag.write(font_key, font(), QFont());
}

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit Click();
}

Label::Label(QWidget* parent, const QString& instance_name) : ClickLabel(parent) {
    setObjectName(instance_name);
    setTextFormat(Qt::PlainText);
    setText(instance_name);
    set_Alignment(0);
}

void Label::set_Alignment(qint32 alignment) {
    static constexpr Qt::Alignment sides[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter};
    if (alignment < 0 || alignment > 2) return;
    m_alignment = alignment;
    setAlignment(sides[alignment] | Qt::AlignTop);
}

void Label::read_properties(skin::PropertyBag& bag) {
    set_Caption(skin::read_text(bag, caption_key, objectName()));
    set_Alignment(skin::read_int32(bag, QStringLiteral("Alignment"), 0));
    set_WordWrap(skin::read_bool(bag, QStringLiteral("WordWrap"), false));
    setFont(skin::read_font(bag, font_key, font()));
}

void Label::write_properties(skin::PropertyBag& bag) const {
    bag.write(caption_key, Caption(), objectName());
    bag.write(QStringLiteral("Alignment"), m_alignment, 0);
    bag.write(QStringLiteral("WordWrap"), WordWrap(), false);
    bag.write(font_key, font(), QFont());
}

Image::Image(QWidget* parent, const QString& instance_name) : ClickLabel(parent) {
    setObjectName(instance_name);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void Image::set_Picture(const QPixmap& picture) {
    m_picture = picture;
    setPixmap(picture);
}

void Image::read_properties(skin::PropertyBag& bag) {
    set_Picture(skin::read_picture(bag, QStringLiteral("Picture"), QPixmap()));
    set_Stretch(skin::read_bool(bag, QStringLiteral("Stretch"), false));
}

void Image::write_properties(skin::PropertyBag& bag) const {
    bag.write(QStringLiteral("Picture"), m_picture, QPixmap());
    bag.write(QStringLiteral("Stretch"), Stretch(), false);
}

Shape::Shape(QWidget* parent, const QString& instance_name) : QWidget(parent) {
    setObjectName(instance_name);
    // A decoration: the pointer goes through it to what lies below.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::set_ShapeKind(qint32 kind) {
    if (kind != rectangle && kind != rounded_rectangle) return;
    m_kind = kind;
    update();
}

void Shape::set_BorderColor(quint32 colour) {
    if (!skin::is_ole_colour(colour)) return;
    m_border = colour;
    update();
}

void Shape::set_FillColor(quint32 colour) {
    if (!skin::is_ole_colour(colour)) return;
    m_fill = colour;
    update();
}

void Shape::set_FillStyle(qint32 style) {
    if (style != 0 && style != 1) return;
    m_fill_style = style;
    update();
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, m_kind == rounded_rectangle);
    painter.setPen(QPen(skin::ole_colour(m_border, palette()), 1));
    if (m_fill_style == 0)
        painter.setBrush(skin::ole_colour(m_fill, palette()));
    else
        painter.setBrush(Qt::NoBrush);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_kind == rounded_rectangle) {
        // The corner of a small panel, whatever the shape's size.
        const qreal radius = std::min({box.width(), box.height(), 24.0}) / 3;
        painter.drawRoundedRect(box, radius, radius);
    } else {
        painter.drawRect(box);
    }
}

void Shape::read_properties(skin::PropertyBag& bag) {
    set_ShapeKind(skin::read_int32(bag, QStringLiteral("Shape"), rectangle));
    set_BorderColor(skin::read_colour(bag, QStringLiteral("BorderColor"), 0));
    set_FillColor(skin::read_colour(bag, QStringLiteral("FillColor"), 0xFFFFFF));
    set_FillStyle(skin::read_int32(bag, QStringLiteral("FillStyle"), 1));
}

void Shape::write_properties(skin::PropertyBag& bag) const {
    bag.write(QStringLiteral("Shape"), m_kind, qint32(rectangle));
    bag.write(QStringLiteral("BorderColor"), m_border, 0u);
    bag.write(QStringLiteral("FillColor"), m_fill, 0xFFFFFFu);
    bag.write(QStringLiteral("FillStyle"), m_fill_style, 1);
}

TextBox::TextBox(QWidget* parent, const QString& instance_name) : QLineEdit(parent) {
    setObjectName(instance_name);
    connect(this, &QLineEdit::textChanged, this, &TextBox::Change);
}

void TextBox::read_properties(skin::PropertyBag& bag) {
    setText(skin::read_text(bag, QStringLiteral("Text"), QString()));
}

void TextBox::write_properties(skin::PropertyBag& bag) const {
    bag.write(QStringLiteral("Text"), text(), QString());
}

OptionButton::OptionButton(QWidget* parent, const QString& instance_name) : QRadioButton(parent) {
    setObjectName(instance_name);
    setText(instance_name);
    connect(this, &QAbstractButton::clicked, this, &OptionButton::Click);
}

void OptionButton::read_properties(skin::PropertyBag& bag) {
    setText(skin::read_text(bag, caption_key, objectName()));
    setChecked(skin::read_bool(bag, QStringLiteral("Value"), false));
    setEnabled(skin::read_bool(bag, QStringLiteral("Enabled"), true));
}

void OptionButton::write_properties(skin::PropertyBag& bag) const {
    bag.write(caption_key, text(), objectName());
    bag.write(QStringLiteral("Value"), isChecked(), false);
    bag.write(QStringLiteral("Enabled"), isEnabled(), true);
}

}  // namespace quillon::forms
