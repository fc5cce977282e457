// The skinned check box: unchecked, checked or grayed. A click raises Click first (the handler
// sees the value from before) and then moves the value on: unchecked to checked, checked and
// grayed to unchecked.
#pragma once

#include "skin/toggle_widget.h"

namespace quillon::skin {

class xpcheckbox final : public ToggleWidget {
    Q_OBJECT
    Q_PROPERTY(qint32 Value READ Value WRITE set_Value)
  public:
    static constexpr const char* class_identifier = "Windows_XP_Controls.xpcheckbox";
    static constexpr QSize cell_size{16, 16};

    enum : qint32 { unchecked = 0, checked = 1, grayed = 2 };

    explicit xpcheckbox(QWidget* parent = nullptr, const QString& instance_name = {});

    qint32 Value() const { return m_value; }
    // A value other than 0, 1 or 2 has no picture and is taken as unchecked.
    void set_Value(qint32 value);

    QString class_id() const override { return QString::fromLatin1(class_identifier); }
    QAccessible::Role accessible_role() const override { return QAccessible::CheckBox; }
    void accessible_state(QAccessible::State& state) const override;

  protected:
    int value_index() const override { return m_value; }
    void read_value(PropertyBag& bag) override;
    void write_value(PropertyBag& bag) const override;
    QString strip_name() const override { return QStringLiteral("xpcheckbox"); }
    QRect cell(int value, int look) const override;

    void clicked() override;
    void pointer_left() override;

  private:
    qint32 m_value = unchecked;
};

}  // namespace quillon::skin
