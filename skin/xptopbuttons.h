// The title-bar button: close, maximise, minimise or restore, as `Value` (0..3) says. It only
// raises Click; the window that holds it acts.
#pragma once

#include "skin/caption_button.h"

namespace quillon::skin {

class xptopbuttons final : public CaptionButton {
    Q_OBJECT
    Q_PROPERTY(qint32 Value READ Value WRITE set_Value)
    Q_PROPERTY(bool Enabled READ Enabled WRITE set_Enabled)
  public:
    static constexpr const char* class_identifier = "Windows_XP_Controls.xptopbuttons";

    enum Strip : qint16 { close = 0, maximise = 1, minimise = 2, restore = 3 };

    explicit xptopbuttons(QWidget* parent = nullptr, const QString& instance_name = {});

    // 0 close, 1 maximise, 2 minimise, 3 restore; another value keeps the strip in use.
    qint32 Value() const { return m_value; }
    void set_Value(qint32 value);
    bool Enabled() const { return isEnabled(); }
    void set_Enabled(bool enabled) { setEnabled(enabled); }

    qint16 strip() const { return m_strip; }

    void read_properties(PropertyBag& bag) override;
    void write_properties(PropertyBag& bag) const override;

    QString class_id() const override { return QString::fromLatin1(class_identifier); }
    QString accessible_name() const override;

  protected:
    QString strip_name() const override;
    void pointer_released(const QMouseEvent& event) override;
    void clicked() override;
    void pointer_left() override;
    void showEvent(QShowEvent* event) override;
    void enabled_changed() override;

  private:
    void select_strip();

    qint32 m_value = 0;
    qint16 m_strip = close;
};

}  // namespace quillon::skin
