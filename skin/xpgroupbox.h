// The skinned group box: a rounded frame painted from a 22 x 20 frame picture (3 x 3 corners,
// 1-pixel edges), with its caption set into the top edge, whose line runs through the middle
// of the caption. Widgets placed on it may be its children; it only draws.
#pragma once

#include "skin/skin_widget.h"

namespace quillon::skin {

class xpgroupbox final : public SkinWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE set_Caption)
    Q_PROPERTY(bool Enabled READ Enabled WRITE set_Enabled)
    Q_PROPERTY(QFont Font READ Font WRITE set_Font)
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE set_BackColor)
  public:
    static constexpr const char* class_identifier = "Windows_XP_Controls.xpgroupbox";
    static constexpr quint32 default_back_colour = 65535;  // RGB(255,255,0)

    explicit xpgroupbox(QWidget* parent = nullptr, const QString& instance_name = {});

    QString Caption() const { return m_caption; }
    void set_Caption(const QString& caption);
    bool Enabled() const { return isEnabled(); }
    void set_Enabled(bool enabled);
    QFont Font() const { return font(); }
    void set_Font(const QFont& font);
    quint32 BackColor() const { return m_back_colour; }
    void set_BackColor(quint32 colour);

    QRect caption_rect() const;
    // The row the top edge runs along: half the caption's height.
    int top_edge() const { return caption_rect().height() / 2; }

    void read_properties(PropertyBag& bag) override;
    void write_properties(PropertyBag& bag) const override;

    QString class_id() const override { return QString::fromLatin1(class_identifier); }
    QAccessible::Role accessible_role() const override { return QAccessible::Grouping; }
    QString accessible_name() const override { return without_access_key(m_caption); }

  signals:
    void DblClick();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enabled_changed() override { update(); }
    void font_changed() override { update(); }
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QString m_caption;
    quint32 m_back_colour = default_back_colour;
    bool m_caption_press = false;
};

}  // namespace quillon::skin
