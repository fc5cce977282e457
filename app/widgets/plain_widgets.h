// The plain widgets a form holds besides the skinned and the common ones: a frame around other
// widgets, a label, a picture, a drawn shape, a one-line text box and an option button. Each is a
// thin layer over Qt's widget with its properties under their stored names; labels and pictures
// raise Click.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRadioButton>

#include "skin/property_bag.h"

namespace quillon::forms {

class Frame final : public QGroupBox, public skin::Persisted {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE set_Caption)
  public:
    static constexpr const char* class_identifier = "Quillon.Frame";
    explicit Frame(QWidget* parent = nullptr, const QString& instance_name = {});

    QString Caption() const { return title(); }
    void set_Caption(const QString& caption) { setTitle(caption); }

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;
};

// A label that raises Click when pressed and released over it with the left button.
class ClickLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;
  signals:
    void Click();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool m_pressed = false;
};

class Label final : public ClickLabel, public skin::Persisted {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE set_Caption)
    // 0 left, 1 right, 2 centred.
    Q_PROPERTY(qint32 Alignment READ Alignment WRITE set_Alignment)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE set_WordWrap)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
  public:
    static constexpr const char* class_identifier = "Quillon.Label";
    explicit Label(QWidget* parent = nullptr, const QString& instance_name = {});

    QString Caption() const { return text(); }
    void set_Caption(const QString& caption) { setText(caption); }
    qint32 Alignment() const { return m_alignment; }
    void set_Alignment(qint32 alignment);
    bool WordWrap() const { return wordWrap(); }
    void set_WordWrap(bool wrap) { setWordWrap(wrap); }

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  private:
    qint32 m_alignment = 0;
};

class Image final : public ClickLabel, public skin::Persisted {
    Q_OBJECT
    Q_PROPERTY(QPixmap Picture READ Picture WRITE set_Picture)
    // True: the picture fills the widget; False: it is shown at its size in the top left corner.
    Q_PROPERTY(bool Stretch READ Stretch WRITE set_Stretch)
  public:
    static constexpr const char* class_identifier = "Quillon.Image";
    explicit Image(QWidget* parent = nullptr, const QString& instance_name = {});

    QPixmap Picture() const { return m_picture; }
    void set_Picture(const QPixmap& picture);
    bool Stretch() const { return hasScaledContents(); }
    void set_Stretch(bool stretch) { setScaledContents(stretch); }

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  private:
    QPixmap m_picture;
};

// A rectangle, plain or with rounded corners, drawn with a border and an optional fill.
class Shape final : public QWidget, public skin::Persisted {
    Q_OBJECT
    // 0 rectangle, 4 rounded rectangle.
    Q_PROPERTY(qint32 Shape READ ShapeKind WRITE set_ShapeKind)
    Q_PROPERTY(quint32 BorderColor READ BorderColor WRITE set_BorderColor)
    Q_PROPERTY(quint32 FillColor READ FillColor WRITE set_FillColor)
    // 0 filled with FillColor, 1 transparent.
    Q_PROPERTY(qint32 FillStyle READ FillStyle WRITE set_FillStyle)
  public:
    static constexpr const char* class_identifier = "Quillon.Shape";
    enum Kind { rectangle = 0, rounded_rectangle = 4 };
    explicit Shape(QWidget* parent = nullptr, const QString& instance_name = {});

    qint32 ShapeKind() const { return m_kind; }
    void set_ShapeKind(qint32 kind);
    quint32 BorderColor() const { return m_border; }
    void set_BorderColor(quint32 colour);
    quint32 FillColor() const { return m_fill; }
    void set_FillColor(quint32 colour);
    qint32 FillStyle() const { return m_fill_style; }
    void set_FillStyle(qint32 style);

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    qint32 m_kind = rectangle;
    quint32 m_border = 0;  // black
    quint32 m_fill = 0xFFFFFF;
    qint32 m_fill_style = 1;
};

class TextBox final : public QLineEdit, public skin::Persisted {
    Q_OBJECT
    Q_PROPERTY(QString Text READ text WRITE setText)
  public:
    static constexpr const char* class_identifier = "Quillon.TextBox";
    explicit TextBox(QWidget* parent = nullptr, const QString& instance_name = {});

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  signals:
    void Change();
};

// Option buttons with one parent form one group: selecting one clears the others.
class OptionButton final : public QRadioButton, public skin::Persisted {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(bool Value READ isChecked WRITE setChecked)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
  public:
    static constexpr const char* class_identifier = "Quillon.OptionButton";
    explicit OptionButton(QWidget* parent = nullptr, const QString& instance_name = {});

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  signals:
    void Click();
};

}  // namespace quillon::forms
