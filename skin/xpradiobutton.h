// The skinned radio button. Every radio button of one window forms one group, whatever
// container it sits in: a click selects it and clears all the others.
#pragma once

#include "skin/toggle_widget.h"

namespace quillon::skin {

class xpradiobutton final : public ToggleWidget {
    Q_OBJECT
    Q_PROPERTY(bool Value READ Value WRITE set_Value)
  public:
    static constexpr const char* class_identifier = "Windows_XP_Controls.xpradiobutton";
    static constexpr QSize cell_size{13, 13};

    explicit xpradiobutton(QWidget* parent = nullptr, const QString& instance_name = {});

    bool Value() const { return m_value; }
    void set_Value(bool value);

    QString class_id() const override { return QString::fromLatin1(class_identifier); }
    QAccessible::Role accessible_role() const override { return QAccessible::RadioButton; }
    void accessible_state(QAccessible::State& state) const override;

  protected:
    int value_index() const override { return m_value ? 1 : 0; }
    void read_value(PropertyBag& bag) override;
    void write_value(PropertyBag& bag) const override;
    QString strip_name() const override { return QStringLiteral("xpradio"); }
    QRect cell(int value, int look) const override;

    void clicked() override;
    void pointer_left() override;

  private:
    bool m_value = false;
};

}  // namespace quillon::skin
