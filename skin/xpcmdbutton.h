// The skinned push button: a face from a strip of five 18 x 21 cells (normal, pressed,
// disabled, hover, default) stretched over the button in nine pieces, and a centred caption.
#pragma once

#include "skin/push_widget.h"

namespace quillon::skin {

class xpcmdbutton final : public PushWidget {
    Q_OBJECT
    Q_PROPERTY(qint32 State READ State WRITE set_State)
    Q_PROPERTY(bool Enabled READ Enabled WRITE set_Enabled)
    Q_PROPERTY(QString Caption READ Caption WRITE set_Caption)
    Q_PROPERTY(QFont Font READ Font WRITE set_Font)
  public:
    static constexpr const char* class_identifier = "Windows_XP_Controls.xpcmdbutton";

    enum Face { normal = 0, pressed = 1, disabled = 2, hover = 3, default_face = 4 };
    static constexpr QSize cell_size{18, 21};

    explicit xpcmdbutton(QWidget* parent = nullptr, const QString& instance_name = {});

    // 0 a normal button, 1 the default button; other values keep the resting face as it was.
    qint32 State() const { return m_state; }
    void set_State(qint32 state);
    bool Enabled() const { return isEnabled(); }
    void set_Enabled(bool enabled);
    QString Caption() const { return m_caption; }
    void set_Caption(const QString& caption);
    QFont Font() const { return font(); }
    void set_Font(const QFont& font);

    // The face on show, and showing one (the gallery shows each face this way).
    int face() const { return m_face; }
    void paint_face(int face);
    // Where the caption sits, in pixels of the button.
    QRect caption_rect() const { return m_caption_rect; }

    void read_properties(PropertyBag& bag) override;
    void write_properties(PropertyBag& bag) const override;

    QString class_id() const override { return QString::fromLatin1(class_identifier); }
    QAccessible::Role accessible_role() const override { return QAccessible::Button; }
    QString accessible_name() const override;
    void accessible_state(QAccessible::State& state) const override;

    QSize sizeHint() const override;

  protected:
    void pointer_moved(const QMouseEvent& event, bool inside) override;
    void pointer_pressed(const QMouseEvent& event) override;
    void pointer_released(const QMouseEvent& event) override;
    void clicked() override;
    void pointer_left() override;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void enabled_changed() override;
    void font_changed() override;

  private:
    void refresh();
    void place_caption();

    qint32 m_state = 0;
    int m_resting = normal;
    int m_face = normal;
    QString m_caption;
    QRect m_caption_rect;
};

}  // namespace quillon::skin
