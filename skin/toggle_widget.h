// What the check box and the radio button share: a state picture at the left (a 16 x 16 box,
// 240 twips, centred vertically), a caption at 480 twips (32 pixels at 96 DPI) in `ForeColor`,
// a background in `BackColor`, the same properties with the same persisted keys and orders, and
// the same pointer handling. The looks of each value: normal, hover, pressed, disabled.
#pragma once

#include "skin/push_widget.h"

namespace quillon::skin {

class ToggleWidget : public PushWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE set_Caption)
    Q_PROPERTY(bool Enabled READ Enabled WRITE set_Enabled)
    Q_PROPERTY(QFont Font READ Font WRITE set_Font)
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE set_BackColor)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE set_ForeColor)
  public:
    enum Look { normal = 0, hover = 1, pressed = 2, disabled = 3 };

    QString Caption() const { return m_caption; }
    void set_Caption(const QString& caption);
    bool Enabled() const { return isEnabled(); }
    void set_Enabled(bool enabled) { setEnabled(enabled); }
    QFont Font() const { return font(); }
    void set_Font(const QFont& font);
    // OLE colours (ole_colour.h).
    quint32 BackColor() const { return m_back_colour; }
    void set_BackColor(quint32 colour);
    quint32 ForeColor() const { return m_fore_colour; }
    void set_ForeColor(quint32 colour);

    // The look on show, and showing one (the gallery shows each look this way).
    int look() const { return m_look; }
    void show_look(int look);

    QRect picture_rect() const { return m_picture_rect; }
    QRect caption_rect() const { return m_caption_rect; }

    void read_properties(PropertyBag& bag) override;
    void write_properties(PropertyBag& bag) const override;

    QString accessible_name() const override { return without_access_key(m_caption); }
    QSize sizeHint() const override;

  protected:
    ToggleWidget(QWidget* parent, const QString& instance_name);

    // The value as an integer (0 or 1; the check box also has 2), and its persisted key "Value".
    virtual int value_index() const = 0;
    virtual void read_value(PropertyBag& bag) = 0;
    virtual void write_value(PropertyBag& bag) const = 0;
    // Where the picture of a value and look lies in the art.
    virtual QString strip_name() const = 0;
    virtual QRect cell(int value, int look) const = 0;

    // Shows the normal or the disabled picture of the current value.
    void repaint_value();

    void pointer_moved(const QMouseEvent& event, bool inside) override;
    void pointer_pressed(const QMouseEvent& event) override;
    void pointer_released(const QMouseEvent& event) override;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enabled_changed() override;
    void font_changed() override;

  private:
    void lay_out();

    QString m_caption;
    quint32 m_back_colour;
    quint32 m_fore_colour = 0;
    int m_look = normal;
    QRect m_picture_rect;
    QRect m_caption_rect;
};

}  // namespace quillon::skin
